#include "platform/media/VideoInputNode.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/media/BBuffer.h"
#include "platform/media/BBufferGroup.h"
#include "platform/media/BMediaRoster.h"
#include "platform/media/BTimeSource.h"
#include "platform/media/VideoPipeline.h"
#include "platform/support/Time.h"
#include "platform/support/Log.h"

namespace {
// Sent by the pipeline's bus thread to the node's own port.
constexpr int32 kSourceFailed = 0x40000500;
constexpr uint32 kLargestSide = 8192;
constexpr int32 kOwnBuffers = 3;
}  // namespace

status_t VideoInputNode::Make(const char* setting, VideoInputNode** node) {
  if (node == nullptr) return B_BAD_VALUE;
  *node = nullptr;
  std::unique_ptr<VideoPipeline> pipeline;
  std::string why;
  status_t status = VideoPipeline::Create(ParseVideoSetting(setting), &pipeline, &why);
  if (status != B_OK) {
    Log(LogLevel::kError, "Zanvel: no video input: %s", why.c_str());
    return status;
  }
  *node = new VideoInputNode(std::move(pipeline));
  return B_OK;
}

VideoInputNode::VideoInputNode(std::unique_ptr<VideoPipeline> pipeline)
    : BMediaNode("Video Input"),
      BBufferProducer(B_MEDIA_RAW_VIDEO),
      fPipeline(std::move(pipeline)) {
  AddNodeKind(B_PHYSICAL_INPUT);
  SetPriority(B_URGENT_DISPLAY_PRIORITY);
  fOutput.source = {ControlPort(), 0};
  fOutput.destination = media_destination::null;
  fOutput.format.type = B_MEDIA_RAW_VIDEO;
  fOutput.format.u.raw_video = media_raw_video_format::wildcard;
  std::strncpy(fOutput.name, "video output", sizeof(fOutput.name) - 1);
}

VideoInputNode::~VideoInputNode() {
  Quit();
  // Stops the streaming thread before the buffers it writes into go.
  fPipeline.reset();
}

BMediaAddOn* VideoInputNode::AddOn(int32* internalID) const {
  if (internalID) *internalID = 0;
  return nullptr;
}

const std::string& VideoInputNode::SourceName() const {
  return fPipeline->Description();
}

VideoInputNode::Statistics VideoInputNode::GetStatistics() const {
  return Statistics{fSent.load(), fDropped.load(), fLateNotices.load(), fFailures.load()};
}

void VideoInputNode::NodeRegistered() {
  {
    std::lock_guard<std::mutex> lock(fOutputLock);
    fOutput.node = Node();
  }
  BuildWeb();
  Run();
}

void VideoInputNode::BuildWeb() {
  auto* web = new BParameterWeb;
  BParameterGroup* group = web->MakeGroup(fPipeline->Description().c_str());
  std::vector<VideoPipeline::Control> controls = fPipeline->Controls();
  for (size_t i = 0; i < controls.size(); i++) {
    const VideoPipeline::Control& control = controls[i];
    group->MakeContinuousParameter(int32(i), control.name.c_str(), "", float(control.minimum),
                                   float(control.maximum), 1.0f);
  }
  SetParameterWeb(web);
}

status_t VideoInputNode::HandleMessage(int32 code, const void* data, size_t size) {
  if (code == kSourceFailed) {
    fFailures.fetch_add(1);
    StopCapture(true);
    SetRunState(B_STOPPED);
    if (BMediaRoster* roster = BMediaRoster::CurrentRoster())
      roster->Broadcast(B_MEDIA_NODE_STOPPED, Node());
    return B_OK;
  }
  if (BBufferProducer::HandleMessage(code, data, size) == B_OK) return B_OK;
  if (BControllable::HandleMessage(code, data, size) == B_OK) return B_OK;
  if (BMediaNode::HandleMessage(code, data, size) == B_OK) return B_OK;
  HandleBadMessage(code, data, size);
  return B_ERROR;
}

void VideoInputNode::HandleEvent(const media_timed_event* event, bigtime_t, bool) {
  switch (event->type) {
    case BTimedEventQueue::B_START:
      if (RunState() != B_STARTED || !fCapturing.load()) StartCapture();
      break;
    case BTimedEventQueue::B_STOP:
      StopCapture(false);
      break;
    case BTimedEventQueue::B_SEEK:
      fPipeline->Seek(event->bigdata);
      break;
    case BTimedEventQueue::B_PARAMETER: {
      if (fPipeline->SetControl(int32(event->data), int32(event->bigdata)) == B_OK)
        fLastParameterChange = TimeSource()->Now();
      break;
    }
    default:
      break;
  }
}

