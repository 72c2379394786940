// The frame thread's time per Interpret at 320 × 240 with every output on: position and
// matched messages to a receiver of this process, key pressure, matched note, modulation
// wheel and generated notes on the MIDI port (a JACK dummy server when one starts, else no
// MIDI service), LCS positions on a pseudo-terminal. Once with a receiver that keeps up, once
// with one that has stopped reading: that one must cost the frames nothing either.
//
// Each row times 2000 frames that cycle through the stored examples, so the match changes
// (and the matched outputs send) on every frame; the counters give the median and the 99th
// percentile. A frame that waits longer than kStallLimit makes the row say "stalled".

#include <benchmark/benchmark.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "JackPeer.h"
#include "Pictures.h"
#include "analysis/RGBAImage.h"
#include "platform/app/MessageReceiver.h"
#include "platform/interface/BView.h"
#include "platform/interface/BWindow.h"
#include "interpreter/ImageInterpreter.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 320, kHeight = 240;
constexpr int kFrames = 2000;
constexpr int kPictures = 24;  // each stored as an example; the first 8 also as key frames
constexpr int kKeyFrames = 8;
constexpr auto kStallLimit = 3s;
const char* const kReceiverSignature = "application/x-vnd.zanvel-bench-receiver";

// What every row shares, made once: a private signature folder, the MIDI service and the
// two serial lines (the second is the LCS controller's), the LCS line drained as a
// controller would.
class Rig {
 public:
  Rig() {
    std::string folder = (std::filesystem::temp_directory_path() / "zanvel-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) != nullptr) fFolder = folder;
    setenv("XDG_RUNTIME_DIR", fFolder.c_str(), 1);

    setenv("ZANVEL_MIDI_API", "jack", 1);
    fJack = std::make_unique<JackServer>(256);
    if (!fJack->Up()) setenv("ZANVEL_MIDI_API", "none", 1);

    std::string devices;
    for (int& master : fMasters) {
      int slave = -1;
      char name[128] = {};
      if (openpty(&master, &slave, name, nullptr, nullptr) != 0) continue;
      close(slave);
      devices += (devices.empty() ? "" : ":") + std::string(name);
    }
    setenv("ZANVEL_SERIAL_DEVICES", devices.c_str(), 1);
    fDrain = std::thread([this] { Drain(); });
  }
  ~Rig() {
    fStop.store(true);
    fDrain.join();
    for (int master : fMasters)
      if (master >= 0) close(master);
    std::error_code ignored;
    std::filesystem::remove_all(fFolder, ignored);
  }
  bool Midi() const { return fJack->Up(); }
  uint64_t LCSBytes() const { return fLCSBytes.load(); }

 private:
  void Drain() {
    char buffer[4096];
    while (!fStop.load()) {
      pollfd p{fMasters[1], POLLIN, 0};
      if (fMasters[1] < 0 || poll(&p, 1, 20) <= 0) continue;
      const ssize_t got = read(fMasters[1], buffer, sizeof buffer);
      if (got > 0) fLCSBytes.fetch_add(uint64_t(got));
    }
  }

  std::string fFolder;
  std::unique_ptr<JackServer> fJack;
  int fMasters[2] = {-1, -1};
  std::atomic<bool> fStop{false};
  std::atomic<uint64_t> fLCSBytes{0};
  std::thread fDrain;
};

// A receiver registered in this process. Paused, its thread waits in the handler, so nothing
// more is read from its sockets and they fill, as with a program stopped by SIGSTOP.
class Receiver {
 public:
  explicit Receiver(bool paused) : fPaused(paused) {}
  bool Ok() const { return fReceiver.InitCheck() == B_OK; }
  void Resume() {
    std::lock_guard<std::mutex> hold(fMutex);
    fPaused = false;
    fChanged.notify_all();
  }
  uint64_t Received() const { return fReceived.load(); }

 private:
  void Take() {
    std::unique_lock<std::mutex> hold(fMutex);
    // Stopping is not announced on fChanged; look again now and then.
    while (fPaused && !fReceiver.Stopping()) fChanged.wait_for(hold, 20ms);
    fReceived.fetch_add(1);
  }

  std::mutex fMutex;
  std::condition_variable fChanged;
  bool fPaused;
  std::atomic<uint64_t> fReceived{0};
  MessageReceiver fReceiver{kReceiverSignature, [this](BMessage&&) { Take(); }};  // last made, first gone
};

// Calls onStall, once, when a frame has lasted longer than the limit.
class Watchdog {
 public:
  Watchdog(std::chrono::milliseconds limit, std::function<void()> onStall)
      : fLimit(limit), fOnStall(std::move(onStall)), fThread([this] { Watch(); }) {}
  ~Watchdog() {
    fStop.store(true);
    fThread.join();
  }
  void FrameStarts() { fFrameStart.store(Clock::now().time_since_epoch().count()); }
  void FrameEnds() { fFrameStart.store(0); }
  bool Stalled() const { return fStalled.load(); }

