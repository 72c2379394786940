#include "platform/media/BBufferProducer.h"

#include <algorithm>
#include <cstring>

#include "platform/media/BBuffer.h"
#include "platform/media/BBufferGroup.h"
#include "platform/media/MediaProtocol.h"

using namespace media_protocol;

BBufferProducer::BBufferProducer(media_type producerType)
    : BMediaNode("producer"), fProducerType(producerType) {
  AddNodeKind(B_BUFFER_PRODUCER);
}

BBufferProducer::~BBufferProducer() = default;

status_t BBufferProducer::HandleMessage(int32 code, const void* data, size_t size) {
  switch (code) {
    case kProducerFormatProposal: {
      if (size < sizeof(FormatProposalRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const FormatProposalRequest*>(data);
      FormatProposalReply reply;
      reply.format = request->format;
      reply.status = FormatProposal(request->output, &reply.format);
      Answer(request->reply, code, reply);
      return B_OK;
    }
    case kProducerPrepareToConnect: {
      if (size < sizeof(PrepareToConnectRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const PrepareToConnectRequest*>(data);
      PrepareToConnectReply reply{};
      reply.format = request->format;
      reply.source = request->what;
      reply.status = PrepareToConnect(request->what, request->where, &reply.format,
                                      &reply.source, reply.name);
      reply.name[B_MEDIA_NAME_LENGTH - 1] = '\0';
      Answer(request->reply, code, reply);
      return B_OK;
    }
    case kProducerConnect: {
      if (size < sizeof(ConnectRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const ConnectRequest*>(data);
      ConnectReply reply{};
      std::memcpy(reply.name, request->name, sizeof(reply.name));
      Connect(request->error, request->source, request->destination, request->format, reply.name);
      reply.name[B_MEDIA_NAME_LENGTH - 1] = '\0';
      Answer(request->reply, code, reply);
      return B_OK;
    }
    case kProducerDisconnect: {
      if (size < sizeof(DisconnectRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const DisconnectRequest*>(data);
      Disconnect(request->what, request->where);
      Answer(request->reply, code, StatusReply{B_OK});
      return B_OK;
    }
    case kProducerGetNextOutput: {
      if (size < sizeof(GetNextOutputRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const GetNextOutputRequest*>(data);
      GetNextOutputReply reply;
      reply.cookie = request->cookie;
      reply.status = GetNextOutput(&reply.cookie, &reply.output);
      Answer(request->reply, code, reply);
      return B_OK;
    }
    case kProducerDisposeOutputCookie: {
      if (size < sizeof(DisposeCookieRequest)) return B_BAD_VALUE;
      DisposeOutputCookie(static_cast<const DisposeCookieRequest*>(data)->cookie);
      return B_OK;
    }
    case kProducerSetBufferGroup: {
      if (size < sizeof(SetBufferGroupRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const SetBufferGroupRequest*>(data);
      media_request_info info{};
      info.what = media_request_info::B_SET_OUTPUT_BUFFERS_FOR;
      info.change_tag = request->change_tag;
      info.user_data = request->user_data;
      info.source = request->source;
      info.destination = request->destination;
      BBufferGroup* group = nullptr;
      if (request->count > 0) {
        group = new BBufferGroup(std::min(request->count, int32(32)), request->buffers);
        if (group->InitCheck() != B_OK) {
          info.status = group->InitCheck();
          delete group;
          group = nullptr;
        }
      }
      if (info.status == B_OK) info.status = SetBufferGroup(request->source, group);
      write_port_etc(request->destination.port, kNodeRequestCompleted, &info, sizeof(info),
                     kReplyTimeout);
      return B_OK;
    }
    case kProducerLateNotice: {
      if (size < sizeof(LateNoticeRequest)) return B_BAD_VALUE;
      auto* request = static_cast<const LateNoticeRequest*>(data);
      LateNoticeReceived(request->source, request->how_much, request->performance_time);
      return B_OK;
    }
    case kProducerGetLatency: {
      if (size < sizeof(GetLatencyRequest)) return B_BAD_VALUE;
      GetLatencyReply reply{B_OK, 0};
      reply.status = GetLatency(&reply.latency);
      Answer(static_cast<const GetLatencyRequest*>(data)->reply, code, reply);
      return B_OK;
    }
    default:
      return B_ERROR;
  }
}

status_t BBufferProducer::GetLatency(bigtime_t* latency) {
  if (latency == nullptr) return B_BAD_VALUE;
  *latency = 0;
  int32 cookie = 0;
  media_output output;
  while (GetNextOutput(&cookie, &output) == B_OK) {
    bigtime_t downstream = 0;
    media_node_id timeSource;
    if (output.destination != media_destination::null &&
        FindLatencyFor(output.destination, &downstream, &timeSource) == B_OK)
      *latency = std::max(*latency, downstream);
  }
  DisposeOutputCookie(cookie);
  return B_OK;
}

status_t BBufferProducer::SendBuffer(BBuffer* buffer, const media_source& source,
                                     const media_destination& destination) {
  if (buffer == nullptr) return B_BAD_VALUE;
  if (source.port != ControlPort()) return B_MEDIA_BAD_SOURCE;
  if (destination.port < 0) return B_MEDIA_BAD_DESTINATION;
  buffer->Header()->destination = destination.id;
  BufferReceivedRequest request{buffer, destination};
  // Never wait on a busy consumer: the frame is dropped instead (the caller counts it).
  return write_port_etc(destination.port, kConsumerBufferReceived, &request, sizeof(request), 0);
}

status_t BBufferProducer::SendDataStatus(int32 status, const media_destination& destination,
                                         bigtime_t atTime) {
  if (destination.port < 0) return B_MEDIA_BAD_DESTINATION;
  DataStatusRequest request{destination, status, atTime};
  return write_port_etc(destination.port, kConsumerProducerDataStatus, &request, sizeof(request),
                        kReplyTimeout);
}

status_t BBufferProducer::FindLatencyFor(const media_destination& destination,
                                         bigtime_t* latency, media_node_id* timeSource) {
  if (latency == nullptr || timeSource == nullptr) return B_BAD_VALUE;
  GetLatencyForRequest request{-1, destination};
  GetLatencyForReply reply{B_ERROR, 0, -1};
  status_t status = Query(destination.port, kConsumerGetLatencyFor, request, &reply);
  if (status != B_OK) return status;
  *latency = reply.latency;
  *timeSource = reply.time_source;
  return reply.status;
}
