#include "MediaGraph.h"

#include <cstdio>

#include "media/TimeSource.h"

status_t MediaGraph::SetUpNodes(BView* videoView, ImageInterpreter* interpreter,
                                const Tuning* tuning, int32 analysisWidth, int32 analysisHeight) {
  status_t status = B_OK;
  fMediaRoster = BMediaRoster::Roster(&status);
  if (!fMediaRoster || status != B_OK) {
    errorAlert("cannot find the media roster", status);
    return status != B_OK ? status : B_ERROR;
  }
  status = fMediaRoster->GetTimeSource(&fTimeSourceNode);
  if (status != B_OK) {
    errorAlert("failed to get a time source", status);
    return status;
  }
  status = fMediaRoster->GetVideoInput(&fProducerNode);
  if (status != B_OK) {
    errorAlert("could not find a video input!", status);
    return status;
  }
  fVideoConsumer = new VideoConsumer("Zanvel", videoView, interpreter, tuning, nullptr, 0);
  if (!fVideoConsumer) {
    errorAlert("could not instantiate VideoConsumer node", B_ERROR);
    return B_ERROR;
  }
  status = fMediaRoster->RegisterNode(fVideoConsumer);
  if (status != B_OK) {
    errorAlert("could not register the video consumer", status);
    return status;
  }
  int32 count = 0;
  status = fMediaRoster->GetFreeOutputsFor(fProducerNode, &fProducerOut, 1, &count,
                                           B_MEDIA_RAW_VIDEO);
  if (status != B_OK || count < 1) {
    errorAlert("could not find output for video producer", status);
    return status != B_OK ? status : B_ERROR;
  }
  count = 0;
  status = fMediaRoster->GetFreeInputsFor(fVideoConsumer->Node(), &fConsumerIn, 1, &count,
                                          B_MEDIA_RAW_VIDEO);
  if (status != B_OK || count < 1) {
    errorAlert("could not find input for video consumer!", status);
    return status != B_OK ? status : B_ERROR;
  }

  media_format format;
  format.type = B_MEDIA_RAW_VIDEO;
  format.u.raw_video.field_rate = 0;
  format.u.raw_video.interlace = 1;
  format.u.raw_video.first_active = 0;
  format.u.raw_video.last_active = 239;
  format.u.raw_video.orientation = B_VIDEO_TOP_LEFT_RIGHT;
  format.u.raw_video.pixel_width_aspect = 1;
  format.u.raw_video.pixel_height_aspect = 1;
  format.u.raw_video.display.format = B_RGB32;
  format.u.raw_video.display.line_width = uint32(analysisWidth);
  format.u.raw_video.display.line_count = uint32(analysisHeight);
  format.u.raw_video.display.bytes_per_row = uint32(analysisWidth) * 4;
  format.u.raw_video.display.pixel_offset = 0;
  format.u.raw_video.display.line_offset = 0;
  format.u.raw_video.display.flags = 0;

  status = fMediaRoster->Connect(fProducerOut.source, fConsumerIn.destination, &format,
                                 &fProducerOut, &fConsumerIn);
  if (status != B_OK) {
    errorAlert("cannot connect producer to consumer!", status);
    return status;
  }
  status = fMediaRoster->SetTimeSourceFor(fProducerNode.node, fTimeSourceNode.node);
  if (status != B_OK) {
    errorAlert("cannot set producer timesource!", status);
    return status;
  }
  status = fMediaRoster->SetTimeSourceFor(fVideoConsumer->ID(), fTimeSourceNode.node);
  if (status != B_OK) {
    errorAlert("cannot set consumer timesource!", status);
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
  bool running = timeSource->IsRunning();
  bigtime_t real = BTimeSource::RealTime();
  if (!running) {
    status = fMediaRoster->StartNode(fTimeSourceNode, real);
    if (status != B_OK) {
      timeSource->Release();
      errorAlert("cannot start time source!", status);
      return status;
    }
    status = fMediaRoster->SeekNode(fTimeSourceNode, 0, real);
    if (status != B_OK) {
      timeSource->Release();
      errorAlert("cannot seek time source!", status);
      return status;
    }
  }
  bigtime_t startTime = timeSource->Now() + startLatency;
  timeSource->Release();

  status = fMediaRoster->StartNode(fProducerNode, startTime);
  if (status != B_OK) {
    errorAlert("error starting producer!", status);
    return status;
  }
  status = fMediaRoster->StartNode(fVideoConsumer->Node(), startTime);
  if (status != B_OK) {
    errorAlert("error starting consumer", status);
    return status;
  }
  std::printf("SetUpNodes OK!\n");
  return B_OK;
}

void MediaGraph::TearDownNodes() {
  if (!fMediaRoster || !fVideoConsumer) return;
  std::printf("stopping nodes!\n");
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
