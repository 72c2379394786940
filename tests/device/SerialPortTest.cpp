#include "platform/device/BSerialPort.h"

#include <numeric>

#include <gtest/gtest.h>
#include <termios.h>

#include "device/PseudoTerminal.h"

namespace {

class SerialLine : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fPty.IsValid()); }

  void OpenLine() { ASSERT_GT(fPort.Open(fPty.Path().c_str()), 0); }

  termios LineSettings() {
    termios settings{};
    EXPECT_EQ(tcgetattr(fPty.Controller(), &settings), 0);
    return settings;
  }

  // Writes 17-byte framed messages until one is refused; returns how many were accepted.
  int FillUntilRefused(uint8_t* sequence) {
    for (int accepted = 0; accepted < 100000; accepted++) {
      std::vector<uint8_t> message(17, 0);
      message.front() = 0xF0;
      message[1] = uint8_t((*sequence)++ & 0x7F);
      message.back() = 0xF7;
      if (fPort.Write(message.data(), message.size()) != ssize_t(message.size())) return accepted;
    }
    return -1;
  }

  PseudoTerminal fPty;
  BSerialPort fPort;
};

}  // namespace

TEST_F(SerialLine, OpenAppliesRequestedSettingsInRawMode) {
  OpenLine();
  EXPECT_EQ(fPort.SetDataRate(B_38400_BPS), B_OK);
  EXPECT_EQ(fPort.SetFlowControl(B_HARDWARE_CONTROL), B_OK);

  termios line = LineSettings();
  EXPECT_EQ(cfgetospeed(&line), speed_t(B38400));
  EXPECT_EQ(cfgetispeed(&line), speed_t(B38400));
  EXPECT_TRUE(line.c_cflag & CRTSCTS);
  EXPECT_EQ(line.c_cflag & CSIZE, tcflag_t(CS8));
  EXPECT_FALSE(line.c_cflag & (PARENB | CSTOPB));
  EXPECT_FALSE(line.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP));
  EXPECT_FALSE(line.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_FALSE(line.c_oflag & OPOST);

  EXPECT_EQ(fPort.SetFlowControl(B_NOFLOW_CONTROL), B_OK);
  EXPECT_FALSE(LineSettings().c_cflag & CRTSCTS);
}

TEST_F(SerialLine, SettingsMadeWhileClosedApplyAtOpen) {
  EXPECT_EQ(fPort.SetDataRate(B_9600_BPS), B_OK);
  EXPECT_EQ(fPort.SetStopBits(B_STOP_BITS_2), B_OK);
  EXPECT_EQ(fPort.SetFlowControl(B_SOFTWARE_CONTROL), B_OK);
  OpenLine();
  termios line = LineSettings();
  EXPECT_EQ(cfgetospeed(&line), speed_t(B9600));
  EXPECT_TRUE(line.c_cflag & CSTOPB);
  EXPECT_TRUE(line.c_iflag & IXON);
}

TEST_F(SerialLine, SettingTheLineRefusesIsReportedNotAssumed) {
  // A pseudo-terminal always runs 8 bits without parity.
  OpenLine();
  EXPECT_LT(fPort.SetParityMode(B_EVEN_PARITY), 0);
  EXPECT_FALSE(LineSettings().c_cflag & PARENB);
  fPort.Close();
  EXPECT_LT(fPort.Open(fPty.Path().c_str()), 0) << "a line that cannot run as asked does not open";
  EXPECT_FALSE(fPort.IsOpen());
}

TEST_F(SerialLine, RefusesUnknownCodes) {
  EXPECT_EQ(fPort.SetDataRate(data_rate(19)), B_BAD_VALUE);
  EXPECT_EQ(fPort.DataRate(), B_19200_BPS);
  EXPECT_EQ(fPort.SetFlowControl(4), B_BAD_VALUE);
  EXPECT_EQ(fPort.SetParityMode(parity_mode(3)), B_BAD_VALUE);
}

TEST_F(SerialLine, OpenFailsClearlyForWhatIsNotALine) {
  EXPECT_EQ(fPort.Open("no-such-serial-device"), -ENOENT);
  EXPECT_EQ(fPort.Open("/dev/null"), -ENOTTY) << "only terminals are written to";
  EXPECT_LT(fPort.Open(""), 0);
  EXPECT_LT(fPort.Open(nullptr), 0);
  EXPECT_FALSE(fPort.IsOpen());
  EXPECT_LT(fPort.Write("x", 1), 0);
}

TEST_F(SerialLine, BareNameOpensFromDev) {
  // /dev/ptmx is the one terminal every machine has.
  EXPECT_GT(fPort.Open("ptmx"), 0);
  EXPECT_TRUE(fPort.IsOpen());
}

