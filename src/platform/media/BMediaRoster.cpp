#include "platform/media/BMediaRoster.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/media/BBufferConsumer.h"
#include "platform/media/BMediaNode.h"
#include "platform/media/MediaProtocol.h"
#include "platform/media/BParameterWeb.h"
#include "platform/media/SystemTimeSource.h"
#include "platform/media/VideoInputNode.h"

using namespace media_protocol;

namespace {
std::once_flag gRosterOnce;
std::atomic<BMediaRoster*> gRoster{nullptr};
}  // namespace

BMediaRoster* BMediaRoster::Roster(status_t* error) {
  std::call_once(gRosterOnce, [] {
    auto* roster = new BMediaRoster;
    gRoster.store(roster, std::memory_order_release);
    auto* clock = new ::SystemTimeSource;
    roster->fSystemTimeSource = clock;
    roster->AddNode(clock, true);
  });
  if (error) *error = B_OK;
  return gRoster.load(std::memory_order_acquire);
}

BMediaRoster* BMediaRoster::CurrentRoster() { return gRoster.load(std::memory_order_acquire); }

BMediaRoster::BMediaRoster() = default;

void BMediaRoster::SetVideoInputSetting(const char* setting) {
  std::lock_guard<std::mutex> lock(fVideoInputLock);
  fVideoSetting = setting ? setting : "";
  fVideoSettingGiven = true;
}

std::string BMediaRoster::VideoInputSetting() const {
  std::lock_guard<std::mutex> lock(fVideoInputLock);
  if (fVideoSettingGiven) return fVideoSetting;
  const char* env = std::getenv("ZANVEL_VIDEO");
  return env ? env : "";
}

status_t BMediaRoster::AddNode(BMediaNode* node, bool system) {
  if (node == nullptr) return B_BAD_VALUE;
  {
    std::lock_guard<std::mutex> lock(fLock);
    if (node->ID() >= 0) return B_MEDIA_NODE_ALREADY_EXISTS;
    media_node_id id = fNextID++;
    node->fNodeID.store(id, std::memory_order_release);
    fNodes[id] = Entry{node, system};
  }
  node->NodeRegistered();
  Broadcast(B_MEDIA_NODE_CREATED, node->Node());
  return B_OK;
}

status_t BMediaRoster::RegisterNode(BMediaNode* node) { return AddNode(node, false); }

void BMediaRoster::UnregisterNode(BMediaNode* node) {
  media_node gone;
  {
    std::lock_guard<std::mutex> lock(fLock);
    auto it = fNodes.find(node->ID());
    if (it == fNodes.end() || it->second.node != node) return;
    gone = node->Node();
    fNodes.erase(it);
    if (fVideoInput == node) fVideoInput = nullptr;
  }
  Broadcast(B_MEDIA_NODE_DELETED, gone);
}

status_t BMediaRoster::GetTimeSource(media_node* node) {
  if (node == nullptr) return B_BAD_VALUE;
  *node = fSystemTimeSource->Node();
  return B_OK;
}

status_t BMediaRoster::GetVideoInput(media_node* node) {
  if (node == nullptr) return B_BAD_VALUE;
  std::lock_guard<std::mutex> inputLock(fVideoInputLock);
  {
    std::lock_guard<std::mutex> lock(fLock);
    if (fVideoInput != nullptr) {
      fVideoInput->Acquire();
      *node = fVideoInput->Node();
      return B_OK;
    }
  }
  std::string setting = fVideoSettingGiven ? fVideoSetting : "";
  if (!fVideoSettingGiven) {
    const char* env = std::getenv("ZANVEL_VIDEO");
    if (env) setting = env;
  }
  VideoInputNode* input = nullptr;
  status_t status = VideoInputNode::Make(setting.c_str(), &input);
  if (status != B_OK) return status;
  // The caller's reference is the node's first; its last release ends the video input.
  status = AddNode(input, true);
  if (status != B_OK) {
    input->Release();
    return status;
  }
  {
    std::lock_guard<std::mutex> lock(fLock);
    fVideoInput = input;
  }
  *node = input->Node();
  return B_OK;
}

