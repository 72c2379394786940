#include "platform/media/SystemTimeSource.h"

#include "platform/support/Time.h"

SystemTimeSource::SystemTimeSource() : BMediaNode("system clock") {
  PublishTime(0, 0, 1.0f);
  SetRunning(true);
}

SystemTimeSource::~SystemTimeSource() { Quit(); }

BMediaAddOn* SystemTimeSource::AddOn(int32* internalID) const {
  if (internalID) *internalID = 0;
  return nullptr;
}

status_t SystemTimeSource::TimeSourceOp(const time_source_op_info& op) {
  return op.op == B_TIMESOURCE_START ? B_OK : B_NOT_ALLOWED;
}

void SystemTimeSource::HandleEvent(const media_timed_event*, bigtime_t, bool) {
  // Start and stop of the node itself only change its run state; the clock keeps running.
}
