#include "platform/media/BMediaEventLooper.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/media/BBuffer.h"
#include "platform/media/MediaProtocol.h"
#include "platform/media/BTimeSource.h"
#include "platform/support/Time.h"

using namespace media_protocol;

namespace {
// The thread also wakes this often with nothing to do, so a clock that jumps (a test clock,
// a time source that is warped) is seen soon.
constexpr bigtime_t kLongestSleep = 100000;
}  // namespace

BMediaEventLooper::BMediaEventLooper() : BMediaNode("event looper") {}

BMediaEventLooper::~BMediaEventLooper() { Quit(); }

void BMediaEventLooper::Run() {
  if (fThread.joinable() || fQuitting.load()) return;
  SetRunState(B_STOPPED);
  fThread = std::thread([this] { ControlLoop(); });
  // The thread publishes its id first thing; wait for it so that ControlThread() and
  // SetPriority act on the thread as soon as Run returns.
  while (!fThreadStarted.load(std::memory_order_acquire)) std::this_thread::yield();
}

void BMediaEventLooper::Quit() {
  if (fThread.joinable()) {
    fQuitting.store(true);
    SetRunState(B_QUITTING);
    write_port_etc(ControlPort(), kLooperQuit, nullptr, 0, 0);
    if (fThread.get_id() == std::this_thread::get_id())
      fThread.detach();
    else
      fThread.join();
  }
  fEventQueue.FlushEvents(0, BTimedEventQueue::B_ALWAYS);
  fRealTimeQueue.FlushEvents(0, BTimedEventQueue::B_ALWAYS);
  if (RunState() != B_UNREGISTERED) SetRunState(B_TERMINATED);
}

void BMediaEventLooper::SetPriority(int32 priority) {
  fPriority.store(std::clamp(priority, int32(1), int32(120)), std::memory_order_relaxed);
  if (ControlThread() >= 0) ApplyPriority();
}

void BMediaEventLooper::ApplyPriority() {
  // Priorities above ordinary map to lower nice values (up to -19); a raise needs the right
  // to do so, and the thread simply keeps its priority where the system refuses.
  int32 priority = Priority();
  int nice = priority >= B_NORMAL_PRIORITY ? -std::min(priority - B_NORMAL_PRIORITY, int32(19))
                                           : std::min(B_NORMAL_PRIORITY - priority, int32(19));
  thread_id thread = ControlThread();
  if (thread >= 0) setpriority(PRIO_PROCESS, id_t(thread), nice);
  fSchedulingLatency.store(estimate_max_scheduling_latency(thread), std::memory_order_relaxed);
}

void BMediaEventLooper::SetEventLatency(bigtime_t latency) {
  fEventLatency.store(std::max<bigtime_t>(latency, 0), std::memory_order_relaxed);
  // Wake the thread: the next event may be due earlier now.
  if (ControlThread() >= 0 && std::this_thread::get_id() != fThread.get_id())
    write_port_etc(ControlPort(), kLooperQuit + 1, nullptr, 0, 0);
}

void BMediaEventLooper::NodeRegistered() { Run(); }

void BMediaEventLooper::Start(bigtime_t performanceTime) {
  fEventQueue.AddEvent(media_timed_event(performanceTime, BTimedEventQueue::B_START));
}

void BMediaEventLooper::Stop(bigtime_t performanceTime, bool immediate) {
  if (immediate) {
    // Ahead of everything already queued, so nothing else is handled first.
    bigtime_t now = TimeSource()->Now();
    bigtime_t first = fEventQueue.FirstEventTime();
    performanceTime = first != B_INFINITE_TIMEOUT && first <= now ? first - 1 : now;
  }
  fEventQueue.AddEvent(media_timed_event(performanceTime, BTimedEventQueue::B_STOP));
}

void BMediaEventLooper::Seek(bigtime_t mediaTime, bigtime_t performanceTime) {
  media_timed_event event(performanceTime, BTimedEventQueue::B_SEEK);
  event.bigdata = mediaTime;
  fEventQueue.AddEvent(event);
}

void BMediaEventLooper::TimeWarp(bigtime_t, bigtime_t toPerformanceTime) {
  media_timed_event event(toPerformanceTime, BTimedEventQueue::B_WARP);
  fRealTimeQueue.AddEvent(event);
}

void BMediaEventLooper::DispatchEvent(const media_timed_event* event, bigtime_t lateness,
                                      bool realTimeEvent) {
  HandleEvent(event, lateness, realTimeEvent);
  switch (event->type) {
    case BTimedEventQueue::B_START: SetRunState(B_STARTED); break;
    case BTimedEventQueue::B_STOP: SetRunState(B_STOPPED); break;
    default: break;
  }
  CleanUpEvent(event);
}

void BMediaEventLooper::CleanUpEvent(const media_timed_event*) {
  // HandleEvent owns what the event points at (the consumer recycles its buffers itself).
}

bigtime_t BMediaEventLooper::TimeToNextEvent() {
  bigtime_t wait = kLongestSleep;
  if (fRealTimeQueue.HasEvents())
    wait = std::min(wait, fRealTimeQueue.FirstEventTime() - EventLatency() - system_time());
  if (fEventQueue.HasEvents()) {
    if (RunMode() == B_OFFLINE) return 0;
    bigtime_t due = TimeSource()->RealTimeFor(fEventQueue.FirstEventTime(),
                                              EventLatency() + SchedulingLatency());
    wait = std::min(wait, due - system_time());
  }
  return std::max<bigtime_t>(wait, 0);
}

void BMediaEventLooper::DispatchDueEvents() {
  for (int handled = 0; handled < 64 && !fQuitting.load(std::memory_order_relaxed); handled++) {
    media_timed_event event;
    bigtime_t now = system_time();
    if (fRealTimeQueue.FirstEvent(&event) && event.event_time - EventLatency() <= now) {
      fRealTimeQueue.RemoveFirstEvent();
      DispatchEvent(&event, now - event.event_time, true);
      continue;
    }
    if (!fEventQueue.FirstEvent(&event)) return;
    BTimeSource* timeSource = TimeSource();
    bigtime_t performanceNow = timeSource->Now();
    bool due = RunMode() == B_OFFLINE ||
               event.event_time - EventLatency() - SchedulingLatency() <= performanceNow;
    if (!due) return;
    fEventQueue.RemoveFirstEvent();
    DispatchEvent(&event, performanceNow - event.event_time, false);
  }
}

void BMediaEventLooper::ControlLoop() {
  // Named after its node, so that top -H and the whole-program benchmark tell the nodes apart.
  pthread_setname_np(pthread_self(), ("media " + std::string(Name())).substr(0, 15).c_str());
  fThreadID.store(find_thread(nullptr), std::memory_order_release);
  fThreadStarted.store(true, std::memory_order_release);
  ApplyPriority();
  alignas(std::max_align_t) uint8 message[kMaxMessageSize];
  while (!fQuitting.load(std::memory_order_relaxed)) {
    int32 code;
    ssize_t size = read_port_etc(ControlPort(), &code, message, sizeof(message), TimeToNextEvent());
    if (size == B_BAD_PORT_ID) break;
    if (size >= 0) {
      if (code == kLooperQuit) break;
      // A longer message than the buffer would be cut; handlers check the sizes they need.
      size_t length = std::min(size_t(size), sizeof(message));
      // The node's HandleMessage reports what nobody handled (HandleBadMessage).
      if (code != kLooperQuit + 1) HandleMessage(code, message, length);
    }
    DispatchDueEvents();
  }
  fThreadID.store(-1, std::memory_order_release);
}
