#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "peers/TempFolder.h"
#include "platform/app/BApplication.h"
#include "platform/app/BLooper.h"
#include "platform/support/Time.h"

namespace {

// Records what it handled and on which thread.
class RecordingLooper : public BLooper {
 public:
  explicit RecordingLooper(std::atomic<bool>* deleted = nullptr, size_t capacity = 1024)
      : BLooper("recorder", capacity), fDeleted(deleted) {}
  ~RecordingLooper() override {
    if (fDeleted != nullptr) fDeleted->store(true);
  }
  void MessageReceived(BMessage* message) override {
    std::lock_guard<std::mutex> lock(fMutex);
    int32 value = -1;
    message->FindInt32("n", &value);
    fSeen.push_back(value);
    fThreads.push_back(std::this_thread::get_id());
    fLockedWhileHandling = fLockedWhileHandling && IsLocked();
  }
  std::vector<int32> Seen() {
    std::lock_guard<std::mutex> lock(fMutex);
    return fSeen;
  }
  std::vector<std::thread::id> Threads() {
    std::lock_guard<std::mutex> lock(fMutex);
    return fThreads;
  }
  bool WaitFor(size_t count) {
    for (int i = 0; i < 500; i++) {
      if (Seen().size() >= count) return true;
      snooze(10000);
    }
    return false;
  }
  bool fLockedWhileHandling = true;

 private:
  std::atomic<bool>* fDeleted;
  std::mutex fMutex;
  std::vector<int32> fSeen;
  std::vector<std::thread::id> fThreads;
};

BMessage Numbered(int32 n) {
  BMessage m(FourCC("test"));
  m.AddInt32("n", n);
  return m;
}

}  // namespace

TEST(Looper, HandlesEachPostersMessagesInOrderOnItsOwnThreadLocked) {
  std::atomic<bool> deleted{false};
  auto* looper = new RecordingLooper(&deleted);
  std::thread::id loopThread = looper->Run();
  ASSERT_NE(loopThread, std::thread::id());

  // Two posters interleave; each one's messages must keep their order.
  auto post = [looper](int32 base) {
    for (int32 i = 0; i < 200; i++) {
      BMessage m = Numbered(base + i);
      ASSERT_EQ(looper->PostMessage(&m), B_OK);
    }
  };
  std::thread a(post, 0), b(post, 1000);
  a.join();
  b.join();
  ASSERT_TRUE(looper->WaitFor(400));

  std::vector<int32> seen = looper->Seen();
  int32 lastA = -1, lastB = 999;
  for (int32 n : seen) {
    if (n < 1000) {
      EXPECT_EQ(n, lastA + 1);
      lastA = n;
    } else {
      EXPECT_EQ(n, lastB + 1);
      lastB = n;
    }
  }
  for (std::thread::id id : looper->Threads()) EXPECT_EQ(id, loopThread);
  EXPECT_TRUE(looper->fLockedWhileHandling);

  looper->Lock();
  looper->Quit();  // from another thread, holding the lock: waits for the loop, deletes
  EXPECT_TRUE(deleted.load());
}

TEST(Looper, QuitRequestedOnItsOwnThreadEndsAndDeletesIt) {
  std::atomic<bool> deleted{false};
  auto* looper = new RecordingLooper(&deleted);
  looper->Run();
  BMessage first = Numbered(1);
  looper->PostMessage(&first);
  looper->PostMessage(B_QUIT_REQUESTED);
  for (int i = 0; i < 500 && !deleted.load(); i++) snooze(10000);
  EXPECT_TRUE(deleted.load());
}

TEST(Looper, AFullQueueRefusesAndCountsInsteadOfGrowing) {
  std::atomic<bool> deleted{false};
  auto* looper = new RecordingLooper(&deleted, 4);  // not running: nothing drains the queue
  for (int32 i = 0; i < 4; i++) {
    BMessage m = Numbered(i);
    EXPECT_EQ(looper->PostMessage(&m), B_OK);
  }
  BMessage extra = Numbered(99);
  EXPECT_EQ(looper->PostMessage(&extra), B_WOULD_BLOCK);
  EXPECT_EQ(looper->DroppedMessages(), 1u);
  EXPECT_EQ(looper->PostMessage(nullptr), B_BAD_VALUE);

  // A waiting post gets in as soon as the loop makes room.
  std::atomic<bool> cancel{false};
  auto waiting = std::async(std::launch::async,
                            [&] { return looper->PostMessageWaiting(Numbered(5), cancel); });
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  looper->Run();
  EXPECT_EQ(waiting.get(), B_OK);
  ASSERT_TRUE(looper->WaitFor(5));
  EXPECT_EQ(looper->Seen(), (std::vector<int32>{0, 1, 2, 3, 5}));
  looper->Quit();
  EXPECT_TRUE(deleted.load());
}

