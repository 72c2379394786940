#include "platform/media/BMediaNode.h"

#include <cstdio>
#include <cstring>

#include "platform/media/MediaProtocol.h"
#include "platform/media/BMediaRoster.h"
#include "platform/media/BTimeSource.h"
#include "platform/support/Log.h"

using namespace media_protocol;

BMediaNode::BMediaNode(const char* name) : fName() {
  std::strncpy(fName, name ? name : "", sizeof(fName) - 1);
  fControlPort = create_port(64, fName);
}

BMediaNode::~BMediaNode() {
  BTimeSource* timeSource = fTimeSource.exchange(nullptr);
  if (timeSource != nullptr && timeSource != this) timeSource->Release();
  delete_port(fControlPort);
}

BMediaNode* BMediaNode::Acquire() {
  fRefCount.fetch_add(1, std::memory_order_relaxed);
  return this;
}

BMediaNode* BMediaNode::Release() {
  if (fRefCount.fetch_sub(1, std::memory_order_acq_rel) != 1) return this;
  if (BMediaRoster* roster = BMediaRoster::CurrentRoster()) roster->UnregisterNode(this);
  DeleteHook(this);
  return nullptr;
}

status_t BMediaNode::DeleteHook(BMediaNode* node) {
  delete node;
  return B_OK;
}

media_node BMediaNode::Node() const {
  media_node node;
  node.node = ID();
  node.port = ControlPort();
  node.kind = uint32(Kinds());
  return node;
}

BTimeSource* BMediaNode::TimeSource() const {
  BTimeSource* timeSource = fTimeSource.load(std::memory_order_acquire);
  if (timeSource != nullptr) return timeSource;
  BMediaRoster* roster = BMediaRoster::Roster();
  return roster ? roster->SystemTimeSource() : nullptr;
}

void BMediaNode::Start(bigtime_t) {}
void BMediaNode::Stop(bigtime_t, bool) {}
void BMediaNode::Seek(bigtime_t, bigtime_t) {}
void BMediaNode::SetRunMode(run_mode mode) { fRunMode.store(mode, std::memory_order_relaxed); }
void BMediaNode::TimeWarp(bigtime_t, bigtime_t) {}
void BMediaNode::NodeRegistered() {}
status_t BMediaNode::RequestCompleted(const media_request_info&) { return B_OK; }

void BMediaNode::SetTimeSource(BTimeSource* timeSource) {
  // The node keeps a reference to the clock it follows.
  if (timeSource != nullptr && timeSource != this) timeSource->Acquire();
  BTimeSource* old = fTimeSource.exchange(timeSource, std::memory_order_acq_rel);
  if (old != nullptr && old != this) old->Release();
}

status_t BMediaNode::HandleMessage(int32 code, const void* data, size_t size) {
  switch (code) {
    case kNodeStart: {
      if (size < sizeof(StartRequest)) return B_BAD_VALUE;
      Start(static_cast<const StartRequest*>(data)->performance_time);
      return B_OK;
    }
    case kNodeStop: {
      if (size < sizeof(StopRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const StopRequest*>(data);
      Stop(request->performance_time, request->immediate);
      return B_OK;
    }
    case kNodeSeek: {
      if (size < sizeof(SeekRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const SeekRequest*>(data);
      Seek(request->media_time, request->performance_time);
      return B_OK;
    }
    case kNodeSetRunMode: {
      if (size < sizeof(SetRunModeRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const SetRunModeRequest*>(data);
      fRunModeDelay.store(request->delay, std::memory_order_relaxed);
      SetRunMode(request->mode);
      fRunMode.store(request->mode, std::memory_order_relaxed);
      Answer(request->reply, code, StatusReply{B_OK});
      return B_OK;
    }
    case kNodeSetTimeSource: {
      if (size < sizeof(SetTimeSourceRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const SetTimeSourceRequest*>(data);
      status_t status = B_MEDIA_BAD_NODE;
      BMediaRoster* roster = BMediaRoster::Roster();
      if (BTimeSource* timeSource = roster ? roster->FindTimeSource(request->time_source) : nullptr) {
        SetTimeSource(timeSource);
        timeSource->Release();  // FindTimeSource's reference; SetTimeSource took its own
        status = B_OK;
      }
      Answer(request->reply, code, StatusReply{status});
      return B_OK;
    }
    case kNodeRequestCompleted: {
      if (size < sizeof(media_request_info)) return B_BAD_VALUE;
      RequestCompleted(*static_cast<const media_request_info*>(data));
      return B_OK;
    }
    default:
      return B_ERROR;
  }
}

void BMediaNode::HandleBadMessage(int32 code, const void*, size_t size) {
  Log(LogLevel::kWarn, "media node \"%s\": unknown message 0x%08x (%zu bytes) ignored", fName,
               unsigned(code), size);
}
