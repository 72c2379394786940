// What one LCS-sized write costs the frame thread: on a line that drains, and on a stuck
// line where the write bound decides.

#include <atomic>
#include <thread>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include "platform/device/BSerialPort.h"

namespace {

struct Pair {
  Pair() {
    char name[128] = {};
    openpty(&controller, &line, name, nullptr, nullptr);
    path = name;
  }
  ~Pair() {
    close(controller);
    close(line);
  }
  int controller = -1;
  int line = -1;
  std::string path;
};

const uint8 kMessage[17] = {0xF0, 0x1F, 0x7E, 0x12, 0x7F, 0x13, 0x00, 0x40, 0x04,
                            0x3D, 0x40, 0x04, 0x3D, 0x40, 0x3F, 0x7F, 0xF7};

void BM_WriteToDrainingLine(benchmark::State& state) {
  Pair pair;
  BSerialPort port;
  port.Open(pair.path.c_str());
  port.SetDataRate(B_38400_BPS);
  port.SetWriteTimeout(5000);
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    uint8 buffer[4096];
    while (!stop.load()) {
      pollfd entry{pair.controller, POLLIN, 0};
      if (poll(&entry, 1, 10) > 0 && read(pair.controller, buffer, sizeof(buffer)) < 0) break;
    }
  });
  for (auto _ : state) benchmark::DoNotOptimize(port.Write(kMessage, sizeof(kMessage)));
  stop.store(true);
  reader.join();
  state.counters["dropped"] = double(port.DroppedWrites());
}
BENCHMARK(BM_WriteToDrainingLine)->Unit(benchmark::kMicrosecond);

void BM_WriteToStuckLine(benchmark::State& state) {
  Pair pair;
  BSerialPort port;
  port.Open(pair.path.c_str());
  port.SetWriteTimeout(state.range(0));
  while (port.Write(kMessage, sizeof(kMessage)) > 0) {
  }
  for (auto _ : state) benchmark::DoNotOptimize(port.Write(kMessage, sizeof(kMessage)));
}
BENCHMARK(BM_WriteToStuckLine)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace

BENCHMARK_MAIN();