bool BMediaRoster::GetVideoInputStatus(VideoInputStatus* status) {
  if (status == nullptr) return false;
  // The node is unregistered under fLock before it is destroyed, so it lives while we read.
  std::lock_guard<std::mutex> lock(fLock);
  auto* input = dynamic_cast<VideoInputNode*>(fVideoInput);
  if (input == nullptr) return false;
  const VideoInputNode::Statistics statistics = input->GetStatistics();
  status->source = input->SourceName();
  status->sent = statistics.sent;
  status->dropped = statistics.dropped;
  status->capturing = input->IsCapturing();
  return true;
}

status_t BMediaRoster::ReleaseNode(const media_node& node) {
  BMediaNode* target = nullptr;
  {
    std::lock_guard<std::mutex> lock(fLock);
    auto it = fNodes.find(node.node);
    if (it == fNodes.end()) return B_MEDIA_BAD_NODE;
    // The roster's own reference to the system clock is not the caller's to give back.
    if (it->second.node == fSystemTimeSource) return B_NOT_ALLOWED;
    target = it->second.node;
  }
  target->Release();
  return B_OK;
}

status_t BMediaRoster::GetNodeFor(media_node_id id, media_node* node) {
  if (node == nullptr) return B_BAD_VALUE;
  std::lock_guard<std::mutex> lock(fLock);
  auto it = fNodes.find(id);
  if (it == fNodes.end()) return B_MEDIA_BAD_NODE;
  it->second.node->Acquire();
  *node = it->second.node->Node();
  return B_OK;
}

status_t BMediaRoster::GetLiveNodeInfo(const media_node& node, live_node_info* info) {
  if (info == nullptr) return B_BAD_VALUE;
  std::lock_guard<std::mutex> lock(fLock);
  auto it = fNodes.find(node.node);
  if (it == fNodes.end()) return B_MEDIA_BAD_NODE;
  info->node = it->second.node->Node();
  std::snprintf(info->name, sizeof(info->name), "%s", it->second.node->Name());
  return B_OK;
}

BTimeSource* BMediaRoster::FindTimeSource(media_node_id id) {
  std::lock_guard<std::mutex> lock(fLock);
  auto it = fNodes.find(id);
  if (it == fNodes.end() || !(it->second.node->Kinds() & B_TIME_SOURCE)) return nullptr;
  auto* timeSource = dynamic_cast<BTimeSource*>(it->second.node);
  if (timeSource) timeSource->Acquire();
  return timeSource;
}

bool BMediaRoster::KnownPort(port_id port) const {
  std::lock_guard<std::mutex> lock(fLock);
  for (const auto& [id, entry] : fNodes)
    if (entry.node->ControlPort() == port) return true;
  return false;
}

status_t BMediaRoster::GetFreeOutputsFor(const media_node& producer, media_output* outputs,
                                         int32 maxCount, int32* count, media_type type) {
  if (outputs == nullptr || count == nullptr || maxCount <= 0) return B_BAD_VALUE;
  *count = 0;
  if (!(producer.kind & B_BUFFER_PRODUCER)) return B_MEDIA_BAD_NODE;
  int32 cookie = 0;
  status_t status = B_OK;
  while (*count < maxCount) {
    GetNextOutputRequest request{-1, cookie};
    GetNextOutputReply reply;
    status = Query(producer.port, kProducerGetNextOutput, request, &reply);
    if (status != B_OK) break;
    if (reply.status != B_OK) break;
    cookie = reply.cookie;
    bool free = reply.output.destination == media_destination::null;
    if (free && (type == B_MEDIA_UNKNOWN_TYPE || reply.output.format.type == type ||
                 reply.output.format.type == B_MEDIA_UNKNOWN_TYPE))
      outputs[(*count)++] = reply.output;
  }
  DisposeCookieRequest dispose{cookie};
  write_port_etc(producer.port, kProducerDisposeOutputCookie, &dispose, sizeof(dispose),
                 kReplyTimeout);
  return status == B_BAD_PORT_ID ? B_MEDIA_BAD_NODE : status;
}

