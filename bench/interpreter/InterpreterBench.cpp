// One analysed frame at 320 × 240 against 100 examples and 16 key frames, outputs off,
// views shown (so every drawing happens).

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "Pictures.h"
#include "analysis/RGBAImage.h"
#include "platform/interface/BView.h"
#include "platform/interface/BWindow.h"
#include "interpreter/ImageInterpreter.h"

namespace {
constexpr int kWidth = 320, kHeight = 240;

void FillStripes(std::vector<uint32>& pixels, double angle, double period) {
  bench_pictures::FillStripes(pixels, kWidth, kHeight, angle, period);
}
using bench_pictures::QuietStdout;

void BM_InterpretFrame(benchmark::State& state) {
  BWindow window(BRect(0, 0, 799, 299), "Control");
  auto* histo = new BView(BRect(0, 0, 63, 63), "histo");
  auto* keyframe = new BView(BRect(70, 0, 70 + kWidth - 1, kHeight - 1), "keyframe");
  auto* matched = new BView(BRect(400, 0, 400 + kWidth - 1, kHeight - 1), "matched");
  for (BView* v : {histo, keyframe, matched}) window.AddChild(v);
  window.Show();
  ImageInterpreter interpreter(histo, keyframe, matched, B_RGB32);

  std::vector<uint32> pixels(size_t(kWidth) * kHeight);
  RGBAImage frame(pixels.data(), kWidth, kHeight, kWidth * 4);
  QuietStdout quiet;
  for (int i = 0; i < 100; ++i) {
    FillStripes(pixels, i * 0.0314, 8 + i % 7);
    interpreter.SaveNextImageToMatcher();
    interpreter.Interpret(&frame);
  }
  for (int i = 0; i < 16; ++i) {
    FillStripes(pixels, i * 0.196, 11);
    interpreter.SaveNextImageAsKeyframe();
    interpreter.Interpret(&frame);
  }
  FillStripes(pixels, 0.5, 9);
  for (auto _ : state) interpreter.Interpret(&frame);
  state.counters["examples"] = interpreter.CountExamples();
  state.counters["keyframes"] = interpreter.CountKeyFrames();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InterpretFrame)->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
