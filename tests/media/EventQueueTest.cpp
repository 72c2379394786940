// The timed event queue's order and flushing, ports, and format texts.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/media/BBuffer.h"
#include "platform/media/BBufferGroup.h"
#include "platform/media/MediaDefs.h"
#include "platform/media/Port.h"
#include "platform/media/BTimedEventQueue.h"

namespace {

using Q = BTimedEventQueue;

std::vector<bigtime_t> Times(Q& queue) {
  std::vector<bigtime_t> times;
  media_timed_event event;
  while (queue.RemoveFirstEvent(&event) == B_OK) times.push_back(event.event_time);
  return times;
}

TEST(TimedEventQueueTest, OrderedByTimeAndFirstComeAmongEquals) {
  Q queue;
  for (bigtime_t t : {30, 10, 20, 10}) {
    media_timed_event event(t, Q::B_HANDLE_BUFFER);
    event.data = queue.EventCount();
    queue.AddEvent(event);
  }
  media_timed_event first;
  ASSERT_TRUE(queue.FirstEvent(&first));
  EXPECT_EQ(first.event_time, 10);
  EXPECT_EQ(first.data, 1);  // the first of the two at 10
  EXPECT_EQ(queue.LastEventTime(), 30);
  EXPECT_EQ(Times(queue), (std::vector<bigtime_t>{10, 10, 20, 30}));
  EXPECT_EQ(queue.FirstEventTime(), B_INFINITE_TIMEOUT);
  EXPECT_EQ(queue.AddEvent(media_timed_event(5, Q::B_ANY_EVENT)), B_BAD_VALUE);
}

TEST(TimedEventQueueTest, FlushByDirectionTypeAndInclusion) {
  struct Case {
    Q::time_direction direction;
    bool inclusive;
    std::vector<bigtime_t> left;
  } cases[] = {
      {Q::B_BEFORE_TIME, true, {30}},       {Q::B_BEFORE_TIME, false, {20, 30}},
      {Q::B_AFTER_TIME, true, {10}},        {Q::B_AFTER_TIME, false, {10, 20}},
      {Q::B_AT_TIME, true, {10, 30}},       {Q::B_ALWAYS, true, {}},
  };
  for (const Case& c : cases) {
    Q queue;
    for (bigtime_t t : {10, 20, 30}) queue.AddEvent(media_timed_event(t, Q::B_HANDLE_BUFFER));
    queue.AddEvent(media_timed_event(20, Q::B_START));
    queue.FlushEvents(20, c.direction, c.inclusive, Q::B_HANDLE_BUFFER);
    std::vector<bigtime_t> left;
    media_timed_event event;
    while (queue.RemoveFirstEvent(&event) == B_OK)
      if (event.type == Q::B_HANDLE_BUFFER) left.push_back(event.event_time);
    EXPECT_EQ(left, c.left) << "direction " << c.direction << " inclusive " << c.inclusive;
  }
}

TEST(TimedEventQueueTest, FlushRecyclesBuffersButRemoveDoesNot) {
  BBufferGroup group(64, 2);
  BBuffer* a = group.RequestBuffer(64, 0);
  BBuffer* b = group.RequestBuffer(64, 0);
  {
    Q queue;
    queue.AddEvent(media_timed_event(1, Q::B_HANDLE_BUFFER, a, Q::B_RECYCLE_BUFFER));
    queue.AddEvent(media_timed_event(2, Q::B_HANDLE_BUFFER, b, Q::B_RECYCLE_BUFFER));
    queue.RemoveFirstEvent();
    EXPECT_EQ(group.CountFreeBuffers(), 0);
    queue.FlushEvents(0, Q::B_ALWAYS);
    EXPECT_EQ(group.CountFreeBuffers(), 1);
    queue.AddEvent(media_timed_event(3, Q::B_HANDLE_BUFFER, a, Q::B_RECYCLE_BUFFER));
  }  // a queue that goes away recycles what it still holds
  EXPECT_EQ(group.CountFreeBuffers(), 2);
}

TEST(PortTest, BoundedFifoThatFailsAfterDeletion) {
  port_id port = create_port(2, "test");
  ASSERT_GT(port, 0);
  int32 a = 1, b = 2, c = 3;
  EXPECT_EQ(write_port_etc(port, 10, &a, sizeof(a), 0), B_OK);
  EXPECT_EQ(write_port_etc(port, 11, &b, sizeof(b), 0), B_OK);
  EXPECT_EQ(write_port_etc(port, 12, &c, sizeof(c), 0), B_WOULD_BLOCK);
  EXPECT_EQ(write_port_etc(port, 12, &c, sizeof(c), 1000), B_TIMED_OUT);
  int32 code = 0, value = 0;
  EXPECT_EQ(read_port_etc(port, &code, &value, sizeof(value), 0), ssize_t(sizeof(value)));
  EXPECT_EQ(code, 10);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(port_count(port), 1);
  EXPECT_EQ(delete_port(port), B_OK);
  EXPECT_EQ(read_port_etc(port, &code, &value, sizeof(value), 0), B_BAD_PORT_ID);
  EXPECT_EQ(write_port_etc(port, 10, &a, sizeof(a), 0), B_BAD_PORT_ID);
}

TEST(FormatTextTest, DescribesVideoAndReportsCutting) {
  media_format format;
  format.type = B_MEDIA_RAW_VIDEO;
  format.u.raw_video.display = {B_RGB32, 160, 120, 640, 0, 0, 0};
  char text[256];
  ASSERT_TRUE(string_for_format(format, text, sizeof(text)));
  std::string s(text);
  EXPECT_NE(s.find("160x120"), std::string::npos) << s;
  EXPECT_NE(s.find("B_RGB32"), std::string::npos) << s;
  EXPECT_NE(s.find("640"), std::string::npos) << s;
  format.u.raw_video.display.format = color_space(3);
  ASSERT_TRUE(string_for_format(format, text, sizeof(text)));
  EXPECT_NE(std::string(text).find("colour space 3"), std::string::npos) << text;
  char small[8];
  EXPECT_FALSE(string_for_format(format, small, sizeof(small)));
  EXPECT_EQ(std::strlen(small), 7u);
}

}  // namespace
