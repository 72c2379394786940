// The LCS controller line, with a pseudo-terminal as the controller.

#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <termios.h>

#include "InterpreterFixture.h"
#include "platform/device/BSerialPort.h"
#include "device/PseudoTerminal.h"
#include "platform/interface/RecordingAlertService.h"
#include "interpreter/LCSMessage.h"
#include "peers/TempFolder.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using testing_support::InterpreterTest;
using testing_support::Pattern;

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kBus1(bus1msg, bus1msg + kBus1MessageSize);
// The position (0, 0, 0) that frames give while there are no key frames, z as pan.
const Bytes kOrigin = {0xF0, 0x1F, 0x7E, 0x12, 0x7F, 0x13, 0x00, 0x6C, 0x22,
                       0x3C, 0x6C, 0x22, 0x3C, 0x14, 0x3F, 0x7F, 0xF7};

Bytes operator+(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

Bytes Repeat(const Bytes& bytes, int times) {
  Bytes all;
  for (int i = 0; i < times; i++) all.insert(all.end(), bytes.begin(), bytes.end());
  return all;
}

// Cuts a byte stream into system-exclusive messages; false when any is cut short or broken.
bool SplitMessages(const Bytes& bytes, std::vector<Bytes>* messages) {
  for (size_t i = 0; i < bytes.size();) {
    if (bytes[i] != 0xF0) return false;
    size_t end = i + 1;
    while (end < bytes.size() && bytes[end] < 0x80) end++;
    if (end == bytes.size() || bytes[end] != 0xF7) return false;
    messages->emplace_back(bytes.begin() + long(i), bytes.begin() + long(end) + 1);
    i = end + 1;
  }
  return true;
}

// The interpreter's serial devices are three pseudo-terminals; it takes the second.
class LCSOutputTest : public InterpreterTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(first.IsValid() && line.IsValid() && other.IsValid());
    setenv(kSerialDevicesVariable, Devices().c_str(), 1);
    InterpreterTest::SetUp();
  }
  void TearDown() override {
    InterpreterTest::TearDown();
    unsetenv(kSerialDevicesVariable);
  }
  virtual std::string Devices() { return first.Path() + ":" + line.Path() + ":" + other.Path(); }

  // Turns the output on and forgets the greeting that goes with it.
  void PositionOn() {
    line.ReadAll();
    interpreter->SetLCSSendPosition(true);
    EXPECT_TRUE(interpreter->WaitForOutputs());
    EXPECT_EQ(line.ReadAll(), kBus1);
  }

  // The alerts about serial lines (the MIDI port may have its own to say).
  std::vector<AlertRequest> SerialAlerts() {
    std::vector<AlertRequest> serial;
    for (const AlertRequest& alert : alerts.Alerts())
      if (alert.text.find("/dev/") != std::string::npos || alert.text.find("serial") != std::string::npos)
        serial.push_back(alert);
    return serial;
  }

  PseudoTerminal first, line, other;
  RecordingAlertService alerts;
  ScopedAlertService alertScope{&alerts};
};

}  // namespace

TEST_F(LCSOutputTest, OpensTheSecondDeviceConfiguredAndGreetsTheController) {
  EXPECT_EQ(line.ReadAll(), kBus1);
  EXPECT_THAT(first.ReadAll(), IsEmpty());
  EXPECT_EQ(SerialAlerts().size(), 0u);

  termios settings{};
  ASSERT_EQ(tcgetattr(line.Controller(), &settings), 0);
  EXPECT_EQ(cfgetospeed(&settings), speed_t(B38400));
  EXPECT_TRUE(settings.c_cflag & CRTSCTS);
  EXPECT_EQ(settings.c_cflag & CSIZE, tcflag_t(CS8));
  EXPECT_FALSE(settings.c_oflag & OPOST);
  EXPECT_FALSE(settings.c_lflag & ICANON);
}

