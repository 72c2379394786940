#include "platform/app/LoopBackEnd.h"

#include "platform/app/BLooper.h"

void HeadlessLoopBackEnd::MessageQueued() {
  {
    std::lock_guard<std::mutex> lock(fMutex);
    fPending = true;
  }
  fWake.notify_one();
}

void HeadlessLoopBackEnd::RunLoop(BLooper& looper) {
  std::unique_lock<std::mutex> lock(fMutex);
  for (;;) {
    fWake.wait(lock, [this] { return fPending || fStop; });
    if (fStop) return;
    fPending = false;
    lock.unlock();
    looper.DispatchMessages();
    lock.lock();
  }
}

void HeadlessLoopBackEnd::StopLoop() {
  {
    std::lock_guard<std::mutex> lock(fMutex);
    fStop = true;
  }
  fWake.notify_one();
}
