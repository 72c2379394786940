#include "capture/VideoConsumer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "analysis/GrayscaleImage.h"
#include "analysis/RGBAImage.h"
#include "capture/Tuning.h"
#include "platform/interface/BBitmap.h"
#include "platform/interface/BView.h"
#include "platform/interface/BWindow.h"
#include "interpreter/ImageInterpreter.h"
#include "platform/media/BBuffer.h"
#include "platform/media/BBufferGroup.h"
#include "platform/media/BTimeSource.h"
#include "platform/support/Time.h"

const media_raw_video_format vid_format = {
    0,                       // field_rate
    1,                       // interlace
    0,                       // first_active
    239,                     // last_active
    B_VIDEO_TOP_LEFT_RIGHT,  // orientation
    1,                       // pixel_width_aspect
    1,                       // pixel_height_aspect
    {B_RGB16, 320, 240, 320 * 4, 0, 0, 0},
};

VideoConsumer::VideoConsumer(const char* name, BView* view, ImageInterpreter* interpreter,
                             const Tuning* tuning, BMediaAddOn* addOn, uint32 internalID)
    : BMediaNode(name),
      BMediaEventLooper(),
      BBufferConsumer(B_MEDIA_RAW_VIDEO),
      fInternalID(internalID),
      fAddOn(addOn),
      fInterpreter(interpreter),
      fTuning(tuning),
      fWindow(nullptr),
      fView(view) {
  std::printf("VideoConsumer::VideoConsumer\n");
  AddNodeKind(B_PHYSICAL_OUTPUT);
  SetEventLatency(0);
  fWindow = view ? view->Window() : nullptr;
  SetPriority(B_DISPLAY_PRIORITY);
}

VideoConsumer::~VideoConsumer() {
  std::printf("VideoConsumer::~VideoConsumer\n");
  Quit();
  if (fWindow) {
    std::printf("Locking the window\n");
    if (fWindow->Lock()) {
      std::printf("Closing the window\n");
      fWindow->Quit();
      fWindow = nullptr;
    }
  }
  DeleteBuffers();
  delete myBitmap;
  myBitmap = nullptr;
  delete fImage;  // it wraps myBitmap's pixels and frees nothing itself
  fImage = nullptr;
}

BMediaAddOn* VideoConsumer::AddOn(int32* internalID) const {
  std::printf("VideoConsumer::AddOn\n");
  if (internalID) *internalID = int32(fInternalID);
  return fAddOn;
}

void VideoConsumer::NodeRegistered() {
  std::printf("VideoConsumer::NodeRegistered\n");
  fInput.destination.port = ControlPort();
  fInput.destination.id = 0;
  fInput.source = media_source::null;
  fInput.format.type = B_MEDIA_RAW_VIDEO;
  fInput.format.u.raw_video = vid_format;
  Run();
}

status_t VideoConsumer::HandleMessage(int32 code, const void* data, size_t size) {
  if (BMediaNode::HandleMessage(code, data, size) == B_OK) return B_OK;
  if (BBufferConsumer::HandleMessage(code, data, size) == B_OK) return B_OK;
  HandleBadMessage(code, data, size);
  return B_ERROR;
}

status_t VideoConsumer::RequestCompleted(const media_request_info& info) {
  std::printf("VideoConsumer::RequestCompleted\n");
  if (info.what == media_request_info::B_SET_OUTPUT_BUFFERS_FOR && info.status != B_OK)
    std::printf("VideoConsumer::RequestCompleted: Not using our buffers!\n");
  return B_OK;
}

