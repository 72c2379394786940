#pragma once
// The system's time source: performance time is system_time(), always running. Start is
// accepted; stopping or seeking the system clock is refused.

#include "platform/media/BMediaEventLooper.h"
#include "platform/media/BTimeSource.h"

class SystemTimeSource : public BMediaEventLooper, public BTimeSource {
 public:
  SystemTimeSource();
  ~SystemTimeSource() override;
  BMediaAddOn* AddOn(int32* internalID) const override;

 protected:
  status_t TimeSourceOp(const time_source_op_info& op) override;
  void HandleEvent(const media_timed_event* event, bigtime_t lateness, bool realTimeEvent) override;
};
