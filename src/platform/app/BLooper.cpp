#include "platform/app/BLooper.h"

#include <chrono>

#include "platform/app/AppDefs.h"

BLooper::BLooper(const char* name, size_t queueCapacity)
    : BHandler(name),
      fBackEnd(std::make_unique<HeadlessLoopBackEnd>()),
      fCapacity(queueCapacity > 0 ? queueCapacity : 1) {
  BHandler::fLooper = this;
}

BLooper::~BLooper() {
  StopLoop();
  if (fThread.joinable()) {
    if (fThread.get_id() == std::this_thread::get_id())
      fThread.detach();
    else
      fThread.join();
  }
}

status_t BLooper::PostMessage(const BMessage* message, BHandler* handler) {
  if (message == nullptr) return B_BAD_VALUE;
  return Enqueue(std::make_unique<BMessage>(*message), handler, nullptr);
}

status_t BLooper::PostMessage(uint32 what, BHandler* handler) {
  return Enqueue(std::make_unique<BMessage>(what), handler, nullptr);
}

status_t BLooper::PostMessageWaiting(BMessage&& message, const std::atomic<bool>& cancel) {
  return Enqueue(std::make_unique<BMessage>(std::move(message)), nullptr, &cancel);
}

status_t BLooper::Enqueue(std::unique_ptr<BMessage> message, BHandler* handler,
                          const std::atomic<bool>* cancel) {
  {
    std::unique_lock<std::mutex> lock(fQueueMutex);
    if (fQuitting) return B_NOT_ALLOWED;
    if (fQueue.size() >= fCapacity) {
      if (cancel == nullptr) {
        fDropped.fetch_add(1, std::memory_order_relaxed);
        return B_WOULD_BLOCK;
      }
      // Wake now and then to see the cancel flag, which its owner sets without our mutex.
      while (fQueue.size() >= fCapacity && !fQuitting) {
        if (cancel->load()) return B_TIMED_OUT;
        fRoom.wait_for(lock, std::chrono::milliseconds(50));
      }
      if (fQuitting) return B_NOT_ALLOWED;
    }
    fQueue.push_back(Entry{std::move(message), handler != nullptr ? handler : this});
    // Still under the queue's lock: a looper that quits on this very message cannot delete
    // itself (and its back end) before the poster is done waking it.
    fBackEnd->MessageQueued();
  }
  return B_OK;
}

void BLooper::PostAtFront(uint32 what) {
  {
    std::lock_guard<std::mutex> lock(fQueueMutex);
    if (fQuitting) return;
    fQueue.push_front(Entry{std::make_unique<BMessage>(what), this});
    fBackEnd->MessageQueued();
  }
}

int32 BLooper::CountQueuedMessages() {
  std::lock_guard<std::mutex> lock(fQueueMutex);
  return int32(fQueue.size());
}

void BLooper::SetLoopBackEnd(std::unique_ptr<LoopBackEnd> backEnd) {
  if (backEnd) fBackEnd = std::move(backEnd);
}

void BLooper::DispatchMessages() {
  // A modal dialog's nested event loop may land here while a handler runs: leave the queue
  // alone, the outer call goes on with it once the handler returns.
  if (fDispatching) return;
  fDispatching = true;
  for (;;) {
    Entry entry;
    {
      std::lock_guard<std::mutex> lock(fQueueMutex);
      if (fQuitting || fQueue.empty()) break;
      entry = std::move(fQueue.front());
      fQueue.pop_front();
    }
    fRoom.notify_one();
    Lock();
    fCurrentMessage = entry.message.get();
    DispatchMessage(entry.message.get(), entry.handler);
    fCurrentMessage = nullptr;
    Unlock();
  }
  fDispatching = false;
}

void BLooper::DispatchMessage(BMessage* message, BHandler* handler) {
  if (message->what == B_QUIT_REQUESTED && handler == this) {
    if (QuitRequested()) Quit();
    return;
  }
  handler->MessageReceived(message);
}

bool BLooper::QuitRequested() { return true; }

std::thread::id BLooper::Run() {
  if (fThread.joinable()) return std::thread::id();
  fThread = std::thread(&BLooper::ThreadMain, this);
  return fThread.get_id();
}

void BLooper::ThreadMain() {
  RunOnCallingThread();
  if (fDeleteFromLoop) {
    fThread.detach();
    delete this;
  }
}

void BLooper::RunOnCallingThread() {
  fLoopThread.store(std::this_thread::get_id());
  fBackEnd->RunLoop(*this);
  fLoopThread.store(std::thread::id());
}

void BLooper::StopLoop() {
  {
    std::lock_guard<std::mutex> lock(fQueueMutex);
    fQuitting = true;
  }
  fRoom.notify_all();
  fBackEnd->StopLoop();
}

void BLooper::Quit() {
  StopLoop();
  if (fThread.joinable() && fThread.get_id() == std::this_thread::get_id()) {
    // The loop's own thread: ThreadMain deletes the looper once the loop has unwound.
    fDeleteFromLoop = true;
    return;
  }
  if (fThread.joinable()) {
    // The loop may be waiting for the lock the caller holds to hand it a message.
    for (int32 held = IsLocked() ? fLocker.CountLocks() : 0; held > 0; held--) Unlock();
    fThread.join();
  }
  delete this;
}
