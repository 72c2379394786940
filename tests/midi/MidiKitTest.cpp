// The MIDI kit without a service: connections, the object thread, the scheduler, and the
// port's wire bytes over a recording back end.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "RecordingMidi.h"
#include "platform/midi/BMidiPort.h"
#include "platform/midi/MidiOutput.h"
#include "platform/midi/MidiScheduler.h"
#include "platform/support/Time.h"

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {
uint32 NowMs() { return uint32(system_time() / 1000); }

// A producer whose sprays tests trigger by hand.
class Producer : public BMidi {
 public:
  void Note(uchar channel, uchar note, uchar velocity, uint32 time) {
    SprayNoteOn(channel, note, velocity, time);
  }
  void Everything(uint32 time) {
    SprayNoteOff(2, 60, 10, time);
    SprayKeyPressure(3, 61, 11, time);
    SprayControlChange(4, 1, 12, time);
    SprayProgramChange(5, 13, time);
    SprayChannelPressure(6, 14, time);
    SprayPitchBend(7, 15, 16, time);
  }
};

// A thread that counts its runs and sleeps a step at a time.
class Stepper : public BMidi {
 public:
  ~Stepper() override { Stop(); }
  std::atomic<int> runs{0};
  std::atomic<int> steps{0};
  std::atomic<uint32> stepMs{10};
  std::atomic<bool> returnAfterOneStep{false};

 protected:
  void Run() override {
    runs++;
    while (KeepRunning()) {
      SnoozeUntil(NowMs() + stepMs.load());
      steps++;
      if (returnAfterOneStep) return;
    }
  }
};

struct SentMessage {
  Bytes bytes;
  bigtime_t at;
};

// The back end of a port under test: one destination, every send written down.
class RecordingOutput : public MidiOutput {
 public:
  struct Log {
    std::atomic<bool> room{true};  // false: a stalled service
    std::mutex lock;
    std::vector<SentMessage> sent;
    std::vector<SentMessage> Sent() {
      std::lock_guard<std::mutex> guard(lock);
      return sent;
    }
    bool WaitFor(size_t count, std::chrono::milliseconds timeout) {
      const bigtime_t deadline = system_time() + bigtime_t(timeout.count()) * 1000;
      while (system_time() < deadline) {
        if (Sent().size() >= count) return true;
        snooze(1000);
      }
      return Sent().size() >= count;
    }
  };
  explicit RecordingOutput(std::shared_ptr<Log> log) : fLog(std::move(log)) {}
  const char* ApiName() const override { return "recording"; }
  std::vector<std::string> Devices() override {
    return {kOwnMidiPortName, "synth:a rather long name of a midi input"};
  }
  status_t Open(const std::string& device) override {
    for (const std::string& name : Devices()) {
      if (name == device) {
        fOpen = true;
        return B_OK;
      }
    }
    return B_NAME_NOT_FOUND;
  }
  void Close() override { fOpen = false; }
  bool IsOpen() const override { return fOpen; }
  bool HasRoom(size_t, size_t) override { return fLog->room.load(); }
  bool Send(const uint8* bytes, size_t size, bigtime_t) override {
    if (!fOpen) return false;
    std::lock_guard<std::mutex> guard(fLog->lock);
    fLog->sent.push_back({Bytes(bytes, bytes + size), system_time()});
    return true;
  }

 private:
  std::shared_ptr<Log> fLog;
  bool fOpen = false;
};

class RecordingSink : public MidiScheduler::Sink {
 public:
  bool Deliver(const MidiEvent& event) override {
    if (refusing.load()) return false;
    std::lock_guard<std::mutex> guard(lock);
    delivered.push_back({Bytes(event.bytes, event.bytes + event.size), system_time()});
    stamps.push_back(event.time);
    return true;
  }
  std::vector<SentMessage> Delivered() {
    std::lock_guard<std::mutex> guard(lock);
    return delivered;
  }
  bool WaitFor(size_t count, std::chrono::milliseconds timeout) {
    const bigtime_t deadline = system_time() + bigtime_t(timeout.count()) * 1000;
    while (system_time() < deadline) {
      if (Delivered().size() >= count) return true;
      snooze(1000);
    }
    return Delivered().size() >= count;
  }
  std::atomic<bool> refusing{false};  // a sink without room, as a stalled service
  std::mutex lock;
  std::vector<SentMessage> delivered;
  std::vector<uint32> stamps;
};

MidiEvent Event(uint32 time, uint8 status, uint8 data1, uint8 data2) {
  MidiEvent event;
  event.time = time;
  event.size = 3;
  event.bytes[0] = status;
  event.bytes[1] = data1;
  event.bytes[2] = data2;
  return event;
}
}  // namespace

