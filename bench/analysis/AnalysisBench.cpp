// Costs of the per-frame analysis: histogram, smoothing, blending, matching and interpolation.
// Each BM_X_Reference times the plain per-pixel version of BM_X on the same input; the table
// prints their ratio as a speedup row.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Frames.h"
#include "ReferenceAnalysis.h"
#include "analysis/GrayscaleImage.h"
#include "analysis/MultiInterpolator.h"
#include "analysis/OrientationHistogram.h"
#include "analysis/RGBAImage.h"
#include "analysis/TrainingSet.h"

namespace {

constexpr int kBins = 36;
constexpr float kThreshold = 20.0f;

void Sizes(benchmark::internal::Benchmark* b) {
  b->Args({320, 240})->Args({160, 120})->Args({80, 60});
}

void BM_HistogramNatural(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  auto frame = bench_frames::NaturalFrame(w, h);
  RGBAImage image(frame.data(), w, h, w * 4);
  for (auto _ : state) {
    OrientationHistogram histogram(image, kThreshold, kBins);
    benchmark::DoNotOptimize(histogram.bins[0]);
  }
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_HistogramNatural)->Apply(Sizes);

void BM_HistogramNatural_Reference(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  auto frame = bench_frames::NaturalFrame(w, h);
  RGBAImage image(frame.data(), w, h, w * 4);
  for (auto _ : state) benchmark::DoNotOptimize(reference::HistogramBins(image, kThreshold, kBins));
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_HistogramNatural_Reference)->Apply(Sizes);

void BM_HistogramAllEdges(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  auto frame = bench_frames::EdgeFrame(w, h);
  RGBAImage image(frame.data(), w, h, w * 4);
  for (auto _ : state) {
    OrientationHistogram histogram(image, kThreshold, kBins);
    benchmark::DoNotOptimize(histogram.bins[0]);
  }
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_HistogramAllEdges)->Apply(Sizes);

void BM_HistogramAllEdges_Reference(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  auto frame = bench_frames::EdgeFrame(w, h);
  RGBAImage image(frame.data(), w, h, w * 4);
  for (auto _ : state) benchmark::DoNotOptimize(reference::HistogramBins(image, kThreshold, kBins));
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_HistogramAllEdges_Reference)->Apply(Sizes);

void BM_Smooth(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  auto original = bench_frames::NaturalFrame(w, h);
  auto frame = original;
  RGBAImage image(frame.data(), w, h, w * 4);
  for (auto _ : state) {
    state.PauseTiming();
    frame = original;  // smoothing converges, so start from the same picture each time
    state.ResumeTiming();
    image.Smooth();
    benchmark::DoNotOptimize(frame[w + 2]);
  }
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_Smooth)->Apply(Sizes);

void BM_Smooth_Reference(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  auto original = bench_frames::NaturalFrame(w, h);
  auto frame = original;
  RGBAImage image(frame.data(), w, h, w * 4);
  for (auto _ : state) {
    state.PauseTiming();
    frame = original;
    state.ResumeTiming();
    reference::Smooth(image);
    benchmark::DoNotOptimize(frame[w + 2]);
  }
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_Smooth_Reference)->Apply(Sizes);

void BM_Blend(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  auto current = bench_frames::NaturalFrame(w, h, 1);
  auto previous = bench_frames::NaturalFrame(w, h, 2);
  RGBAImage now(current.data(), w, h, w * 4);
  RGBAImage past(previous.data(), w, h, w * 4);
  for (auto _ : state) {
    now.Blend(past, 0.6f);
    past = now;
    benchmark::DoNotOptimize(current[0]);
  }
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_Blend)->Apply(Sizes);

void BM_Blend_Reference(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  auto current = bench_frames::NaturalFrame(w, h, 1);
  auto previous = bench_frames::NaturalFrame(w, h, 2);
  RGBAImage now(current.data(), w, h, w * 4);
  RGBAImage past(previous.data(), w, h, w * 4);
  for (auto _ : state) {
    reference::Blend(now, past, 0.6f);
    past = now;
    benchmark::DoNotOptimize(current[0]);
  }
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_Blend_Reference)->Apply(Sizes);

// Random histograms with a peak of 1, as real ones have.
void FillBins(OrientationHistogram& histogram, bench_frames::Lcg& rng) {
  float peak = 0.0f;
  for (int i = 0; i < histogram.numBins; i++) {
    histogram.bins[i] = rng.Unit();
    if (histogram.bins[i] > peak) peak = histogram.bins[i];
  }
  for (int i = 0; i < histogram.numBins; i++) histogram.bins[i] /= peak;
}

GrayscaleImage* TinyOwnedImage() {
  void* pixels = std::calloc(16, 1);
  return new GrayscaleImage(pixels, 4, 4, 4);
}

void BM_Match(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TrainingSet set(kThreshold, kBins);
  bench_frames::Lcg rng(7);
  for (int i = 0; i < n; i++) {
    set.Add(TinyOwnedImage());
    FillBins(*set.histograms.back(), rng);
  }
  uint8 blank = 0;
  GrayscaleImage probeImage(&blank, 1, 1, 1);
  OrientationHistogram probe(probeImage, kThreshold, kBins);
  FillBins(probe, rng);
  for (auto _ : state) benchmark::DoNotOptimize(set.Match(probe));
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Match)->Arg(100)->Arg(1000)->Arg(10000);

void BM_Match_Reference(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TrainingSet set(kThreshold, kBins);
  bench_frames::Lcg rng(7);
  for (int i = 0; i < n; i++) {
    set.Add(TinyOwnedImage());
    FillBins(*set.histograms.back(), rng);
  }
  uint8 blank = 0;
  GrayscaleImage probeImage(&blank, 1, 1, 1);
  OrientationHistogram probe(probeImage, kThreshold, kBins);
  FillBins(probe, rng);
  for (auto _ : state) {
    BAutolock hold(&set);
    benchmark::DoNotOptimize(reference::Match(probe, set.histograms));
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Match_Reference)->Arg(100)->Arg(1000)->Arg(10000);

KeyFrame* RandomKeyFrame(bench_frames::Lcg& rng, const std::string& name) {
  uint8 blank = 0;
  GrayscaleImage probeImage(&blank, 1, 1, 1);
  auto* histogram = new OrientationHistogram(probeImage, kThreshold, kBins);
  FillBins(*histogram, rng);
  float values[3] = {rng.Unit(), rng.Unit(), rng.Unit()};
  return new KeyFrame(TinyOwnedImage(), histogram, values, 3, name);
}

void BM_Interpolate(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  MultiInterpolator set(kThreshold, kBins, 3, 1.0f);
  bench_frames::Lcg rng(11);
  for (int i = 0; i < n; i++) set.AddKeyFrame(RandomKeyFrame(rng, std::to_string(i)));
  std::unique_ptr<KeyFrame> probe(RandomKeyFrame(rng, "probe"));
  float out[3];
  for (auto _ : state) {
    set.Interpolate(probe->histogram, out);
    benchmark::DoNotOptimize(out[0]);
  }
  probe->image->FreePixels();
  delete probe->image;
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Interpolate)->Arg(10)->Arg(100);

// Adding the n-th key frame: one histogram, then every interpolator solved again (n x n).
void BM_AddKeyFrameResolve(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  MultiInterpolator set(kThreshold, kBins, 3, 1.0f);
  bench_frames::Lcg rng(13);
  for (int i = 0; i < n - 1; i++) set.AddKeyFrame(RandomKeyFrame(rng, std::to_string(i)));
  for (auto _ : state) {
    state.PauseTiming();
    KeyFrame* extra = RandomKeyFrame(rng, "extra");
    state.ResumeTiming();
    set.AddKeyFrame(extra);
    state.PauseTiming();
    set.DeleteKeyFrame("extra");
    state.ResumeTiming();
  }
}
BENCHMARK(BM_AddKeyFrameResolve)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
