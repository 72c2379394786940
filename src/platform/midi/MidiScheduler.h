#pragma once
// Delivers time-stamped MIDI messages at their time, on a thread of its own.
//
// Threads: Schedule, Dropped and Pending may be called from any thread (the frame thread,
// the rhythm thread, the application's thread); they hold the queue lock only to copy one
// entry. Deliver of the sink runs on the scheduler's thread only, and from the thread
// that calls TakePending.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

#include "support/Status.h"

struct MidiEvent {
  enum Kind : uint8 { kBytes, kAllNotesOff };
  uint32 time = 0;  // milliseconds of the system clock
  Kind kind = kBytes;
  uint8 size = 0;    // for kBytes: 1 to 3
  uint8 bytes[3] = {0, 0, 0};  // for kAllNotesOff: bytes[0] != 0 means "just the channel message"

  bool IsNoteOff() const {
    const uint8 status = bytes[0] & 0xF0;
    return kind == kBytes && size == 3 && (status == 0x80 || (status == 0x90 && bytes[2] == 0));
  }
};

class MidiScheduler {
 public:
  class Sink {
   public:
    virtual ~Sink() = default;
    virtual void Deliver(const MidiEvent& event) = 0;
  };

  static constexpr size_t kDefaultCapacity = 512;

  // Starts the thread; every event goes to sink.
  explicit MidiScheduler(Sink& sink, size_t capacity = kDefaultCapacity);
  // Stops the thread promptly; events still waiting are dropped.
  ~MidiScheduler();
  MidiScheduler(const MidiScheduler&) = delete;
  MidiScheduler& operator=(const MidiScheduler&) = delete;

  // Queues an event: past and present stamps go out at once, future ones at their time;
  // equal stamps keep the order of the calls. False, and counted, when the queue is full.
  bool Schedule(const MidiEvent& event);
  // Removes every waiting event and returns them in delivery order.
  std::vector<MidiEvent> TakePending();

  uint64_t Dropped() const { return fDropped.load(std::memory_order_relaxed); }
  size_t Pending() const;
  size_t Capacity() const { return fCapacity; }

 private:
  struct Entry {
    MidiEvent event;
    uint64_t sequence;
  };
  static bool Later(const Entry& a, const Entry& b);
  void Loop();

  Sink& fSink;
  const size_t fCapacity;
  mutable std::mutex fLock;
  std::condition_variable fWake;
  std::vector<Entry> fHeap;  // a min-heap by (time, sequence), room reserved up front
  uint64_t fSequence = 0;
  bool fQuit = false;
  std::atomic<uint64_t> fDropped{0};
  std::thread fThread;
};
