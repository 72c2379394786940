#pragma once
// A clock that nodes follow: performance time as a function of real time
// (system_time(), monotonic microseconds).

#include <mutex>

#include "platform/media/BMediaNode.h"

class BTimeSource : public virtual BMediaNode {
 public:
  ~BTimeSource() override;

  // The performance time now.
  bigtime_t Now() const { return PerformanceTimeFor(RealTime()); }
  bigtime_t PerformanceTimeFor(bigtime_t realTime) const;
  // The real time at which `performanceTime` comes, less `withLatency`.
  bigtime_t RealTimeFor(bigtime_t performanceTime, bigtime_t withLatency) const;
  bool IsRunning() const;
  // The real time now.
  static bigtime_t RealTime();
  // The last published mapping: a performance time, the real time it held at, and the drift
  // (performance µs per real µs).
  status_t GetTime(bigtime_t* performanceTime, bigtime_t* realTime, float* drift) const;
  // How long the clock takes to start running once asked.
  virtual status_t GetStartLatency(bigtime_t* latency);

  enum time_source_op : int32 {
    B_TIMESOURCE_START = 1,
    B_TIMESOURCE_STOP,
    B_TIMESOURCE_STOP_IMMEDIATELY,
    B_TIMESOURCE_SEEK,
  };
  struct time_source_op_info {
    time_source_op op;
    bigtime_t real_time;
    bigtime_t performance_time;
  };

  status_t HandleMessage(int32 code, const void* data, size_t size) override;

 protected:
  BTimeSource();
  // Start, stop or seek the clock (called in the control thread).
  virtual status_t TimeSourceOp(const time_source_op_info& op) = 0;
  // Sets the mapping from real to performance time.
  void PublishTime(bigtime_t performanceTime, bigtime_t realTime, float drift);
  void SetRunning(bool running);

 private:
  mutable std::mutex fLock;
  bigtime_t fPerformanceTime = 0;
  bigtime_t fRealTime = 0;
  double fDrift = 1.0;
  bool fRunning = false;
};
