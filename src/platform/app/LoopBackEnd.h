#pragma once
// The seam between a BLooper's message queue and whatever runs its loop.
//
// The looper owns the queue; a back end only decides on which thread, and inside which event
// loop, the queued messages are handled. The headless back end waits on a condition variable
// (used by loopers with a thread of their own, by tools and by the tests). A GUI back end
// instead wakes its toolkit's event loop and handles the queue there:
//
//   MessageQueued()  -> post a queued call to the GUI thread that runs looper.DispatchMessages()
//   RunLoop(looper)  -> run the toolkit's event loop until StopLoop() is called
//   StopLoop()       -> ask that event loop to return (any thread)
//
// Messages may be queued before RunLoop starts (ReadyToRun always is): RunLoop begins by
// handling whatever is waiting.
//
// DispatchMessages() refuses to nest: called again while a message is being handled on the
// same thread (a modal dialog spinning a nested event loop), it returns at once and the
// waiting messages are handled after the current one, so commands stay in order and never
// run inside an alert.

#include <condition_variable>
#include <mutex>

class BLooper;

class LoopBackEnd {
 public:
  virtual ~LoopBackEnd() = default;
  // Any thread: a message was queued. Called with the looper's queue locked, so it must not
  // block and must not call back into the looper.
  virtual void MessageQueued() = 0;
  // The loop's thread: handles messages by calling looper.DispatchMessages() until StopLoop().
  virtual void RunLoop(BLooper& looper) = 0;
  // Any thread, also from inside a message handler: RunLoop returns soon after.
  virtual void StopLoop() = 0;
};

// Runs the loop on the calling thread, sleeping until a message arrives.
class HeadlessLoopBackEnd : public LoopBackEnd {
 public:
  void MessageQueued() override;
  void RunLoop(BLooper& looper) override;
  void StopLoop() override;

 private:
  std::mutex fMutex;
  std::condition_variable fWake;
  bool fPending = true;  // messages may have been queued before the loop ran
  bool fStop = false;
};
