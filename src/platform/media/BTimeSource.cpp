#include "platform/media/BTimeSource.h"

#include "platform/media/MediaProtocol.h"
#include "platform/support/Time.h"

using namespace media_protocol;

BTimeSource::BTimeSource() : BMediaNode("time source") { AddNodeKind(B_TIME_SOURCE); }

BTimeSource::~BTimeSource() = default;

bigtime_t BTimeSource::RealTime() { return system_time(); }

bigtime_t BTimeSource::PerformanceTimeFor(bigtime_t realTime) const {
  std::lock_guard<std::mutex> lock(fLock);
  if (!fRunning) return fPerformanceTime;
  // In double precision the system clock's drift of exactly 1 maps times exactly.
  return fPerformanceTime + bigtime_t(double(realTime - fRealTime) * fDrift);
}

bigtime_t BTimeSource::RealTimeFor(bigtime_t performanceTime, bigtime_t withLatency) const {
  std::lock_guard<std::mutex> lock(fLock);
  double drift = fDrift > 0 ? fDrift : 1.0;
  return fRealTime + bigtime_t(double(performanceTime - fPerformanceTime) / drift) - withLatency;
}

bool BTimeSource::IsRunning() const {
  std::lock_guard<std::mutex> lock(fLock);
  return fRunning;
}

status_t BTimeSource::GetTime(bigtime_t* performanceTime, bigtime_t* realTime,
                              float* drift) const {
  std::lock_guard<std::mutex> lock(fLock);
  if (performanceTime) *performanceTime = fPerformanceTime;
  if (realTime) *realTime = fRealTime;
  if (drift) *drift = float(fDrift);
  return B_OK;
}

status_t BTimeSource::GetStartLatency(bigtime_t* latency) {
  if (latency == nullptr) return B_BAD_VALUE;
  *latency = 0;
  return B_OK;
}

void BTimeSource::PublishTime(bigtime_t performanceTime, bigtime_t realTime, float drift) {
  std::lock_guard<std::mutex> lock(fLock);
  fPerformanceTime = performanceTime;
  fRealTime = realTime;
  fDrift = double(drift);
}

void BTimeSource::SetRunning(bool running) {
  std::lock_guard<std::mutex> lock(fLock);
  fRunning = running;
}

status_t BTimeSource::HandleMessage(int32 code, const void* data, size_t size) {
  switch (code) {
    case kTimeSourceOp: {
      if (size < sizeof(TimeSourceOpRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const TimeSourceOpRequest*>(data);
      TimeSourceOp(time_source_op_info{time_source_op(request->op), request->real_time,
                                       request->performance_time});
      return B_OK;
    }
    case kTimeSourceGetStartLatency: {
      if (size < sizeof(GetStartLatencyRequest)) return B_BAD_VALUE;
      GetLatencyReply reply{B_OK, 0};
      reply.status = GetStartLatency(&reply.latency);
      Answer(static_cast<const GetStartLatencyRequest*>(data)->reply, code, reply);
      return B_OK;
    }
    default:
      return BMediaNode::HandleMessage(code, data, size);
  }
}
