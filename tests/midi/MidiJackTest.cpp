// The MIDI port through a real JACK server (the dummy driver) and a JACK MIDI reader.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <future>
#include <map>

#include "JackPeer.h"
#include "platform/midi/BMidiPort.h"
#include "platform/support/Time.h"

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {
uint32 NowMs() { return uint32(system_time() / 1000); }

// One JACK period at 48 kHz and 256 frames is 5.3 ms; RtMidi hands messages to JACK at the
// start of the next period. Arrival may thus trail the stamp by a period plus the
// scheduler's wake-up; 40 ms leaves room for a loaded machine.
constexpr bigtime_t kLateUs = 40000;

bool Contains(const std::vector<std::string>& names, const std::string& suffix) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& n) { return n.ends_with(suffix); });
}
}  // namespace

TEST(MidiWithoutService, NoJackServerMeansNoDevicesAndOpenFails) {
  setenv("ZANVEL_MIDI_API", "jack", 1);
  const std::string nobody = "zanvel-nobody-" + std::to_string(getpid());
  setenv("JACK_DEFAULT_SERVER", nobody.c_str(), 1);
  BMidiPort port;
  EXPECT_STREQ(port.ApiName(), "JACK");
  EXPECT_EQ(port.CountDevices(), 0);
  char name[32];
  EXPECT_EQ(port.GetDeviceName(0, name, sizeof name), B_BAD_INDEX);
  EXPECT_NE(port.Open("Zanvel"), 0);
  port.NoteOn(1, 60, 100);  // goes nowhere, harmlessly
  EXPECT_EQ(port.CountSent(), 0u);
}

TEST(MidiWithoutService, AForcedAlsaWithoutSequencerHasNoDevices) {
  if (access("/dev/snd/seq", F_OK) == 0) GTEST_SKIP() << "this machine has an ALSA sequencer";
  setenv("ZANVEL_MIDI_API", "alsa", 1);
  BMidiPort port;
  EXPECT_STREQ(port.ApiName(), "ALSA");
  EXPECT_EQ(port.CountDevices(), 0);
  EXPECT_NE(port.Open("Zanvel"), 0);
}

TEST(MidiApiChoice, TheEnvironmentForcesTheService) {
  setenv("ZANVEL_MIDI_API", "none", 1);
  EXPECT_STREQ(BMidiPort().ApiName(), "none");
  setenv("ZANVEL_MIDI_API", "jack", 1);
  EXPECT_STREQ(BMidiPort().ApiName(), "JACK");
  // Without an ALSA sequencer device the automatic choice is JACK.
  if (access("/dev/snd/seq", R_OK | W_OK) != 0) {
    unsetenv("ZANVEL_MIDI_API");
    EXPECT_STREQ(BMidiPort().ApiName(), "JACK");
  }
}

class MidiThroughJack : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ZANVEL_MIDI_API", "jack", 1);
    server = std::make_unique<JackServer>();
    ASSERT_TRUE(server->Up()) << "jackd -d dummy did not come up";
    reader = std::make_unique<JackMidiReader>();
    ASSERT_TRUE(reader->Ok());
  }
  void TearDown() override {
    reader.reset();
    server.reset();
  }
  std::unique_ptr<JackServer> server;
  std::unique_ptr<JackMidiReader> reader;
};

TEST_F(MidiThroughJack, OwnPortIsDeviceZeroAndCarriesMessages) {
  BMidiPort port;
  ASSERT_GE(port.CountDevices(), 2) << "our own port and the reader's input";
  char name[32];
  ASSERT_EQ(port.GetDeviceName(0, name, sizeof name), B_OK);
  EXPECT_STREQ(name, "Zanvel");
  ASSERT_EQ(port.Open(name), 0);
  EXPECT_TRUE(Contains(reader->Ports(), ":Zanvel")) << "jack_lsp would not show our port";
  ASSERT_TRUE(reader->ConnectFrom("Zanvel"));

  port.NoteOn(1, 32, 64, NowMs());
  port.KeyPressure(3, 1, 63, NowMs());
  port.ControlChange(1, 1, 2, NowMs());
  ASSERT_TRUE(reader->WaitFor(3, 5s));
  const auto events = reader->Events();
  EXPECT_EQ(events[0].bytes, (Bytes{0x90, 0x20, 0x40}));
  EXPECT_EQ(events[1].bytes, (Bytes{0xA2, 0x01, 0x3F}));
  EXPECT_EQ(events[2].bytes, (Bytes{0xB0, 0x01, 0x02}));

  port.Close();
  snooze(100000);
  EXPECT_FALSE(Contains(reader->Ports(), ":Zanvel")) << "closing removes the port";
}