status_t BMediaRoster::GetFreeInputsFor(const media_node& consumer, media_input* inputs,
                                        int32 maxCount, int32* count, media_type type) {
  if (inputs == nullptr || count == nullptr || maxCount <= 0) return B_BAD_VALUE;
  *count = 0;
  if (!(consumer.kind & B_BUFFER_CONSUMER)) return B_MEDIA_BAD_NODE;
  int32 cookie = 0;
  status_t status = B_OK;
  while (*count < maxCount) {
    GetNextInputRequest request{-1, cookie};
    GetNextInputReply reply;
    status = Query(consumer.port, kConsumerGetNextInput, request, &reply);
    if (status != B_OK) break;
    if (reply.status != B_OK) break;
    // A node whose cookie does not move would answer for ever.
    if (reply.cookie == cookie) break;
    cookie = reply.cookie;
    bool free = reply.input.source == media_source::null;
    if (free && (type == B_MEDIA_UNKNOWN_TYPE || reply.input.format.type == type ||
                 reply.input.format.type == B_MEDIA_UNKNOWN_TYPE))
      inputs[(*count)++] = reply.input;
  }
  DisposeCookieRequest dispose{cookie};
  write_port_etc(consumer.port, kConsumerDisposeInputCookie, &dispose, sizeof(dispose),
                 kReplyTimeout);
  return status == B_BAD_PORT_ID ? B_MEDIA_BAD_NODE : status;
}

status_t BMediaRoster::Connect(const media_source& from, const media_destination& to,
                               media_format* format, media_output* output, media_input* input) {
  if (format == nullptr || output == nullptr || input == nullptr) return B_BAD_VALUE;
  if (from.port < 0 || !KnownPort(from.port)) return B_MEDIA_BAD_SOURCE;
  if (to.port < 0 || !KnownPort(to.port)) return B_MEDIA_BAD_DESTINATION;

  FormatProposalRequest proposal{-1, from, *format};
  FormatProposalReply proposed;
  status_t status = Query(from.port, kProducerFormatProposal, proposal, &proposed);
  if (status == B_OK) status = proposed.status;
  if (status != B_OK) return status;

  AcceptFormatRequest accept{-1, to, proposed.format};
  AcceptFormatReply accepted;
  status = Query(to.port, kConsumerAcceptFormat, accept, &accepted);
  if (status == B_OK) status = accepted.status;
  if (status != B_OK) return status;

  PrepareToConnectRequest prepare{-1, from, to, accepted.format};
  PrepareToConnectReply prepared;
  status = Query(from.port, kProducerPrepareToConnect, prepare, &prepared);
  if (status == B_OK) status = prepared.status;
  if (status != B_OK) return status;

  ConnectedRequest connected{-1, prepared.source, to, prepared.format};
  ConnectedReply connectedReply;
  status = Query(to.port, kConsumerConnected, connected, &connectedReply);
  if (status == B_OK) status = connectedReply.status;

  ConnectRequest connect{-1, status, prepared.source, to, prepared.format, {}};
  std::memcpy(connect.name, prepared.name, sizeof(connect.name));
  ConnectReply connectReply{};
  status_t producerStatus = Query(from.port, kProducerConnect, connect, &connectReply);
  if (status != B_OK) return status;
  if (producerStatus != B_OK) return producerStatus;

  *format = prepared.format;
  *input = connectedReply.input;
  *output = media_output();
  output->source = prepared.source;
  output->destination = input->destination;
  output->format = prepared.format;
  std::memcpy(output->name, connectReply.name, sizeof(output->name));
  {
    std::lock_guard<std::mutex> lock(fLock);
    for (const auto& [id, entry] : fNodes)
      if (entry.node->ControlPort() == from.port) output->node = entry.node->Node();
  }
  Broadcast(B_MEDIA_CONNECTION_MADE, output->node);
  return B_OK;
}

