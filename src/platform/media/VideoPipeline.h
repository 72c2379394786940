#pragma once
// The GStreamer side of the video input: a pipeline from the chosen source through
// conversion and scaling to 32-bit BGRx frames at a requested size, ending in an appsink.
// Frames and failures are handed to callbacks; the pipeline knows nothing of nodes.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/support/Status.h"

struct VideoSourceChoice {
  enum Kind { kCamera, kDevice, kTest, kFile, kDescription };
  Kind kind = kCamera;
  std::string argument;  // device path, pattern name, file path or URI, pipeline description
};

// Reads the video-input setting: "" (first camera), "test", "test:<pattern>", "/dev/videoN",
// "pipeline:<description>", otherwise a file path or URI.
VideoSourceChoice ParseVideoSetting(const char* setting);

class VideoPipeline {
 public:
  // One frame: `bytesPerRow` bytes apart, `width` × `height` BGRx pixels. Called on a
  // GStreamer streaming thread.
  using FrameHook = std::function<void(const uint8_t* pixels, size_t bytesPerRow, uint32_t width,
                                       uint32_t height)>;
  // The source failed or ended; called once per run on the pipeline's bus thread.
  using FailureHook = std::function<void(const std::string& message)>;

  struct Control {
    std::string name;
    int32_t minimum;
    int32_t maximum;
  };

  // Builds the pipeline for `choice` and opens the source. On failure *why says what went wrong.
  static status_t Create(const VideoSourceChoice& choice, std::unique_ptr<VideoPipeline>* out,
                         std::string* why);
  ~VideoPipeline();
  VideoPipeline(const VideoPipeline&) = delete;
  VideoPipeline& operator=(const VideoPipeline&) = delete;

  // Plays, delivering frames of `width` × `height` to `frames`.
  status_t Play(uint32_t width, uint32_t height, FrameHook frames, FailureHook failure);
  // Holds the picture (a file keeps its position).
  void Pause();
  // Closes the source; the next Play opens it again from the start.
  void Halt();
  // Moves a file to `position` µs; B_NOT_ALLOWED for live sources.
  status_t Seek(int64_t position);

  const std::string& Description() const { return fDescription; }
  // The picture controls (brightness, contrast, ...) of the camera, or of the pipeline's own
  // colour balance where the source has none.
  std::vector<Control> Controls() const;
  status_t GetControl(int32_t index, int32_t* value) const;
  status_t SetControl(int32_t index, int32_t value);

  struct Private;

 private:
  VideoPipeline();
  void WatchBus();

  std::unique_ptr<Private> fPrivate;
  std::string fDescription;
  std::thread fBusThread;
  std::atomic<bool> fQuitting{false};
};
