// What the interpreter sends on MIDI, as its port's monitor sees it: the matched note and
// modulation wheel, the position as key pressure, the generated notes and their switches.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdio>

#include "InterpreterMidi.h"
#include "RecordingMidi.h"
#include "platform/device/BSerialPort.h"
#include "device/PseudoTerminal.h"
#include "platform/interface/RecordingAlertService.h"
#include "interpreter/Rhythm.h"
#include "platform/midi/BMidiPort.h"
#include "platform/support/Time.h"

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {
uint32 NowMs() { return uint32(system_time() / 1000); }

// Without a MIDI service the port opens nothing, but its monitors still see every message.
class InterpreterMidi : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ZANVEL_MIDI_API", "none", 1);
    // A serial line for the LCS output, so that construction has nothing to say about it.
    setenv(kSerialDevicesVariable, (serialLine.Path() + ":" + serialLine.Path()).c_str(), 1);
    interpreter = window.MakeInterpreter();
    interpreter->MidiPort()->Connect(&monitor);
  }
  void TearDown() override {
    interpreter.reset();
    unsetenv(kSerialDevicesVariable);
  }

  void Show(Picture picture) {
    Frame frame(picture);
    ::testing::internal::CaptureStdout();  // the frame-rate lines
    interpreter->Interpret(frame.image());
    ::testing::internal::GetCapturedStdout();
  }
  void AddExamples(Picture picture, int count) {
    for (int i = 0; i < count; i++) {
      interpreter->SaveNextImageToMatcher();
      Show(picture);
    }
  }
  std::vector<Bytes> Sent() {
    std::vector<Bytes> sent;
    for (const auto& m : monitor.Messages()) sent.push_back(m.bytes);
    return sent;
  }

  PseudoTerminal serialLine;
  RecordingAlertService alerts;
  ScopedAlertService alertScope{&alerts};
  InterpreterWindow window;
  std::unique_ptr<PositionedInterpreter> interpreter;
  RecordingMidi monitor;
};
}  // namespace

TEST_F(InterpreterMidi, WithoutAServiceConstructionSaysSoOnce) {
  ASSERT_EQ(alerts.CountAlerts(), 1u);
  const AlertRequest alert = alerts.Alerts()[0];
  EXPECT_EQ(alert.title, "");
  EXPECT_EQ(alert.text.rfind("can't open ", 0), 0u) << alert.text;
  EXPECT_EQ(alert.buttons, std::vector<std::string>{"ug"});
  EXPECT_EQ(alert.type, B_INFO_ALERT);
}

TEST_F(InterpreterMidi, SetMidiPortReopensAndSighsAtAFailure) {
  alerts.Clear();
  interpreter->SetMidiPort("no such port");
  ASSERT_TRUE(interpreter->WaitForOutputs());
  ASSERT_EQ(alerts.CountAlerts(), 1u);
  EXPECT_EQ(alerts.Alerts()[0].text, "can't open no such port");
  EXPECT_EQ(alerts.Alerts()[0].buttons, std::vector<std::string>{"sigh"});
  // Nothing keeps sounding on the device left behind: All Notes Off on every channel first.
  std::vector<Bytes> expected;
  for (uint8_t channel = 0; channel < 16; channel++) expected.push_back({uint8_t(0xB0 | channel), 123, 0});
  // The outputs keep addressing the same port object.
  interpreter->SetSendMatchedAsNotesToMidiPort(true);
  AddExamples(Picture::kVertical, 1);
  Show(Picture::kVertical);
  expected.push_back({0x90, 0x20, 0x40});
  EXPECT_EQ(Sent(), expected);
}

TEST_F(InterpreterMidi, MatchedNotesRunFrom32To127AndRepeatEvery96) {
  interpreter->SetSendMatchedAsNotesToMidiPort(true);
  interpreter->SetSendMatchedAsModwheelToMidiPort(true);
  AddExamples(Picture::kVertical, 95);   // 0 to 94
  AddExamples(Picture::kHorizontal, 1);  // 95
  AddExamples(Picture::kDiagonal, 1);    // 96
  EXPECT_TRUE(monitor.Messages().empty()) << "storing examples sends nothing";

  const uint32 before = NowMs();
  Show(Picture::kVertical);
  Show(Picture::kVertical);  // the same match again: nothing new
  Show(Picture::kHorizontal);
  Show(Picture::kDiagonal);
  const uint32 after = NowMs();
  EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x90, 32, 64},
                                         {0xB0, 1, 0},
                                         {0x90, 127, 64},
                                         {0xB0, 1, 95},
                                         {0x90, 32, 64},
                                         {0xB0, 1, 96}}));
  for (const auto& m : monitor.Messages()) {
    EXPECT_GE(m.time, before) << "stamped now";
    EXPECT_LE(m.time, after);
  }
}