void VideoInputNode::StartCapture() {
  uint32 width, height;
  {
    std::lock_guard<std::mutex> lock(fOutputLock);
    width = fOutput.format.u.raw_video.display.line_width;
    height = fOutput.format.u.raw_video.display.line_count;
  }
  if (width == 0 || height == 0) {
    // Not connected: capture at the default size so that a later connection finds it running.
    width = 320;
    height = 240;
  }
  status_t status = fPipeline->Play(
      width, height,
      [this](const uint8_t* pixels, size_t bytesPerRow, uint32 w, uint32 h) {
        WriteFrame(pixels, bytesPerRow, w, h);
      },
      [this](const std::string& message) {
        Log(LogLevel::kWarn, "Zanvel: %s", message.c_str());
        write_port_etc(ControlPort(), kSourceFailed, nullptr, 0, 1000000);
      });
  if (status != B_OK) {
    // The bus reports why; the failure message stops the node.
    Log(LogLevel::kWarn, "Zanvel: the video input cannot start");
  }
  fCapturing.store(status == B_OK, std::memory_order_release);
}

void VideoInputNode::StopCapture(bool close) {
  fCapturing.store(false, std::memory_order_release);
  if (close)
    fPipeline->Halt();
  else
    fPipeline->Pause();
}

void VideoInputNode::WriteFrame(const uint8_t* pixels, size_t bytesPerRow, uint32 width,
                                uint32 height) {
  if (!fCapturing.load(std::memory_order_acquire)) return;
  bigtime_t began = system_time();
  std::lock_guard<std::mutex> lock(fOutputLock);
  if (!fConnected || !fEnabled) return;
  BBuffer* buffer = nullptr;
  if (fConsumerGroup) {
    buffer = fConsumerGroup->RequestBuffer(fFrameSize, 0);
    // The consumer ended its group (it made new buffers): fall back on ours.
    if (buffer == nullptr && fConsumerGroup->RequestError() == B_MEDIA_BAD_BUFFER)
      fConsumerGroup.reset();
  }
  if (buffer == nullptr && !fConsumerGroup && fOwnGroup)
    buffer = fOwnGroup->RequestBuffer(fFrameSize, 0);
  if (buffer == nullptr) {
    fDropped.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  const media_video_display_info& display = fOutput.format.u.raw_video.display;
  size_t rowBytes = std::min({size_t(display.line_width) * 4, size_t(width) * 4, bytesPerRow,
                              size_t(display.bytes_per_row)});
  uint32 rows = std::min(height, display.line_count);
  auto* data = static_cast<uint8*>(buffer->Data());
  size_t room = buffer->SizeAvailable();
  uint32 row = 0;
  for (; row < rows; row++) {
    size_t offset = size_t(row) * display.bytes_per_row;
    if (offset + rowBytes > room) break;
    std::memcpy(data + offset, pixels + size_t(row) * bytesPerRow, rowBytes);
  }
  media_header* header = buffer->Header();
  header->type = B_MEDIA_RAW_VIDEO;
  header->size_used = uint32(std::min(size_t(row) * display.bytes_per_row, room));
  header->time_source = TimeSource()->ID();
  header->start_time = TimeSource()->Now() + RunModeDelay();
  if (SendBuffer(buffer, fOutput.source, fOutput.destination) != B_OK) {
    buffer->Recycle();
    fDropped.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  fSent.fetch_add(1, std::memory_order_relaxed);
  bigtime_t took = system_time() - began;
  bigtime_t average = fProcessingLatency.load(std::memory_order_relaxed);
  fProcessingLatency.store((average * 7 + took) / 8, std::memory_order_relaxed);
}

status_t VideoInputNode::Complete(media_format* format) {
  if (format->type == B_MEDIA_NO_TYPE || format->type == B_MEDIA_UNKNOWN_TYPE)
    format->type = B_MEDIA_RAW_VIDEO;
  if (format->type != B_MEDIA_RAW_VIDEO) return B_MEDIA_BAD_FORMAT;
  media_video_display_info& display = format->u.raw_video.display;
  if (display.format == B_NO_COLOR_SPACE) display.format = B_RGB32;
  // The pipeline delivers 32-bit pixels only.
  if (display.format != B_RGB32) return B_MEDIA_BAD_FORMAT;
  if (display.line_width == 0) display.line_width = 320;
  if (display.line_count == 0) display.line_count = 240;
  if (display.line_width > kLargestSide || display.line_count > kLargestSide)
    return B_MEDIA_BAD_FORMAT;
  if (display.bytes_per_row == 0) display.bytes_per_row = display.line_width * 4;
  if (display.bytes_per_row < display.line_width * 4) return B_MEDIA_BAD_FORMAT;
  if (format->u.raw_video.orientation == 0)
    format->u.raw_video.orientation = B_VIDEO_TOP_LEFT_RIGHT;
  if (format->u.raw_video.pixel_width_aspect == 0) format->u.raw_video.pixel_width_aspect = 1;
  if (format->u.raw_video.pixel_height_aspect == 0) format->u.raw_video.pixel_height_aspect = 1;
  return B_OK;
}

status_t VideoInputNode::FormatProposal(const media_source& output, media_format* format) {
  if (output != fOutput.source) return B_MEDIA_BAD_SOURCE;
  return Complete(format);
}

status_t VideoInputNode::GetNextOutput(int32* cookie, media_output* output) {
  if (*cookie != 0) return B_BAD_INDEX;
  std::lock_guard<std::mutex> lock(fOutputLock);
  *output = fOutput;
  (*cookie)++;
  return B_OK;
}

status_t VideoInputNode::DisposeOutputCookie(int32) { return B_OK; }

status_t VideoInputNode::SetBufferGroup(const media_source& source, BBufferGroup* group) {
  std::unique_ptr<BBufferGroup> offered(group);
  if (source != fOutput.source) return B_MEDIA_BAD_SOURCE;
  std::lock_guard<std::mutex> lock(fOutputLock);
  if (offered) {
    // Every buffer must hold a whole frame.
    int32 count = 0;
    offered->CountBuffers(&count);
    std::vector<BBuffer*> buffers(size_t(std::max(count, int32(1))), nullptr);
    offered->GetBufferList(count, buffers.data());
    for (int32 i = 0; i < count; i++)
      if (buffers[size_t(i)] == nullptr || buffers[size_t(i)]->SizeAvailable() < fFrameSize)
        return B_MEDIA_BAD_BUFFER;
  }
  fConsumerGroup = std::move(offered);
  return B_OK;
}

status_t VideoInputNode::PrepareToConnect(const media_source& what, const media_destination& where,
                                          media_format* format, media_source* source, char* name) {
  if (what != fOutput.source) return B_MEDIA_BAD_SOURCE;
  std::lock_guard<std::mutex> lock(fOutputLock);
  if (fOutput.destination != media_destination::null) return B_MEDIA_ALREADY_CONNECTED;
  status_t status = Complete(format);
  if (status != B_OK) return status;
  fOutput.destination = where;
  fOutput.format = *format;
  // The consumer may offer its buffers before the connection completes: judge them by this.
  fFrameSize = format->u.raw_video.display.bytes_per_row * format->u.raw_video.display.line_count;
  *source = fOutput.source;
  std::snprintf(name, B_MEDIA_NAME_LENGTH, "%s", fOutput.name);
  return B_OK;
}

void VideoInputNode::Connect(status_t error, const media_source& source,
                             const media_destination& destination, const media_format& format,
                             char* name) {
  if (source != fOutput.source) return;
  bool restart = false;
  {
    std::lock_guard<std::mutex> lock(fOutputLock);
    if (error != B_OK) {
      fOutput.destination = media_destination::null;
      fConsumerGroup.reset();
      return;
    }
    const media_video_display_info& display = format.u.raw_video.display;
    restart = fCapturing.load() &&
              (display.line_width != fOutput.format.u.raw_video.display.line_width ||
               display.line_count != fOutput.format.u.raw_video.display.line_count);
    fOutput.destination = destination;
    fOutput.format = format;
    fFrameSize = display.bytes_per_row * display.line_count;
    fOwnGroup.reset(new BBufferGroup(fFrameSize, kOwnBuffers));
    fConnected = true;
    std::snprintf(name, B_MEDIA_NAME_LENGTH, "%s", fOutput.name);
  }
  // Frames of the new size need the pipeline to negotiate again.
  if (restart) {
    fPipeline->Halt();
    StartCapture();
  }
}

void VideoInputNode::Disconnect(const media_source& what, const media_destination& where) {
  std::lock_guard<std::mutex> lock(fOutputLock);
  if (what != fOutput.source || where != fOutput.destination) return;
  fConnected = false;
  fOutput.destination = media_destination::null;
  fConsumerGroup.reset();
}

void VideoInputNode::LateNoticeReceived(const media_source& what, bigtime_t howMuch, bigtime_t) {
  if (what != fOutput.source) return;
  // A recording keeps its time stamps (the consumer drops what it cannot take); the count
  // tells how often that happened.
  fLateNotices.fetch_add(1, std::memory_order_relaxed);
  (void)howMuch;
}

void VideoInputNode::EnableOutput(const media_source& what, bool enabled) {
  if (what != fOutput.source) return;
  std::lock_guard<std::mutex> lock(fOutputLock);
  fEnabled = enabled;
}

status_t VideoInputNode::GetLatency(bigtime_t* latency) {
  status_t status = BBufferProducer::GetLatency(latency);
  if (status == B_OK) *latency += fProcessingLatency.load(std::memory_order_relaxed) + EventLatency();
  return status;
}

status_t VideoInputNode::GetParameterValue(int32 id, bigtime_t* lastChange, void* value,
                                           size_t* ioSize) {
  if (ioSize == nullptr || *ioSize < sizeof(float)) return B_NO_MEMORY;
  int32 current;
  status_t status = fPipeline->GetControl(id, &current);
  if (status != B_OK) return status;
  float asFloat = float(current);
  std::memcpy(value, &asFloat, sizeof(asFloat));
  *ioSize = sizeof(asFloat);
  if (lastChange) *lastChange = fLastParameterChange;
  return B_OK;
}

void VideoInputNode::SetParameterValue(int32 id, bigtime_t when, const void* value, size_t size) {
  if (size < sizeof(float)) return;
  float asFloat;
  std::memcpy(&asFloat, value, sizeof(asFloat));
  media_timed_event event(when, BTimedEventQueue::B_PARAMETER);
  event.data = id;
  event.bigdata = bigtime_t(asFloat + (asFloat < 0 ? -0.5f : 0.5f));
  EventQueue()->AddEvent(event);
}