TEST(BMidiConnections, SpraysReachEveryConsumerWithTheirStamps) {
  Producer producer;
  RecordingMidi a, b;
  producer.Connect(&a);
  producer.Connect(&b);
  producer.Connect(&a);  // twice is once
  EXPECT_EQ(producer.Connections().size(), 2u);

  producer.Note(1, 60, 100, 1234);
  producer.Everything(99);
  const auto got = a.Messages();
  ASSERT_EQ(got.size(), 7u);
  EXPECT_EQ(got[0].bytes, (Bytes{0x90, 60, 100}));
  EXPECT_EQ(got[0].time, 1234u);
  EXPECT_EQ(got[1].bytes, (Bytes{0x81, 60, 10}));
  EXPECT_EQ(got[2].bytes, (Bytes{0xA2, 61, 11}));
  EXPECT_EQ(got[3].bytes, (Bytes{0xB3, 1, 12}));
  EXPECT_EQ(got[4].bytes, (Bytes{0xC4, 13}));
  EXPECT_EQ(got[5].bytes, (Bytes{0xD5, 14}));
  EXPECT_EQ(got[6].bytes, (Bytes{0xE6, 15, 16}));
  EXPECT_EQ(got[6].time, 99u);
  EXPECT_EQ(b.Messages().size(), 7u);

  producer.Disconnect(&a);
  EXPECT_FALSE(producer.IsConnected(&a));
  producer.Note(1, 61, 100, 0);
  EXPECT_EQ(a.Messages().size(), 7u);
  EXPECT_EQ(b.Messages().size(), 8u);
}

TEST(BMidiConnections, AConsumerThatDiesLeavesItsProducers) {
  Producer producer;
  {
    RecordingMidi gone;
    producer.Connect(&gone);
  }
  EXPECT_TRUE(producer.Connections().empty());
  producer.Note(1, 60, 100, 0);  // must not reach freed memory (the address sanitizer sees it)

  RecordingMidi consumer;
  {
    Producer shortLived;
    shortLived.Connect(&consumer);
  }
  // The consumer no longer names the dead producer: connecting it elsewhere still works.
  producer.Connect(&consumer);
  producer.Note(1, 62, 1, 0);
  EXPECT_EQ(consumer.Messages().size(), 1u);
}

TEST(BMidiConnections, APortDestroyedWhileAProducerSpraysIntoItIsLeftAlone) {
  class Sprayer : public BMidi {
   public:
    ~Sprayer() override { Stop(); }
    std::atomic<int> sprays{0};

   protected:
    void Run() override {
      while (KeepRunning()) {
        SprayNoteOn(1, 60, 100, B_NOW);
        sprays++;
      }
    }
  } sprayer;
  auto log = std::make_shared<RecordingOutput::Log>();
  auto port = std::make_unique<BMidiPort>(std::make_unique<RecordingOutput>(log));
  port->Open("Zanvel");
  sprayer.Connect(port.get());
  sprayer.Start();
  while (sprayer.sprays.load() < 100) snooze(1000);
  port.reset();
  EXPECT_TRUE(sprayer.Connections().empty());
  const int before = sprayer.sprays.load();
  while (sprayer.sprays.load() < before + 100) snooze(1000);  // still spraying, into nothing
  sprayer.Stop();
}

