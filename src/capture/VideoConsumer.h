#pragma once
// The program's own media node: the consumer end of the connection from the video input.
// It offers the producer three ring bitmaps as its buffer group, hands every frame that
// arrives in time to the interpreter (through the analysis image, whose pixels are those of
// the display bitmap) and draws the display bitmap into the live video view.
//
// Threads: the constructor and destructor run in the thread that makes and releases the
// node (the application's); NodeRegistered in the registering thread; every other hook, the
// frame path and so every output of the interpreter run in the node's control thread, one
// message or event at a time. Only the control thread touches the buffers, bitmaps, images,
// fInput, fConnectionActive and fLatency once the node is registered. Drawing into fView
// happens under fWindow's lock. The tuning values are atomics read once per frame.

#include "platform/media/BBufferConsumer.h"
#include "platform/media/BMediaEventLooper.h"

class BBitmap;
class BBuffer;
class BBufferGroup;
class BMediaAddOn;
class BView;
class BWindow;
class Image;
class ImageInterpreter;
struct Tuning;

// The input's format until a connection replaces it.
extern const media_raw_video_format vid_format;

class VideoConsumer : public BMediaEventLooper, public BBufferConsumer {
 public:
  // `view` must already belong to its window; `tuning` (may be null: the interpreter keeps its
  // own values) is read before every frame; `addOn` and `internalID` are only reported.
  VideoConsumer(const char* name, BView* view, ImageInterpreter* interpreter,
                const Tuning* tuning, BMediaAddOn* addOn, uint32 internalID);
  ~VideoConsumer() override;

  // Media-system hooks, public so that the node can be driven directly.
  void HandleEvent(const media_timed_event* event, bigtime_t lateness, bool realTimeEvent) override;

  status_t AcceptFormat(const media_destination& dest, media_format* format) override;
  status_t GetNextInput(int32* cookie, media_input* input) override;
  void DisposeInputCookie(int32 cookie) override;
  void BufferReceived(BBuffer* buffer) override;
  void ProducerDataStatus(const media_destination& dest, int32 status, bigtime_t when) override;
  status_t GetLatencyFor(const media_destination& dest, bigtime_t* latency,
                         media_node_id* timeSource) override;
  status_t Connected(const media_source& producer, const media_destination& where,
                     const media_format& format, media_input* input) override;
  void Disconnected(const media_source& producer, const media_destination& where) override;
  status_t FormatChanged(const media_source& producer, const media_destination& consumer,
                         int32 changeTag, const media_format& format) override;

  BMediaAddOn* AddOn(int32* internalID) const override;
  status_t HandleMessage(int32 code, const void* data, size_t size) override;
  status_t RequestCompleted(const media_request_info& info) override;
  void NodeRegistered() override;

  status_t CreateBuffers(const media_format& format);
  void DeleteBuffers();
  void ProcessBitmap(BBitmap* frame);

  // The latency estimate after a frame whose handling took `elapsed` µs: a running average
  // with the single-precision weight 0.3, truncated.
  static bigtime_t NextLatency(bigtime_t latency, bigtime_t elapsed);

  // Frames that arrive further than this from their start time are dropped.
  static constexpr bigtime_t kLatenessWindow = 20000;

 private:
  uint32 fInternalID;
  BMediaAddOn* fAddOn;
  Image* fImage = nullptr;
  BBitmap* myBitmap = nullptr;
  ImageInterpreter* fInterpreter;
  const Tuning* fTuning;
  bool fConnectionActive = false;
  media_input fInput;
  bigtime_t fLatency = 20000;
  BWindow* fWindow;
  BView* fView;
  BBitmap* fRingBitmaps[3] = {};
  bool fOurBuffers = false;
  BBufferGroup* fBufferGroup = nullptr;
  BBuffer* fBufferMap[3] = {};
};
