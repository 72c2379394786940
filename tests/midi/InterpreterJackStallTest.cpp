// The interpreter's MIDI through a JACK server that stalls: jackd is stopped (SIGSTOP) for
// a few seconds while frames keep coming. Frames and commands must go on meanwhile, the
// notes must come back once the server runs again, and no note may be left sounding.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "InterpreterMidi.h"
#include "JackPeer.h"
#include "platform/device/BSerialPort.h"
#include "device/PseudoTerminal.h"
#include "platform/interface/RecordingAlertService.h"
#include "platform/midi/BMidiPort.h"
#include "platform/support/Time.h"

namespace {
constexpr bigtime_t kSecond = 1000000;
// Bounds that only a stall would cross on a loaded two-core machine.
constexpr bigtime_t kFrameBound = kSecond / 2;
constexpr bigtime_t kCommandBound = 2 * kSecond;

bool IsNoteOn(const JackMidiEvent& e) {
  return e.bytes.size() == 3 && (e.bytes[0] & 0xF0) == 0x90 && e.bytes[2] != 0;
}

bool IsNoteOff(const JackMidiEvent& e) {
  const uint8_t type = e.bytes.empty() ? 0 : e.bytes[0] & 0xF0;
  return e.bytes.size() == 3 && (type == 0x80 || (type == 0x90 && e.bytes[2] == 0));
}

// Waits until the reader has heard a note begin after the given moment. It keeps
// connecting to the port: an output that opens again makes a new one.
bool HearsNoteAfter(JackMidiReader& reader, bigtime_t after, bigtime_t timeout) {
  const bigtime_t deadline = system_time() + timeout;
  do {
    reader.ConnectFrom("Zanvel");
    for (const auto& e : reader.Events())
      if (IsNoteOn(e) && e.time > after) return true;
    snooze(100000);
  } while (system_time() < deadline);
  return false;
}

// Feeds frames to the interpreter from a thread of its own, as the video consumer does,
// moving the position so that successive notes fall on different keys. Keeps the longest
// Interpret call.
class FramePump {
 public:
  explicit FramePump(PositionedInterpreter& interpreter)
      : fInterpreter(interpreter), fThread([this] { Run(); }) {}
  ~FramePump() { Stop(); }
  void Stop() {
    fQuit = true;
    if (fThread.joinable()) fThread.join();
  }
  // The longest call since the last question, including one still running.
  bigtime_t TakeLongest() {
    const bigtime_t started = fStarted.load();
    const bigtime_t running = started != 0 ? system_time() - started : 0;
    return std::max(fLongest.exchange(0), running);
  }

 private:
  void Run() {
    Frame frame(Picture::kVertical);
    for (int i = 0; !fQuit; i++) {
      fInterpreter.SetPosition(float(i % 97) / 97.0f, 0.7f, 0.5f);
      const bigtime_t start = system_time();
      fStarted = start;
      fInterpreter.Interpret(frame.image());
      fStarted = 0;
      const bigtime_t took = system_time() - start;
      bigtime_t longest = fLongest.load();
      while (took > longest && !fLongest.compare_exchange_weak(longest, took)) {
      }
      // Far more frames than a camera gives: the queue to the stalled server fills.
      snooze(1000);
    }
  }

  PositionedInterpreter& fInterpreter;
  std::atomic<bool> fQuit{false};
  std::atomic<bigtime_t> fStarted{0};
  std::atomic<bigtime_t> fLongest{0};
  std::thread fThread;
};

class InterpreterWithStalledJack : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ZANVEL_MIDI_API", "jack", 1);
    server = std::make_unique<JackServer>();
    ASSERT_TRUE(server->Up()) << "jackd -d dummy did not come up";
    reader = std::make_unique<JackMidiReader>();
    ASSERT_TRUE(reader->Ok());
    setenv(kSerialDevicesVariable, (serialLine.Path() + ":" + serialLine.Path()).c_str(), 1);
    interpreter = window.MakeInterpreter();
    // Each frame prints its rate; thousands of those lines would bury the test's own.
    ::testing::internal::CaptureStdout();
    capturing = true;
  }
  void TearDown() override {
    if (capturing) {
      std::istringstream captured(::testing::internal::GetCapturedStdout());
      for (std::string line; std::getline(captured, line);)
        if (!line.ends_with(" fps")) std::printf("%s\n", line.c_str());
    }
    interpreter.reset();
    unsetenv(kSerialDevicesVariable);
    reader.reset();
    server.reset();
  }

  PseudoTerminal serialLine;
  RecordingAlertService alerts;
  ScopedAlertService alertScope{&alerts};
  InterpreterWindow window;
  std::unique_ptr<JackServer> server;
  std::unique_ptr<JackMidiReader> reader;
  std::unique_ptr<PositionedInterpreter> interpreter;
  bool capturing = false;
};
}  // namespace