TEST(BMidiThread, StartTwiceRunsOneThreadAndStopEndsItPromptly) {
  Stepper stepper;
  stepper.stepMs = 10000;  // one long sleep: Stop must cut it short
  EXPECT_EQ(stepper.Start(), B_OK);
  EXPECT_EQ(stepper.Start(), B_OK);
  snooze(50000);
  EXPECT_EQ(stepper.runs.load(), 1);
  EXPECT_TRUE(stepper.IsRunning());

  const bigtime_t before = system_time();
  stepper.Stop();
  EXPECT_LT(system_time() - before, 2000000) << "Stop waited for the whole snooze";
  EXPECT_FALSE(stepper.IsRunning());

  stepper.stepMs = 5;
  stepper.Start();
  snooze(60000);
  stepper.Stop();
  EXPECT_EQ(stepper.runs.load(), 2);
  EXPECT_GE(stepper.steps.load(), 2);
}

TEST(BMidiThread, ARunThatEndsByItselfCanBeStartedAgain) {
  Stepper stepper;
  stepper.returnAfterOneStep = true;
  stepper.stepMs = 1;
  stepper.Start();
  for (int i = 0; i < 200 && stepper.IsRunning(); i++) snooze(5000);
  EXPECT_FALSE(stepper.IsRunning());
  stepper.Start();
  for (int i = 0; i < 200 && stepper.runs.load() < 2; i++) snooze(5000);
  EXPECT_EQ(stepper.runs.load(), 2);
}

TEST(BMidiThread, SnoozeUntilReachesTheMillisecond) {
  class Sleeper : public BMidi {
   public:
    ~Sleeper() override { Stop(); }
    std::atomic<bigtime_t> woke{0};
    uint32 target = 0;

   protected:
    void Run() override {
      SnoozeUntil(target);
      woke = system_time();
    }
  } sleeper;
  sleeper.target = NowMs() + 30;
  sleeper.Start();
  for (int i = 0; i < 400 && sleeper.woke.load() == 0; i++) snooze(5000);
  ASSERT_NE(sleeper.woke.load(), 0);
  EXPECT_GE(sleeper.woke.load() / 1000, bigtime_t(sleeper.target));
}

TEST(MidiScheduler, PastAndPresentGoAtOnceInTheOrderGiven) {
  RecordingSink sink;
  MidiScheduler scheduler(sink);
  const uint32 now = NowMs();
  scheduler.Schedule(Event(now, 0x90, 1, 1));
  scheduler.Schedule(Event(now - 500, 0x90, 2, 1));
  scheduler.Schedule(Event(B_NOW, 0x90, 3, 1));
  scheduler.Schedule(Event(now, 0x90, 4, 1));
  ASSERT_TRUE(sink.WaitFor(4, 2s));
  const auto got = sink.Delivered();
  // They may go out one by one as they come, so only the order of equal stamps is fixed.
  std::vector<uint8_t> notes;
  for (const auto& m : got) notes.push_back(m.bytes[1]);
  const auto pos = [&](uint8_t note) { return std::find(notes.begin(), notes.end(), note); };
  EXPECT_LT(pos(1), pos(4)) << "equal stamps must keep their order";
}

TEST(MidiScheduler, FutureMessagesWaitForTheirTimeInTimeOrder) {
  RecordingSink sink;
  MidiScheduler scheduler(sink);
  const uint32 now = NowMs();
  scheduler.Schedule(Event(now + 120, 0x90, 3, 1));
  scheduler.Schedule(Event(now + 40, 0x90, 1, 1));
  scheduler.Schedule(Event(now + 80, 0x90, 2, 1));
  scheduler.Schedule(Event(now + 80, 0x90, 22, 1));
  EXPECT_EQ(scheduler.Pending(), 4u);
  ASSERT_TRUE(sink.WaitFor(4, 3s));
  const auto got = sink.Delivered();
  const uint8_t order[] = {1, 2, 22, 3};
  const uint32 due[] = {now + 40, now + 80, now + 80, now + 120};
  for (size_t i = 0; i < 4; i++) {
    EXPECT_EQ(got[i].bytes[1], order[i]);
    // Never early; late by at most 50 ms even on a loaded machine.
    EXPECT_GE(got[i].at, bigtime_t(due[i]) * 1000);
    EXPECT_LT(got[i].at, bigtime_t(due[i]) * 1000 + 50000);
  }
}

