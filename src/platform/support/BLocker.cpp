#include "platform/support/BLocker.h"

#include <chrono>

bool BLocker::Lock() {
  const std::thread::id self = std::this_thread::get_id();
  std::unique_lock<std::mutex> guard(fGuard);
  if (fOwner.load(std::memory_order_relaxed) != self) {
    fReleased.wait(guard, [this] { return fCount.load(std::memory_order_relaxed) == 0; });
    fOwner.store(self, std::memory_order_relaxed);
  }
  fCount.fetch_add(1, std::memory_order_relaxed);
  return true;
}

void BLocker::Unlock() {
  std::unique_lock<std::mutex> guard(fGuard);
  if (fCount.load(std::memory_order_relaxed) == 0 ||
      fOwner.load(std::memory_order_relaxed) != std::this_thread::get_id())
    return;  // not held by the caller: nothing to release
  if (fCount.fetch_sub(1, std::memory_order_relaxed) == 1) {
    fOwner.store(std::thread::id(), std::memory_order_relaxed);
    guard.unlock();
    fReleased.notify_one();
  }
}

status_t BLocker::LockWithTimeout(bigtime_t timeout) {
  const std::thread::id self = std::this_thread::get_id();
  std::unique_lock<std::mutex> guard(fGuard);
  if (fOwner.load(std::memory_order_relaxed) != self) {
    if (!fReleased.wait_for(guard, std::chrono::microseconds(timeout),
                            [this] { return fCount.load(std::memory_order_relaxed) == 0; }))
      return B_TIMED_OUT;
    fOwner.store(self, std::memory_order_relaxed);
  }
  fCount.fetch_add(1, std::memory_order_relaxed);
  return B_OK;
}

bool BLocker::IsLocked() const {
  return fOwner.load(std::memory_order_relaxed) == std::this_thread::get_id();
}
