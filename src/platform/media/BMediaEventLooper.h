#pragma once
// A node with a control thread of its own: the thread reads the node's control port, hands
// each message to HandleMessage, and hands each queued timed event to HandleEvent when the
// node's time source reaches the event's time less the event latency (at once in B_OFFLINE
// run mode). Start, stop and seek requests become events of the queue.

#include <atomic>
#include <thread>

#include "platform/media/BMediaNode.h"
#include "platform/media/BTimedEventQueue.h"

class BMediaEventLooper : public virtual BMediaNode {
 public:
  ~BMediaEventLooper() override;

  // Starts the control thread (once).
  void Run();
  // Ends the control thread and waits for it; queued events are flushed. Safe to call again.
  void Quit();

  // Scheduling priority of the control thread: 10 is ordinary, higher is more urgent. A raise
  // that the system refuses leaves the thread as it was.
  void SetPriority(int32 priority);
  int32 Priority() const { return fPriority.load(std::memory_order_relaxed); }
  // The system's id of the control thread; -1 while none runs.
  thread_id ControlThread() const { return fThreadID.load(std::memory_order_acquire); }

  BTimedEventQueue* EventQueue() { return &fEventQueue; }
  BTimedEventQueue* RealTimeQueue() { return &fRealTimeQueue; }

  run_state RunState() const { return fRunState.load(std::memory_order_acquire); }
  bigtime_t EventLatency() const { return fEventLatency.load(std::memory_order_relaxed); }
  void SetEventLatency(bigtime_t latency);
  // How late the control thread may wake up (estimate_max_scheduling_latency of it).
  bigtime_t SchedulingLatency() const { return fSchedulingLatency.load(std::memory_order_relaxed); }

 protected:
  BMediaEventLooper();

  // One event, in the control thread. `lateness` is how far past its time it is handled.
  virtual void HandleEvent(const media_timed_event* event, bigtime_t lateness,
                           bool realTimeEvent) = 0;
  // Called for each event after HandleEvent; the default recycles B_RECYCLE_BUFFER buffers
  // that HandleEvent left.
  virtual void CleanUpEvent(const media_timed_event* event);
  virtual void DispatchEvent(const media_timed_event* event, bigtime_t lateness,
                             bool realTimeEvent);
  void SetRunState(run_state state) { fRunState.store(state, std::memory_order_release); }

  void Start(bigtime_t performanceTime) override;
  void Stop(bigtime_t performanceTime, bool immediate) override;
  void Seek(bigtime_t mediaTime, bigtime_t performanceTime) override;
  void TimeWarp(bigtime_t atRealTime, bigtime_t toPerformanceTime) override;
  void NodeRegistered() override;

 private:
  void ControlLoop();
  // Handles every event that is due; returns when none is.
  void DispatchDueEvents();
  // How long, in µs, the control thread may sleep before the next event is due.
  bigtime_t TimeToNextEvent();
  void ApplyPriority();

  BTimedEventQueue fEventQueue;
  BTimedEventQueue fRealTimeQueue;
  std::thread fThread;
  std::atomic<thread_id> fThreadID{-1};
  std::atomic<bool> fThreadStarted{false};
  std::atomic<bool> fQuitting{false};
  std::atomic<run_state> fRunState{B_UNREGISTERED};
  std::atomic<int32> fPriority{B_NORMAL_PRIORITY};
  std::atomic<bigtime_t> fEventLatency{0};
  std::atomic<bigtime_t> fSchedulingLatency{0};
};
