#pragma once
// A node that receives buffers on its inputs. The control thread hands the consumer's
// messages to the hooks below; the node answers each connection step the roster takes.

#include "platform/media/BMediaNode.h"

class BBuffer;
class BBufferGroup;

class BBufferConsumer : public virtual BMediaNode {
 public:
  ~BBufferConsumer() override;
  media_type ConsumerType() const { return fConsumerType; }

  // Dispatches the consumer's messages; B_ERROR for any other message.
  status_t HandleMessage(int32 code, const void* data, size_t size) override;

 protected:
  explicit BBufferConsumer(media_type consumerType);

  virtual status_t AcceptFormat(const media_destination& dest, media_format* format) = 0;
  virtual status_t GetNextInput(int32* cookie, media_input* input) = 0;
  virtual void DisposeInputCookie(int32 cookie) = 0;
  virtual void BufferReceived(BBuffer* buffer) = 0;
  virtual void ProducerDataStatus(const media_destination& dest, int32 status,
                                  bigtime_t atPerformanceTime) = 0;
  virtual status_t GetLatencyFor(const media_destination& dest, bigtime_t* latency,
                                 media_node_id* timeSource) = 0;
  virtual status_t Connected(const media_source& producer, const media_destination& where,
                             const media_format& format, media_input* input) = 0;
  virtual void Disconnected(const media_source& producer, const media_destination& where) = 0;
  virtual status_t FormatChanged(const media_source& producer, const media_destination& consumer,
                                 int32 changeTag, const media_format& format) = 0;

  // Asks the producer to fill the buffers of `group` (nullptr: buffers of its own). The answer
  // arrives later through RequestCompleted (what B_SET_OUTPUT_BUFFERS_FOR). `userData` comes
  // back in the answer; *changeTag receives the tag of this change.
  status_t SetOutputBuffersFor(const media_source& producer, const media_destination& destination,
                               BBufferGroup* group, void* userData, int32* changeTag,
                               bool willReclaim = false, void* reserved = nullptr);
  // Tells a producer that a buffer came `howMuch` µs late at `performanceTime`.
  status_t NotifyLateProducer(const media_source& producer, bigtime_t howMuch,
                              bigtime_t performanceTime);

 private:
  media_type fConsumerType;
};
