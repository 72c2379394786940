#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/interface/BView.h"
#include "platform/interface/BWindow.h"
#include "platform/support/Time.h"

TEST(WindowLock, IsRecursiveForItsHolder) {
  BWindow window(BRect(0, 0, 9, 9), "w");
  EXPECT_FALSE(window.IsLocked());
  ASSERT_TRUE(window.Lock());
  ASSERT_TRUE(window.Lock());
  EXPECT_EQ(window.CountLocks(), 2);
  window.Unlock();
  EXPECT_TRUE(window.IsLocked());

  std::atomic<status_t> other{B_OK};
  std::atomic<bool> sawLocked{true};
  std::thread([&] {
    sawLocked = window.IsLocked();
    other = window.LockWithTimeout(20000);
  }).join();
  EXPECT_FALSE(sawLocked.load()) << "IsLocked speaks for the calling thread";
  EXPECT_EQ(other.load(), B_TIMED_OUT);

  window.Unlock();
  EXPECT_FALSE(window.IsLocked());
  window.Unlock();  // not held: ignored
  EXPECT_EQ(window.CountLocks(), 0);
  std::thread([&] {
    other = window.LockWithTimeout(1000000);
    if (other == B_OK) window.Unlock();
  }).join();
  EXPECT_EQ(other.load(), B_OK);
}

TEST(WindowLock, ExcludesOtherThreads) {
  BWindow window(BRect(0, 0, 9, 9), "w");
  int inside = 0, maxInside = 0, total = 0;
  auto work = [&] {
    for (int i = 0; i < 2000; ++i) {
      ASSERT_TRUE(window.Lock());
      ASSERT_TRUE(window.Lock());
      maxInside = std::max(maxInside, ++inside);
      ++total;
      --inside;
      window.Unlock();
      window.Unlock();
    }
  };
  std::thread a(work), b(work), c(work);
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(total, 6000);
  EXPECT_EQ(maxInside, 1);
}

TEST(WindowLock, RefusedOnceTheWindowQuits) {
  BWindow window(BRect(0, 0, 9, 9), "w");
  window.Show();
  int quitCalls = 0;
  window.SetQuitHook([&] { ++quitCalls; });
  ASSERT_TRUE(window.Lock());
  ASSERT_TRUE(window.Lock());
  window.Quit();
  EXPECT_FALSE(window.IsLocked()) << "quitting drops the quitter's lock levels";
  EXPECT_TRUE(window.IsQuitting());
  EXPECT_TRUE(window.IsHidden());
  EXPECT_FALSE(window.Lock());
  EXPECT_EQ(window.LockWithTimeout(1000), B_BAD_VALUE);
  window.Unlock();  // a stale unlock does no harm
  window.Show();
  EXPECT_TRUE(window.IsHidden()) << "a closed window stays hidden";
  window.Quit();
  EXPECT_EQ(quitCalls, 1);
}

TEST(WindowLock, WaitingLockerIsReleasedWhenTheWindowQuits) {
  BWindow window(BRect(0, 0, 9, 9), "w");
  ASSERT_TRUE(window.Lock());
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = window.Lock() ? 1 : 0; });
  snooze(20000);
  EXPECT_EQ(result.load(), -1) << "the waiter must block while the window is held";
  window.Quit();
  waiter.join();
  EXPECT_EQ(result.load(), 0);
}

TEST(WindowLock, HolderOnAnotherThreadKeepsTheLockUntilItUnlocks) {
  BWindow window(BRect(0, 0, 9, 9), "w");
  auto* view = new BView(BRect(0, 0, 9, 9), "v");
  window.AddChild(view);
  std::atomic<bool> locked{false}, release{false};
  std::thread drawer([&] {
    ASSERT_TRUE(window.Lock());
    locked = true;
    while (!release) std::this_thread::yield();
    view->FillRect(view->Bounds());  // still allowed: the drawer holds the lock
    window.Unlock();
  });
  while (!locked) std::this_thread::yield();
  window.Quit();
  release = true;
  drawer.join();
  EXPECT_FALSE(window.Lock());
}

TEST(WindowLock, UpdateHookMayBeRemovedWhileAnotherThreadDraws) {
  BWindow window(BRect(0, 0, 9, 9), "w");
  auto* view = new BView(BRect(0, 0, 9, 9), "v");
  window.AddChild(view);
  std::atomic<int> updates{0}, flushes{0};
  std::atomic<bool> stop{false};
  std::thread drawer([&] {
    while (!stop) {
      if (!window.Lock()) return;
      view->FillRect(BRect(0, 0, 2, 2));
      view->Flush();
      window.Unlock();
      flushes.fetch_add(1);
    }
  });
  for (int i = 0; i < 200; ++i) {
    window.SetUpdateHook([&] { updates.fetch_add(1, std::memory_order_relaxed); });
    window.SetUpdateHook(nullptr);
  }
  // Once removal has returned, the old hook is never called again.
  const int seen = updates.load();
  const int target = flushes.load() + 50;
  while (flushes.load() < target) std::this_thread::yield();
  stop = true;
  drawer.join();
  EXPECT_EQ(updates.load(), seen);
}
