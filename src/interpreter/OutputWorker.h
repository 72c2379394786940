#pragma once
// The thread of one output and the small queue that feeds it, so that whoever hands the
// output something (the frame thread, a command) never waits for a receiver or a device.
//
// Three kinds of job keep the order they were posted in:
//   control  switching on and off, opening a device, a greeting: always queued;
//   event    something that must not be merged (a matched index): queued while fewer than
//            the capacity wait, else refused, for the caller to count as dropped;
//   latest   a value where only the newest matters (a position): replaces a latest job still
//            waiting at the end of the queue, so a slow receiver gets the newest value.
//
// Threads: Post*, WaitIdle and the destructor from any thread but the worker's own;
// NewerLatestWaiting, Stopping and Sleep from the jobs, on the worker's thread.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/support/Status.h"

class OutputWorker {
 public:
  using Job = std::function<void()>;

  // name: the thread's name (at most 15 characters show).
  explicit OutputWorker(const char* name, size_t eventCapacity = 64);
  // Stops promptly: the running job sees Stopping, jobs still waiting are dropped.
  ~OutputWorker();
  OutputWorker(const OutputWorker&) = delete;
  OutputWorker& operator=(const OutputWorker&) = delete;

  void PostControl(Job job);
  // False when the queue already holds its capacity of events.
  bool PostEvent(Job job);
  // False when it replaced a latest job that had not run yet.
  bool PostLatest(Job job);

  // Calls tick on the worker's thread about every period while no job waits (a device that
  // is gone looks for its return). Call before anything is posted.
  void SetIdleTick(bigtime_t period, Job tick);

  // True when a latest job waits behind the one running: a stuck send of an old value can
  // give up in its favour.
  bool NewerLatestWaiting() const;
  bool Stopping() const;
  // Sleeps up to timeout microseconds; false when woken because the worker stops.
  bool Sleep(bigtime_t timeout);

  // Waits until no job waits or runs; false after timeout microseconds.
  bool WaitIdle(bigtime_t timeout);

 private:
  enum Kind { kControl, kEvent, kLatest };
  struct Entry {
    Kind kind;
    Job job;
  };
  void Post(Kind kind, Job job);
  void Loop();

  const size_t fEventCapacity;
  mutable std::mutex fLock;
  std::condition_variable fWake;   // a job, or the stop
  std::condition_variable fIdle;   // the queue ran dry
  std::deque<Entry> fQueue;
  size_t fEvents = 0;  // events waiting in fQueue
  bool fBusy = false;
  bool fStop = false;
  bigtime_t fTickPeriod = 0;
  Job fTick;
  std::string fName;
  std::thread fThread;  // last: starts once the rest is ready
};