status_t VideoConsumer::AcceptFormat(const media_destination& dest, media_format* format) {
  std::printf("VideoConsumer::AcceptFormat\n");
  if (dest != fInput.destination) {
    std::printf("VideoConsumer::AcceptFormat - BAD DESTINATION\n");
    return B_MEDIA_BAD_DESTINATION;
  }
  if (format->type == B_MEDIA_NO_TYPE) format->type = B_MEDIA_RAW_VIDEO;
  if (format->type != B_MEDIA_RAW_VIDEO) {
    std::printf("VideoConsumer::AcceptFormat - BAD FORMAT\n");
    return B_MEDIA_BAD_FORMAT;
  }
  color_space space = format->u.raw_video.display.format;
  if (space != B_RGB32 && space != B_RGB16 && space != B_RGB15 && space != B_GRAY8 &&
      space != media_raw_video_format::wildcard.display.format) {
    std::printf("AcceptFormat - not a format we know about!\n");
    return B_MEDIA_BAD_FORMAT;
  }
  if (space == media_raw_video_format::wildcard.display.format)
    format->u.raw_video.display.format = B_RGB16;
  char text[256];
  string_for_format(*format, text, sizeof(text));
  std::printf("VideoConsumer::AcceptFormat: %s\n", text);
  return B_OK;
}

status_t VideoConsumer::GetNextInput(int32* cookie, media_input* input) {
  std::printf("VideoConsumer::GetNextInput\n");
  if (*cookie <= 0) {
    fInput.node = Node();
    fInput.destination.id = *cookie;
    std::snprintf(fInput.name, sizeof(fInput.name), "Video Consumer");
    *input = fInput;
    (*cookie)++;
    return B_OK;
  }
  std::printf("VideoConsumer::GetNextInput - - BAD INDEX\n");
  return B_MEDIA_BAD_DESTINATION;
}

void VideoConsumer::DisposeInputCookie(int32) {}

void VideoConsumer::ProducerDataStatus(const media_destination&, int32, bigtime_t) {
  std::printf("VideoConsumer::ProducerDataStatus\n");
}

status_t VideoConsumer::GetLatencyFor(const media_destination& dest, bigtime_t* latency,
                                      media_node_id* timeSource) {
  std::printf("VideoConsumer::GetLatencyFor\n");
  if (dest != fInput.destination) return B_MEDIA_BAD_DESTINATION;
  *latency = fLatency;
  *timeSource = TimeSource()->ID();
  return B_OK;
}

status_t VideoConsumer::Connected(const media_source& producer, const media_destination& where,
                                  const media_format& format, media_input* input) {
  std::printf("VideoConsumer::Connected\n");
  (void)where;
  fInput.source = producer;
  fInput.format = format;
  fInput.node = Node();
  std::snprintf(fInput.name, sizeof(fInput.name), "Video Consumer");
  *input = fInput;

  if (CreateBuffers(format) != B_OK) {
    std::printf("VideoConsumer::Connected - COULDN'T CREATE BUFFERS\n");
    return B_ERROR;
  }
  // The answer comes back through RequestCompleted; until then, and after a refusal, frames
  // that are not ours are copied.
  int32 userData = 0;
  int32 changeTag = 1;
  SetOutputBuffersFor(producer, fInput.destination, fBufferGroup, &userData, &changeTag, true);
  fConnectionActive = true;
  std::printf("VideoConsumer::Connected - EXIT\n");
  return B_OK;
}

void VideoConsumer::Disconnected(const media_source& producer, const media_destination& where) {
  std::printf("VideoConsumer::Disconnected\n");
  if (where == fInput.destination && producer == fInput.source) {
    fInput.source = media_source::null;
    fConnectionActive = false;
  }
}

status_t VideoConsumer::FormatChanged(const media_source& producer,
                                      const media_destination& consumer, int32,
                                      const media_format& format) {
  std::printf("VideoConsumer::FormatChanged\n");
  if (consumer != fInput.destination) return B_MEDIA_BAD_DESTINATION;
  if (producer != fInput.source) return B_MEDIA_BAD_SOURCE;
  fInput.format = format;
  return CreateBuffers(format);
}

