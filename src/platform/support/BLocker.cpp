#include "support/BLocker.h"

#include <chrono>

bool BLocker::Lock() {
  fMutex.lock();
  fOwner.store(std::this_thread::get_id(), std::memory_order_relaxed);
  fCount.fetch_add(1, std::memory_order_relaxed);
  return true;
}

void BLocker::Unlock() {
  if (fCount.fetch_sub(1, std::memory_order_relaxed) == 1)
    fOwner.store(std::thread::id(), std::memory_order_relaxed);
  fMutex.unlock();
}

status_t BLocker::LockWithTimeout(bigtime_t timeout) {
  if (!fMutex.try_lock_for(std::chrono::microseconds(timeout))) return B_TIMED_OUT;
  fOwner.store(std::this_thread::get_id(), std::memory_order_relaxed);
  fCount.fetch_add(1, std::memory_order_relaxed);
  return B_OK;
}

bool BLocker::IsLocked() const {
  return fOwner.load(std::memory_order_relaxed) == std::this_thread::get_id();
}
