#include "analysis/OrientationHistogram.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace {
constexpr double kMinusQuarterPi = -0.7853981633974483;
constexpr double kTwoPi = 6.283185307179586;
}  // namespace

OrientationHistogram::OrientationHistogram(Image& image, float contrastThreshold, int numBins_)
    : bins(nullptr), numBins(numBins_ < 1 ? 1 : numBins_) {
  bins = new float[static_cast<size_t>(numBins)]();

  // Roberts cross over 2 x 2 blocks; rows 0 and 1 never contribute.
  for (int x = 0; x < image.width - 1; x++) {
    for (int y = 2; y < image.height - 1; y++) {
      float d1 = image.I(x, y + 1) - image.I(x + 1, y);
      float d2 = image.I(x + 1, y + 1) - image.I(x, y);
      if (std::fabs(d1) + std::fabs(d2) <= contrastThreshold) continue;

      long double theta = static_cast<long double>(std::atan2(d1, d2)) + kMinusQuarterPi;
      if (theta < 0) theta += kTwoPi;
      // Each bin owns a full sector centred on its angle, so directions within half a sector
      // below 2 pi belong to bin 0.
      int bin = static_cast<int>(theta / kTwoPi * numBins + 0.5L);
      if (bin >= numBins) bin -= numBins;
      if (bin < 0) bin = 0;
      bins[bin] += 1.0f;
    }
  }
  BlurAndScale();
}

OrientationHistogram::~OrientationHistogram() { delete[] bins; }

void OrientationHistogram::Normalize() {}

void OrientationHistogram::BlurInto(float* scratch) const {
  const int n = numBins;
  auto at = [this, n](int i) { return bins[((i % n) + n) % n]; };
  for (int i = 0; i < n; i++)
    scratch[i] = (at(i - 2) + 4 * at(i - 1) + 6 * at(i) + 4 * at(i + 1) + at(i + 2)) * 0.0625f;
}

void OrientationHistogram::Blur() {
  std::vector<float> scratch(static_cast<size_t>(numBins));
  BlurInto(scratch.data());
  for (int i = 0; i < numBins; i++) bins[i] = scratch[i];
}

void OrientationHistogram::BlurAndScale() {
  std::vector<float> scratch(static_cast<size_t>(numBins));
  BlurInto(scratch.data());
  float peak = 0.0f;
  for (int i = 0; i < numBins; i++)
    if (scratch[i] > peak) peak = scratch[i];
  if (peak > 0.0f)
    for (int i = 0; i < numBins; i++) bins[i] = scratch[i] / peak;
}

float OrientationHistogram::DistanceSquared(const OrientationHistogram& other) const {
  if (other.numBins != numBins) return std::numeric_limits<float>::infinity();
  long double sum = 0.0L;
  for (int i = 0; i < numBins; i++) {
    long double d = static_cast<long double>(other.bins[i]) - bins[i];
    sum += d * d;
  }
  return static_cast<float>(sum);
}

float OrientationHistogram::Distance(const OrientationHistogram& other) const {
  return std::sqrt(DistanceSquared(other));
}

void OrientationHistogram::Print() const {
  std::printf("OrientationHistogram: ");
  float sum = 0.0f;
  for (int i = 0; i < numBins; i++) {
    std::printf("%4.2f ", static_cast<double>(bins[i]));
    sum += bins[i];
  }
  std::printf("\n");
  std::printf("sum=%f\n", static_cast<double>(sum));
}

float OrientationHistogram::FindPeak() const {
  float peak = 0.0f;
  int index = -1;
  for (int i = 0; i < numBins; i++) {
    if (bins[i] > peak) {
      peak = bins[i];
      index = i;
    }
  }
  if (index < 0) return -1.0f;
  return static_cast<float>(kTwoPi * index / numBins);
}

void OrientationHistogram::Fold() {
  const int half = numBins / 2;
  for (int i = 0; i < half; i++) {
    bins[i] += bins[i + half];
    bins[i + half] = 0.0f;
  }
}
