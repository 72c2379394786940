#pragma once
// The media graph the application builds: the default video input connected to a video
// consumer in 32-bit colour at the analysis size, both on the system time source and started
// together. The steps, their order and their messages are the application's; only the error
// alert is a callback here, so that tests see which step failed with which status.

#include <functional>

#include "capture/Tuning.h"
#include "capture/VideoConsumer.h"
#include "media/MediaDefs.h"
#include "media/MediaRoster.h"

class BView;
class ImageInterpreter;

struct MediaGraph {
  // Shows a failure (the application's ErrorAlert); the graph's steps stop after it.
  std::function<void(const char* message, status_t status)> errorAlert;

  BMediaRoster* fMediaRoster = nullptr;
  media_node fTimeSourceNode = media_node::null;
  media_node fProducerNode = media_node::null;
  VideoConsumer* fVideoConsumer = nullptr;
  media_output fProducerOut;
  media_input fConsumerIn;

  status_t SetUpNodes(BView* videoView, ImageInterpreter* interpreter, const Tuning* tuning,
                      int32 analysisWidth, int32 analysisHeight);
  void TearDownNodes();
};