TEST(MidiScheduler, AFullQueueDropsAndCounts) {
  RecordingSink sink;
  MidiScheduler scheduler(sink, 8);
  const uint32 later = NowMs() + 60000;
  int accepted = 0;
  for (int i = 0; i < 13; i++) accepted += scheduler.Schedule(Event(later, 0x90, uint8(i), 1));
  EXPECT_EQ(accepted, 8);
  EXPECT_EQ(scheduler.Dropped(), 5u);
  EXPECT_EQ(scheduler.Pending(), 8u);

  const auto pending = scheduler.TakePending();
  ASSERT_EQ(pending.size(), 8u);
  for (size_t i = 0; i < 8; i++) EXPECT_EQ(pending[i].bytes[1], i) << "kept the call order";
  EXPECT_EQ(scheduler.Pending(), 0u);
  EXPECT_TRUE(scheduler.Schedule(Event(B_NOW, 0x90, 99, 1))) << "room again once emptied";
  EXPECT_TRUE(sink.WaitFor(1, 2s));
}

TEST(MidiScheduler, AFullQueueStillTakesWhatEndsNotes) {
  RecordingSink sink;
  MidiScheduler scheduler(sink, 8);
  ASSERT_EQ(scheduler.HardCapacity(), 16u);
  const uint32 later = NowMs() + 60000;
  for (int i = 0; i < 8; i++) ASSERT_TRUE(scheduler.Schedule(Event(later, 0x90, uint8(i), 1)));
  EXPECT_FALSE(scheduler.Schedule(Event(later, 0x90, 20, 1))) << "a note-on has no reserve";
  EXPECT_FALSE(scheduler.Schedule(Event(later, 0xB0, 1, 1)));
  EXPECT_TRUE(scheduler.Schedule(Event(later, 0x80, 0, 0)));
  EXPECT_TRUE(scheduler.Schedule(Event(later, 0x90, 1, 0))) << "note-on with velocity 0";
  MidiEvent allOff;
  allOff.time = later;
  allOff.kind = MidiEvent::kAllNotesOff;
  EXPECT_TRUE(scheduler.Schedule(allOff));
  for (int i = 0; i < 5; i++) EXPECT_TRUE(scheduler.Schedule(Event(later, 0x81, uint8(i), 0)));
  EXPECT_FALSE(scheduler.Schedule(Event(later, 0x80, 9, 0))) << "the reserve has its bound too";
  EXPECT_FALSE(scheduler.Schedule(allOff));
  EXPECT_EQ(scheduler.Pending(), 16u);
  EXPECT_EQ(scheduler.Dropped(), 4u);

  const auto pending = scheduler.TakePending();
  ASSERT_EQ(pending.size(), 16u);
  EXPECT_EQ(pending[8].bytes[0], 0x80) << "the reserve keeps the call order";
  EXPECT_EQ(pending[10].kind, MidiEvent::kAllNotesOff);
}

