#include "analysis/OrientationHistogram.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <typeinfo>
#include <utility>
#include <vector>

#include "analysis/GrayscaleImage.h"
#include "analysis/KernelTargets.h"
#include "analysis/RGBAImage.h"

namespace {

constexpr double kMinusQuarterPi = -0.7853981633974483;
constexpr double kTwoPi = 6.283185307179586;

// The bin of one edge block from its two diagonal differences. Every path goes through this
// one expression, so the table below cannot disagree with the per-block computation.
// The angle is taken in double: the differences are exact there, and a direction at a
// multiple of 45 degrees then lands exactly on its sector's centre or edge. Float's pi / 2 is
// rounded up, which tipped such edges into the neighbouring bin, so that opposite edges were
// not always half the circle apart.
inline int BinOf(double d1, double d2, int numBins) {
  long double theta = static_cast<long double>(std::atan2(d1, d2)) + kMinusQuarterPi;
  if (theta < 0) theta += kTwoPi;
  // Each bin owns a full sector centred on its angle, so directions within half a sector
  // below 2 pi belong to bin 0.
  int bin = static_cast<int>(theta / kTwoPi * numBins + 0.5L);
  if (bin >= numBins) bin -= numBins;
  if (bin < 0) bin = 0;
  return bin;
}

// Differences of 8-bit samples lie in -255..255: a table of 511 x 511 bins, indexed by
// (d1 + 255) * 511 + (d2 + 255), replaces the atan2 per edge block. One more entry past the
// end names a spare bin that blocks below the threshold may be counted into.
constexpr int kSpan = 511;
constexpr int kMaxTableBins = 255;
constexpr uint32 kNotAnEdge = kSpan * kSpan;
constexpr uint8 kSpareBin = kMaxTableBins;

// The table for a bin count (1 .. kMaxTableBins), built on first use and kept for the life of
// the process (about 255 KiB per bin count ever used).
const uint8* BinTable(int numBins) {
  static std::atomic<const uint8*> tables[kMaxTableBins + 1];
  static std::mutex building;
  const uint8* table = tables[numBins].load(std::memory_order_acquire);
  if (table != nullptr) return table;
  std::lock_guard<std::mutex> hold(building);
  table = tables[numBins].load(std::memory_order_relaxed);
  if (table != nullptr) return table;
  auto* fresh = new uint8[size_t(kNotAnEdge) + 1];
  fresh[kNotAnEdge] = kSpareBin;
  for (int d1 = -255; d1 <= 255; d1++)
    for (int d2 = -255; d2 <= 255; d2++)
      fresh[(d1 + 255) * kSpan + (d2 + 255)] =
          static_cast<uint8>(BinOf(d1, d2, numBins));
  tables[numBins].store(fresh, std::memory_order_release);
  return fresh;
}

// The smallest contrast |d1| + |d2| (0 .. 510) that counts as an edge under the threshold,
// found with the very comparison the per-block test makes; 511 when none does. A NaN
// threshold lets every block through, as the comparison does.
int FirstEdgeContrast(float contrastThreshold) {
  for (int s = 0; s <= 510; s++)
    if (!(static_cast<float>(s) <= contrastThreshold)) return s;
  return 511;
}

// Successive blocks count into different sets, so that increments of one bin do not wait
// for each other.
constexpr int kCountSets = 8;
using Counts = uint32[kCountSets][kMaxTableBins + 1];

// Counts the edge blocks between two rows of samples (row y at top, row y + 1 at bottom; n
// blocks, n + 1 samples each). A branch-free pass marks the edge blocks; where they are few,
// only the marked ones are looked up, and where they are many, every block is looked up
// without a branch, the others into the spare bin.
ZANVEL_KERNEL void CountRowPair(const uint8* top, const uint8* bottom, int n, int firstEdge, const uint8* table,
                  Counts& counts) {
  constexpr int kChunk = 1024;
  uint8 edge[kChunk];
  uint32 index[kChunk];
  const uint16_t limit = static_cast<uint16_t>(firstEdge);
  for (int x0 = 0; x0 < n; x0 += kChunk) {
    const int m = n - x0 < kChunk ? n - x0 : kChunk;
    const uint8* a = top + x0;
    const uint8* c = bottom + x0;
    int edges = 0;
    for (int i = 0; i < m; i++) {
      // The Roberts cross: d1 = I(x, y + 1) - I(x + 1, y), d2 = I(x + 1, y + 1) - I(x, y).
      // Absolute differences on bytes and their sum on 16 bits, so the vectoriser packs lanes.
      uint8 b1 = a[i + 1], c1 = c[i], a2 = a[i], d2 = c[i + 1];
      uint8 ad1 = static_cast<uint8>(c1 > b1 ? c1 - b1 : b1 - c1);
      uint8 ad2 = static_cast<uint8>(d2 > a2 ? d2 - a2 : a2 - d2);
      uint16_t contrast = static_cast<uint16_t>(ad1 + ad2);
      edge[i] = contrast >= limit ? 1 : 0;
      edges += edge[i];
    }
    if (edges == 0) continue;
    if (edges * 8 >= m) {
      for (int i = 0; i < m; i++) {
        int d1 = c[i] - a[i + 1];
        int d2 = c[i + 1] - a[i];
        index[i] = edge[i] ? static_cast<uint32>((d1 + 255) * kSpan + (d2 + 255)) : kNotAnEdge;
      }
      int i = 0;
      for (; i + kCountSets <= m; i += kCountSets)
        for (int k = 0; k < kCountSets; k++) counts[k][table[index[i + k]]]++;
      for (; i < m; i++) counts[i & (kCountSets - 1)][table[index[i]]]++;
      continue;
    }
    for (int i0 = 0; i0 < m; i0 += 8) {
      const int k = m - i0 < 8 ? m - i0 : 8;
      uint64_t word = 0;
      std::memcpy(&word, edge + i0, static_cast<size_t>(k));
      if (word == 0) continue;
      for (int i = i0; i < i0 + k; i++) {
        if (edge[i] == 0) continue;
        int d1 = c[i] - a[i + 1];
        int d2 = c[i + 1] - a[i];
        counts[i & (kCountSets - 1)][table[(d1 + 255) * kSpan + (d2 + 255)]]++;
      }
    }
  }
}

void CountGrey(const GrayscaleImage& image, int firstEdge, const uint8* table, Counts& counts) {
  for (int y = 2; y < image.height - 1; y++) {
    const uint8* top = image.grayPixels + ptrdiff_t(y) * image.bytesPerRow;
    CountRowPair(top, top + image.bytesPerRow, image.width - 1, firstEdge, table, counts);
  }
}

ZANVEL_KERNEL void GreenBytes(const uint32* words, int count, uint8* out) {
  for (int i = 0; i < count; i++) out[i] = static_cast<uint8>(words[i] >> 8);
}

// Colour images are read through their green bytes, gathered a strip of columns at a time
// into two rolling rows.
void CountColour(const RGBAImage& image, int firstEdge, const uint8* table, Counts& counts) {
  constexpr int kStrip = 1024;
  uint8 rows[2][kStrip + 1];
  const ptrdiff_t stride = image.bytesPerRow / 4;
  auto green = [&image, stride](int y, int x0, int count, uint8* out) {
    GreenBytes(image.rgbaPixels + y * stride + x0, count, out);
  };
  for (int x0 = 0; x0 < image.width - 1; x0 += kStrip) {
    const int blocks = image.width - 1 - x0 < kStrip ? image.width - 1 - x0 : kStrip;
    uint8* top = rows[0];
    uint8* bottom = rows[1];
    green(2, x0, blocks + 1, top);
    for (int y = 2; y < image.height - 1; y++) {
      green(y + 1, x0, blocks + 1, bottom);
      CountRowPair(top, bottom, blocks, firstEdge, table, counts);
      std::swap(top, bottom);
    }
  }
}

}  // namespace

