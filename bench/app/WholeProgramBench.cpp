// The CPU time the running program spends per frame: Zanvel as `make run` builds it, on
// the test pattern at 320x240, with every output on and a peer taking each one (a
// listener for both target applications, a JACK server for MIDI, a pseudo-terminal for
// the LCS line). Process CPU time (user and system, all threads) over a steady interval,
// divided by the frames analysed in it.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../../tests/app/ChildProcess.h"
#include "../../tests/app/RuntimeFolder.h"
#include "../../tests/app/SerialLines.h"
#include "../../tests/midi/JackPeer.h"

namespace {
using namespace std::chrono_literals;

const std::string kRunBuild = ZANVEL_RUN_BUILD;
// ZANVEL_BENCH_PROGRAM names another zanvel to measure (an older build, for a before and after).
const std::string kZanvel =
    getenv("ZANVEL_BENCH_PROGRAM") ? getenv("ZANVEL_BENCH_PROGRAM") : kRunBuild + "/src/app/zanvel";
const std::string kSend = kRunBuild + "/tools/zanvel-send";
const std::string kListen = kRunBuild + "/tools/zanvel-listen";
const std::string kSignature = "application/x-vnd.morl-Zanvel";
const std::string kReceiver = "application/x-vnd.zanvel-bench-receiver";

bool IsFps(const std::string& l) { return l.size() > 4 && l.compare(l.size() - 4, 4, " fps") == 0; }

int Send(const std::vector<std::string>& words) { return SendCommand(kSend, kSignature, words); }

// The CPU time a thread has run, in seconds, from the scheduler's account of it (to the
// microsecond; the tick counts of /proc's stat are too coarse for a few seconds of 2 %).
double CpuSecondsOf(const std::filesystem::path& sched) {
  std::ifstream file(sched);
  std::string line;
  while (std::getline(file, line)) {
    if (line.rfind("se.sum_exec_runtime", 0) != 0) continue;
    const size_t colon = line.find(':');
    return colon == std::string::npos ? 0 : std::stod(line.substr(colon + 1)) / 1000;
  }
  return 0;
}

// The CPU time of each of a process's threads, by thread id, with the threads' names.
struct ThreadTimes {
  std::map<std::string, double> seconds;  // by tid
  std::map<std::string, std::string> names;
};

ThreadTimes ReadThreadTimes(pid_t pid) {
  ThreadTimes times;
  const std::string task = "/proc/" + std::to_string(pid) + "/task";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(task, error)) {
    const std::string tid = entry.path().filename();
    std::ifstream comm(entry.path() / "comm");
    std::string name;
    std::getline(comm, name);
    times.seconds[tid] = CpuSecondsOf(entry.path() / "sched");
    times.names[tid] = name;
  }
  return times;
}

// Where a thread's time counts: the frame thread (analysis, drawing into the views, handing
// results to the outputs), the video source (GStreamer's streaming threads), the main thread
// (painting the windows, commands), the outputs' workers and MIDI, and the rest.
std::string GroupOf(const std::string& name) {
  if (name == "media Zanvel") return "frame_thread";
  if (name.find(':') != std::string::npos || name.rfind("media Video", 0) == 0 || name == "video bus")
    return "video_input";
  if (name == "zanvel") return "main_and_unnamed";
  if (name.ends_with(" out") || name == "midi device" || name.rfind("midi", 0) == 0) return "outputs";
  return "other";
}

// The steady interval: 5 s, or ZANVEL_BENCH_SECONDS (longer for a profiler to watch).
std::chrono::milliseconds Interval() {
  const char* seconds = getenv("ZANVEL_BENCH_SECONDS");
  const double value = seconds ? std::atof(seconds) : 0;
  return std::chrono::milliseconds(value > 0 ? long(value * 1000) : 5000);
}

void BM_WholeProgramCpuPerFrame(benchmark::State& state) {
  if (access(kZanvel.c_str(), X_OK) != 0) {
    state.SkipWithError(("no " + kZanvel + "; make build first").c_str());
    return;
  }
  PrivateRuntimeFolder runtime;  // signatures of this run only
  JackServer jack;
  if (!jack.Up()) {
    state.SkipWithError("no JACK dummy server");
    return;
  }
  setenv("ZANVEL_MIDI_API", "jack", 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Two serial lines: Zanvel takes the second for the LCS controller.
  SerialLines serial;
  if (!serial.Ok()) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  serial.Export();
  const int master = serial.Master(1);
  const std::string line = serial.Name(1);

  ChildOptions quiet;
  quiet.collectErrors = true;
  ChildProcess listener({kListen, kReceiver}, quiet);
  listener.WaitForErrorLines([](const std::string& l) { return l.find("listening as") != std::string::npos; },
                             1, 10s);
  ChildProcess zanvel({kZanvel, "--size", "320x240", "--video", "test"}, quiet);
  if (!zanvel.WaitForLines(IsFps, 5, 30s)) {
    const auto errors = zanvel.ErrorLines();
    state.SkipWithError(("no frames: " + (errors.empty() ? std::string("-") : errors.back())).c_str());
    return;
  }
  // The serial line's bytes are read and thrown away, as a controller would take them.
  std::atomic<bool> reading{true};
  std::thread drain([&] {
    char bytes[4096];
    while (reading) {
      if (read(master, bytes, sizeof bytes) <= 0) std::this_thread::sleep_for(5ms);
    }
  });
  Send({"addi"});
  std::this_thread::sleep_for(500ms);
  Send({"addi"});
  Send({"addk"});
  Send({"stas", "source:string=" + kReceiver});
  Send({"stac", "source:string=posi"});
  Send({"smas", "source:string=" + kReceiver});
  Send({"smac", "source:string=mtch"});
  Send({"port", std::string("port:string=Zanvel")});
  Send({"lcsp", std::string("port:string=") + line});
  for (const char* code : {"ptta", "mtta", "mn2m", "mm2m", "pkdx", "ntom", "lcss"})
    Send({code, "source:bool=true"});
  std::this_thread::sleep_for(2s);  // settled

  double frames = 0, seconds = 0;
  std::map<std::string, double> groups;  // CPU seconds by group
  for (auto _ : state) {
    const size_t firstFrames = zanvel.CountLines(IsFps);
    const ThreadTimes first = ReadThreadTimes(zanvel.Pid());
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(Interval());
    const ThreadTimes last = ReadThreadTimes(zanvel.Pid());
    frames += double(zanvel.CountLines(IsFps) - firstFrames);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const auto& [tid, spent] : last.seconds) {
      const auto before = first.seconds.find(tid);
      groups[GroupOf(last.names.at(tid))] += spent - (before == first.seconds.end() ? 0 : before->second);
    }
  }
  Send({"_QRQ"});
  zanvel.WaitForExit(10s);
  reading = false;
  drain.join();
  double cpu = 0;
  for (const auto& [group, spent] : groups) {
    cpu += spent;
    state.counters[group + "_us"] = frames > 0 ? spent / frames * 1e6 : 0;
  }
  state.counters["cpu_per_frame_us"] = frames > 0 ? cpu / frames * 1e6 : 0;
  state.counters["fps"] = seconds > 0 ? frames / seconds : 0;
  state.counters["core_percent"] = seconds > 0 ? cpu / seconds * 100 : 0;
}
BENCHMARK(BM_WholeProgramCpuPerFrame)->Iterations(1)->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
