#pragma once
// A consumer node for the media kit's tests: it offers a group of its own buffers (or none),
// records every buffer it receives and every answer to its requests, and recycles at once.

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/media/BBuffer.h"
#include "platform/media/BBufferConsumer.h"
#include "platform/media/BBufferGroup.h"
#include "platform/media/BMediaEventLooper.h"
#include "platform/media/BTimeSource.h"
#include "platform/support/Time.h"

class TestSink : public BMediaEventLooper, public BBufferConsumer {
 public:
  struct Frame {
    media_buffer_id id;
    bool ours;
    bigtime_t startTime;
    bigtime_t arrival;  // performance time on arrival
    size_t sizeUsed;
    uint32 firstPixel;
  };

  // bufferSize 0: offer no group; otherwise three buffers of that size.
  explicit TestSink(size_t bufferSize) : BMediaNode("test sink"), BBufferConsumer(B_MEDIA_RAW_VIDEO),
                                         fBufferSize(bufferSize) {
    fInput.destination = media_destination::null;
    fInput.source = media_source::null;
    fInput.format.type = B_MEDIA_RAW_VIDEO;
  }
  ~TestSink() override { Quit(); }

  BMediaAddOn* AddOn(int32* id) const override {
    if (id) *id = 0;
    return nullptr;
  }

  status_t HandleMessage(int32 code, const void* data, size_t size) override {
    if (BBufferConsumer::HandleMessage(code, data, size) == B_OK) return B_OK;
    if (BMediaNode::HandleMessage(code, data, size) == B_OK) return B_OK;
    HandleBadMessage(code, data, size);
    return B_ERROR;
  }

  std::vector<Frame> Frames() {
    std::lock_guard<std::mutex> lock(fLock);
    return fFrames;
  }
  // Waits (at most `timeout` µs) until `count` frames arrived; returns how many did.
  size_t WaitForFrames(size_t count, bigtime_t timeout) {
    std::unique_lock<std::mutex> lock(fLock);
    fChanged.wait_for(lock, std::chrono::microseconds(timeout),
                      [&] { return fFrames.size() >= count; });
    return fFrames.size();
  }
  std::vector<media_request_info> Completions() {
    std::unique_lock<std::mutex> lock(fLock);
    fChanged.wait_for(lock, std::chrono::seconds(5), [&] { return !fCompletions.empty(); });
    return fCompletions;
  }
  media_input Input() {
    std::lock_guard<std::mutex> lock(fLock);
    return fInput;
  }

 protected:
  void NodeRegistered() override {
    fInput.destination = {ControlPort(), 0};
    fInput.node = Node();
    Run();
  }
  void HandleEvent(const media_timed_event*, bigtime_t, bool) override {}

  status_t AcceptFormat(const media_destination& dest, media_format* format) override {
    if (dest != fInput.destination) return B_MEDIA_BAD_DESTINATION;
    if (format->type != B_MEDIA_RAW_VIDEO) return B_MEDIA_BAD_FORMAT;
    return B_OK;
  }
  status_t GetNextInput(int32* cookie, media_input* input) override {
    if (*cookie != 0) return B_MEDIA_BAD_DESTINATION;
    std::lock_guard<std::mutex> lock(fLock);
    *input = fInput;
    (*cookie)++;
    return B_OK;
  }
  void DisposeInputCookie(int32) override {}
  void BufferReceived(BBuffer* buffer) override {
    Frame frame{buffer->ID(), false, buffer->Header()->start_time, TimeSource()->Now(),
                buffer->SizeUsed(), 0};
    if (buffer->SizeUsed() >= 4) std::memcpy(&frame.firstPixel, buffer->Data(), 4);
    {
      std::lock_guard<std::mutex> lock(fLock);
      for (BBuffer* mine : fMine) frame.ours = frame.ours || mine == buffer;
      fFrames.push_back(frame);
    }
    buffer->Recycle();
    fChanged.notify_all();
  }
  void ProducerDataStatus(const media_destination&, int32, bigtime_t) override {}
  status_t GetLatencyFor(const media_destination& dest, bigtime_t* latency,
                         media_node_id* timeSource) override {
    if (dest != fInput.destination) return B_MEDIA_BAD_DESTINATION;
    *latency = 15000;
    *timeSource = TimeSource()->ID();
    return B_OK;
  }
  status_t Connected(const media_source& producer, const media_destination& where,
                     const media_format& format, media_input* input) override {
    if (where != fInput.destination) return B_MEDIA_BAD_DESTINATION;
    {
      std::lock_guard<std::mutex> lock(fLock);
      fInput.source = producer;
      fInput.format = format;
      *input = fInput;
    }
    if (fBufferSize > 0) {
      fGroup.reset(new BBufferGroup(fBufferSize, 3));
      fMine.assign(3, nullptr);
      fGroup->GetBufferList(3, fMine.data());
      int32 tag;
      SetOutputBuffersFor(producer, where, fGroup.get(), nullptr, &tag, true);
    }
    return B_OK;
  }
  void Disconnected(const media_source& producer, const media_destination& where) override {
    std::lock_guard<std::mutex> lock(fLock);
    if (producer == fInput.source && where == fInput.destination) fInput.source = media_source::null;
  }
  status_t FormatChanged(const media_source&, const media_destination&, int32,
                         const media_format&) override {
    return B_OK;
  }
  status_t RequestCompleted(const media_request_info& info) override {
    {
      std::lock_guard<std::mutex> lock(fLock);
      fCompletions.push_back(info);
    }
    fChanged.notify_all();
    return B_OK;
  }

 private:
  size_t fBufferSize;
  std::mutex fLock;
  std::condition_variable fChanged;
  media_input fInput;
  std::unique_ptr<BBufferGroup> fGroup;
  std::vector<BBuffer*> fMine;
  std::vector<Frame> fFrames;
  std::vector<media_request_info> fCompletions;
};
