// The whole program: Zanvel on the test pattern, driven through its signature by the
// companion sender, sending positions to a listening program and matched notes to a JACK
// MIDI reader, then quitting through the normal path.

#include <gtest/gtest.h>

#include <unistd.h>

#include <thread>

#include "../midi/JackPeer.h"
#include "ChildProcess.h"
#include "SerialLines.h"
#include "RuntimeFolder.h"

namespace {

using namespace std::chrono_literals;

const std::string kZanvel = ZANVEL_BINARY;
const std::string kSend = ZANVEL_SEND;
const std::string kListen = ZANVEL_LISTEN;
const std::string kSignature = "application/x-vnd.morl-Zanvel";

int Send(const std::vector<std::string>& words) { return SendCommand(kSend, kSignature, words); }

bool StartsWith(const std::string& line, const std::string& prefix) {
  return line.compare(0, prefix.size(), prefix) == 0;
}

TEST(EndToEndTest, ExamplesKeyFramesAndOutputsDrivenByAnotherProgram) {
  // Signatures and JACK live in places of this test's own.
  PrivateRuntimeFolder runtime;
  JackServer jack;
  ASSERT_TRUE(jack.Up()) << "jackd -d dummy did not come up";
  JackMidiReader reader;
  ASSERT_TRUE(reader.Ok());
  setenv("ZANVEL_MIDI_API", "jack", 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Two serial lines: Zanvel opens the second for the LCS controller.
  SerialLines serial;
  ASSERT_TRUE(serial.Ok());
  serial.Export();

  const std::string receiver = "application/x-vnd.zanvel-test-receiver";
  ChildProcess listener({kListen, receiver});
  ASSERT_TRUE(listener.Started());

  ChildProcess zanvel({kZanvel, "--size", "160x120", "--video", "test"});
  ASSERT_TRUE(zanvel.Started());
  ASSERT_TRUE(zanvel.WaitForLines([](const std::string& l) { return l == "SetUpNodes OK!"; }, 1, 60s))
      << "Zanvel did not build its media graph";
  // Frames are analysed: the frame-rate lines come.
  auto fps = [](const std::string& l) { return l.size() > 4 && l.compare(l.size() - 4, 4, " fps") == 0; };
  ASSERT_TRUE(zanvel.WaitForLines(fps, 10, 30s));

  // Two examples from different moments of the moving pattern, and one key frame.
  ASSERT_EQ(Send({"addi"}), 0);
  std::this_thread::sleep_for(700ms);
  ASSERT_EQ(Send({"addi"}), 0);
  std::this_thread::sleep_for(300ms);
  ASSERT_EQ(Send({"addk"}), 0);
  // Matched notes to MIDI, positions to the listener.
  ASSERT_EQ(Send({"mn2m", "source:int32=1"}), 0);
  ASSERT_EQ(Send({"stas", "source:string=" + receiver}), 0);
  ASSERT_EQ(Send({"stac", "source:string=posi"}), 0);
  ASSERT_EQ(Send({"ptta", "source:bool=true"}), 0);

  auto position = [](const std::string& l) { return StartsWith(l, "posi"); };
  EXPECT_TRUE(listener.WaitForLines(position, 5, 30s)) << "no positions reached the listener";
  // A position message carries the object id and x, y, z in order.
  for (const std::string& line : listener.Lines()) {
    if (position(line)) {
      EXPECT_NE(line.find("objectid"), std::string::npos) << line;
      EXPECT_LT(line.find("x"), line.find("z")) << line;
      break;
    }
  }
  // Zanvel's own MIDI port is its first device, opened at start; listen to it.
  bool connected = false;
  for (int i = 0; i < 50 && !connected; i++) {
    connected = reader.ConnectFrom("Zanvel");
    if (!connected)
      std::this_thread::sleep_for(100ms);
  }
  EXPECT_TRUE(connected) << "no JACK port of Zanvel";

  // The match changes while the pattern moves between the two examples: note-ons, note 32 or 33.
  EXPECT_TRUE(reader.WaitFor(1, 30000ms)) << "no matched note reached the MIDI reader";
  bool noteOn = false;
  for (const JackMidiEvent& event : reader.Events()) {
    if (event.bytes.size() == 3 && event.bytes[0] == 0x90) {
      noteOn = true;
      EXPECT_TRUE(event.bytes[1] == 32 || event.bytes[1] == 33) << int(event.bytes[1]);
      EXPECT_EQ(event.bytes[2], 64);
    }
  }
  EXPECT_TRUE(noteOn);

  // The LCS controller was greeted on the second line when Zanvel opened it.
  std::vector<uint8_t> lcs;
  uint8_t byte = 0;
  while (read(serial.Master(1), &byte, 1) == 1)
    lcs.push_back(byte);
  const std::vector<uint8_t> greeting = {0xF0, 0x1F, 0x10, 0x7F, 0x09, 0x49, 0x01, 0x00, 0x01, 0xF7};
  EXPECT_GE(lcs.size(), greeting.size());
  if (lcs.size() >= greeting.size()) {
    EXPECT_TRUE(std::equal(greeting.begin(), greeting.end(), lcs.begin()));
  }

  // A malformed command from outside changes nothing and Zanvel keeps running.
  EXPECT_EQ(Send({"bkdx", "index:string=3"}), 0);

  // Quit through the normal path.
  ASSERT_EQ(Send({"_QRQ"}), 0);
  ASSERT_TRUE(zanvel.WaitForExit(30s)) << "Zanvel did not quit";
  EXPECT_EQ(zanvel.ExitCode(), 0);
  std::vector<std::string> lines = zanvel.Lines();
  auto at = [&](const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) - lines.begin();
  };
  const auto stopping = at("stopping nodes!");
  const auto destructor = at("Zanvel::~Zanvel");
  const auto exit = at("Zanvel::~Zanvel - EXIT");
  ASSERT_LT(stopping, long(lines.size()));
  ASSERT_LT(exit, long(lines.size()));
  EXPECT_LT(stopping, destructor);
  EXPECT_EQ(destructor + 1, exit) << "the destructor's two lines come together";
}

}  // namespace
