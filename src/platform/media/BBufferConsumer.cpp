#include "platform/media/BBufferConsumer.h"

#include <atomic>
#include <cstring>

#include "platform/media/BBuffer.h"
#include "platform/media/BBufferGroup.h"
#include "platform/media/MediaProtocol.h"

using namespace media_protocol;

namespace {
std::atomic<int32> gNextChangeTag{1};
}

BBufferConsumer::BBufferConsumer(media_type consumerType)
    : BMediaNode("consumer"), fConsumerType(consumerType) {
  AddNodeKind(B_BUFFER_CONSUMER);
}

BBufferConsumer::~BBufferConsumer() {
  // Buffers still waiting on the port go back to their groups instead of being lost.
  alignas(std::max_align_t) uint8 message[kMaxMessageSize];
  int32 code;
  while (read_port_etc(ControlPort(), &code, message, sizeof(message), 0) >= 0) {
    if (code == kConsumerBufferReceived) {
      BufferReceivedRequest request;
      std::memcpy(&request, message, sizeof(request));
      if (request.buffer) request.buffer->Recycle();
    }
  }
}

status_t BBufferConsumer::HandleMessage(int32 code, const void* data, size_t size) {
  switch (code) {
    case kConsumerAcceptFormat: {
      if (size < sizeof(AcceptFormatRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const AcceptFormatRequest*>(data);
      AcceptFormatReply reply;
      reply.format = request->format;
      reply.status = AcceptFormat(request->dest, &reply.format);
      Answer(request->reply, code, reply);
      return B_OK;
    }
    case kConsumerGetNextInput: {
      if (size < sizeof(GetNextInputRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const GetNextInputRequest*>(data);
      GetNextInputReply reply;
      reply.cookie = request->cookie;
      reply.status = GetNextInput(&reply.cookie, &reply.input);
      Answer(request->reply, code, reply);
      return B_OK;
    }
    case kConsumerDisposeInputCookie: {
      if (size < sizeof(DisposeCookieRequest)) return B_BAD_VALUE;
      DisposeInputCookie(static_cast<const DisposeCookieRequest*>(data)->cookie);
      return B_OK;
    }
    case kConsumerBufferReceived: {
      if (size < sizeof(BufferReceivedRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const BufferReceivedRequest*>(data);
      if (request->buffer) BufferReceived(request->buffer);
      return B_OK;
    }
    case kConsumerProducerDataStatus: {
      if (size < sizeof(DataStatusRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const DataStatusRequest*>(data);
      ProducerDataStatus(request->dest, request->status, request->when);
      return B_OK;
    }
    case kConsumerGetLatencyFor: {
      if (size < sizeof(GetLatencyForRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const GetLatencyForRequest*>(data);
      GetLatencyForReply reply{B_OK, 0, -1};
      reply.status = GetLatencyFor(request->dest, &reply.latency, &reply.time_source);
      Answer(request->reply, code, reply);
      return B_OK;
    }
    case kConsumerConnected: {
      if (size < sizeof(ConnectedRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const ConnectedRequest*>(data);
      ConnectedReply reply;
      reply.status = Connected(request->producer, request->where, request->format, &reply.input);
      Answer(request->reply, code, reply);
      return B_OK;
    }
    case kConsumerDisconnected: {
      if (size < sizeof(DisconnectedRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const DisconnectedRequest*>(data);
      Disconnected(request->producer, request->where);
      Answer(request->reply, code, StatusReply{B_OK});
      return B_OK;
    }
    default:
      return B_ERROR;
  }
}

status_t BBufferConsumer::SetOutputBuffersFor(const media_source& producer,
                                              const media_destination& destination,
                                              BBufferGroup* group, void* userData,
                                              int32* changeTag, bool willReclaim, void*) {
  if (producer.port < 0) return B_MEDIA_BAD_SOURCE;
  SetBufferGroupRequest request{};
  request.source = producer;
  request.destination = destination;
  request.user_data = userData;
  request.change_tag = gNextChangeTag.fetch_add(1);
  request.will_reclaim = willReclaim;
  if (group != nullptr) {
    int32 count = 0;
    if (group->CountBuffers(&count) != B_OK || count <= 0 || count > 32) return B_BAD_VALUE;
    BBuffer* buffers[32] = {};
    group->GetBufferList(count, buffers);
    for (int32 i = 0; i < count; i++) request.buffers[i] = buffers[i]->ID();
    request.count = count;
  }
  if (changeTag) *changeTag = request.change_tag;
  return write_port_etc(producer.port, kProducerSetBufferGroup, &request, sizeof(request),
                        kReplyTimeout);
}

status_t BBufferConsumer::NotifyLateProducer(const media_source& producer, bigtime_t howMuch,
                                             bigtime_t performanceTime) {
  if (producer.port < 0) return B_MEDIA_BAD_SOURCE;
  LateNoticeRequest request{producer, howMuch, performanceTime};
  // A full port means the producer is busy already; a lateness report is not worth waiting for.
  return write_port_etc(producer.port, kProducerLateNotice, &request, sizeof(request), 0);
}