TEST_F(SerialLine, EveryByteValuePassesUnchanged) {
  OpenLine();
  std::vector<uint8_t> all(256);
  std::iota(all.begin(), all.end(), 0);  // includes CR, LF, XON, XOFF, ^C, 0xFF
  EXPECT_EQ(fPort.Write(all.data(), all.size()), 256);
  EXPECT_EQ(fPty.ReadAll(), all);

  fPty.Send(all);
  std::vector<uint8_t> received(256);
  size_t got = 0;
  fPort.SetTimeout(1000000);
  while (got < received.size()) {
    ssize_t count = fPort.Read(received.data() + got, received.size() - got);
    ASSERT_GT(count, 0);
    got += size_t(count);
  }
  EXPECT_EQ(received, all);
}

TEST_F(SerialLine, WhatWasWrittenBeforeCloseStillArrives) {
  OpenLine();
  const uint8_t greeting[] = {0xF0, 0x1F, 0x10, 0xF7};
  ASSERT_EQ(fPort.Write(greeting, sizeof(greeting)), 4);
  fPort.Close();
  EXPECT_EQ(fPty.ReadAll(), std::vector<uint8_t>(greeting, greeting + 4));
}

TEST_F(SerialLine, ReadsReturnWhenNothingArrives) {
  OpenLine();
  uint8_t byte;
  fPort.SetBlocking(false);
  EXPECT_EQ(fPort.Read(&byte, 1), 0);
  fPort.SetBlocking(true);
  fPort.SetTimeout(20000);
  int64_t start = MonotonicMicroseconds();
  EXPECT_EQ(fPort.Read(&byte, 1), 0);
  EXPECT_GE(MonotonicMicroseconds() - start, 15000);
}

TEST_F(SerialLine, ReopeningReleasesTheEarlierDescriptor) {
  OpenLine();
  const int before = CountOpenDescriptors();
  for (int i = 0; i < 5; i++) OpenLine();
  EXPECT_EQ(CountOpenDescriptors(), before);
  fPort.Close();
  EXPECT_EQ(CountOpenDescriptors(), before - 1);
}

TEST_F(SerialLine, StuckLineDropsWholeWritesWithinTheBound) {
  OpenLine();
  ASSERT_EQ(fPort.SetWriteTimeout(5000), B_OK);
  uint8_t sequence = 0;
  const int accepted = FillUntilRefused(&sequence);
  ASSERT_GT(accepted, 0) << "the line never filled up";
  EXPECT_EQ(fPort.DroppedWrites(), 1);

  // Once stuck, each write gives up after about the bound (generous for a loaded machine).
  uint8_t message[17] = {0xF0};
  for (int i = 0; i < 5; i++) {
    int64_t start = MonotonicMicroseconds();
    EXPECT_EQ(fPort.Write(message, sizeof(message)), ssize_t(B_TIMED_OUT));
    EXPECT_LT(MonotonicMicroseconds() - start, 250000);
  }
  EXPECT_EQ(fPort.DroppedWrites(), 6);

  // The far end reads again: what went out is whole messages, in order, none cut short.
  std::vector<uint8_t> received = fPty.ReadAll();
  message[16] = 0xF7;
  ASSERT_EQ(fPort.Write(message, sizeof(message)), 17);  // also flushes any unfinished tail
  std::vector<uint8_t> rest = fPty.ReadAll();
  received.insert(received.end(), rest.begin(), rest.end());
  ASSERT_EQ(received.size() % 17, 0u);
  ASSERT_EQ(received.size() / 17, size_t(accepted) + 1);
  for (size_t i = 0; i < size_t(accepted); i++) {
    EXPECT_EQ(received[i * 17], 0xF0);
    EXPECT_EQ(received[i * 17 + 1], i & 0x7F);
    EXPECT_EQ(received[i * 17 + 16], 0xF7);
  }
}

TEST_F(SerialLine, ClosingAStuckLineDoesNotHang) {
  OpenLine();
  fPort.SetWriteTimeout(2000);
  uint8_t sequence = 0;
  ASSERT_GT(FillUntilRefused(&sequence), 0);
  int64_t start = MonotonicMicroseconds();
  fPort.Close();
  EXPECT_LT(MonotonicMicroseconds() - start, 1000000);
  EXPECT_FALSE(fPort.IsOpen());
}

TEST_F(SerialLine, VanishedDeviceFailsWritesAtOnce) {
  OpenLine();
  fPort.SetWriteTimeout(5000);
  fPty.CloseController();
  uint8_t message[17] = {0xF0};
  int64_t start = MonotonicMicroseconds();
  EXPECT_LT(fPort.Write(message, sizeof(message)), 0);
  EXPECT_LT(MonotonicMicroseconds() - start, 250000);
  EXPECT_EQ(fPort.DroppedWrites(), 1);
}