TEST(MidiScheduler, ReportsDropsOnceWhenTheyStartAndOnceWhenTheyEnd) {
  struct Lines {
    std::mutex lock;
    std::vector<std::string> lines;
    bool fromCaller = false;
    std::thread::id caller = std::this_thread::get_id();
    size_t Count() {
      std::lock_guard<std::mutex> guard(lock);
      return lines.size();
    }
    bool WaitFor(size_t count) {
      for (int i = 0; i < 1000 && Count() < count; i++) snooze(5000);
      return Count() >= count;
    }
  } report;
  RecordingSink sink;
  MidiScheduler scheduler(sink, 2, [&report](const char* line) {
    std::lock_guard<std::mutex> guard(report.lock);
    report.lines.emplace_back(line);
    report.fromCaller = report.fromCaller || std::this_thread::get_id() == report.caller;
  });
  const uint32 later = NowMs() + 60000;
  scheduler.Schedule(Event(later, 0x90, 1, 1));
  scheduler.Schedule(Event(later, 0x90, 2, 1));
  for (int i = 0; i < 5; i++) scheduler.Schedule(Event(later, 0x90, 3, 1));
  ASSERT_TRUE(report.WaitFor(1));
  EXPECT_EQ(report.lines[0], "MIDI: output queue full; messages are dropped");
  // Still full: more drops, no more words, and no end while nothing is taken.
  for (int i = 0; i < 3; i++) {
    snooze(400000);
    scheduler.Schedule(Event(later, 0x90, 3, 1));
  }
  snooze(1200000);
  EXPECT_EQ(report.Count(), 1u) << "no end reported while every event is refused";

  scheduler.TakePending();
  ASSERT_TRUE(scheduler.Schedule(Event(later, 0x90, 4, 1)));
  ASSERT_TRUE(report.WaitFor(2));
  EXPECT_EQ(report.lines[1], "MIDI: output queue has room again; 8 messages dropped");

  // A second run of drops is reported afresh, with its own count.
  scheduler.Schedule(Event(later, 0x90, 5, 1));
  scheduler.Schedule(Event(later, 0x90, 6, 1));
  scheduler.TakePending();
  scheduler.Schedule(Event(later, 0x90, 7, 1));
  ASSERT_TRUE(report.WaitFor(4));
  EXPECT_EQ(report.lines[2], "MIDI: output queue full; messages are dropped");
  EXPECT_EQ(report.lines[3], "MIDI: output queue has room again; 1 messages dropped");
  EXPECT_FALSE(report.fromCaller) << "the thread that schedules must not print";
}

TEST(MidiScheduler, ASinkWithoutRoomGetsItsEventsLaterInOrder) {
  RecordingSink sink;
  MidiScheduler scheduler(sink);
  sink.refusing = true;
  for (uint8 i = 1; i <= 3; i++) scheduler.Schedule(Event(B_NOW, 0x90, i, 1));
  snooze(30000);
  EXPECT_TRUE(sink.Delivered().empty());
  sink.refusing = false;
  ASSERT_TRUE(sink.WaitFor(3, 2s));
  auto got = sink.Delivered();
  for (uint8 i = 0; i < 3; i++) EXPECT_EQ(got[i].bytes[1], i + 1);

  // The event on offer to the refusing sink is still pending, not lost between the two.
  sink.refusing = true;
  scheduler.Schedule(Event(B_NOW, 0x90, 4, 1));
  scheduler.Schedule(Event(B_NOW, 0x90, 5, 1));
  snooze(30000);
  const auto pending = scheduler.TakePending();
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_EQ(pending[0].bytes[1], 4);
  sink.refusing = false;
  snooze(30000);
  EXPECT_EQ(sink.Delivered().size(), 3u);
}

TEST(MidiScheduler, DestroyingItWithFarMessagesIsPrompt) {
  RecordingSink sink;
  const bigtime_t before = system_time();
  {
    MidiScheduler scheduler(sink);
    scheduler.Schedule(Event(NowMs() + 3600000, 0x90, 1, 1));
    snooze(10000);
  }
  EXPECT_LT(system_time() - before, 2000000);
  EXPECT_TRUE(sink.Delivered().empty());
}

class PortOverRecording : public ::testing::Test {
 protected:
  PortOverRecording() : log(std::make_shared<RecordingOutput::Log>()),
                        port(std::make_unique<RecordingOutput>(log)) {}
  std::shared_ptr<RecordingOutput::Log> log;
  BMidiPort port;
};