TEST_F(LCSOutputTest, SwitchingThePositionOutputGreetsEachTime) {
  line.ReadAll();
  interpreter->SetLCSSendPosition(true);
  interpreter->SetLCSSendPosition(false);
  interpreter->SetLCSSendPosition(false);
  ASSERT_TRUE(interpreter->WaitForOutputs());
  EXPECT_EQ(line.ReadAll(), Repeat(kBus1, 3));
}

TEST_F(LCSOutputTest, EveryFrameSendsOnePositionWhileOn) {
  line.ReadAll();
  Run(Pattern::kVertical);
  EXPECT_THAT(line.ReadAll(), IsEmpty()) << "off by default";

  PositionOn();
  for (int i = 0; i < 3; i++) Run(Pattern::kVertical);
  EXPECT_EQ(line.ReadAll(), Repeat(kOrigin, 3));

  interpreter->SetLCSZMapping(kLCSZDivergence);
  Run(Pattern::kVertical);
  Bytes divergence = line.ReadAll();
  ASSERT_EQ(divergence.size(), kLCSPositionMessageSize);
  EXPECT_THAT(Bytes(divergence.begin() + 13, divergence.end()), ElementsAre(0x3F, 0x14, 0x7F, 0xF7));

  interpreter->SetLCSZMapping(7);
  Run(Pattern::kVertical);
  Bytes unknown = line.ReadAll();
  ASSERT_EQ(unknown.size(), kLCSPositionMessageSize);
  EXPECT_THAT(Bytes(unknown.begin() + 13, unknown.end()), ElementsAre(0x3F, 0x3F, 0x7F, 0xF7));

  interpreter->SetLCSSendPosition(false);
  Run(Pattern::kVertical);
  EXPECT_EQ(line.ReadAll(), kBus1);
}

namespace {

// Publishes the position a test chose, whatever the frames say.
class PositionedInterpreter : public ImageInterpreter {
 public:
  using ImageInterpreter::ImageInterpreter;
  void GetCurrentValues(float* values) override {
    for (int i = 0; i < 3; i++) values[i] = position[i];
  }
  std::atomic<float> position[3] = {0.0f, 0.0f, 0.0f};
};

}  // namespace

TEST_F(LCSOutputTest, WorkedPositionsReachTheControllerByteForByte) {
  interpreter.reset();
  auto positioned = std::make_unique<PositionedInterpreter>(histo, keyframe, matched, B_RGB32);
  line.ReadAll();
  positioned->SetLCSSendPosition(true);

  for (auto& value : positioned->position) value = 0.5f;
  testing_support::TestFrame frame(Pattern::kVertical);
  ::testing::internal::CaptureStdout();
  positioned->Interpret(frame.image());
  // Only the newest position waits for the line: let each go out before the next.
  ASSERT_TRUE(positioned->WaitForOutputs());
  positioned->SetLCSZMapping(kLCSZLevel);
  positioned->position[0] = 0.0f;
  positioned->position[1] = 1.0f;
  positioned->position[2] = 1.0f;
  positioned->Interpret(frame.image());
  ::testing::internal::GetCapturedStdout();
  ASSERT_TRUE(positioned->WaitForOutputs());

  const Bytes centre = {0xF0, 0x1F, 0x7E, 0x12, 0x7F, 0x13, 0x00, 0x40, 0x04,
                        0x3D, 0x40, 0x04, 0x3D, 0x40, 0x3F, 0x7F, 0xF7};
  const Bytes corner = {0xF0, 0x1F, 0x7E, 0x12, 0x7F, 0x13, 0x00, 0x6C, 0x22,
                        0x3C, 0x14, 0x66, 0x3D, 0x3F, 0x3F, 0x6C, 0xF7};
  EXPECT_EQ(line.ReadAll(), kBus1 + centre + corner);
}

