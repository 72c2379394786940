#pragma once
// A time-ordered queue of events for a node's control thread. Events of equal time keep the
// order in which they were added. Safe to use from several threads.

#include <list>
#include <mutex>

#include "platform/media/MediaDefs.h"

struct media_timed_event {
  media_timed_event();
  media_timed_event(bigtime_t time, int32 type);
  media_timed_event(bigtime_t time, int32 type, void* pointer, uint32 cleanup);

  bigtime_t event_time;
  int32 type;
  void* pointer;
  uint32 cleanup;
  int64 data;
  bigtime_t bigdata;
  bigtime_t enqueue_time;
};

class BTimedEventQueue {
 public:
  enum event_type : int32 {
    B_NO_EVENT = -1,
    B_ANY_EVENT = 0,
    B_START = 1,
    B_STOP = 2,
    B_SEEK = 3,
    B_WARP = 4,
    B_TIMER = 5,
    B_HANDLE_BUFFER = 6,
    B_DATA_STATUS = 7,
    B_HARDWARE = 8,
    B_PARAMETER = 9,
    B_USER_EVENT = 0x4000,
  };
  enum cleanup_flag : uint32 {
    B_NO_CLEANUP = 0,
    B_RECYCLE_BUFFER = 1,  // the event's pointer is a BBuffer to recycle
    B_EXPIRE_TIMER = 2,
    B_USER_CLEANUP = 0x4000,
  };
  enum time_direction : int32 {
    B_ALWAYS = -1,
    B_BEFORE_TIME = 0,
    B_AT_TIME = 1,
    B_AFTER_TIME = 2,
  };

  // Called for each removed event whose cleanup is B_USER_CLEANUP or above.
  using cleanup_hook = void (*)(const media_timed_event* event, void* context);

  BTimedEventQueue() = default;
  ~BTimedEventQueue();
  BTimedEventQueue(const BTimedEventQueue&) = delete;
  BTimedEventQueue& operator=(const BTimedEventQueue&) = delete;

  status_t AddEvent(const media_timed_event& event);
  // Removes the event equal to *event (same time, type and pointer) without cleaning it up.
  status_t RemoveEvent(const media_timed_event* event);
  // Takes the earliest event out (copied to *event when given) without cleaning it up.
  status_t RemoveFirstEvent(media_timed_event* event = nullptr);

  bool HasEvents() const;
  int32 EventCount() const;
  // Copies of the earliest and latest events; false when the queue is empty.
  bool FirstEvent(media_timed_event* event) const;
  bigtime_t FirstEventTime() const;  // B_INFINITE_TIMEOUT when empty
  bigtime_t LastEventTime() const;   // B_INFINITE_TIMEOUT when empty

  // Removes and cleans up the events of `type` (B_ANY_EVENT: all) that lie before, at or after
  // `time`, or all of them whatever their time (B_ALWAYS). `inclusive` counts `time` itself in.
  status_t FlushEvents(bigtime_t time, time_direction direction, bool inclusive = true,
                       int32 type = B_ANY_EVENT);

  void SetCleanupHook(cleanup_hook hook, void* context);

 private:
  void CleanUp(const media_timed_event& event);

  mutable std::mutex fLock;
  std::list<media_timed_event> fEvents;
  cleanup_hook fHook = nullptr;
  void* fHookContext = nullptr;
};
