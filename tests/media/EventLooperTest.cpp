// Control threads: timed dispatch, run states, offline mode, immediate stops, priorities,
// and the roster's bookkeeping of nodes and time sources.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/media/BMediaEventLooper.h"
#include "platform/media/BMediaRoster.h"
#include "platform/media/BTimeSource.h"
#include "platform/support/Time.h"

namespace {

class RecordingLooper : public BMediaEventLooper {
 public:
  struct Seen {
    int32 type;
    bigtime_t eventTime;
    bigtime_t handledAt;
    run_state stateDuring;
  };
  explicit RecordingLooper(std::atomic<int>* deaths = nullptr)
      : BMediaNode("recorder"), fDeaths(deaths) {}
  ~RecordingLooper() override {
    Quit();
    if (fDeaths) (*fDeaths)++;
  }
  BMediaAddOn* AddOn(int32*) const override { return nullptr; }
  status_t HandleMessage(int32 code, const void* data, size_t size) override {
    return BMediaNode::HandleMessage(code, data, size);
  }
  std::vector<Seen> WaitFor(size_t count, bigtime_t timeout = 5000000) {
    std::unique_lock<std::mutex> lock(fLock);
    fChanged.wait_for(lock, std::chrono::microseconds(timeout), [&] { return fSeen.size() >= count; });
    return fSeen;
  }
  void Add(const media_timed_event& event) { EventQueue()->AddEvent(event); }
  using BMediaEventLooper::SchedulingLatency;
  std::thread::id registeredOn;

 protected:
  void NodeRegistered() override {
    registeredOn = std::this_thread::get_id();
    BMediaEventLooper::NodeRegistered();
  }
  void HandleEvent(const media_timed_event* event, bigtime_t, bool) override {
    std::lock_guard<std::mutex> lock(fLock);
    fSeen.push_back({event->type, event->event_time, TimeSource()->Now(), RunState()});
    fChanged.notify_all();
  }

 private:
  std::atomic<int>* fDeaths;
  std::mutex fLock;
  std::condition_variable fChanged;
  std::vector<Seen> fSeen;
};

class EventLooperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    roster = BMediaRoster::Roster();
    node = new RecordingLooper(&deaths);
    ASSERT_EQ(roster->RegisterNode(node), B_OK);
  }
  void TearDown() override {
    if (node) roster->ReleaseNode(node->Node());
  }
  BMediaRoster* roster = nullptr;
  RecordingLooper* node = nullptr;
  std::atomic<int> deaths{0};
};

TEST_F(EventLooperTest, EventsAreHandedAtTheirTimeAndStartStopSetTheRunState) {
  EXPECT_EQ(node->registeredOn, std::this_thread::get_id());
  EXPECT_EQ(node->RunState(), B_STOPPED);
  bigtime_t now = node->TimeSource()->Now();
  ASSERT_EQ(roster->StartNode(node->Node(), now + 50000), B_OK);
  node->Add(media_timed_event(now + 150000, BTimedEventQueue::B_USER_EVENT));
  auto seen = node->WaitFor(2);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].type, BTimedEventQueue::B_START);
  EXPECT_EQ(seen[0].stateDuring, B_STOPPED);  // the state changes after the event's handler
  EXPECT_EQ(seen[1].type, BTimedEventQueue::B_USER_EVENT);
  EXPECT_EQ(seen[1].stateDuring, B_STARTED);
  // Never earlier than the time less the scheduling allowance.
  EXPECT_GE(seen[1].handledAt, now + 150000 - node->SchedulingLatency());
  ASSERT_EQ(roster->StopNode(node->Node(), 0, true), B_OK);
  seen = node->WaitFor(3);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[2].type, BTimedEventQueue::B_STOP);
  for (int i = 0; i < 100 && node->RunState() != B_STOPPED; i++) snooze(10000);
  EXPECT_EQ(node->RunState(), B_STOPPED);
}