OrientationHistogram::OrientationHistogram(Image& image, float contrastThreshold, int numBins_)
    : bins(nullptr), numBins(numBins_ < 1 ? 1 : numBins_) {
  bins = new float[static_cast<size_t>(numBins)]();
  if (!CountFast(image, contrastThreshold)) CountGeneric(image, contrastThreshold);
  BlurAndScale();
}

void OrientationHistogram::CountGeneric(const Image& image, float contrastThreshold) {
  // Roberts cross over 2 x 2 blocks; rows 0 and 1 never contribute.
  for (int x = 0; x < image.width - 1; x++) {
    for (int y = 2; y < image.height - 1; y++) {
      float d1 = image.I(x, y + 1) - image.I(x + 1, y);
      float d2 = image.I(x + 1, y + 1) - image.I(x, y);
      if (std::fabs(d1) + std::fabs(d2) <= contrastThreshold) continue;
      bins[BinOf(d1, d2, numBins)] += 1.0f;
    }
  }
}

bool OrientationHistogram::CountFast(const Image& image, float contrastThreshold) {
  // Only the two pixel classes whose I() is known here; a subclass may read pixels otherwise.
  const std::type_info& type = typeid(image);
  const bool grey = type == typeid(GrayscaleImage);
  if (!grey && type != typeid(RGBAImage)) return false;
  if (numBins > kMaxTableBins) return false;
  if (image.width < 2 || image.height < 4) return true;  // no blocks at all
  // Counts are 32-bit; a larger image goes the generic way.
  if (int64(image.width - 1) * (image.height - 3) > int64(UINT32_MAX)) return false;

  const int firstEdge = FirstEdgeContrast(contrastThreshold);
  if (firstEdge > 510) return true;  // no contrast can pass
  const uint8* table = BinTable(numBins);
  Counts counts = {};
  if (grey)
    CountGrey(static_cast<const GrayscaleImage&>(image), firstEdge, table, counts);
  else
    CountColour(static_cast<const RGBAImage&>(image), firstEdge, table, counts);
  // Adding 1.0f one block at a time stops growing at 2^24, where 2^24 + 1 rounds back down.
  for (int k = 0; k < numBins; k++) {
    uint64_t total = 0;
    for (const auto& set : counts) total += set[k];
    bins[k] = static_cast<float>(total < (uint64_t(1) << 24) ? total : (uint64_t(1) << 24));
  }
  return true;
}