status_t VideoConsumer::CreateBuffers(const media_format& format) {
  std::printf("VideoConsumer::CreateBuffers\n");
  DeleteBuffers();

  status_t status = B_OK;
  uint32 space = uint32(format.u.raw_video.display.format);
  uint32 width = format.u.raw_video.display.line_width;
  uint32 height = format.u.raw_video.display.line_count;
  std::printf("VideoConsumer::CreateBuffers - Colorspace = %d\n", int(space));

  fBufferGroup = new BBufferGroup();
  status = fBufferGroup->InitCheck();
  if (status != B_OK) {
    std::printf("VideoConsumer::CreateBuffers - ERROR CREATING BUFFER GROUP\n");
    return status;
  }
  BRect bounds(0, 0, float(width - 1), float(height - 1));
  for (uint32 i = 0; i < 3; i++) {
    fRingBitmaps[i] = new BBitmap(bounds, color_space(space), false, true);
    if (!fRingBitmaps[i]->IsValid()) {
      std::printf("VideoConsumer::CreateBuffers - ERROR CREATING VIDEO RING BUFFER: %08x\n",
                  unsigned(status));
      return B_ERROR;
    }
    buffer_clone_info info;
    info.buffer = 0;
    info.area = area_for(fRingBitmaps[i]->Bits());
    info.offset = 0;
    info.size = size_t(fRingBitmaps[i]->BitsLength());
    info.flags = int32(i);
    if (info.area == -1) std::printf("VideoConsumer::CreateBuffers - ERROR IN AREA_FOR\n");
    status = fBufferGroup->AddBuffer(info);
    if (status != B_OK) {
      std::printf("VideoConsumer::CreateBuffers - ERROR ADDING BUFFER TO GROUP\n");
      return status;
    }
    std::printf("VideoConsumer::CreateBuffers - SUCCESSFUL ADD BUFFER TO GROUP\n");
  }

  BBuffer* buffers[3] = {nullptr, nullptr, nullptr};
  status = fBufferGroup->GetBufferList(3, buffers);
  if (status == B_OK) {
    for (int j = 0; j < 3; j++) {
      if (buffers[j] == nullptr) {
        std::printf("VideoConsumer::CreateBuffers ERROR MAPPING RING BUFFER\n");
        return B_ERROR;
      }
      fBufferMap[j] = buffers[j];
      std::printf(" j = %d buffer = %08lx\n", j, static_cast<unsigned long>(
                                                     reinterpret_cast<uintptr_t>(buffers[j])));
    }
  } else {
    std::printf("VideoConsumer::CreateBuffers ERROR IN GET BUFFER LIST\n");
  }

  delete myBitmap;
  myBitmap = nullptr;
  delete fImage;
  fImage = nullptr;
  myBitmap = new BBitmap(bounds, color_space(space), false, true);
  if (!myBitmap->IsValid()) {
    std::printf("VideoCondumer::CreateBuffers ERROR IN MAKING myBitmap\n");
    std::printf("VideoConsumer::CreateBuffers - EXIT\n");
    return B_ERROR;
  }
  int imageWidth = int(myBitmap->Bounds().right + 1);
  int imageHeight = int(myBitmap->Bounds().bottom + 1);
  int bytesPerRow = int(myBitmap->BytesPerRow());
  switch (space) {
    case B_GRAY8:
      fImage = new GrayscaleImage(myBitmap->Bits(), imageWidth, imageHeight, bytesPerRow);
      break;
    case B_RGB32:
      fImage = new RGBAImage(myBitmap->Bits(), imageWidth, imageHeight, bytesPerRow);
      break;
    default:
      std::printf("VideoConsumer::CreateBuffers BAD COLOR_SPACE\n");
      status = B_ERROR;
      break;
  }
  std::printf("VideoConsumer::CreateBuffers - EXIT\n");
  return status;
}

void VideoConsumer::DeleteBuffers() {
  std::printf("VideoConsumer::DeleteBuffers\n");
  if (fBufferGroup) {
    // The group goes first: its buffers use the ring bitmaps' memory.
    delete fBufferGroup;
    fBufferGroup = nullptr;
    for (BBitmap*& bitmap : fRingBitmaps) {
      delete bitmap;
      bitmap = nullptr;
    }
    for (BBuffer*& buffer : fBufferMap) buffer = nullptr;
  }
  std::printf("VideoConsumer::DeleteBuffers - EXIT\n");
}

void VideoConsumer::BufferReceived(BBuffer* buffer) {
  if (RunState() == B_STOPPED) {
    buffer->Recycle();
    return;
  }
  media_timed_event event(buffer->Header()->start_time, BTimedEventQueue::B_HANDLE_BUFFER, buffer,
                          BTimedEventQueue::B_RECYCLE_BUFFER);
  EventQueue()->AddEvent(event);
}