TEST_F(MidiThroughJack, FutureMessagesArriveAtTheirTime) {
  BMidiPort port;
  ASSERT_EQ(port.Open("Zanvel"), 0);
  ASSERT_TRUE(reader->ConnectFrom("Zanvel"));
  snooze(50000);
  const uint32 start = NowMs();
  const uint32 stamps[] = {start + 150, start + 50, start + 100, start + 100};
  port.NoteOn(2, 3, 1, stamps[0]);
  port.NoteOn(2, 1, 1, stamps[1]);
  port.NoteOn(2, 2, 1, stamps[2]);
  port.NoteOn(2, 22, 1, stamps[3]);
  ASSERT_TRUE(reader->WaitFor(4, 5s));
  const auto events = reader->Events();
  const uint8_t order[] = {1, 2, 22, 3};
  const uint32 due[] = {start + 50, start + 100, start + 100, start + 150};
  for (size_t i = 0; i < 4; i++) {
    EXPECT_EQ(events[i].bytes, (Bytes{0x91, order[i], 1}));
    EXPECT_GE(events[i].time, bigtime_t(due[i]) * 1000) << "early, message " << i;
    EXPECT_LE(events[i].time, bigtime_t(due[i]) * 1000 + kLateUs) << "late, message " << i;
  }
}

TEST_F(MidiThroughJack, MessagesAMillisecondApartArriveAMillisecondApartWithinACycle) {
  BMidiPort port;
  ASSERT_EQ(port.Open("Zanvel"), 0);
  ASSERT_TRUE(reader->ConnectFrom("Zanvel"));
  snooze(50000);
  const double framesPerMs = reader->SampleRate() / 1000.0;
  // Three stamps within one 5.3 ms period: the frame offsets must keep them apart. A
  // loaded machine may wake the scheduler late now and then, which puts a message at the
  // start of a later cycle (and a dummy server's cycles run late under load too); five rounds
  // of fifteen must still be exact, which a writer that ignores the offsets never is.
  int exact = 0;
  for (int round = 0; round < 15 && exact < 5; round++) {
    reader->Clear();
    const uint32 now = NowMs();
    for (uint8 i = 0; i < 3; i++) port.KeyPressure(1, 60, i, now + i);
    ASSERT_TRUE(reader->WaitFor(3, 5s));
    const auto events = reader->Events();
    bool ok = true;
    for (size_t i = 1; i < 3; i++) {
      const double gap = int32_t(events[i].frame - events[i - 1].frame) / framesPerMs;
      ok = ok && std::abs(gap - 1.0) <= 0.1;
    }
    exact += ok ? 1 : 0;
    snooze(20000);
  }
  EXPECT_GE(exact, 5) << "of 15 rounds, messages a millisecond apart landed a millisecond apart";
}

TEST_F(MidiThroughJack, OpensAnotherDestinationEvenByItsCutName) {
  JackMidiReader longNamed("an input port whose name is long");
  ASSERT_TRUE(longNamed.Ok());
  BMidiPort port;
  char name[32] = "";
  int found = -1;
  for (int32 i = 0; i < port.CountDevices(); i++) {
    port.GetDeviceName(i, name, sizeof name);
    if (std::string(name).starts_with("zanvel-reader") && strlen(name) == 31) found = i;
  }
  ASSERT_GE(found, 1) << "the long name is listed, cut to 31 bytes";
  ASSERT_EQ(port.Open(name), 0);
  port.NoteOn(5, 70, 90);
  ASSERT_TRUE(longNamed.WaitFor(1, 5s));
  EXPECT_EQ(longNamed.Events()[0].bytes, (Bytes{0x94, 70, 90}));
  EXPECT_TRUE(reader->Events().empty()) << "only the chosen destination hears it";
}

