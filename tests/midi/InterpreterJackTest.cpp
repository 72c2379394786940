// The interpreter's MIDI through a real JACK server (the dummy driver): its own port is
// listed, a JACK MIDI reader connected to it hears the matched note, the key pressure and
// the generated notes at their times.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "InterpreterMidi.h"
#include "JackPeer.h"
#include "platform/device/BSerialPort.h"
#include "device/PseudoTerminal.h"
#include "platform/interface/RecordingAlertService.h"
#include "platform/midi/BMidiPort.h"
#include "platform/support/Time.h"

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {
// Arrival through JACK trails the stamp by up to a period (5.3 ms) plus the wake-ups of
// two threads; 25 ms either way is generous for a loaded two-core machine.
constexpr double kToleranceMs = 25.0;

class InterpreterThroughJack : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ZANVEL_MIDI_API", "jack", 1);
    server = std::make_unique<JackServer>();
    ASSERT_TRUE(server->Up()) << "jackd -d dummy did not come up";
    reader = std::make_unique<JackMidiReader>();
    ASSERT_TRUE(reader->Ok());
    // A serial line for the LCS output, so that construction has nothing to say about it.
    setenv(kSerialDevicesVariable, (serialLine.Path() + ":" + serialLine.Path()).c_str(), 1);
    interpreter = window.MakeInterpreter();
  }
  void TearDown() override {
    interpreter.reset();
    unsetenv(kSerialDevicesVariable);
    reader.reset();
    server.reset();
  }
  void Show(Picture picture) {
    Frame frame(picture);
    ::testing::internal::CaptureStdout();
    interpreter->Interpret(frame.image());
    ::testing::internal::GetCapturedStdout();
  }

  PseudoTerminal serialLine;
  RecordingAlertService alerts;
  ScopedAlertService alertScope{&alerts};
  InterpreterWindow window;
  std::unique_ptr<JackServer> server;
  std::unique_ptr<JackMidiReader> reader;
  std::unique_ptr<PositionedInterpreter> interpreter;
};
}  // namespace

TEST_F(InterpreterThroughJack, ItsOwnPortIsListedAndCarriesTheFrameOutputs) {
  EXPECT_EQ(alerts.CountAlerts(), 0u) << "device 0 should have opened";
  const auto ports = reader->Ports();
  EXPECT_TRUE(std::any_of(ports.begin(), ports.end(),
                          [](const std::string& p) { return p.ends_with(":Zanvel"); }))
      << "jack_lsp would not list the port";
  ASSERT_TRUE(reader->ConnectFrom("Zanvel"));

  interpreter->SetSendMatchedAsNotesToMidiPort(true);
  interpreter->SaveNextImageToMatcher();
  Show(Picture::kVertical);
  Show(Picture::kVertical);
  ASSERT_TRUE(reader->WaitFor(1, 5s));
  EXPECT_EQ(reader->Events()[0].bytes, (Bytes{0x90, 0x20, 0x40}));

  reader->Clear();
  interpreter->SetPosition(0.5f, 0.2f, 1.0f);
  interpreter->SetSendToKDX(true);
  Show(Picture::kVertical);
  ASSERT_TRUE(reader->WaitFor(3, 5s));
  const auto events = reader->Events();
  ASSERT_EQ(events.size(), 3u) << "the same match sends no second note";
  EXPECT_EQ(events[0].bytes, (Bytes{0xA2, 0x01, 0x3F}));
  EXPECT_EQ(events[1].bytes, (Bytes{0xA3, 0x01, 0x19}));
  EXPECT_EQ(events[2].bytes, (Bytes{0xA4, 0x01, 0x7F}));
}

TEST_F(InterpreterThroughJack, GeneratedNotesArriveOnTheStepsAndEndAfter100Ms) {
  ASSERT_TRUE(reader->ConnectFrom("Zanvel"));
  interpreter->SetPosition(0.5f, 0.7f, 0.5f);
  interpreter->SetSendNotesToMidiPort(true);
  ASSERT_TRUE(reader->WaitFor(20, 15s)) << "ten notes with their ends";
  interpreter->SetSendNotesToMidiPort(false);
  snooze(300000);  // a note end may still be due; no new note may come

  // In frames, as a synthesiser would play them.
  std::vector<uint32_t> starts, ends;
  const double framesPerMs = reader->SampleRate() / 1000.0;
  size_t allOff = 0;
  bool noteAfterSilence = false;
  for (const auto& e : reader->Events()) {
    if (e.bytes.size() == 3 && e.bytes[0] == 0x97 && e.bytes[1] == 63) {
      if (allOff > 0 && e.bytes[2] != 0) noteAfterSilence = true;
      (e.bytes[2] != 0 ? starts : ends).push_back(e.frame);
    } else if (e.bytes.size() == 3 && (e.bytes[0] & 0xF0) == 0xB0 && e.bytes[1] == 123) {
      allOff++;
    } else {
      ADD_FAILURE() << "unexpected message " << int(e.bytes[0]);
    }
  }
  EXPECT_EQ(allOff, 16u) << "switching off silences every channel";
  EXPECT_FALSE(noteAfterSilence);
  ASSERT_GE(starts.size(), 10u);
  ASSERT_GE(ends.size(), 10u);

  const double step = 60000.0 / 141.0 / 4.0;
  for (size_t i = 1; i < 10; i++) {
    const double ms = int32_t(starts[i] - starts[0]) / framesPerMs;
    const double steps = std::round(ms / step);
    EXPECT_GE(steps, 1.0);
    EXPECT_NEAR(ms, steps * step, kToleranceMs) << "note " << i;
  }
  for (size_t i = 0; i < 10; i++)
    EXPECT_NEAR(int32_t(ends[i] - starts[i]) / framesPerMs, 100.0, kToleranceMs) << "note " << i;
}
