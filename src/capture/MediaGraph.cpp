// The media graph: the default video input connected to Zanvel's own consumer node.

#include "capture/MediaGraph.h"

#include <cstdio>

#include "platform/media/BTimeSource.h"

void MediaGraph::ReleaseConsumer() {
  if (fVideoConsumer != nullptr) {
    fVideoConsumer->Release();
    fVideoConsumer = nullptr;
  }
}

status_t MediaGraph::SetUpNodes(BView* videoView, ImageInterpreter* interpreter, const Tuning* tuning,
                                int32 analysisWidth, int32 analysisHeight) {
  status_t status = B_OK;

  fMediaRoster = BMediaRoster::Roster(&status);
  if (fMediaRoster == nullptr || status != B_OK) {
    if (status == B_OK)
      status = B_ERROR;
    Fail("cannot find the media roster", status);
    return status;
  }

  status = fMediaRoster->GetTimeSource(&fTimeSourceNode);
  if (status != B_OK) {
    Fail("failed to get a time source", status);
    return status;
  }

  status = fMediaRoster->GetVideoInput(&fProducerNode);
  if (status != B_OK) {
    Fail("could not find a video input!", status);
    return status;
  }

  fVideoConsumer = new VideoConsumer("Zanvel", videoView, interpreter, tuning, nullptr, 0);
  if (fVideoConsumer == nullptr) {
    Fail("could not instantiate VideoConsumer node", B_ERROR);
    return B_ERROR;
  }

  status = fMediaRoster->RegisterNode(fVideoConsumer);
  if (status != B_OK) {
    Fail("could not register the video consumer", status);
    return status;
  }

  int32 count = 0;
  status = fMediaRoster->GetFreeOutputsFor(fProducerNode, &fProducerOut, 1, &count, B_MEDIA_RAW_VIDEO);
  if (status != B_OK || count < 1) {
    Fail("could not find output for video producer", status);
    return status != B_OK ? status : B_ERROR;
  }

  count = 0;
  status = fMediaRoster->GetFreeInputsFor(fVideoConsumer->Node(), &fConsumerIn, 1, &count,
                                          B_MEDIA_RAW_VIDEO);
  if (status != B_OK || count < 1) {
    Fail("could not find input for video consumer!", status);
    return status != B_OK ? status : B_ERROR;
  }

  media_format format;
  format.type = B_MEDIA_RAW_VIDEO;
  media_raw_video_format& video = format.u.raw_video;
  video.field_rate = 0;
  video.interlace = 1;
  video.first_active = 0;
  video.last_active = 239;
  video.orientation = B_VIDEO_TOP_LEFT_RIGHT;
  video.pixel_width_aspect = 1;
  video.pixel_height_aspect = 1;
  video.display.format = B_RGB32;
  video.display.line_width = uint32(analysisWidth);
  video.display.line_count = uint32(analysisHeight);
  video.display.bytes_per_row = uint32(analysisWidth) * 4;
  video.display.pixel_offset = 0;
  video.display.line_offset = 0;
  video.display.flags = 0;

  status = fMediaRoster->Connect(fProducerOut.source, fConsumerIn.destination, &format, &fProducerOut,
                                 &fConsumerIn);
  if (status != B_OK) {
    Fail("cannot connect producer to consumer!", status);
    return status;
  }

  status = fMediaRoster->SetTimeSourceFor(fProducerNode.node, fTimeSourceNode.node);
  if (status != B_OK) {
    Fail("cannot set producer timesource!", status);
    return status;
  }

  status = fMediaRoster->SetTimeSourceFor(fVideoConsumer->ID(), fTimeSourceNode.node);
  if (status != B_OK) {
    Fail("cannot set consumer timesource!", status);
    return status;
  }

  bigtime_t latency = 0;
  fMediaRoster->GetLatencyFor(fProducerNode, &latency);
  std::printf("Latency = %.4f\n", double(latency) / 1000000.0);
  fMediaRoster->SetProducerRunModeDelay(fProducerNode, latency, B_RECORDING);

  bigtime_t startLatency = 0;
  fMediaRoster->GetStartLatencyFor(fTimeSourceNode, &startLatency);
  startLatency += estimate_max_scheduling_latency(-1);

  BTimeSource* timeSource = fMediaRoster->MakeTimeSourceFor(fTimeSourceNode);
  if (timeSource == nullptr) {
    Fail("failed to get a time source", B_ERROR);
    return B_ERROR;
  }
  bool running = timeSource->IsRunning();
  bigtime_t real = BTimeSource::RealTime();
  if (!running) {
    status = fMediaRoster->StartNode(fTimeSourceNode, real);
    if (status != B_OK) {
      timeSource->Release();
      Fail("cannot start time source!", status);
      return status;
    }
    status = fMediaRoster->SeekNode(fTimeSourceNode, 0, real);
    if (status != B_OK) {
      timeSource->Release();
      Fail("cannot seek time source!", status);
      return status;
    }
  }
  bigtime_t startTime = timeSource->Now() + startLatency;
  timeSource->Release();

  status = fMediaRoster->StartNode(fProducerNode, startTime);
  if (status != B_OK) {
    Fail("error starting producer!", status);
    return status;
  }
  status = fMediaRoster->StartNode(fVideoConsumer->Node(), startTime);
  if (status != B_OK) {
    Fail("error starting consumer", status);
    return status;
  }

  std::printf("SetUpNodes OK!\n");
  std::fflush(stdout);
  return B_OK;
}

void MediaGraph::TearDownNodes() {
  if (fMediaRoster == nullptr || fVideoConsumer == nullptr)
    return;
  std::printf("stopping nodes!\n");
  std::fflush(stdout);
  fMediaRoster->StopNode(fVideoConsumer->Node(), 0, true);
  fMediaRoster->Disconnect(fProducerOut.node.node, fProducerOut.source, fConsumerIn.node.node,
                           fConsumerIn.destination);
  if (fProducerNode != media_node::null) {
    fMediaRoster->ReleaseNode(fProducerNode);
    fProducerNode = media_node::null;
  }
  fMediaRoster->ReleaseNode(fVideoConsumer->Node());
  fVideoConsumer = nullptr;
}

void MediaGraph::StartProducer() {
  if (fMediaRoster == nullptr || fProducerNode == media_node::null)
    return;
  BTimeSource* timeSource = fMediaRoster->MakeTimeSourceFor(fTimeSourceNode);
  if (timeSource == nullptr) {
    std::printf("error starting producer!");
    std::fflush(stdout);
    return;
  }
  bigtime_t start = timeSource->PerformanceTimeFor(BTimeSource::RealTime()) + 10000;
  if (fMediaRoster->StartNode(fProducerNode, start) != B_OK) {
    std::printf("error starting producer!");
    std::fflush(stdout);
  }
  timeSource->Release();
}

void MediaGraph::StopProducer() {
  if (fMediaRoster == nullptr || fProducerNode == media_node::null)
    return;
  fMediaRoster->StopNode(fProducerNode, 0, true);
}
