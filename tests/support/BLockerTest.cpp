#include "platform/support/BLocker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(BLocker, HolderMayLockAgainAndMustUnlockAsOften) {
  BLocker lock;
  ASSERT_TRUE(lock.Lock());
  ASSERT_TRUE(lock.Lock());
  EXPECT_TRUE(lock.IsLocked());
  EXPECT_EQ(lock.CountLocks(), 2);
  lock.Unlock();
  EXPECT_TRUE(lock.IsLocked());

  std::atomic<status_t> other{B_OK};
  std::thread([&] { other = lock.LockWithTimeout(20000); }).join();
  EXPECT_EQ(other.load(), B_TIMED_OUT) << "a second thread must not get a held lock";
  std::thread([&] { lock.Unlock(); }).join();
  EXPECT_TRUE(lock.IsLocked()) << "only the holder can release";

  lock.Unlock();
  EXPECT_FALSE(lock.IsLocked());
  std::thread([&] {
    other = lock.LockWithTimeout(20000);
    if (other == B_OK) lock.Unlock();
  }).join();
  EXPECT_EQ(other.load(), B_OK);
}

TEST(BLocker, SerialisesThreads) {
  BLocker lock;
  int counter = 0;
  auto work = [&] {
    for (int i = 0; i < 10000; ++i) {
      BAutolock hold(lock);
      ++counter;
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 20000);
}
