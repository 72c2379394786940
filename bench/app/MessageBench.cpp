// What one position message costs the frame thread: building, flattening, decoding, and
// sending it to a receiver over the local socket or as OSC.

#include <benchmark/benchmark.h>
#include <lo/lo.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "platform/app/BMessenger.h"
#include "platform/app/MessageReceiver.h"

namespace {

BMessage Position(float x, float y, float z) {
  BMessage m(FourCC("M23d"));
  m.AddInt32("objectid", 0);
  m.AddFloat("x", 127.0f * x - 63.0f);
  m.AddFloat("y", 127.0f * y - 63.0f);
  m.AddFloat("z", 127.0f * z - 63.0f);
  return m;
}

void BM_BuildAndFlattenPosition(benchmark::State& state) {
  std::vector<uint8> bytes;
  for (auto _ : state) {
    bytes.clear();
    Position(0.25f, 0.5f, 1.0f).Flatten(&bytes);
    benchmark::DoNotOptimize(bytes.data());
  }
}
BENCHMARK(BM_BuildAndFlattenPosition);

void BM_UnflattenPosition(benchmark::State& state) {
  std::vector<uint8> bytes = Position(0.25f, 0.5f, 1.0f).Flatten();
  BMessage m;
  for (auto _ : state) benchmark::DoNotOptimize(m.Unflatten(bytes.data(), bytes.size()));
}
BENCHMARK(BM_UnflattenPosition);

void BM_SendPositionToLocalReceiver(benchmark::State& state) {
  char folder[] = "/tmp/zanvel-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  setenv("XDG_RUNTIME_DIR", folder, 1);
  std::atomic<int64_t> received{0};
  {
    MessageReceiver receiver("application/x-vnd.zanvel-bench", [&](BMessage&&) { received++; });
    BMessenger messenger("application/x-vnd.zanvel-bench");
    BMessage m = Position(0.25f, 0.5f, 1.0f);
    for (auto _ : state) messenger.SendMessage(&m);
    state.counters["received"] = double(received.load());
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SendPositionToLocalReceiver)->UseRealTime();

void BM_SendPositionAsOsc(benchmark::State& state) {
  lo_server server = lo_server_new(nullptr, nullptr);  // receives nothing; the kernel drops
  std::string url = "osc.udp://127.0.0.1:" + std::to_string(lo_server_get_port(server)) + "/z";
  BMessenger messenger(url.c_str());
  BMessage m = Position(0.25f, 0.5f, 1.0f);
  for (auto _ : state) messenger.SendMessage(&m);
  lo_server_free(server);
}
BENCHMARK(BM_SendPositionAsOsc)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