OrientationHistogram::~OrientationHistogram() { delete[] bins; }

void OrientationHistogram::Normalize() {}

void OrientationHistogram::BlurInto(float* scratch) const {
  const int n = numBins;
  auto at = [this, n](int i) { return bins[((i % n) + n) % n]; };
  for (int i = 0; i < n; i++)
    scratch[i] = (at(i - 2) + 4 * at(i - 1) + 6 * at(i) + 4 * at(i + 1) + at(i + 2)) * 0.0625f;
}

namespace {
// Scratch bins on the stack for the usual counts, on the heap beyond.
class BinScratch {
 public:
  explicit BinScratch(int n) {
    if (n > kMaxTableBins) fHeap.resize(static_cast<size_t>(n));
  }
  float* data() { return fHeap.empty() ? fStack : fHeap.data(); }

 private:
  float fStack[kMaxTableBins];
  std::vector<float> fHeap;
};
}  // namespace

void OrientationHistogram::Blur() {
  BinScratch scratch(numBins);
  BlurInto(scratch.data());
  for (int i = 0; i < numBins; i++) bins[i] = scratch.data()[i];
}

void OrientationHistogram::BlurAndScale() {
  BinScratch buffer(numBins);
  float* scratch = buffer.data();
  BlurInto(scratch);
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