TEST_F(InterpreterMidi, ModulationWheelWrapsAt128) {
  interpreter->SetSendMatchedAsModwheelToMidiPort(true);
  AddExamples(Picture::kVertical, 130);
  AddExamples(Picture::kChecker, 1);  // 130
  Show(Picture::kChecker);
  EXPECT_EQ(Sent(), (std::vector<Bytes>{{0xB0, 1, 2}}));
}

TEST_F(InterpreterMidi, MatchedOutputsAreOffUntilSwitchedOn) {
  AddExamples(Picture::kVertical, 1);
  AddExamples(Picture::kHorizontal, 1);
  Show(Picture::kVertical);
  Show(Picture::kHorizontal);
  interpreter->SetSendMatchedAsNotesToSynth(true);  // there is no synth: nothing, no crash
  Show(Picture::kVertical);
  EXPECT_TRUE(monitor.Messages().empty());
}

TEST_F(InterpreterMidi, PositionGoesOutAsKeyPressureOnEveryFrame) {
  interpreter->SetPosition(0.5f, 0.2f, 1.0f);
  Show(Picture::kVertical);
  EXPECT_TRUE(monitor.Messages().empty()) << "\"Position to MIDI\" starts off";

  interpreter->SetSendToKDX(true);
  interpreter->SetKDXBussId(1);
  const uint32 before = NowMs();
  Show(Picture::kVertical);
  Show(Picture::kVertical);
  const auto got = monitor.Messages();
  ASSERT_EQ(got.size(), 6u);
  EXPECT_EQ(got[0].bytes, (Bytes{0xA2, 1, 63}));
  EXPECT_EQ(got[1].bytes, (Bytes{0xA3, 1, 25}));
  EXPECT_EQ(got[2].bytes, (Bytes{0xA4, 1, 127}));
  EXPECT_GE(got[0].time, before);
  EXPECT_EQ(got[1].time, got[0].time + 1);
  EXPECT_EQ(got[2].time, got[0].time + 2);
  EXPECT_EQ(got[3].bytes, got[0].bytes);
}

TEST_F(InterpreterMidi, KeyPressureWrapsAboveOneAndFloorsBelowZero) {
  interpreter->SetSendToKDX(true);
  interpreter->SetKDXBussId(0x0105);  // only the low byte is the note
  interpreter->SetPosition(1.5f, -0.3f, 2.0f);
  Show(Picture::kVertical);
  interpreter->SetPosition(1e12f, std::nanf(""), 0.999f);
  Show(Picture::kVertical);
  EXPECT_EQ(Sent(), (std::vector<Bytes>{{0xA2, 5, 190 & 0x7F},
                                         {0xA3, 5, 0},
                                         {0xA4, 5, 254 & 0x7F},
                                         {0xA2, 5, 0},  // 127e12 is a multiple of 128
                                         {0xA3, 5, 0},
                                         {0xA4, 5, 126}}));
}

TEST_F(InterpreterMidi, NotesToMidiStartsOneThreadAndStopsItSilencingThePort) {
  interpreter->SetPosition(0.5f, 0.9f, 0.5f);
  const int idle = CountThreads();
  interpreter->SetSendNotesToMidiPort(true);
  interpreter->SetSendNotesToMidiPort(true);
  EXPECT_EQ(CountThreads(), idle + 1);
  ASSERT_TRUE(monitor.WaitFor(2, 5s)) << "no note within five seconds";

  const bigtime_t before = system_time();
  interpreter->SetSendNotesToMidiPort(false);
  EXPECT_LT(system_time() - before, 106380) << "stopping took more than a step";
  EXPECT_EQ(CountThreads(), idle);
  const auto got = monitor.Messages();
  ASSERT_GE(got.size(), 18u);
  // The notes: channel 8, note 63, velocities 27 to 126, each followed by its end.
  size_t i = 0;
  for (; i + 16 < got.size(); i += 2) {
    EXPECT_EQ(got[i].bytes[0], 0x97);
    EXPECT_EQ(got[i].bytes[1], 63);
    EXPECT_GE(got[i].bytes[2], 27);
    EXPECT_LE(got[i].bytes[2], 126);
    EXPECT_EQ(got[i + 1].bytes, (Bytes{0x97, 63, 0}));
    EXPECT_EQ(got[i + 1].time, got[i].time + 100);
  }
  // Then All Notes Off on every channel.
  for (uint8_t channel = 0; channel < 16; channel++)
    EXPECT_EQ(got[i + channel].bytes, (Bytes{uint8_t(0xB0 | channel), 123, 0}));
  snooze(250000);
  EXPECT_EQ(monitor.Messages().size(), got.size()) << "a note after the switch went off";
}

