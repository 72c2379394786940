#pragma once
// The default video input: a producer node with one raw-video output that runs a GStreamer
// pipeline and writes each frame, as 32-bit BGRx at the connection's size, into a free
// buffer of the consumer's group (or of its own when the consumer offered none or it was
// refused), stamped with its performance time. With no free buffer the frame is dropped and
// counted. A source that fails or ends is reported once and the node stops; starting it again
// reopens the source.
//
// Threads: the control thread runs every hook; frames are written on GStreamer's streaming
// thread under fOutputLock; failures arrive from the pipeline's bus thread as a message.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/media/BBufferProducer.h"
#include "platform/media/BControllable.h"
#include "platform/media/BMediaEventLooper.h"

class BBufferGroup;
class VideoPipeline;

class VideoInputNode : public BMediaEventLooper, public BBufferProducer, public BControllable {
 public:
  // Opens the input that `setting` names (see BMediaRoster::SetVideoInputSetting). On
  // failure prints why on standard error and returns B_NAME_NOT_FOUND (no such camera or
  // file), B_BAD_VALUE (a bad pattern or description) or B_ERROR.
  static status_t Make(const char* setting, VideoInputNode** node);
  ~VideoInputNode() override;

  BMediaAddOn* AddOn(int32* internalID) const override;
  status_t HandleMessage(int32 code, const void* data, size_t size) override;

  struct Statistics {
    int64 sent;         // frames handed to the consumer
    int64 dropped;      // frames lost: no free buffer, or the consumer's port was full
    int64 lateNotices;  // lateness reports from the consumer
    int64 failures;     // times the source failed or ended while running
  };
  Statistics GetStatistics() const;
  // Where the frames come from ("test pattern (ball)", a device, a file), fixed when made.
  const std::string& SourceName() const;
  // True while frames are being captured.
  bool IsCapturing() const { return fCapturing.load(std::memory_order_acquire); }

 protected:
  void NodeRegistered() override;
  void HandleEvent(const media_timed_event* event, bigtime_t lateness, bool realTimeEvent) override;

  status_t FormatProposal(const media_source& output, media_format* format) override;
  status_t GetNextOutput(int32* cookie, media_output* output) override;
  status_t DisposeOutputCookie(int32 cookie) override;
  status_t SetBufferGroup(const media_source& source, BBufferGroup* group) override;
  status_t PrepareToConnect(const media_source& what, const media_destination& where,
                            media_format* format, media_source* source, char* name) override;
  void Connect(status_t error, const media_source& source, const media_destination& destination,
               const media_format& format, char* name) override;
  void Disconnect(const media_source& what, const media_destination& where) override;
  void LateNoticeReceived(const media_source& what, bigtime_t howMuch,
                          bigtime_t performanceTime) override;
  void EnableOutput(const media_source& what, bool enabled) override;
  status_t GetLatency(bigtime_t* latency) override;

  status_t GetParameterValue(int32 id, bigtime_t* lastChange, void* value,
                             size_t* ioSize) override;
  void SetParameterValue(int32 id, bigtime_t when, const void* value, size_t size) override;

 private:
  VideoInputNode(std::unique_ptr<VideoPipeline> pipeline);
  void WriteFrame(const uint8_t* pixels, size_t bytesPerRow, uint32 width, uint32 height);
  void StartCapture();
  void StopCapture(bool close);
  void BuildWeb();
  // Completes the wildcards of a raw-video format; B_MEDIA_BAD_FORMAT if it cannot be made.
  static status_t Complete(media_format* format);

  std::unique_ptr<VideoPipeline> fPipeline;
  // Guards the connection as the streaming thread sees it.
  mutable std::mutex fOutputLock;
  media_output fOutput;
  bool fConnected = false;
  bool fEnabled = true;
  std::unique_ptr<BBufferGroup> fConsumerGroup;
  std::unique_ptr<BBufferGroup> fOwnGroup;
  uint32 fFrameSize = 0;

  std::atomic<bool> fCapturing{false};
  std::atomic<bigtime_t> fProcessingLatency{2000};
  bigtime_t fLastParameterChange = 0;
  std::atomic<int64> fSent{0};
  std::atomic<int64> fDropped{0};
  std::atomic<int64> fLateNotices{0};
  std::atomic<int64> fFailures{0};
};