bigtime_t VideoConsumer::NextLatency(bigtime_t latency, bigtime_t elapsed) {
  const float weight = 0.3f;
  long double average = static_cast<long double>(latency) * (1.0L - weight) +
                        static_cast<long double>(elapsed) * weight;
  return static_cast<bigtime_t>(average);
}

void VideoConsumer::HandleEvent(const media_timed_event* event, bigtime_t, bool) {
  switch (event->type) {
    case BTimedEventQueue::B_START:
      std::printf("VideoConsumer::HandleEvent - START\n");
      break;
    case BTimedEventQueue::B_STOP:
      std::printf("VideoConsumer::HandleEvent - STOP\n");
      EventQueue()->FlushEvents(event->event_time, BTimedEventQueue::B_ALWAYS, true,
                                BTimedEventQueue::B_HANDLE_BUFFER);
      break;
    case BTimedEventQueue::B_HANDLE_BUFFER: {
      bigtime_t began = system_time();
      auto* buffer = static_cast<BBuffer*>(event->pointer);
      if (buffer == nullptr) break;
      if (RunState() != B_STARTED || !fConnectionActive || fImage == nullptr) {
        buffer->Recycle();
        break;
      }
      int index = 0;
      fOurBuffers = false;
      for (int i = 0; i < 3; i++) {
        if (fBufferMap[i] == buffer) {
          fOurBuffers = true;
          index = i;
          break;
        }
      }
      bigtime_t start = buffer->Header()->start_time;
      bool inTime = RunMode() == B_OFFLINE ||
                    (start - kLatenessWindow < TimeSource()->Now() &&
                     TimeSource()->Now() < start + kLatenessWindow);
      if (inTime && fRingBitmaps[index] != nullptr) {
        if (!fOurBuffers) {
          // A buffer of the producer's own: copy no more than it holds.
          size_t length = std::min(size_t(fRingBitmaps[index]->BitsLength()),
                                   buffer->SizeAvailable());
          std::memcpy(fRingBitmaps[index]->Bits(), buffer->Data(), length);
        }
        ProcessBitmap(fRingBitmaps[index]);
        if (fWindow && fWindow->Lock()) {
          // Nobody sees a hidden view (a run without windows): spare the copy.
          if (!fView->IsHidden())
            fView->DrawBitmap(myBitmap);
          fWindow->Unlock();
        }
      } else {
        std::printf("VidConsumer::HandleEvent - DROPPED FRAME\n");
        if (TimeSource()->Now() > start)
          NotifyLateProducer(fInput.source, TimeSource()->Now() - start, TimeSource()->Now());
      }
      buffer->Recycle();
      fLatency = NextLatency(fLatency, system_time() - began);
      break;
    }
    default:
      std::printf("VideoConsumer::HandleEvent - BAD EVENT\n");
      break;
  }
}

void VideoConsumer::ProcessBitmap(BBitmap* frame) {
  int width = int(frame->Bounds().right + 1);
  int height = int(frame->Bounds().bottom + 1);
  // Each frame is wrapped in the class of the analysis image, so grey frames reach a grey
  // analysis image instead of failing the assignment.
  if (frame->ColorSpace() == B_GRAY8) {
    GrayscaleImage wrapped(frame->Bits(), width, height, frame->BytesPerRow());
    *fImage = wrapped;
  } else {
    RGBAImage wrapped(frame->Bits(), width, height, frame->BytesPerRow());
    *fImage = wrapped;
  }
  if (fTuning) {
    fInterpreter->SetSmoothingAlpha(fTuning->fSmoothingAlpha.load(std::memory_order_relaxed));
    fInterpreter->SetContrastThreshold(fTuning->fContrastThreshold.load(std::memory_order_relaxed));
    fInterpreter->SetTemporalBlendingAmount(
        fTuning->fTemporalBlending.load(std::memory_order_relaxed));
  }
  fInterpreter->Interpret(fImage);
}
