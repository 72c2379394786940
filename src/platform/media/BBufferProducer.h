#pragma once
// A node that sends buffers from its outputs to consumers' inputs.

#include "platform/media/BMediaNode.h"

class BBuffer;
class BBufferGroup;

class BBufferProducer : public virtual BMediaNode {
 public:
  ~BBufferProducer() override;
  media_type ProducerType() const { return fProducerType; }

  // Dispatches the producer's messages; B_ERROR for any other message.
  status_t HandleMessage(int32 code, const void* data, size_t size) override;

 protected:
  explicit BBufferProducer(media_type producerType);

  // Checks, and completes where it has wildcards, a format for `output`.
  virtual status_t FormatProposal(const media_source& output, media_format* format) = 0;
  virtual status_t GetNextOutput(int32* cookie, media_output* output) = 0;
  virtual status_t DisposeOutputCookie(int32 cookie) = 0;
  // Use the buffers of `group` for `source` from now on; the producer owns `group` (nullptr:
  // buffers of its own). A refusal keeps the buffers it had and is reported to the consumer.
  virtual status_t SetBufferGroup(const media_source& source, BBufferGroup* group) = 0;
  // Reserves `what` for a connection to `where` in `format`.
  virtual status_t PrepareToConnect(const media_source& what, const media_destination& where,
                                    media_format* format, media_source* source, char* name) = 0;
  // Completes (error B_OK) or abandons a prepared connection.
  virtual void Connect(status_t error, const media_source& source,
                       const media_destination& destination, const media_format& format,
                       char* name) = 0;
  virtual void Disconnect(const media_source& what, const media_destination& where) = 0;
  virtual void LateNoticeReceived(const media_source& what, bigtime_t howMuch,
                                  bigtime_t performanceTime) = 0;
  virtual void EnableOutput(const media_source& what, bool enabled) = 0;
  // The latency from a buffer's capture to its handling downstream; the default is the
  // largest latency of the connected outputs' consumers.
  virtual status_t GetLatency(bigtime_t* latency);

  // Sends a filled buffer to a consumer; on failure the buffer is still the caller's.
  status_t SendBuffer(BBuffer* buffer, const media_source& source,
                      const media_destination& destination);
  status_t SendDataStatus(int32 status, const media_destination& destination, bigtime_t atTime);
  // Asks the consumer at `destination` for its latency (from the control thread).
  status_t FindLatencyFor(const media_destination& destination, bigtime_t* latency,
                          media_node_id* timeSource);

 private:
  media_type fProducerType;
};