TEST_F(LCSOutputTest, FramesThatStoreSomethingSendNothing) {
  PositionOn();
  interpreter->SaveNextImageToMatcher();
  Run(Pattern::kVertical);
  interpreter->SaveNextImageAsKeyframe();
  Run(Pattern::kVertical);
  EXPECT_THAT(line.ReadAll(), IsEmpty());
}

TEST_F(LCSOutputTest, MessagesCarryThePublishedPosition) {
  for (Pattern keyFrame : {Pattern::kBlank, Pattern::kVertical, Pattern::kHorizontal}) {
    interpreter->SaveNextImageAsKeyframe();
    Run(keyFrame);
  }
  PositionOn();
  interpreter->SetLCSZMapping(kLCSZLevel);
  interpreter->SetSmoothing(true);
  for (Pattern pattern : {Pattern::kDiagonal, Pattern::kVertical, Pattern::kChecker}) {
    Run(pattern);
    std::vector<float> position = Position();
    uint8 expected[kLCSPositionMessageSize];
    MakeLCSPositionMessage(position.data(), kLCSZLevel, expected);
    EXPECT_THAT(line.ReadAll(), ElementsAreArray(expected)) << "position " << position[0] << ", "
                                                             << position[1] << ", " << position[2];
  }
}

TEST_F(LCSOutputTest, ChoosingAPortClosesTheOneInUse) {
  line.ReadAll();
  ASSERT_EQ(CountDescriptorsOn(line.Path()), 2) << "the test's own and the interpreter's";
  interpreter->SetLCSSerialPort(other.Path().c_str());
  ASSERT_TRUE(interpreter->WaitForOutputs());
  EXPECT_EQ(other.ReadAll(), kBus1);
  EXPECT_EQ(CountDescriptorsOn(line.Path()), 1);

  for (int i = 0; i < 4; i++) {
    interpreter->SetLCSSerialPort(line.Path().c_str());
    interpreter->SetLCSSerialPort(other.Path().c_str());
  }
  ASSERT_TRUE(interpreter->WaitForOutputs());
  EXPECT_EQ(CountDescriptorsOn(line.Path()), 1);
  EXPECT_EQ(CountDescriptorsOn(other.Path()), 2);
  EXPECT_EQ(line.ReadAll(), Repeat(kBus1, 4));
  EXPECT_EQ(other.ReadAll(), Repeat(kBus1, 4));

  interpreter->SetLCSSendPosition(true);
  Run(Pattern::kVertical);
  EXPECT_EQ(other.ReadAll(), kBus1 + kOrigin);
  EXPECT_THAT(line.ReadAll(), IsEmpty());
  EXPECT_EQ(SerialAlerts().size(), 0u);
}

TEST_F(LCSOutputTest, APortThatWillNotOpenLeavesTheLineClosed) {
  line.ReadAll();
  interpreter->SetLCSSerialPort("/dev/zanvel-no-such-line");
  ASSERT_TRUE(interpreter->WaitForOutputs());
  ASSERT_EQ(SerialAlerts().size(), 1u);
  AlertRequest alert = SerialAlerts()[0];
  EXPECT_EQ(alert.title, "");
  EXPECT_EQ(alert.text, "can't open /dev/zanvel-no-such-line");
  EXPECT_THAT(alert.buttons, ElementsAre("sigh"));
  EXPECT_EQ(alert.type, B_INFO_ALERT);

  // Nothing reaches any line now, not even the greeting of the switch.
  EXPECT_EQ(CountDescriptorsOn(line.Path()), 1);
  interpreter->SetLCSSendPosition(true);
  for (int i = 0; i < 3; i++) Run(Pattern::kVertical);
  EXPECT_THAT(line.ReadAll(), IsEmpty());

  // A later choice that works brings the output back.
  interpreter->SetLCSSerialPort(other.Path().c_str());
  Run(Pattern::kVertical);
  EXPECT_EQ(other.ReadAll(), kBus1 + kOrigin);
}