namespace {

class TestApp : public BApplication {
 public:
  TestApp() : BApplication("application/x-vnd.zanvel-looper-test") {}
  void ReadyToRun() override { fEvents.push_back("ready"); }
  void MessageReceived(BMessage* message) override {
    int32 n = -1;
    message->FindInt32("n", &n);
    fEvents.push_back(std::to_string(n));
    if (n == 2) {
      // A modal dialog would spin a nested loop here; the queue must not run inside it.
      BMessage later = Numbered(3);
      PostMessage(&later);
      DispatchMessages();
      fEvents.push_back("after nested");
    }
  }
  bool QuitRequested() override {
    fEvents.push_back("quit?");
    return fAgree++ > 0;  // refuse the first request
  }
  std::vector<std::string> fEvents;
  int fAgree = 0;
};

}  // namespace

TEST(Application, ReadyToRunFirstThenMessagesInOrderAndQuitOnlyWhenAgreed) {
  PrivateRuntimeFolder runtime;
  std::vector<std::string> events;
  {
    TestApp app;
    EXPECT_EQ(app.InitCheck(), B_OK);
    EXPECT_EQ(be_app, &app);
    // Queued before the loop exists: still handled after ReadyToRun.
    BMessage one = Numbered(1), two = Numbered(2);
    app.PostMessage(&one);
    app.PostMessage(&two);
    app.PostMessage(B_QUIT_REQUESTED);
    BMessage four = Numbered(4);
    app.PostMessage(&four);
    app.PostMessage(B_QUIT_REQUESTED);
    BMessage never = Numbered(5);
    app.PostMessage(&never);
    app.Run();  // returns on the second quit request
    events = app.fEvents;
  }
  EXPECT_EQ(be_app, nullptr);
  // "3" joined the queue behind the quit requests: it did not run inside the nested call,
  // and the loop ended before reaching it.
  EXPECT_EQ(events,
            (std::vector<std::string>{"ready", "1", "2", "after nested", "quit?", "4", "quit?"}));
}

namespace {

// Stands in for a GUI event loop: the test thread plays the toolkit and dispatches by hand.
class ManualBackEnd : public LoopBackEnd {
 public:
  void MessageQueued() override { fQueued++; }
  void RunLoop(BLooper& looper) override {
    while (!fStop) {
      if (fQueued.exchange(0) > 0) looper.DispatchMessages();
      std::this_thread::yield();
    }
  }
  void StopLoop() override { fStop = true; }
  std::atomic<int> fQueued{0};
  std::atomic<bool> fStop{false};
};

class CountingApp : public BApplication {
 public:
  CountingApp() : BApplication("application/x-vnd.zanvel-backend-test") {}
  void ReadyToRun() override { fReady++; }
  void MessageReceived(BMessage*) override { fHandled++; }
  int fReady = 0, fHandled = 0;
};

}  // namespace

TEST(Application, AnotherLoopBackEndDrivesTheSameQueue) {
  PrivateRuntimeFolder runtime;
  CountingApp app;
  auto backEnd = std::make_unique<ManualBackEnd>();
  ManualBackEnd* manual = backEnd.get();
  app.SetLoopBackEnd(std::move(backEnd));
  std::thread poster([&] {
    for (int i = 0; i < 10; i++) app.PostMessage(FourCC("tick"));
    app.PostMessage(B_QUIT_REQUESTED);
  });
  app.Run();
  poster.join();
  EXPECT_TRUE(manual->fStop.load());
  EXPECT_EQ(app.fReady, 1);
  EXPECT_EQ(app.fHandled, 10);
}
