#pragma once
// Delivers time-stamped MIDI messages at their time, on a thread of its own.
//
// Threads: Schedule, Dropped and Pending may be called from any thread (the frame thread,
// the rhythm thread, the application's thread); they hold the queue lock only to copy one
// entry. Deliver of the sink runs on the scheduler's thread only, and from the thread
// that calls TakePending. A second, idle thread reports drops (see Schedule): the delivery
// thread may be the one that is stuck, and the callers must not print.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/support/Status.h"

struct MidiEvent {
  enum Kind : uint8 { kBytes, kAllNotesOff };
  uint32 time = 0;  // milliseconds of the system clock
  bigtime_t due = 0;  // the same moment in microseconds, set by Schedule (0: not yet)
  Kind kind = kBytes;
  uint8 size = 0;    // for kBytes: 1 to 3
  uint8 bytes[3] = {0, 0, 0};  // for kAllNotesOff: bytes[0] != 0 means "just the channel message"

  bool IsNoteOff() const {
    const uint8 status = bytes[0] & 0xF0;
    return kind == kBytes && size == 3 && (status == 0x80 || (status == 0x90 && bytes[2] == 0));
  }
  // A note-off or an All Notes Off: what silences a note that sounds.
  bool EndsNotes() const { return IsNoteOff() || kind == kAllNotesOff; }
};

class MidiScheduler {
 public:
  class Sink {
   public:
    virtual ~Sink() = default;
    // False when the sink cannot take the event now without waiting: the scheduler keeps
    // it, ahead of everything later, and offers it again after kRetry.
    virtual bool Deliver(const MidiEvent& event) = 0;
  };
  // Receives each drop report, one line without its newline, on the reporting thread.
  using Report = std::function<void(const char* line)>;

  static constexpr size_t kDefaultCapacity = 512;
  // How long a queue that took an event again must go without a drop before the end of
  // the drops is reported, in microseconds.
  static constexpr bigtime_t kQuietBeforeReport = 1000000;
  // How long an event the sink refused waits before it is offered again, in microseconds.
  static constexpr bigtime_t kRetry = 1000;

  // Starts the threads; every event goes to sink. Drop reports go to report, or to stderr
  // when it is empty.
  explicit MidiScheduler(Sink& sink, size_t capacity = kDefaultCapacity, Report report = {});
  // Stops the threads promptly; events still waiting are dropped.
  ~MidiScheduler();
  MidiScheduler(const MidiScheduler&) = delete;
  MidiScheduler& operator=(const MidiScheduler&) = delete;

  // Queues an event: past and present stamps go out at once, future ones at their time;
  // equal stamps keep the order of the calls. Never waits for delivery and never
  // allocates.
  //
  // False, and counted as dropped, when the queue is full. For ordinary events that is at
  // Capacity(). Events that end notes (EndsNotes) have a reserve and are refused only at
  // HardCapacity(): a note-off refused would leave its note sounding, while a lost
  // controller or note-on costs at most a missed change.
  //
  // Drops are reported with two lines, from the reporting thread: one when they start,
  // one with their number once the queue took an event again and went
  // kQuietBeforeReport without a drop.
  bool Schedule(const MidiEvent& event);
  // Removes every waiting event and returns them in delivery order. A delivery under way
  // ends first, so that an event the sink refuses is among them.
  std::vector<MidiEvent> TakePending();

  uint64_t Dropped() const { return fDropped.load(std::memory_order_relaxed); }
  size_t Pending() const;
  size_t Capacity() const { return fCapacity; }
  size_t HardCapacity() const { return fHardCapacity; }

 private:
  struct Entry {
    MidiEvent event;
    uint64_t sequence;
  };
  static bool Later(const Entry& a, const Entry& b);
  void Loop();
  void ReportDrops();

  Sink& fSink;
  const size_t fCapacity;
  const size_t fHardCapacity;
  const Report fReport;
  mutable std::mutex fLock;
  std::condition_variable fWake;
  // A min-heap by (time, sequence), room reserved up front: HardCapacity, and the event
  // the thread may put back.
  std::vector<Entry> fHeap;
  uint64_t fSequence = 0;
  bool fQuit = false;
  bool fDelivering = false;  // an event is out of the heap, with the sink
  std::condition_variable fDelivered;
  std::atomic<uint64_t> fDropped{0};
  // Drop reporting, under fLock: set by Schedule, cleared by the reporting thread.
  std::condition_variable fReportWake;
  bool fDropping = false;           // between the two reports
  bool fAcceptedSinceDrop = false;
  bigtime_t fLastDrop = 0;
  std::thread fThread;
  std::thread fReporter;
};