TEST_F(MidiThroughJack, AServerThatGoesAwayNeitherHangsNorCrashes) {
  auto port = std::make_unique<BMidiPort>();
  ASSERT_EQ(port->Open("Zanvel"), 0);
  server->Kill();
  snooze(200000);
  // More than RtMidi's JACK ring buffer holds: sending must not wait for a dead server.
  for (int i = 0; i < 5000; i++) port->NoteOn(1, uchar(i % 128), 1);
  const bigtime_t before = system_time();
  const auto accounted = [&] { return port->CountUnsent() + port->CountDropped(); };
  for (int i = 0; i < 200 && accounted() < 5000; i++) snooze(10000);
  EXPECT_EQ(accounted(), 5000u) << "each message either refused or dropped, with a count";
  EXPECT_EQ(port->CountDevices(), 0);
  EXPECT_NE(port->Open("Zanvel"), 0);
  port.reset();
  EXPECT_LT(system_time() - before, 10000000);
}

TEST_F(MidiThroughJack, WhatIsPostedDuringAStallArrivesInOrderWhenTheServerRunsAgain) {
  BMidiPort port;
  ASSERT_EQ(port.Open("Zanvel"), 0);
  ASSERT_TRUE(reader->ConnectFrom("Zanvel"));
  snooze(100000);
  std::vector<Bytes> accepted;
  std::future<const char*> name;  // ends after the server runs again
  {
    StoppedJackServer stopped(*server);
    snooze(300000);  // long enough to tell a stall from a late cycle
    // Far more than RtMidi's ring buffer and the queue hold together.
    const bigtime_t start = system_time();
    for (int i = 0; i < 5000; i++) {
      const uint8 data1 = uint8(i / 128), data2 = uint8(i % 128);
      if (port.Post(0xA0, data1, data2) == B_OK) accepted.push_back({0xA0, data1, data2});
    }
    EXPECT_LT(system_time() - start, 2000000) << "Post waited for the stopped server";
    EXPECT_LT(accepted.size(), 5000u);
    EXPECT_EQ(port.CountDropped(), 5000u - accepted.size());
    snooze(200000);
    name = std::async(std::launch::async, [&port] { return port.PortName(); });
    EXPECT_EQ(name.wait_for(2s), std::future_status::ready)
        << "the port is held by a send stuck on the stopped server";
  }
  EXPECT_STREQ(name.get(), "Zanvel");
  ASSERT_TRUE(reader->WaitFor(accepted.size(), 10s));
  snooze(100000);
  const auto events = reader->Events();
  ASSERT_EQ(events.size(), accepted.size()) << "lost or added when the server ran again";
  for (size_t i = 0; i < events.size(); i++) ASSERT_EQ(events[i].bytes, accepted[i]) << i;
}

TEST_F(MidiThroughJack, ANoteEndSentAsTheServerStallsIsNotLost) {
  BMidiPort port;
  ASSERT_EQ(port.Open("Zanvel"), 0);
  ASSERT_TRUE(reader->ConnectFrom("Zanvel"));
  snooze(100000);
  for (uint8 note = 40; note < 50; note++) port.NoteOn(1, note, 100);
  ASSERT_TRUE(reader->WaitFor(10, 5s));
  {
    // The note ends go to the ring buffer before the stall shows; the first cycles after
    // a stall may lose what it holds.
    StoppedJackServer stopped(*server);
    for (uint8 note = 40; note < 50; note++) port.NoteOff(1, note, 0);
    snooze(500000);
  }
  snooze(500000);
  std::map<int, bool> sounding;
  for (const auto& e : reader->Events()) {
    if (e.bytes.size() == 3 && (e.bytes[0] & 0xF0) == 0x90 && e.bytes[2] != 0) sounding[e.bytes[1]] = true;
    if (e.bytes.size() == 3 && (e.bytes[0] & 0xF0) == 0x80) sounding[e.bytes[1]] = false;
  }
  for (const auto& [note, on] : sounding) EXPECT_FALSE(on) << "note " << note << " left on";
}