TEST_F(PortOverRecording, ListsItsOwnPortFirstAndCutsNamesToTheBuffer) {
  EXPECT_EQ(port.CountDevices(), 2);
  char name[32];
  ASSERT_EQ(port.GetDeviceName(0, name, sizeof name), B_OK);
  EXPECT_STREQ(name, "Zanvel");
  ASSERT_EQ(port.GetDeviceName(1, name, sizeof name), B_OK);
  EXPECT_EQ(strlen(name), 31u);
  EXPECT_EQ(port.GetDeviceName(2, name, sizeof name), B_BAD_INDEX);
  EXPECT_EQ(port.GetDeviceName(-1, name, sizeof name), B_BAD_INDEX);
  EXPECT_STREQ(name, "");

  EXPECT_NE(port.Open("no such device"), B_OK);
  EXPECT_EQ(port.PortName(), nullptr);
  EXPECT_EQ(port.Open("Zanvel"), B_OK);
  EXPECT_STREQ(port.PortName(), "Zanvel");
}

TEST_F(PortOverRecording, SendsTheWireBytesOfEachCall) {
  ASSERT_EQ(port.Open("Zanvel"), B_OK);
  port.NoteOn(1, 32, 64, B_NOW);
  port.NoteOff(16, 32, 0, B_NOW);
  port.ControlChange(1, 1, 2, B_NOW);
  port.KeyPressure(3, 1, 63, B_NOW);
  port.ProgramChange(10, 5, B_NOW);
  port.ChannelPressure(2, 9, B_NOW);
  port.PitchBend(1, 0, 64, B_NOW);
  ASSERT_TRUE(log->WaitFor(7, 2s));
  const auto sent = log->Sent();
  EXPECT_EQ(sent[0].bytes, (Bytes{0x90, 0x20, 0x40}));
  EXPECT_EQ(sent[1].bytes, (Bytes{0x8F, 0x20, 0x00}));
  EXPECT_EQ(sent[2].bytes, (Bytes{0xB0, 0x01, 0x02}));
  EXPECT_EQ(sent[3].bytes, (Bytes{0xA2, 0x01, 0x3F}));
  EXPECT_EQ(sent[4].bytes, (Bytes{0xC9, 0x05}));
  EXPECT_EQ(sent[5].bytes, (Bytes{0xD1, 0x09}));
  EXPECT_EQ(sent[6].bytes, (Bytes{0xE0, 0x00, 0x40}));
  EXPECT_EQ(port.CountSent(), 7u);
}

TEST_F(PortOverRecording, RefusesBadChannelsAndKeepsDataBytesData) {
  ASSERT_EQ(port.Open("Zanvel"), B_OK);
  port.NoteOn(0, 60, 100);
  port.NoteOn(17, 60, 100);
  // A data byte with its top bit set would read as a status byte on the wire.
  port.KeyPressure(3, 200, 128);
  ASSERT_TRUE(log->WaitFor(1, 2s));
  snooze(20000);
  const auto sent = log->Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].bytes, (Bytes{0xA2, 200 & 0x7F, 0x00}));
}

TEST_F(PortOverRecording, AllNotesOffSilencesEveryChannel) {
  ASSERT_EQ(port.Open("Zanvel"), B_OK);
  port.AllNotesOff(true, B_NOW);
  ASSERT_TRUE(log->WaitFor(16, 2s));
  auto sent = log->Sent();
  ASSERT_EQ(sent.size(), 16u);
  for (uint8_t channel = 0; channel < 16; channel++)
    EXPECT_EQ(sent[channel].bytes, (Bytes{uint8_t(0xB0 | channel), 123, 0}));

  port.AllNotesOff(false, B_NOW);
  ASSERT_TRUE(log->WaitFor(16 + 16 * 129, 5s));
  sent = log->Sent();
  EXPECT_EQ(sent.size(), 16u + 16 * 129);
  EXPECT_EQ(sent.back().bytes, (Bytes{0x8F, 127, 0}));
  EXPECT_EQ(port.CountDropped(), 0u);
}

TEST_F(PortOverRecording, PassesWhatItSendsToItsMonitorsWithStamps) {
  RecordingMidi monitor;
  port.Connect(&monitor);
  ASSERT_EQ(port.Open("Zanvel"), B_OK);
  port.KeyPressure(4, 1, 25, 777);
  port.AllNotesOff(true, 778);
  const auto seen = monitor.Messages();
  ASSERT_EQ(seen.size(), 17u);
  EXPECT_EQ(seen[0].bytes, (Bytes{0xA3, 1, 25}));
  EXPECT_EQ(seen[0].time, 777u);
  EXPECT_EQ(seen[16].bytes, (Bytes{0xBF, 123, 0}));
  EXPECT_EQ(seen[16].time, 778u);
}