TEST_F(LCSOutputTest, DestructionClosesTheLine) {
  ASSERT_EQ(CountDescriptorsOn(line.Path()), 2);
  interpreter.reset();
  EXPECT_EQ(CountDescriptorsOn(line.Path()), 1);
}

TEST_F(LCSOutputTest, AStuckLineDoesNotHoldUpFrames) {
  PositionOn();
  const size_t filler = line.FillLineSide();
  const int64 droppedBefore = interpreter->CountLCSDroppedMessages();
  for (int i = 0; i < 10; i++) {
    const int64_t start = MonotonicMicroseconds();
    Run(Pattern::kVertical);
    // The write gives up after a few milliseconds; the bound here is for a loaded machine.
    EXPECT_LT(MonotonicMicroseconds() - start, 300000) << "frame " << i;
  }
  const int64_t start = MonotonicMicroseconds();
  interpreter->SetLCSSendPosition(true);
  EXPECT_LT(MonotonicMicroseconds() - start, 300000);
  EXPECT_GE(interpreter->CountLCSDroppedMessages() - droppedBefore, 10);

  // Once the controller reads again, whole messages arrive and none is cut short.
  Bytes received = line.ReadAll();
  ASSERT_GE(received.size(), filler);
  Run(Pattern::kVertical);
  Bytes after = line.ReadAll();
  received.insert(received.end(), after.begin(), after.end());
  std::vector<Bytes> messages;
  ASSERT_TRUE(SplitMessages(Bytes(received.begin() + long(filler), received.end()), &messages));
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(), kOrigin);
}

namespace {

// Keeps each alert up until the test lets it go, as a user who is slow to click would.
class HeldAlertService : public AlertService {
 public:
  int32 Show(const AlertRequest&) override {
    std::unique_lock<std::mutex> hold(fMutex);
    fShowing = true;
    fChanged.notify_all();
    fChanged.wait(hold, [this] { return fReleased; });
    return 0;
  }
  bool WaitUntilShowing() {
    std::unique_lock<std::mutex> hold(fMutex);
    return fChanged.wait_for(hold, std::chrono::seconds(10), [this] { return fShowing; });
  }
  void Release() {
    std::lock_guard<std::mutex> hold(fMutex);
    fReleased = true;
    fChanged.notify_all();
  }

 private:
  std::mutex fMutex;
  std::condition_variable fChanged;
  bool fShowing = false;
  bool fReleased = false;
};

}  // namespace

TEST_F(LCSOutputTest, FramesKeepFlowingWhileTheAlertWaits) {
  HeldAlertService held;
  ScopedAlertService scope(&held);
  std::thread application([this] { interpreter->SetLCSSerialPort("/dev/zanvel-no-such-line"); });
  ASSERT_TRUE(held.WaitUntilShowing());

  testing_support::TestFrame frame(Pattern::kVertical);
  auto done = std::async(std::launch::async, [&] { interpreter->Interpret(frame.image()); });
  const bool flowed = done.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  held.Release();
  application.join();
  done.wait();
  // The output's worker is still inside the alert; it must leave it before the service goes.
  EXPECT_TRUE(interpreter->WaitForOutputs());
  EXPECT_TRUE(flowed) << "the frame waited for the alert";
}

namespace {

class LCSWithoutLineTest : public LCSOutputTest {
 protected:
  std::string Devices() override { return first.Path() + ":/dev/zanvel-no-such-line"; }
};

class LCSSinglePortTest : public LCSOutputTest {
 protected:
  std::string Devices() override { return first.Path(); }
};

}  // namespace

TEST_F(LCSWithoutLineTest, ConstructionSaysWhichLineFailedAndCarriesOn) {
  ASSERT_EQ(SerialAlerts().size(), 1u);
  AlertRequest alert = SerialAlerts()[0];
  EXPECT_EQ(alert.title, "");
  EXPECT_EQ(alert.text, "can't open /dev/zanvel-no-such-line");
  EXPECT_THAT(alert.buttons, ElementsAre("ug"));
  EXPECT_EQ(alert.type, B_INFO_ALERT);

  interpreter->SetLCSSendPosition(true);
  Run(Pattern::kVertical);
  EXPECT_THAT(first.ReadAll(), IsEmpty());

  interpreter->SetLCSSerialPort(line.Path().c_str());
  Run(Pattern::kVertical);
  EXPECT_EQ(line.ReadAll(), kBus1 + kOrigin);
}

