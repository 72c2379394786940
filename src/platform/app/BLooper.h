#pragma once
// A queue of messages handled one at a time, in order, on the looper's thread.
//
// Threads: PostMessage, Lock/Unlock and Quit may be called from any thread. MessageReceived,
// QuitRequested and DispatchMessage run on the looper's thread with the looper locked.
// The queue is bounded; a post to a full queue is refused and counted (DroppedMessages).

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/app/BHandler.h"
#include "platform/app/BMessage.h"
#include "platform/app/LoopBackEnd.h"
#include "platform/support/BLocker.h"

class BLooper : public BHandler {
 public:
  static constexpr size_t kDefaultQueueCapacity = 1024;

  explicit BLooper(const char* name = nullptr, size_t queueCapacity = kDefaultQueueCapacity);
  // Stops the loop if it still runs and deletes the messages still queued.
  ~BLooper() override;

  // Queues a copy of the message (the caller keeps its own) for `handler`, or for the looper
  // itself when none is given. B_OK; B_WOULD_BLOCK when the queue is full; B_BAD_VALUE for
  // a null message; B_NOT_ALLOWED once the looper has quit.
  status_t PostMessage(const BMessage* message, BHandler* handler = nullptr);
  status_t PostMessage(uint32 what, BHandler* handler = nullptr);
  // As PostMessage, but waits for room until `cancel` turns true (B_TIMED_OUT then). Used by
  // receivers of other programs' messages, so a full queue slows the sender down instead of
  // losing its messages.
  status_t PostMessageWaiting(BMessage&& message, const std::atomic<bool>& cancel);

  // Starts the loop on a thread of its own; the looper must have been created with new.
  // Returns the thread's id (0 when it was already running).
  virtual std::thread::id Run();
  // Ends the loop. From the looper's own thread the loop stops after the current message;
  // from another thread it waits for the loop to end (releasing the caller's hold on the
  // looper's lock, as `Lock(); Quit();` is the usual way to call it). Loopers started with Run() then delete
  // themselves (as do loopers that never ran); BApplication does not.
  virtual void Quit();
  // Asked by a B_QUIT_REQUESTED message; returning true quits. The default agrees.
  virtual bool QuitRequested();

  bool Lock() { return fLocker.Lock(); }
  void Unlock() { fLocker.Unlock(); }
  status_t LockWithTimeout(bigtime_t timeout) { return fLocker.LockWithTimeout(timeout); }
  bool IsLocked() const { return fLocker.IsLocked(); }

  // Handles the queued messages in order. Only the loop's thread calls it (through its back
  // end); a nested call on that thread returns at once (see LoopBackEnd.h).
  void DispatchMessages();
  // Hands one message to its handler: B_QUIT_REQUESTED goes to QuitRequested, everything
  // else to the handler's MessageReceived.
  virtual void DispatchMessage(BMessage* message, BHandler* handler);

  // Messages refused because the queue was full.
  uint64_t DroppedMessages() const { return fDropped.load(std::memory_order_relaxed); }
  int32 CountQueuedMessages();
  // The message being handled, on the looper's thread; null elsewhere.
  BMessage* CurrentMessage() const { return fCurrentMessage; }

  // Replaces the back end before the loop runs (a GUI back end for the application).
  void SetLoopBackEnd(std::unique_ptr<LoopBackEnd> backEnd);
  LoopBackEnd* GetLoopBackEnd() const { return fBackEnd.get(); }

 protected:
  // Runs the loop on the calling thread until Quit.
  void RunOnCallingThread();
  bool IsLoopThread() const { return fLoopThread.load() == std::this_thread::get_id(); }
  // Stops the back end and refuses further posts, without deleting anything.
  void StopLoop();
  // Queues a message ahead of everything already waiting (ReadyToRun comes first).
  void PostAtFront(uint32 what);

 private:
  struct Entry {
    std::unique_ptr<BMessage> message;
    BHandler* handler = nullptr;
  };
  status_t Enqueue(std::unique_ptr<BMessage> message, BHandler* handler,
                   const std::atomic<bool>* cancel);
  void ThreadMain();

  BLocker fLocker;
  std::unique_ptr<LoopBackEnd> fBackEnd;
  std::mutex fQueueMutex;
  std::condition_variable fRoom;
  std::deque<Entry> fQueue;
  const size_t fCapacity;
  bool fQuitting = false;  // under fQueueMutex
  std::atomic<uint64_t> fDropped{0};
  std::atomic<std::thread::id> fLoopThread{};
  std::thread fThread;
  bool fDeleteFromLoop = false;  // Quit was called on the loop's own thread
  bool fDispatching = false;  // loop thread only
  BMessage* fCurrentMessage = nullptr;
};