TEST_F(InterpreterMidi, TheRhythmRunsWhileEitherNotesOutputIsOn) {
  const int idle = CountThreads();
  interpreter->SetSendNotesToSynth(true);
  EXPECT_EQ(CountThreads(), idle + 1);
  interpreter->SetSendNotesToMidiPort(true);
  interpreter->SetSendNotesToMidiPort(false);
  EXPECT_EQ(CountThreads(), idle + 1) << "the synth output still wants notes";
  interpreter->SetSendNotesToMidiPort(true);
  interpreter->SetSendNotesToSynth(false);
  EXPECT_EQ(CountThreads(), idle + 1) << "the port output still wants notes";
  interpreter->SetSendNotesToMidiPort(false);
  EXPECT_EQ(CountThreads(), idle);
}

// The rhythm on its own, connected straight to a recorder.
class RhythmNotes : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ZANVEL_MIDI_API", "none", 1);
    interpreter = window.MakeInterpreter();
  }
  // Plays until count note-ons (and their ends) arrived.
  std::vector<RecordedMessage> Play(size_t notes) {
    Rhythm rhythm(141.0f, interpreter.get());
    rhythm.Connect(&recorder);
    rhythm.Start();
    EXPECT_TRUE(recorder.WaitFor(2 * notes, std::chrono::milliseconds(notes * 1000 + 2000)));
    rhythm.Stop();
    return recorder.Messages();
  }
  RecordingAlertService alerts;
  ScopedAlertService alertScope{&alerts};
  InterpreterWindow window;
  std::unique_ptr<PositionedInterpreter> interpreter;
  RecordingMidi recorder;
};

TEST_F(RhythmNotes, ChannelFollowsZAndNoteFollowsX) {
  struct Case {
    float x, z;
    uint8_t status, note;
  };
  for (const Case& c : {Case{0.5f, 0.5f, 0x97, 63}, Case{1.2f, 1.0f, 0x9F, 127},
                        Case{0.0f, 0.0f, 0x90, 0}, Case{-1.0f, -2.0f, 0x90, 0},
                        Case{0.999f, 0.07f, 0x91, 126}}) {
    recorder.Clear();
    interpreter->SetPosition(c.x, 0.3f, c.z);
    const auto got = Play(1);
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[0].bytes[0], c.status) << "x " << c.x << " z " << c.z;
    EXPECT_EQ(got[0].bytes[1], c.note) << "x " << c.x << " z " << c.z;
  }
}

TEST_F(RhythmNotes, StepsAreSixteenthsAtTempo141AndNotesLast100Ms) {
  interpreter->SetPosition(0.5f, 0.0f, 0.5f);
  const auto got = Play(12);
  ASSERT_GE(got.size(), 24u);
  const double step = 60000.0 / 141.0 / 4.0;  // 106.38 ms
  for (size_t i = 0; i + 1 < 24; i += 2) {
    EXPECT_EQ(got[i + 1].time, got[i].time + 100) << "note " << i / 2;
    EXPECT_EQ(got[i + 1].bytes[2], 0);
    // Rests leave whole steps out; a note always falls on a step (stamps truncate).
    const double steps = (got[i].time - got[0].time) / step;
    EXPECT_NEAR(steps, std::round(steps), 1.5 / step) << "note " << i / 2;
    // The stamp is the moment it was sprayed, not later.
    EXPECT_LE(bigtime_t(got[i].time) * 1000, got[i].received);
  }
}

namespace {
// The clock of a machine that has been up for 20 days.
bigtime_t LongUptime() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return bigtime_t(20) * 86400 * 1000000 + bigtime_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}
}  // namespace

TEST_F(RhythmNotes, KeepsTimeOnAMachineThatHasBeenUpForWeeks) {
  interpreter->SetPosition(0.5f, 0.0f, 0.5f);
  set_system_time_source(LongUptime);
  const auto got = Play(6);
  set_system_time_source(nullptr);
  ASSERT_GE(got.size(), 12u);
  const double step = 60000.0 / 141.0 / 4.0;
  for (size_t i = 0; i + 1 < 12; i += 2) {
    EXPECT_EQ(got[i + 1].time, got[i].time + 100);
    const double steps = (got[i].time - got[0].time) / step;
    EXPECT_NEAR(steps, std::round(steps), 1.5 / step) << "note " << i / 2;
  }
}