TEST_F(PortOverRecording, ClosingSendsWaitingNoteEndsAndDropsTheRest) {
  ASSERT_EQ(port.Open("Zanvel"), B_OK);
  const uint32 later = NowMs() + 60000;
  port.NoteOn(2, 60, 100, later);  // not yet begun: dropped
  port.NoteOn(2, 61, 0, later);    // the end of a sounding note: sent at once
  port.NoteOff(2, 62, 0, later);
  port.Close();
  const auto sent = log->Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].bytes, (Bytes{0x91, 61, 0}));
  EXPECT_EQ(sent[1].bytes, (Bytes{0x81, 62, 0}));

  // Closed: nothing goes out, and that is counted.
  port.NoteOn(1, 60, 100);
  snooze(20000);
  EXPECT_EQ(log->Sent().size(), 2u);
  EXPECT_GE(port.CountUnsent(), 1u);
}

TEST_F(PortOverRecording, ClosingAlsoSendsWaitingAllNotesOffInOrder) {
  ASSERT_EQ(port.Open("Zanvel"), B_OK);
  const uint32 later = NowMs() + 60000;
  port.NoteOff(1, 40, 0, later);
  port.AllNotesOff(true, later + 1);
  port.NoteOn(1, 41, 90, later + 2);
  port.NoteOn(1, 42, 0, later + 3);
  port.Close();
  const auto sent = log->Sent();
  ASSERT_EQ(sent.size(), 18u);
  EXPECT_EQ(sent[0].bytes, (Bytes{0x80, 40, 0}));
  for (uint8_t channel = 0; channel < 16; channel++)
    EXPECT_EQ(sent[1 + channel].bytes, (Bytes{uint8_t(0xB0 | channel), 123, 0}));
  EXPECT_EQ(sent[17].bytes, (Bytes{0x90, 42, 0}));
}

TEST_F(PortOverRecording, AFullQueueStillEndsTheNotesItStarted) {
  ASSERT_EQ(port.Open("Zanvel"), B_OK);
  const uint32 later = NowMs() + 60000;
  for (int i = 0; i < 512; i++) ASSERT_EQ(port.Post(0x90, uint8(i % 128), 100, later), B_OK);
  EXPECT_EQ(port.Post(0x90, 1, 100, later), B_WOULD_BLOCK);
  EXPECT_EQ(port.Post(0xA0, 1, 100, later), B_WOULD_BLOCK);
  for (int i = 0; i < 128; i++) ASSERT_EQ(port.Post(0x90, uint8(i), 0, later + 1), B_OK);
  port.AllNotesOff(true, later + 2);
  EXPECT_EQ(port.CountDropped(), 2u);
  port.Close();
  const auto sent = log->Sent();
  ASSERT_EQ(sent.size(), 128u + 16u) << "every note end and All Notes Off, no note-on";
  EXPECT_EQ(sent[127].bytes, (Bytes{0x90, 127, 0}));
  EXPECT_EQ(sent[128].bytes, (Bytes{0xB0, 123, 0}));
}

TEST_F(PortOverRecording, AStalledServiceGetsTheNoteEndsWhenItRunsAgain) {
  ASSERT_EQ(port.Open("Zanvel"), B_OK);
  log->room = false;
  port.NoteOn(1, 60, 100);
  port.NoteOn(1, 60, 0, NowMs() + 20);
  port.KeyPressure(3, 1, 63);
  snooze(100000);
  EXPECT_TRUE(log->Sent().empty()) << "nothing may be pressed on a service without room";
  EXPECT_EQ(port.CountDevices(), 2) << "the port is not held while messages wait";

  // Closing while the service stalls: its note ends wait for it.
  std::thread resume([this] {
    snooze(200000);
    log->room = true;
  });
  port.Close();
  resume.join();
  const auto sent = log->Sent();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back().bytes, (Bytes{0x90, 60, 0}));
  for (const auto& m : sent) EXPECT_NE(m.bytes, (Bytes{0xA2, 1, 63})) << "sent after Close";
}