status_t BMediaRoster::Disconnect(media_node_id sourceNode, const media_source& source,
                                  media_node_id destinationNode,
                                  const media_destination& destination) {
  media_node producer, consumer;
  {
    std::lock_guard<std::mutex> lock(fLock);
    auto p = fNodes.find(sourceNode);
    auto c = fNodes.find(destinationNode);
    if (p == fNodes.end()) return B_MEDIA_BAD_SOURCE;
    if (c == fNodes.end()) return B_MEDIA_BAD_DESTINATION;
    producer = p->second.node->Node();
    consumer = c->second.node->Node();
  }
  if (source.port != producer.port) return B_MEDIA_BAD_SOURCE;
  if (destination.port != consumer.port) return B_MEDIA_BAD_DESTINATION;
  DisconnectRequest request{-1, source, destination};
  StatusReply reply;
  status_t producerStatus = Query(producer.port, kProducerDisconnect, request, &reply);
  DisconnectedRequest told{-1, source, destination};
  status_t consumerStatus = Query(consumer.port, kConsumerDisconnected, told, &reply);
  Broadcast(B_MEDIA_CONNECTION_BROKEN, producer);
  return producerStatus != B_OK ? producerStatus : consumerStatus;
}

status_t BMediaRoster::SetTimeSourceFor(media_node_id node, media_node_id timeSource) {
  media_node target;
  {
    std::lock_guard<std::mutex> lock(fLock);
    auto it = fNodes.find(node);
    if (it == fNodes.end()) return B_MEDIA_BAD_NODE;
    auto ts = fNodes.find(timeSource);
    if (ts == fNodes.end() || !(ts->second.node->Kinds() & B_TIME_SOURCE)) return B_MEDIA_BAD_NODE;
    target = it->second.node->Node();
  }
  SetTimeSourceRequest request{-1, timeSource};
  StatusReply reply{B_ERROR};
  status_t status = Query(target.port, kNodeSetTimeSource, request, &reply);
  return status != B_OK ? status : reply.status;
}

status_t BMediaRoster::GetLatencyFor(const media_node& producer, bigtime_t* latency) {
  if (latency == nullptr) return B_BAD_VALUE;
  if (!(producer.kind & B_BUFFER_PRODUCER)) return B_MEDIA_BAD_NODE;
  GetLatencyRequest request{-1};
  GetLatencyReply reply{B_ERROR, 0};
  status_t status = Query(producer.port, kProducerGetLatency, request, &reply);
  if (status != B_OK) return status;
  *latency = reply.latency;
  return reply.status;
}

status_t BMediaRoster::GetStartLatencyFor(const media_node& timeSource, bigtime_t* latency) {
  if (latency == nullptr) return B_BAD_VALUE;
  if (!(timeSource.kind & B_TIME_SOURCE)) return B_MEDIA_BAD_NODE;
  GetStartLatencyRequest request{-1};
  GetLatencyReply reply{B_ERROR, 0};
  status_t status = Query(timeSource.port, kTimeSourceGetStartLatency, request, &reply);
  if (status != B_OK) return status;
  *latency = reply.latency;
  return reply.status;
}

status_t BMediaRoster::SetProducerRunModeDelay(const media_node& node, bigtime_t delay,
                                               run_mode mode) {
  if (!(node.kind & B_BUFFER_PRODUCER)) return B_MEDIA_BAD_NODE;
  SetRunModeRequest request{-1, mode, delay};
  StatusReply reply{B_ERROR};
  status_t status = Query(node.port, kNodeSetRunMode, request, &reply);
  return status != B_OK ? status : reply.status;
}

status_t BMediaRoster::SetRunModeNode(const media_node& node, run_mode mode) {
  if (node.port < 0) return B_MEDIA_BAD_NODE;
  SetRunModeRequest request{-1, mode, 0};
  StatusReply reply{B_ERROR};
  status_t status = Query(node.port, kNodeSetRunMode, request, &reply);
  return status != B_OK ? status : reply.status;
}

BTimeSource* BMediaRoster::MakeTimeSourceFor(const media_node& node) {
  BMediaNode* target = nullptr;
  {
    std::lock_guard<std::mutex> lock(fLock);
    auto it = fNodes.find(node.node);
    if (it == fNodes.end()) return nullptr;
    target = it->second.node;
    if (auto* self = dynamic_cast<BTimeSource*>(target)) {
      self->Acquire();
      return self;
    }
    BTimeSource* timeSource = target->TimeSource();
    if (timeSource) timeSource->Acquire();
    return timeSource;
  }
}