TEST_F(InterpreterWithStalledJack, FramesAndCommandsGoOnAndNoNoteIsLeftOn) {
  ASSERT_TRUE(reader->ConnectFrom("Zanvel"));
  interpreter->SetSendNotesToMidiPort(true);
  interpreter->SetSendToKDX(true);
  // Declared before the stopped server, so that they end after it runs again: a call
  // stuck on the stopped server returns only then.
  FramePump pump(*interpreter);
  std::atomic<bigtime_t> kdxTook{-1}, portTook{-1};
  std::jthread commands;
  ASSERT_TRUE(HearsNoteAfter(*reader, 0, 5 * kSecond)) << "no note before the stall";

  bigtime_t resumed;
  {
    StoppedJackServer stopped(*server);
    const bigtime_t stop = system_time();
    pump.TakeLongest();
    snooze(3 * kSecond);
    EXPECT_LT(pump.TakeLongest(), kFrameBound) << "a frame waited for the stopped server";

    commands = std::jthread([&] {
      bigtime_t start = system_time();
      interpreter->SetSendToKDX(true);
      kdxTook = system_time() - start;
      start = system_time();
      interpreter->SetMidiPort("Zanvel");
      portTook = system_time() - start;
    });
    const bigtime_t issued = system_time();
    while (portTook.load() < 0 && system_time() - issued < kCommandBound) snooze(10000);
    const auto prompt = [](bigtime_t took) { return took >= 0 && took < kCommandBound; };
    EXPECT_TRUE(prompt(kdxTook.load())) << "SetSendToKDX did not return within 2 s";
    EXPECT_TRUE(prompt(portTook.load())) << "SetMidiPort did not return within 2 s";

    while (system_time() - stop < 5 * kSecond) snooze(50000);
    EXPECT_LT(pump.TakeLongest(), kFrameBound) << "a frame waited for a command or the server";
    EXPECT_GT(interpreter->MidiPort()->CountDropped(), 0u)
        << "the queue to the stalled server never filled: the stall was not felt";
    resumed = system_time();
  }

  // Whatever waits for the server returns once it runs.
  if (commands.joinable()) commands.join();
  EXPECT_TRUE(HearsNoteAfter(*reader, resumed + kSecond, 6 * kSecond))
      << "no new note after the server ran again";
  EXPECT_EQ(alerts.CountAlerts(), 0u) << "the port should have opened again";

  pump.Stop();
  interpreter->SetSendNotesToMidiPort(false);
  snooze(500000);  // the last note end may still be due

  // A key sounds from its note-on until a note-off for it; at the end none may sound.
  std::map<int, int> sounding;  // channel * 128 + note -> the note-on's index
  size_t notes = 0;
  const auto events = reader->Events();
  for (size_t i = 0; i < events.size(); i++) {
    const auto& e = events[i];
    const int key = (e.bytes.size() == 3) ? (e.bytes[0] & 0x0F) * 128 + e.bytes[1] : -1;
    if (IsNoteOn(e)) {
      sounding[key] = int(i);
      notes++;
    } else if (IsNoteOff(e)) {
      sounding.erase(key);
    }
  }
  EXPECT_GT(notes, 2u);
  for (const auto& [key, index] : sounding)
    ADD_FAILURE() << "note " << key % 128 << " on channel " << key / 128 + 1
                  << " was left on (its note-on was message " << index << " of "
                  << events.size() << ")";
}