TEST_F(PortOverRecording, ClosingOnAServiceThatNeverRunsAgainEnds) {
  ASSERT_EQ(port.Open("Zanvel"), B_OK);
  log->room = false;
  port.NoteOn(1, 60, 0, NowMs() + 60000);
  const bigtime_t start = system_time();
  port.Close();
  EXPECT_LT(system_time() - start, BMidiPort::kCloseWait + 2000000);
  EXPECT_TRUE(log->Sent().empty());
  EXPECT_EQ(port.CountUnsent(), 1u) << "the note end that could not go is counted";
}

TEST_F(PortOverRecording, PostTellsWhatBecameOfTheMessage) {
  RecordingMidi monitor;
  port.Connect(&monitor);
  EXPECT_EQ(port.Post(0x90, 60, 100), B_NO_INIT) << "closed";
  EXPECT_EQ(port.CountUnsent(), 1u);
  ASSERT_EQ(port.Open("Zanvel"), B_OK);
  EXPECT_EQ(port.Post(0x7F, 60, 100), B_BAD_VALUE) << "a data byte";
  EXPECT_EQ(port.Post(0xF8, 0, 0), B_BAD_VALUE) << "a system message";
  EXPECT_EQ(port.Post(0xA3, 1, 200, 777), B_OK);
  EXPECT_EQ(port.Post(0xC5, 9, 99), B_OK);
  EXPECT_EQ(port.Post(0xEF, 0, 64), B_OK);
  ASSERT_TRUE(log->WaitFor(3, 2s));
  snooze(20000);
  const auto sent = log->Sent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].bytes, (Bytes{0xA3, 1, 200 & 0x7F}));
  EXPECT_EQ(sent[1].bytes, (Bytes{0xC5, 9})) << "program change is two bytes";
  EXPECT_EQ(sent[2].bytes, (Bytes{0xEF, 0, 64}));

  // Monitors see what the port was sent, refused or not, as it goes on the wire.
  const auto seen = monitor.Messages();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].bytes, (Bytes{0x90, 60, 100}));
  EXPECT_EQ(seen[1].bytes, (Bytes{0xA3, 1, 200 & 0x7F}));
  EXPECT_EQ(seen[1].time, 777u);
  EXPECT_EQ(seen[2].bytes, (Bytes{0xC5, 9}));
}

TEST_F(PortOverRecording, TimedMessagesLeaveAtTheirTime) {
  ASSERT_EQ(port.Open("Zanvel"), B_OK);
  const uint32 now = NowMs();
  port.KeyPressure(5, 1, 127, now + 2);
  port.KeyPressure(4, 1, 25, now + 1);
  port.KeyPressure(3, 1, 63, now);
  ASSERT_TRUE(log->WaitFor(3, 2s));
  const auto sent = log->Sent();
  EXPECT_EQ(sent[0].bytes[0], 0xA2);
  EXPECT_EQ(sent[1].bytes[0], 0xA3);
  EXPECT_EQ(sent[2].bytes[0], 0xA4);
  EXPECT_GE(sent[2].at, bigtime_t(now + 2) * 1000);
}

TEST(PortWithoutService, HasNoDevicesAndOpensNothing) {
  BMidiPort port(std::make_unique<NullMidiOutput>());
  EXPECT_EQ(port.CountDevices(), 0);
  char name[32] = "x";
  EXPECT_EQ(port.GetDeviceName(0, name, sizeof name), B_BAD_INDEX);
  EXPECT_NE(port.Open("Zanvel"), B_OK);
  port.NoteOn(1, 60, 100);
  port.AllNotesOff(true);
  EXPECT_EQ(port.CountSent(), 0u);
  EXPECT_STREQ(port.ApiName(), "none");
}
