#pragma once
// A lock that its holding thread may take again (each Lock needs its Unlock).

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/support/Status.h"

class BLocker {
 public:
  BLocker() = default;
  explicit BLocker(const char* name) : fName(name) {}
  virtual ~BLocker() = default;
  BLocker(const BLocker&) = delete;
  BLocker& operator=(const BLocker&) = delete;

  // Blocks until the lock is held; always true for a live lock.
  bool Lock();
  void Unlock();
  // Waits at most the given number of microseconds: B_OK, or B_TIMED_OUT.
  status_t LockWithTimeout(bigtime_t timeout);
  // True when the calling thread holds the lock.
  bool IsLocked() const;
  // How many times the holder has taken the lock; 0 when nobody holds it.
  int32 CountLocks() const { return fCount.load(std::memory_order_relaxed); }
  const char* Name() const { return fName; }

  // std::lock_guard compatibility
  void lock() { Lock(); }
  void unlock() { Unlock(); }

 private:
  // A plain mutex and condition variable rather than a recursive timed mutex: the
  // sanitizers do not follow timed mutex locks, and the holder is kept explicitly anyway.
  const char* fName = "some BLocker";
  std::mutex fGuard;
  std::condition_variable fReleased;
  std::atomic<std::thread::id> fOwner{};
  std::atomic<int32> fCount{0};
};

// Holds a BLocker for the life of a scope.
class BAutolock {
 public:
  explicit BAutolock(BLocker& locker) : fLocker(locker) { fLocker.Lock(); }
  explicit BAutolock(BLocker* locker) : fLocker(*locker) { fLocker.Lock(); }
  ~BAutolock() { fLocker.Unlock(); }
  BAutolock(const BAutolock&) = delete;
  BAutolock& operator=(const BAutolock&) = delete;
  bool IsLocked() const { return true; }

 private:
  BLocker& fLocker;
};