TEST_F(EventLooperTest, OfflineModeHandsFutureEventsAtOnce) {
  ASSERT_EQ(roster->SetRunModeNode(node->Node(), B_OFFLINE), B_OK);
  EXPECT_EQ(node->RunMode(), B_OFFLINE);
  bigtime_t far = node->TimeSource()->Now() + 3600LL * 1000000;
  node->Add(media_timed_event(far, BTimedEventQueue::B_USER_EVENT));
  roster->StartNode(node->Node(), 0);  // wakes the thread
  auto seen = node->WaitFor(2, 2000000);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_TRUE(seen[0].eventTime == far || seen[1].eventTime == far);
}

TEST_F(EventLooperTest, AnImmediateStopGoesBeforeEverythingQueued) {
  bigtime_t now = node->TimeSource()->Now();
  for (int i = 1; i <= 3; i++)
    node->Add(media_timed_event(now + i * 1000000, BTimedEventQueue::B_USER_EVENT));
  ASSERT_EQ(roster->StopNode(node->Node(), 0, true), B_OK);
  auto seen = node->WaitFor(1);
  ASSERT_GE(seen.size(), 1u);
  EXPECT_EQ(seen[0].type, BTimedEventQueue::B_STOP);
  EXPECT_EQ(node->EventQueue()->EventCount(), 3);
}

TEST_F(EventLooperTest, PriorityBelowOrdinaryLowersTheControlThread) {
  node->SetPriority(B_LOW_PRIORITY);
  thread_id thread = node->ControlThread();
  ASSERT_GE(thread, 0);
  errno = 0;
  EXPECT_EQ(getpriority(PRIO_PROCESS, id_t(thread)), 5);
}

TEST_F(EventLooperTest, TheLastReleaseDestroysTheNodeAndForgetsIt) {
  media_node ref = node->Node();
  media_node again;
  ASSERT_EQ(roster->GetNodeFor(ref.node, &again), B_OK);  // a second reference
  EXPECT_EQ(roster->ReleaseNode(ref), B_OK);
  EXPECT_EQ(deaths.load(), 0);
  EXPECT_EQ(roster->ReleaseNode(again), B_OK);
  EXPECT_EQ(deaths.load(), 1);
  node = nullptr;
  live_node_info info;
  EXPECT_EQ(roster->GetLiveNodeInfo(ref, &info), B_MEDIA_BAD_NODE);
  EXPECT_EQ(roster->ReleaseNode(ref), B_MEDIA_BAD_NODE);
  EXPECT_EQ(roster->StartNode(ref, 0), B_MEDIA_BAD_NODE);
}

TEST(TimeSourceTest, SystemTimeSourceRunsOnTheSystemClockAndCannotBeReleased) {
  BMediaRoster* roster = BMediaRoster::Roster();
  media_node clock;
  ASSERT_EQ(roster->GetTimeSource(&clock), B_OK);
  EXPECT_TRUE(clock.kind & B_TIME_SOURCE);
  BTimeSource* timeSource = roster->MakeTimeSourceFor(clock);
  ASSERT_NE(timeSource, nullptr);
  EXPECT_TRUE(timeSource->IsRunning());
  bigtime_t before = system_time();
  bigtime_t now = timeSource->Now();
  EXPECT_LE(before, now);
  EXPECT_LE(now, system_time());
  EXPECT_EQ(timeSource->RealTimeFor(now, 500), now - 500);
  bigtime_t latency = -1;
  EXPECT_EQ(roster->GetStartLatencyFor(clock, &latency), B_OK);
  EXPECT_EQ(latency, 0);
  timeSource->Release();
  EXPECT_EQ(roster->ReleaseNode(clock), B_NOT_ALLOWED);
  EXPECT_EQ(roster->SetTimeSourceFor(clock.node, 987654), B_MEDIA_BAD_NODE);
  EXPECT_GT(estimate_max_scheduling_latency(-1), 0);
}

}  // namespace
