// Capture speed: frames analysed per second at 320×240 from the GStreamer test pattern with the
// interpreter attached, and the time from a buffer's arrival at the consumer to the end of
// Interpret.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <vector>

#include "capture/MediaGraph.h"
#include "capture/Tuning.h"
#include "capture/VideoConsumer.h"
#include "platform/interface/BView.h"
#include "platform/interface/BWindow.h"
#include "interpreter/ImageInterpreter.h"
#include "platform/media/BBuffer.h"
#include "platform/media/BBufferGroup.h"
#include "platform/media/MediaProtocol.h"
#include "platform/media/BMediaRoster.h"
#include "platform/media/BTimeSource.h"
#include "platform/support/Time.h"

namespace {

constexpr int32 kWidth = 320, kHeight = 240;

// Counts frames and notes when each Interpret ends.
class TimedInterpreter : public ImageInterpreter {
 public:
  using ImageInterpreter::ImageInterpreter;
  void Interpret(Image* image) override {
    ImageInterpreter::Interpret(image);
    std::lock_guard<std::mutex> lock(fLock);
    fFrames++;
    fLastEnd = system_time();
    fDone.notify_all();
  }
  int64 Frames() {
    std::lock_guard<std::mutex> lock(fLock);
    return fFrames;
  }
  // Waits for the frame after `count`; returns when its Interpret ended (0: it never did).
  bigtime_t WaitBeyond(int64 count, bigtime_t timeout) {
    std::unique_lock<std::mutex> lock(fLock);
    bool done = fDone.wait_for(lock, std::chrono::microseconds(timeout),
                               [&] { return fFrames > count; });
    return done ? fLastEnd : 0;
  }

 private:
  std::mutex fLock;
  std::condition_variable fDone;
  int64 fFrames = 0;
  bigtime_t fLastEnd = 0;
};

// Trace and frame-rate lines go to standard output; keep them out of the report.
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    std::cout.flush();
    fSaved = dup(1);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    dup2(fSaved, 1);
    close(fSaved);
  }

 private:
  int fSaved;
};

struct Windows {
  Windows() {
    video = std::make_unique<BWindow>(BRect(28, 28, kWidth + 47, kHeight + 67), "Zanvel");
    view = new BView(BRect(10, 10, kWidth + 9, kHeight + 9), "Video View");
    video->AddChild(view);
    video->Show();
    control = std::make_unique<BWindow>(BRect(0, 0, 399, 599), "Control Window");
    auto* histo = new BView(BRect(0, 0, 99, 99), "histo");
    auto* keyframe = new BView(BRect(0, 100, kWidth - 1, 100 + kHeight - 1), "keyframe");
    auto* matched = new BView(BRect(0, 350, kWidth - 1, 350 + kHeight - 1), "matched");
    for (BView* v : {histo, keyframe, matched}) control->AddChild(v);
    control->Show();
    interpreter = std::make_unique<TimedInterpreter>(histo, keyframe, matched, B_RGB32);
  }
  std::unique_ptr<BWindow> video, control;
  BView* view;
  std::unique_ptr<TimedInterpreter> interpreter;
  Tuning tuning;
};

void BM_FramesAnalysedPerSecond(benchmark::State& state) {
  QuietStdout quiet;
  Windows windows;
  BMediaRoster::Roster()->SetVideoInputSetting(
      "pipeline:videotestsrc pattern=ball ! capsfilter caps=video/x-raw,framerate=1000/1");
  MediaGraph graph;
  status_t failure = B_OK;
  graph.errorAlert = [&](const char*, status_t status) { failure = status; };
  if (graph.SetUpNodes(windows.view, windows.interpreter.get(), &windows.tuning, kWidth,
                       kHeight) != B_OK) {
    state.SkipWithError("the media graph did not come up");
    graph.TearDownNodes();
    return;
  }
  windows.interpreter->WaitBeyond(0, 5000000);
  int64 frames = 0;
  for (auto _ : state) {
    int64 before = windows.interpreter->Frames();
    snooze(1000000);
    frames += windows.interpreter->Frames() - before;
  }
  graph.TearDownNodes();
  state.counters["frames_per_s"] =
      benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FramesAnalysedPerSecond)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// One frame at a time: the bench writes the buffer to the consumer's port as a producer
// does and waits for Interpret to end.
void BM_ArrivalToEndOfInterpret(benchmark::State& state) {
  QuietStdout quiet;
  Windows windows;
  BMediaRoster* roster = BMediaRoster::Roster();
  auto* consumer = new VideoConsumer("Zanvel", windows.view, windows.interpreter.get(),
                                     &windows.tuning, nullptr, 0);
  roster->RegisterNode(consumer);
  port_id producerPort = create_port(16, "bench producer");
  media_source producer{producerPort, 0};
  media_destination destination{consumer->ControlPort(), 0};
  media_format format;
  format.type = B_MEDIA_RAW_VIDEO;
  format.u.raw_video = vid_format;
  format.u.raw_video.display = {B_RGB32, uint32(kWidth), uint32(kHeight), uint32(kWidth) * 4, 0,
                                0, 0};
  media_input input;
  consumer->Connected(producer, destination, format, &input);
  int32 code;
  media_protocol::SetBufferGroupRequest offer{};
  read_port_etc(producerPort, &code, &offer, sizeof(offer), 5000000);
  BBufferGroup group(offer.count, offer.buffers);
  roster->StartNode(consumer->Node(), 0);
  snooze(50000);

  std::vector<double> samples;
  int64 count = windows.interpreter->Frames();
  int32 x = 0;
  for (auto _ : state) {
    BBuffer* buffer = group.RequestBuffer(1, 1000000);
    if (buffer == nullptr) {
      state.SkipWithError("no free buffer");
      break;
    }
    // A bright square that moves across a dark frame.
    auto* pixels = static_cast<uint32*>(buffer->Data());
    std::fill(pixels, pixels + kWidth * kHeight, 0x00101010u);
    x = (x + 7) % (kWidth - 40);
    for (int32 row = 100; row < 140; row++)
      std::fill(pixels + row * kWidth + x, pixels + row * kWidth + x + 40, 0x00E0E0E0u);
    buffer->Header()->start_time = consumer->TimeSource()->Now();
    media_protocol::BufferReceivedRequest request{buffer, destination};
    bigtime_t arrived = system_time();
    write_port(destination.port, media_protocol::kConsumerBufferReceived, &request,
               sizeof(request));
    bigtime_t ended = windows.interpreter->WaitBeyond(count, 2000000);
    if (ended == 0) {
      state.SkipWithError("the frame was not analysed");
      break;
    }
    count++;
    double seconds = double(ended - arrived) / 1e6;
    samples.push_back(seconds);
    state.SetIterationTime(seconds);
  }
  roster->StopNode(consumer->Node(), 0, true);
  roster->ReleaseNode(consumer->Node());
  delete_port(producerPort);
  if (!samples.empty()) {
    std::sort(samples.begin(), samples.end());
    state.counters["median_us"] = samples[samples.size() / 2] * 1e6;
    state.counters["p99_us"] = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)] * 1e6;
  }
}
BENCHMARK(BM_ArrivalToEndOfInterpret)->Unit(benchmark::kMicrosecond)->UseManualTime()->Iterations(300);

}  // namespace

BENCHMARK_MAIN();