TEST_F(LCSSinglePortTest, NamesTheMissingSecondPort) {
  ASSERT_EQ(SerialAlerts().size(), 1u);
  EXPECT_EQ(SerialAlerts()[0].text, "can't open the second serial port");
  EXPECT_THAT(first.ReadAll(), IsEmpty()) << "the first port is not the controller's";
}

// An adapter that is unplugged and plugged in again: its device name (a link, as udev makes
// one) points at a new line when it returns.
TEST_F(LCSOutputTest, ALineThatFailsIsClosedReportedOnceAndOpenedAgainWhenItReturns) {
  TempFolder folder;
  const std::string link = folder / "lcs";
  auto adapter = std::make_unique<PseudoTerminal>();
  ASSERT_TRUE(adapter->IsValid());
  ASSERT_EQ(symlink(adapter->Path().c_str(), link.c_str()), 0);
  interpreter->SetLCSSerialPort(link.c_str());
  interpreter->SetLCSSendPosition(true);
  Run(Pattern::kVertical);
  EXPECT_EQ(adapter->ReadAll(), kBus1 + kBus1 + kOrigin);

  ::testing::internal::CaptureStderr();
  adapter->CloseController();
  for (int i = 0; i < 5; i++) {
    const int64_t start = MonotonicMicroseconds();
    Run(Pattern::kVertical);
    EXPECT_LT(MonotonicMicroseconds() - start, 300000) << "frame " << i;
  }
  EXPECT_EQ(interpreter->LCSDeviceName(), "") << "the failed line is closed";

  // Back: the same name now leads to a working line, found without any command.
  auto returned = std::make_unique<PseudoTerminal>();
  ASSERT_TRUE(returned->IsValid());
  ASSERT_EQ(unlink(link.c_str()), 0);
  ASSERT_EQ(symlink(returned->Path().c_str(), link.c_str()), 0);
  Bytes received;
  for (int i = 0; i < 100 && received.size() < kBus1.size() + kOrigin.size(); i++) {
    Run(Pattern::kVertical);
    const Bytes more = returned->ReadAll(50);
    received.insert(received.end(), more.begin(), more.end());
  }
  const std::string said = ::testing::internal::GetCapturedStderr();

  std::vector<Bytes> messages;
  ASSERT_TRUE(SplitMessages(received, &messages));
  ASSERT_GE(messages.size(), 2u) << "greeting and a position after the return";
  EXPECT_EQ(messages.front(), kBus1) << "the controller is greeted on the new line first";
  EXPECT_EQ(messages.back(), kOrigin);
  EXPECT_EQ(interpreter->LCSDeviceName(), link);

  auto count = [&said](const std::string& text) {
    size_t n = 0;
    for (size_t at = said.find(text); at != std::string::npos; at = said.find(text, at + 1)) n++;
    return n;
  };
  EXPECT_EQ(count("LCS line " + link + " failed"), 1u) << said;
  EXPECT_EQ(count("LCS line " + link + " is back"), 1u) << said;
  const std::vector<OutputStatus> outputs = interpreter->OutputStatuses();
  auto lcs = std::find_if(outputs.begin(), outputs.end(),
                          [](const OutputStatus& s) { return s.name == "Position to LCS"; });
  ASSERT_NE(lcs, outputs.end());
  EXPECT_TRUE(lcs->on) << "the switch keeps its state through the failure";
  EXPECT_EQ(lcs->failed, 1u);
  EXPECT_NE(lcs->lastFailure.find(link), std::string::npos) << lcs->lastFailure;
}
