#include "platform/media/BTimedEventQueue.h"

#include <vector>

#include "platform/media/BBuffer.h"
#include "platform/support/Time.h"

media_timed_event::media_timed_event() : media_timed_event(0, BTimedEventQueue::B_NO_EVENT) {}

media_timed_event::media_timed_event(bigtime_t time, int32 eventType)
    : media_timed_event(time, eventType, nullptr, BTimedEventQueue::B_NO_CLEANUP) {}

media_timed_event::media_timed_event(bigtime_t time, int32 eventType, void* eventPointer,
                                     uint32 eventCleanup)
    : event_time(time),
      type(eventType),
      pointer(eventPointer),
      cleanup(eventCleanup),
      data(0),
      bigdata(0),
      enqueue_time(0) {}

BTimedEventQueue::~BTimedEventQueue() { FlushEvents(0, B_ALWAYS); }

status_t BTimedEventQueue::AddEvent(const media_timed_event& event) {
  if (event.type <= B_ANY_EVENT) return B_BAD_VALUE;
  media_timed_event copy = event;
  copy.enqueue_time = system_time();
  std::lock_guard<std::mutex> lock(fLock);
  // After every event of the same time, so equal times stay first come, first served.
  auto it = fEvents.end();
  while (it != fEvents.begin()) {
    auto before = std::prev(it);
    if (before->event_time <= copy.event_time) break;
    it = before;
  }
  fEvents.insert(it, copy);
  return B_OK;
}

status_t BTimedEventQueue::RemoveEvent(const media_timed_event* event) {
  if (event == nullptr) return B_BAD_VALUE;
  std::lock_guard<std::mutex> lock(fLock);
  for (auto it = fEvents.begin(); it != fEvents.end(); ++it) {
    if (it->event_time == event->event_time && it->type == event->type &&
        it->pointer == event->pointer) {
      fEvents.erase(it);
      return B_OK;
    }
  }
  return B_NAME_NOT_FOUND;
}

status_t BTimedEventQueue::RemoveFirstEvent(media_timed_event* event) {
  std::lock_guard<std::mutex> lock(fLock);
  if (fEvents.empty()) return B_ERROR;
  if (event) *event = fEvents.front();
  fEvents.pop_front();
  return B_OK;
}

bool BTimedEventQueue::HasEvents() const {
  std::lock_guard<std::mutex> lock(fLock);
  return !fEvents.empty();
}

int32 BTimedEventQueue::EventCount() const {
  std::lock_guard<std::mutex> lock(fLock);
  return int32(fEvents.size());
}

bool BTimedEventQueue::FirstEvent(media_timed_event* event) const {
  std::lock_guard<std::mutex> lock(fLock);
  if (fEvents.empty()) return false;
  if (event) *event = fEvents.front();
  return true;
}

bigtime_t BTimedEventQueue::FirstEventTime() const {
  std::lock_guard<std::mutex> lock(fLock);
  return fEvents.empty() ? B_INFINITE_TIMEOUT : fEvents.front().event_time;
}

bigtime_t BTimedEventQueue::LastEventTime() const {
  std::lock_guard<std::mutex> lock(fLock);
  return fEvents.empty() ? B_INFINITE_TIMEOUT : fEvents.back().event_time;
}

status_t BTimedEventQueue::FlushEvents(bigtime_t time, time_direction direction, bool inclusive,
                                       int32 type) {
  std::vector<media_timed_event> removed;
  {
    std::lock_guard<std::mutex> lock(fLock);
    for (auto it = fEvents.begin(); it != fEvents.end();) {
      bool inTime;
      switch (direction) {
        case B_ALWAYS: inTime = true; break;
        case B_BEFORE_TIME:
          inTime = it->event_time < time || (inclusive && it->event_time == time);
          break;
        case B_AT_TIME: inTime = it->event_time == time; break;
        case B_AFTER_TIME:
          inTime = it->event_time > time || (inclusive && it->event_time == time);
          break;
        default: inTime = false;
      }
      if (inTime && (type == B_ANY_EVENT || it->type == type)) {
        removed.push_back(*it);
        it = fEvents.erase(it);
      } else {
        ++it;
      }
    }
  }
  // Outside the lock: recycling a buffer may wake its producer.
  for (const media_timed_event& event : removed) CleanUp(event);
  return B_OK;
}

void BTimedEventQueue::SetCleanupHook(cleanup_hook hook, void* context) {
  std::lock_guard<std::mutex> lock(fLock);
  fHook = hook;
  fHookContext = context;
}

void BTimedEventQueue::CleanUp(const media_timed_event& event) {
  if (event.cleanup == B_RECYCLE_BUFFER) {
    if (event.pointer) static_cast<BBuffer*>(event.pointer)->Recycle();
  } else if (event.cleanup >= B_USER_CLEANUP && fHook != nullptr) {
    fHook(&event, fHookContext);
  }
}
