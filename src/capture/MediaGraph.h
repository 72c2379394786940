#pragma once
// The media graph: the default video input connected to a video consumer in 32-bit colour at
// the analysis size, both on the system time source and started together. The application
// builds it at start and takes it down at quit; tests and the capture benchmark build the same
// one. Failures go to errorAlert (the application shows an alert), and the steps stop there.

#include <functional>

#include "capture/Tuning.h"
#include "capture/VideoConsumer.h"
#include "platform/media/MediaDefs.h"
#include "platform/media/BMediaRoster.h"

class BView;
class ImageInterpreter;

struct MediaGraph {
  // Shows a failure with the status that caused it; none when unset.
  std::function<void(const char* message, status_t status)> errorAlert;

  BMediaRoster* fMediaRoster = nullptr;
  media_node fTimeSourceNode = media_node::null;
  media_node fProducerNode = media_node::null;
  VideoConsumer* fVideoConsumer = nullptr;
  media_output fProducerOut;
  media_input fConsumerIn;

  MediaGraph() = default;
  MediaGraph(const MediaGraph&) = delete;
  MediaGraph& operator=(const MediaGraph&) = delete;
  ~MediaGraph() { ReleaseConsumer(); }
  // Releases a consumer that set-up made but never registered (TearDownNodes hands a
  // registered one back to the roster).
  void ReleaseConsumer();

  // Prints "SetUpNodes OK!" when every step succeeded.
  status_t SetUpNodes(BView* videoView, ImageInterpreter* interpreter, const Tuning* tuning,
                      int32 analysisWidth, int32 analysisHeight);
  // Stops and releases the consumer and the input; does nothing when nothing was set up, so
  // it may be called twice.
  void TearDownNodes();
  // The "Start Video" and "Stop Video" menu items.
  void StartProducer();
  void StopProducer();

 private:
  void Fail(const char* message, status_t status) const {
    if (errorAlert) errorAlert(message, status);
  }
};