 private:
  void Watch() {
    while (!fStop.load() && !fStalled.load()) {
      std::this_thread::sleep_for(50ms);
      const Clock::rep start = fFrameStart.load();
      if (start != 0 && Clock::now() - Clock::time_point(Clock::duration(start)) > fLimit) {
        fStalled.store(true);
        fOnStall();
      }
    }
  }

  const std::chrono::milliseconds fLimit;
  const std::function<void()> fOnStall;
  std::atomic<Clock::rep> fFrameStart{0};
  std::atomic<bool> fStalled{false};
  std::atomic<bool> fStop{false};
  std::thread fThread;
};

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

void BM_InterpretAllOutputs(benchmark::State& state, bool receiverStopped) {
  static Rig rig;
  Receiver receiver(receiverStopped);
  if (!receiver.Ok()) {
    state.SkipWithError("the receiver's signature could not be registered");
    return;
  }
  auto window = std::make_unique<BWindow>(BRect(0, 0, 799, 299), "Control");
  auto* histo = new BView(BRect(0, 0, 63, 63), "histo");
  auto* keyframe = new BView(BRect(70, 0, 70 + kWidth - 1, kHeight - 1), "keyframe");
  auto* matched = new BView(BRect(400, 0, 400 + kWidth - 1, kHeight - 1), "matched");
  for (BView* v : {histo, keyframe, matched}) window->AddChild(v);
  window->Show();

  std::vector<std::vector<uint32>> pixels(kPictures, std::vector<uint32>(size_t(kWidth) * kHeight));
  std::vector<std::unique_ptr<RGBAImage>> pictures;
  for (int i = 0; i < kPictures; ++i) {
    bench_pictures::FillStripes(pixels[size_t(i)], kWidth, kHeight, i * 0.13, 7 + i % 5);
    pictures.push_back(std::make_unique<RGBAImage>(pixels[size_t(i)].data(), kWidth, kHeight, kWidth * 4));
  }

  bench_pictures::QuietStdout quiet;
  auto interpreter = std::make_unique<ImageInterpreter>(histo, keyframe, matched, B_RGB32);
  for (int i = 0; i < kPictures; ++i) {
    interpreter->SaveNextImageToMatcher();
    interpreter->Interpret(pictures[size_t(i)].get());
  }
  for (int i = 0; i < kKeyFrames; ++i) {
    interpreter->SaveNextImageAsKeyframe();
    interpreter->Interpret(pictures[size_t(i)].get());
  }
  interpreter->SetDestinationAppSignature(kReceiverSignature);
  interpreter->SetMatchedAppSignature(kReceiverSignature);
  interpreter->SetSendBMessages(true);
  interpreter->SetSendMatchedAsBMessages(true);
  interpreter->SetSendToKDX(true);
  interpreter->SetSendMatchedAsNotesToMidiPort(true);
  interpreter->SetSendMatchedAsModwheelToMidiPort(true);
  interpreter->SetSendNotesToMidiPort(true);
  interpreter->SetLCSSendPosition(true);

  // A stalled frame is let go by resuming the receiver, so the row ends either way.
  Watchdog watchdog(kStallLimit, [&receiver] { receiver.Resume(); });
  std::vector<double> frameMs;
  frameMs.reserve(kFrames);
  int next = 0;
  const uint64_t lcsBefore = rig.LCSBytes();
  for (auto _ : state) {
    if (watchdog.Stalled()) {
      state.SkipWithError(("stalled: a frame waited more than " + std::to_string(kStallLimit.count()) +
                           " s, after " + std::to_string(frameMs.size()) + " frames")
                              .c_str());
      break;
    }
    Image* frame = pictures[size_t(next)].get();
    next = (next + 1) % kPictures;
    watchdog.FrameStarts();
    const Clock::time_point start = Clock::now();
    interpreter->Interpret(frame);
    const std::chrono::duration<double> took = Clock::now() - start;
    watchdog.FrameEnds();
    frameMs.push_back(took.count() * 1e3);
  }
  const bool stalled = watchdog.Stalled();
  const int64 lcsDropped = interpreter->CountLCSDroppedMessages();
  const uint32 matches = interpreter->CountMatchedChanges();
  // Quitting with a stopped receiver is the end-to-end test's business; here the
  // interpreter goes with its receiver running again.
  receiver.Resume();
  interpreter.reset();
  window.reset();
  if (stalled) return;

  state.counters["p50_ms"] = Percentile(frameMs, 0.5);
  state.counters["p99_ms"] = Percentile(frameMs, 0.99);
  state.counters["received"] = double(receiver.Received());
  state.counters["matches"] = double(matches);
  state.counters["lcs_bytes"] = double(rig.LCSBytes() - lcsBefore);
  state.counters["lcs_dropped"] = double(lcsDropped);
  state.counters["midi"] = rig.Midi() ? 1 : 0;
}

// One run of kFrames frames each: the percentiles come from the frames, not from repetitions.
BENCHMARK_CAPTURE(BM_InterpretAllOutputs, healthy_receiver, false)
    ->Iterations(kFrames)
    ->Repetitions(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_InterpretAllOutputs, stopped_receiver, true)
    ->Iterations(kFrames)
    ->Repetitions(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
