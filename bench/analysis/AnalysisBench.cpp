// Costs of the per-frame analysis: histogram, smoothing, blending, matching and interpolation.
// Each BM_X_Reference times the plain per-pixel version of BM_X on the same input; the table
// prints their ratio as a speedup row.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
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

// The loop the histogram's table replaces, at its plainest: bytes read straight from the frame
// words, atan2 in double per edge block, then the same binning, blur and scale.
std::vector<float> ByteLoopHistogram(const std::vector<uint32_t>& frame, int w, int h, float threshold,
                                     int numBins) {
  constexpr double kMinusQuarterPi = -0.7853981633974483;
  constexpr double kTwoPi = 6.283185307179586;
  std::vector<float> counts(static_cast<size_t>(numBins), 0.0f);
  auto green = [&frame, w](int x, int y) { return static_cast<int>((frame[size_t(y) * w + x] >> 8) & 0xFF); };
  for (int y = 2; y < h - 1; y++) {
    for (int x = 0; x < w - 1; x++) {
      const int d1 = green(x, y + 1) - green(x + 1, y);
      const int d2 = green(x + 1, y + 1) - green(x, y);
      if (static_cast<float>(std::abs(d1) + std::abs(d2)) <= threshold) continue;
      long double theta = static_cast<long double>(std::atan2(double(d1), double(d2))) + kMinusQuarterPi;
      if (theta < 0) theta += kTwoPi;
      int bin = static_cast<int>(theta / kTwoPi * numBins + 0.5L);
      if (bin >= numBins) bin -= numBins;
      counts[static_cast<size_t>(bin)] += 1.0f;
    }
  }
  auto at = [&counts, numBins](int i) { return counts[static_cast<size_t>((i % numBins + numBins) % numBins)]; };
  std::vector<float> bins(static_cast<size_t>(numBins));
  float peak = 0.0f;
  for (int i = 0; i < numBins; i++) {
    bins[size_t(i)] = (at(i - 2) + 4 * at(i - 1) + 6 * at(i) + 4 * at(i + 1) + at(i + 2)) * 0.0625f;
    peak = std::max(peak, bins[size_t(i)]);
  }
  if (peak > 0.0f)
    for (float& b : bins) b /= peak;
  return bins;
}

// BM_Histogram{Natural,AllEdges}ByteLoop time the histogram again under a name of their own,
// so that the table sets it against the byte loop in a speedup row.
std::vector<uint32_t> FrameFor(bool allEdges, int w, int h) {
  return allEdges ? bench_frames::EdgeFrame(w, h) : bench_frames::NaturalFrame(w, h);
}

void HistogramOf(benchmark::State& state, bool allEdges) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  auto frame = FrameFor(allEdges, w, h);
  RGBAImage image(frame.data(), w, h, w * 4);
  for (auto _ : state) {
    OrientationHistogram histogram(image, kThreshold, kBins);
    benchmark::DoNotOptimize(histogram.bins[0]);
  }
  state.SetItemsProcessed(state.iterations() * w * h);
}

void ByteLoopOf(benchmark::State& state, bool allEdges) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  auto frame = FrameFor(allEdges, w, h);
  RGBAImage image(frame.data(), w, h, w * 4);
  OrientationHistogram histogram(image, kThreshold, kBins);
  if (ByteLoopHistogram(frame, w, h, kThreshold, kBins) !=
      std::vector<float>(histogram.bins, histogram.bins + histogram.numBins)) {
    state.SkipWithError("the byte loop and the histogram disagree");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(ByteLoopHistogram(frame, w, h, kThreshold, kBins));
  state.SetItemsProcessed(state.iterations() * w * h);
}

BENCHMARK_CAPTURE(HistogramOf, natural, false)->Name("BM_HistogramNaturalByteLoop")->Args({320, 240});
BENCHMARK_CAPTURE(ByteLoopOf, natural, false)->Name("BM_HistogramNaturalByteLoop_Reference")->Args({320, 240});
BENCHMARK_CAPTURE(HistogramOf, allEdges, true)->Name("BM_HistogramAllEdgesByteLoop")->Args({320, 240});
BENCHMARK_CAPTURE(ByteLoopOf, allEdges, true)->Name("BM_HistogramAllEdgesByteLoop_Reference")->Args({320, 240});

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
