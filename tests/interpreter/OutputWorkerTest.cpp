// The hand-off between whoever feeds an output and the output's own thread.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "interpreter/OutputWorker.h"

namespace {

// Records what ran, in order, from the worker's thread.
class Log {
 public:
  OutputWorker::Job Entry(std::string name) {
    return [this, name] {
      std::lock_guard<std::mutex> hold(fMutex);
      fRan.push_back(name);
    };
  }
  std::vector<std::string> Ran() {
    std::lock_guard<std::mutex> hold(fMutex);
    return fRan;
  }

 private:
  std::mutex fMutex;
  std::vector<std::string> fRan;
};

// A job that holds the worker until released, as a send to a stopped receiver does.
class Gate {
 public:
  OutputWorker::Job Job() {
    return [this] {
      fEntered.set_value();
      fRelease.get_future().wait();
    };
  }
  void WaitUntilEntered() { fEntered.get_future().wait(); }
  void Release() { fRelease.set_value(); }

 private:
  std::promise<void> fEntered, fRelease;
};

}  // namespace

TEST(OutputWorker, OnlyTheNewestValueWaitsButEventsAndControlsKeepTheirOrder) {
  Log log;
  Gate gate;
  OutputWorker worker("test", 2);
  worker.PostControl(gate.Job());
  gate.WaitUntilEntered();

  EXPECT_TRUE(worker.PostLatest(log.Entry("position 1")));
  EXPECT_FALSE(worker.PostLatest(log.Entry("position 2"))) << "replaces position 1";
  EXPECT_TRUE(worker.PostEvent(log.Entry("match 1")));
  EXPECT_TRUE(worker.PostLatest(log.Entry("position 3"))) << "not across the event";
  EXPECT_TRUE(worker.PostEvent(log.Entry("match 2")));
  EXPECT_FALSE(worker.PostEvent(log.Entry("match 3"))) << "two events wait already";
  worker.PostControl(log.Entry("switched off"));  // controls are never refused
  EXPECT_TRUE(worker.NewerLatestWaiting());

  gate.Release();
  ASSERT_TRUE(worker.WaitIdle(5000000));
  EXPECT_EQ(log.Ran(), (std::vector<std::string>{"position 2", "match 1", "position 3", "match 2",
                                                 "switched off"}));
  EXPECT_FALSE(worker.NewerLatestWaiting());
  EXPECT_TRUE(worker.PostEvent(log.Entry("match 4"))) << "room again once the queue drained";
  ASSERT_TRUE(worker.WaitIdle(5000000));
}

TEST(OutputWorker, StoppingWakesASleepingJobAndDropsWhatWaits) {
  std::atomic<bool> slept{false}, woken{false}, ranAfter{false};
  std::promise<void> sleeping;
  auto worker = std::make_unique<OutputWorker>("test");
  OutputWorker* self = worker.get();  // alive until its thread has ended
  worker->PostControl([&, self] {
    sleeping.set_value();
    slept = true;
    woken = !self->Sleep(60000000);  // a launch wait, far longer than the test
  });
  worker->PostControl([&] { ranAfter = true; });
  sleeping.get_future().wait();
  const auto start = std::chrono::steady_clock::now();
  worker.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(slept && woken);
  EXPECT_FALSE(ranAfter);
}

TEST(OutputWorker, TheIdleTickRunsWhileNothingWaitsAndWaitIdleSeesItThrough) {
  std::atomic<int> ticks{0};
  OutputWorker worker("test");
  worker.SetIdleTick(10000, [&] { ticks++; });
  for (int i = 0; i < 500 && ticks < 3; i++) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_GE(ticks.load(), 3);
  EXPECT_TRUE(worker.WaitIdle(5000000));
}
