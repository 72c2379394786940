// How late the MIDI port's scheduler delivers messages stamped in the future, through a
// JACK dummy server that the benchmark starts and stops itself.
//
// sched_*: from the stamp to the moment the message is handed to JACK (the scheduler's own
// lateness). jack_*: from the stamp to the moment a JACK MIDI reader holds it; this adds
// JACK's period (256 frames at 48 kHz, 5.3 ms): a message goes out one period after its
// time, at the frame of that time. grid_*: how far from its stamp, relative to the first
// message, each one lands, by the frame the reader sees (what a synthesiser plays).
// BM_NowAndMillisecondStamps: three key pressures stamped now, now + 1 and now + 2 ms;
// gap_*: the spacing of their frames; now_late_*: from posting the first to its frame.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "JackPeer.h"
#include "platform/midi/BMidiPort.h"
#include "platform/midi/MidiOutput.h"
#include "platform/support/Time.h"

namespace {
constexpr int kMessages = 400;
constexpr uint32 kSpacingMs = 2;

// Notes the moment each message leaves the scheduler, then passes it on.
class TimingOutput : public MidiOutput {
 public:
  explicit TimingOutput(std::unique_ptr<MidiOutput> inner) : fInner(std::move(inner)) {}
  const char* ApiName() const override { return fInner->ApiName(); }
  std::vector<std::string> Devices() override { return fInner->Devices(); }
  status_t Open(const std::string& device) override { return fInner->Open(device); }
  void Close() override { fInner->Close(); }
  bool IsOpen() const override { return fInner->IsOpen(); }
  bool HasRoom(size_t count, size_t size) override { return fInner->HasRoom(count, size); }
  bool Send(const uint8* bytes, size_t size, bigtime_t due) override {
    const bigtime_t at = system_time();
    const bool sent = fInner->Send(bytes, size, due);
    std::lock_guard<std::mutex> guard(lock);
    if (size == 3) sends.push_back({bytes[1] + 128 * (bytes[2] - 1), at});
    return sent;
  }
  struct Sent {
    int index;
    bigtime_t at;
  };
  std::mutex lock;
  std::vector<Sent> sends;

 private:
  std::unique_ptr<MidiOutput> fInner;
};

struct Rig {
  Rig() {
    setenv("ZANVEL_MIDI_API", "jack", 1);
    server = std::make_unique<JackServer>(256);
    if (!server->Up()) return;
    auto timing = std::make_unique<TimingOutput>(CreateMidiOutput());
    output = timing.get();
    port = std::make_unique<BMidiPort>(std::move(timing));
    reader = std::make_unique<JackMidiReader>();
    ready = port->Open("Zanvel") == B_OK && reader->ConnectFrom("Zanvel");
  }
  std::unique_ptr<JackServer> server;  // first made, last gone
  std::unique_ptr<BMidiPort> port;
  std::unique_ptr<JackMidiReader> reader;
  TimingOutput* output = nullptr;
  bool ready = false;
};

// One server and one client for every benchmark here: libjack keeps one connection per
// process, and a second server next to the first confuses both (and crashes at exit).
Rig& SharedRig() {
  static Rig rig;
  return rig;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

void BM_FutureMessageLatenessThroughJack(benchmark::State& state) {
  Rig& rig = SharedRig();
  if (!rig.ready) {
    state.SkipWithError("no JACK dummy server");
    return;
  }
  std::vector<double> scheduler, arrival, grid;
  const double framesPerMs = rig.reader->SampleRate() / 1000.0;
  for (auto _ : state) {
    rig.reader->Clear();
    {
      std::lock_guard<std::mutex> guard(rig.output->lock);
      rig.output->sends.clear();
    }
    const uint32 start = uint32(system_time() / 1000) + 20;
    std::vector<uint32> due(kMessages);
    for (int i = 0; i < kMessages; i++) {
      due[i] = start + uint32(i) * kSpacingMs;
      rig.port->NoteOn(1, uchar(i % 128), uchar(i / 128 + 1), due[i]);
    }
    rig.reader->WaitFor(kMessages, std::chrono::milliseconds(kMessages * kSpacingMs + 5000));
    {
      std::lock_guard<std::mutex> guard(rig.output->lock);
      for (const auto& sent : rig.output->sends)
        scheduler.push_back(double(sent.at - bigtime_t(due[sent.index]) * 1000));
    }
    const auto events = rig.reader->Events();
    for (const auto& event : events) {
      if (event.bytes.size() != 3) continue;
      const int index = event.bytes[1] + 128 * (event.bytes[2] - 1);
      if (index < 0 || index >= kMessages) continue;
      arrival.push_back(double(event.time - bigtime_t(due[index]) * 1000));
      const double landed = int32_t(event.frame - events[0].frame) / framesPerMs;
      const double stamped = double(due[index] - due[0]);
      grid.push_back(std::abs(landed - stamped) * 1000);
    }
  }
  state.counters["sched_p50_us"] = Percentile(scheduler, 0.5);
  state.counters["sched_p99_us"] = Percentile(scheduler, 0.99);
  state.counters["jack_p50_us"] = Percentile(arrival, 0.5);
  state.counters["jack_p99_us"] = Percentile(arrival, 0.99);
  state.counters["grid_p99_us"] = Percentile(grid, 0.99);
  state.counters["lost"] = double(int64_t(state.iterations()) * kMessages) - double(arrival.size());
}
BENCHMARK(BM_FutureMessageLatenessThroughJack)->Iterations(2)->Unit(benchmark::kMillisecond);

void BM_NowAndMillisecondStamps(benchmark::State& state) {
  Rig& rig = SharedRig();
  if (!rig.ready) {
    state.SkipWithError("no JACK dummy server");
    return;
  }
  const double framesPerMs = rig.reader->SampleRate() / 1000.0;
  std::vector<double> gaps, late;
  for (auto _ : state) {
    rig.reader->Clear();
    const bigtime_t posted = system_time();
    const uint32 now = uint32(posted / 1000);
    for (uint8 i = 0; i < 3; i++) rig.port->KeyPressure(1, 60, i, now + i);
    rig.port->KeyPressure(1, 61, 0);  // stamped now, to the microsecond
    rig.reader->WaitFor(4, std::chrono::milliseconds(5000));
    const auto events = rig.reader->Events();
    if (events.size() != 4) continue;
    late.push_back(int32_t(events[1].frame - rig.reader->FrameAt(posted)) / framesPerMs * 1000);
    // The one stamped now goes between the first two.
    gaps.push_back(int32_t(events[2].frame - events[0].frame) / framesPerMs * 1000);
    gaps.push_back(int32_t(events[3].frame - events[2].frame) / framesPerMs * 1000);
    snooze(7000);
  }
  std::sort(gaps.begin(), gaps.end());
  state.counters["gap_min_us"] = gaps.empty() ? 0 : gaps.front();
  state.counters["gap_max_us"] = gaps.empty() ? 0 : gaps.back();
  state.counters["now_late_p50_us"] = Percentile(late, 0.5);
  state.counters["now_late_p99_us"] = Percentile(late, 0.99);
  state.counters["now_late_max_us"] = late.empty() ? 0 : *std::max_element(late.begin(), late.end());
}
BENCHMARK(BM_NowAndMillisecondStamps)->Iterations(200)->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
