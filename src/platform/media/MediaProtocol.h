#pragma once
// The messages that nodes, the roster and time sources exchange through control ports.
// Private to the media kit. Everything travels inside this process, so pointers may too.

#include "platform/media/MediaDefs.h"

class BBuffer;
class BBufferGroup;
class BParameterWeb;

namespace media_protocol {

// Largest message a control thread reads.
constexpr size_t kMaxMessageSize = 4096;
// How long the roster waits for a node to answer.
constexpr bigtime_t kReplyTimeout = 10000000;

enum : int32 {
  // Any node.
  kNodeStart = 0x40000001,
  kNodeStop,
  kNodeSeek,
  kNodeSetRunMode,
  kNodeSetTimeSource,
  kNodeRequestCompleted,
  // Event loopers.
  kLooperQuit = 0x40000080,
  // Consumers.
  kConsumerAcceptFormat = 0x40000100,
  kConsumerGetNextInput,
  kConsumerDisposeInputCookie,
  kConsumerBufferReceived,
  kConsumerProducerDataStatus,
  kConsumerGetLatencyFor,
  kConsumerConnected,
  kConsumerDisconnected,
  // Producers.
  kProducerFormatProposal = 0x40000200,
  kProducerPrepareToConnect,
  kProducerConnect,
  kProducerDisconnect,
  kProducerGetNextOutput,
  kProducerDisposeOutputCookie,
  kProducerSetBufferGroup,
  kProducerLateNotice,
  kProducerGetLatency,
  // Time sources.
  kTimeSourceOp = 0x40000300,
  kTimeSourceGetStartLatency,
  // Controllable nodes.
  kControllableGetWeb = 0x40000400,
  kControllableGetValue,
  kControllableSetValue,
};

struct StartRequest { bigtime_t performance_time; };
struct StopRequest { bigtime_t performance_time; bool immediate; };
struct SeekRequest { bigtime_t media_time; bigtime_t performance_time; };
struct SetRunModeRequest { port_id reply; run_mode mode; bigtime_t delay; };
struct SetTimeSourceRequest { port_id reply; media_node_id time_source; };
struct StatusReply { status_t status; };

struct AcceptFormatRequest { port_id reply; media_destination dest; media_format format; };
struct AcceptFormatReply { status_t status; media_format format; };
struct GetNextInputRequest { port_id reply; int32 cookie; };
struct GetNextInputReply { status_t status; int32 cookie; media_input input; };
struct DisposeCookieRequest { int32 cookie; };
struct BufferReceivedRequest { BBuffer* buffer; media_destination dest; };
struct DataStatusRequest { media_destination dest; int32 status; bigtime_t when; };
struct GetLatencyForRequest { port_id reply; media_destination dest; };
struct GetLatencyForReply { status_t status; bigtime_t latency; media_node_id time_source; };
struct ConnectedRequest {
  port_id reply;
  media_source producer;
  media_destination where;
  media_format format;
};
struct ConnectedReply { status_t status; media_input input; };
struct DisconnectedRequest { port_id reply; media_source producer; media_destination where; };

struct FormatProposalRequest { port_id reply; media_source output; media_format format; };
struct FormatProposalReply { status_t status; media_format format; };
struct PrepareToConnectRequest {
  port_id reply;
  media_source what;
  media_destination where;
  media_format format;
};
struct PrepareToConnectReply {
  status_t status;
  media_format format;
  media_source source;
  char name[B_MEDIA_NAME_LENGTH];
};
struct ConnectRequest {
  port_id reply;
  status_t error;
  media_source source;
  media_destination destination;
  media_format format;
  char name[B_MEDIA_NAME_LENGTH];
};
struct ConnectReply { char name[B_MEDIA_NAME_LENGTH]; };
struct DisconnectRequest { port_id reply; media_source what; media_destination where; };
struct GetNextOutputRequest { port_id reply; int32 cookie; };
struct GetNextOutputReply { status_t status; int32 cookie; media_output output; };
struct SetBufferGroupRequest {
  media_source source;
  media_destination destination;
  void* user_data;
  int32 change_tag;
  bool will_reclaim;
  int32 count;  // 0: the producer uses buffers of its own
  media_buffer_id buffers[32];
};
struct LateNoticeRequest { media_source source; bigtime_t how_much; bigtime_t performance_time; };
struct GetLatencyRequest { port_id reply; };
struct GetLatencyReply { status_t status; bigtime_t latency; };

struct TimeSourceOpRequest { int32 op; bigtime_t real_time; bigtime_t performance_time; };
struct GetStartLatencyRequest { port_id reply; };

struct GetWebRequest { port_id reply; };
struct GetWebReply { status_t status; BParameterWeb* web; };
struct GetValueRequest { port_id reply; int32 id; };
struct GetValueReply { status_t status; bigtime_t last_change; size_t size; uint8 value[64]; };
struct SetValueRequest { int32 id; bigtime_t when; size_t size; uint8 value[64]; };

// Sends a request whose first field is the reply port and waits for the answer.
// B_BAD_PORT_ID when the target port is gone, B_TIMED_OUT when nobody answers.
template <typename Request, typename Reply>
status_t Query(port_id target, int32 code, Request& request, Reply* reply,
               bigtime_t timeout = kReplyTimeout) {
  port_id replyPort = create_port(1, "reply");
  if (replyPort < 0) return replyPort;
  request.reply = replyPort;
  status_t status = write_port_etc(target, code, &request, sizeof(request), timeout);
  if (status == B_OK) {
    int32 replyCode;
    ssize_t size = read_port_etc(replyPort, &replyCode, reply, sizeof(Reply), timeout);
    status = size < 0 ? status_t(size) : B_OK;
  }
  delete_port(replyPort);
  return status;
}

// Answers a request; a requester that gave up has already deleted its port.
template <typename Reply>
void Answer(port_id replyPort, int32 code, const Reply& reply) {
  write_port_etc(replyPort, code, &reply, sizeof(reply), 0);
}

}  // namespace media_protocol