status_t BMediaRoster::StartNode(const media_node& node, bigtime_t atPerformanceTime) {
  if (node.port < 0) return B_MEDIA_BAD_NODE;
  status_t status;
  if (node.kind & B_TIME_SOURCE) {
    TimeSourceOpRequest request{BTimeSource::B_TIMESOURCE_START, atPerformanceTime, 0};
    status = write_port_etc(node.port, kTimeSourceOp, &request, sizeof(request), kReplyTimeout);
  } else {
    StartRequest request{atPerformanceTime};
    status = write_port_etc(node.port, kNodeStart, &request, sizeof(request), kReplyTimeout);
  }
  return status == B_BAD_PORT_ID ? B_MEDIA_BAD_NODE : status;
}

status_t BMediaRoster::StopNode(const media_node& node, bigtime_t atPerformanceTime,
                                bool immediate) {
  if (node.port < 0) return B_MEDIA_BAD_NODE;
  status_t status;
  if (node.kind & B_TIME_SOURCE) {
    TimeSourceOpRequest request{immediate ? BTimeSource::B_TIMESOURCE_STOP_IMMEDIATELY
                                          : BTimeSource::B_TIMESOURCE_STOP,
                                atPerformanceTime, 0};
    status = write_port_etc(node.port, kTimeSourceOp, &request, sizeof(request), kReplyTimeout);
  } else {
    StopRequest request{atPerformanceTime, immediate};
    status = write_port_etc(node.port, kNodeStop, &request, sizeof(request), kReplyTimeout);
  }
  return status == B_BAD_PORT_ID ? B_MEDIA_BAD_NODE : status;
}

status_t BMediaRoster::SeekNode(const media_node& node, bigtime_t toMediaTime,
                                bigtime_t atPerformanceTime) {
  if (node.port < 0) return B_MEDIA_BAD_NODE;
  status_t status;
  if (node.kind & B_TIME_SOURCE) {
    TimeSourceOpRequest request{BTimeSource::B_TIMESOURCE_SEEK, atPerformanceTime, toMediaTime};
    status = write_port_etc(node.port, kTimeSourceOp, &request, sizeof(request), kReplyTimeout);
  } else {
    SeekRequest request{toMediaTime, atPerformanceTime};
    status = write_port_etc(node.port, kNodeSeek, &request, sizeof(request), kReplyTimeout);
  }
  return status == B_BAD_PORT_ID ? B_MEDIA_BAD_NODE : status;
}

status_t BMediaRoster::GetParameterWebFor(const media_node& node, BParameterWeb** web) {
  if (web == nullptr) return B_BAD_VALUE;
  *web = nullptr;
  if (!(node.kind & B_CONTROLLABLE)) return B_MEDIA_BAD_NODE;
  GetWebRequest request{-1};
  GetWebReply reply{B_ERROR, nullptr};
  status_t status = Query(node.port, kControllableGetWeb, request, &reply);
  if (status != B_OK) return status == B_BAD_PORT_ID ? B_MEDIA_BAD_NODE : status;
  *web = reply.web;
  return reply.status;
}

status_t BMediaRoster::StartWatching(media_watcher watcher, int32* token) {
  if (!watcher) return B_BAD_VALUE;
  std::lock_guard<std::mutex> lock(fWatchersLock);
  int32 id = fNextWatcher++;
  fWatchers[id] = std::move(watcher);
  if (token) *token = id;
  return B_OK;
}

status_t BMediaRoster::StopWatching(int32 token) {
  std::lock_guard<std::mutex> lock(fWatchersLock);
  return fWatchers.erase(token) ? B_OK : B_BAD_VALUE;
}

void BMediaRoster::Broadcast(int32 what, const media_node& node) {
  std::vector<media_watcher> watchers;
  {
    std::lock_guard<std::mutex> lock(fWatchersLock);
    for (const auto& [id, watcher] : fWatchers) watchers.push_back(watcher);
  }
  for (const auto& watcher : watchers) watcher(what, node);
}
