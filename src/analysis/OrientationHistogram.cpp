#include "analysis/OrientationHistogram.h"

#include <algorithm>
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

// Blocks per step of the vector loops, and per strip of columns read at a time.
constexpr int kGroup = 32;
constexpr int kStrip = 1024;
// One row of a strip: the kStrip + 1 samples of its blocks, then room for the rest of a last
// group, which the vector loops read whole.
using StripRow = uint8[kStrip + kGroup + 1];

// Marks the edge blocks between two strip rows (row y at top, row y + 1 at bottom; n blocks,
// 1 .. kStrip) with 1 in edge[], whole groups at a time, and returns how many there are.
// Blocks past n up to the end of their group are left unmarked.
ZANVEL_KERNEL int MarkEdges(const uint8* __restrict top, const uint8* __restrict bottom, int n, int firstEdge,
                            uint8* __restrict edge) {
  // The Roberts cross: d1 = I(x, y + 1) - I(x + 1, y), d2 = I(x + 1, y + 1) - I(x, y). The test
  // |d1| + |d2| >= t stays on bytes, where the vectoriser packs the most lanes: below 256 it
  // holds when |d2| >= t or |d1| >= t - |d2|; from 256 on, when |d2| >= t - 255 and
  // |d1| >= t - |d2|, which then fits a byte.
  const uint8 low = static_cast<uint8>(firstEdge);
  const uint8 least2 = static_cast<uint8>(firstEdge > 255 ? firstEdge - 255 : 0);
  uint8 tally[kGroup] = {};  // at most kStrip / kGroup = 32 each
  auto absolute = [](uint8 p, uint8 q) { return static_cast<uint8>((p > q ? p : q) - (p > q ? q : p)); };
  if (firstEdge <= 255) {
    for (int g = 0; g < n; g += kGroup) {
      const uint8* a = top + g;
      const uint8* c = bottom + g;
      for (int j = 0; j < kGroup; j++) {
        uint8 ad1 = absolute(c[j], a[j + 1]), ad2 = absolute(c[j + 1], a[j]);
        uint8 e = (ad2 >= low) | (ad1 >= static_cast<uint8>(low - ad2));
        edge[g + j] = e;
        tally[j] = static_cast<uint8>(tally[j] + e);
      }
    }
  } else {
    for (int g = 0; g < n; g += kGroup) {
      const uint8* a = top + g;
      const uint8* c = bottom + g;
      for (int j = 0; j < kGroup; j++) {
        uint8 ad1 = absolute(c[j], a[j + 1]), ad2 = absolute(c[j + 1], a[j]);
        uint8 e = (ad2 >= least2) & (ad1 >= static_cast<uint8>(low - ad2));
        edge[g + j] = e;
        tally[j] = static_cast<uint8>(tally[j] + e);
      }
    }
  }
  // The last group's blocks past n read the room after the samples: unmark them.
  const int last = (n - 1) / kGroup * kGroup;
  const uint8 inside = static_cast<uint8>(n - last);
  for (int j = 0; j < kGroup; j++) {
    uint8 outside = static_cast<uint8>(j) >= inside;
    tally[j] = static_cast<uint8>(tally[j] - (edge[last + j] & outside));
    edge[last + j] = static_cast<uint8>(edge[last + j] & (outside ^ 1));
  }
  int edges = 0;
  for (int j = 0; j < kGroup; j++) edges += tally[j];
  return edges;
}

// Counts the edge blocks between two strip rows (n blocks, 1 .. kStrip). Where edges are few,
// only the marked blocks are looked up; where they are many, every block is looked up
// without a branch, the others into the spare bin.
ZANVEL_KERNEL void CountRowPair(const uint8* __restrict top, const uint8* __restrict bottom, int n, int firstEdge,
                                const uint8* table, Counts& counts) {
  alignas(32) uint8 edge[kStrip + kGroup];
  alignas(32) uint32 index[kStrip + kGroup];
  const int edges = MarkEdges(top, bottom, n, firstEdge, edge);
  if (edges == 0) return;
  const int groups = (n + kGroup - 1) / kGroup * kGroup;
  if (edges * 4 >= n) {
    for (int g = 0; g < groups; g += kGroup) {
      const uint8* a = top + g;
      const uint8* c = bottom + g;
      for (int j = 0; j < kGroup; j++) {
        // d1 + 255 and d2 + 255 on 16 bits, so the vectoriser widens to 32 bits only once.
        uint16_t row = static_cast<uint16_t>(c[j] + 255 - a[j + 1]);
        uint16_t column = static_cast<uint16_t>(c[j + 1] + 255 - a[j]);
        uint32 at = static_cast<uint32>(row) * kSpan + column;
        index[g + j] = edge[g + j] ? at : kNotAnEdge;
      }
    }
    int i = 0;
    for (; i + kCountSets <= n; i += kCountSets)
      for (int k = 0; k < kCountSets; k++) counts[k][table[index[i + k]]]++;
    for (; i < n; i++) counts[i & (kCountSets - 1)][table[index[i]]]++;
    return;
  }
  // Eight marks at a time become eight bits, a window of 64 blocks one word to walk, so that
  // the walk leaves its loop once per window holding edges, not once per eight blocks.
  for (int i0 = 0; i0 < groups; i0 += 64) {
    uint64_t bytes[8] = {}, any = 0;
    const int words = groups - i0 < 64 ? (groups - i0) / 8 : 8;
    for (int w = 0; w < words; w++) {
      std::memcpy(&bytes[w], edge + i0 + 8 * w, sizeof bytes[w]);
      any |= bytes[w];
    }
    if (any == 0) continue;
    uint64_t marks = 0;
    // Byte k (0 or 1) of a word times this constant lands in bit 56 + k, without carries.
    for (int w = 0; w < 8; w++) marks |= ((bytes[w] * 0x0102040810204080ull) >> 56) << (8 * w);
    while (marks != 0) {
      const int i = i0 + __builtin_ctzll(marks);
      marks &= marks - 1;
      int d1 = bottom[i] - top[i + 1];
      int d2 = bottom[i + 1] - top[i];
      counts[i & (kCountSets - 1)][table[(d1 + 255) * kSpan + (d2 + 255)]]++;
    }
  }
}

ZANVEL_KERNEL void GreenBytes(const uint32* words, int count, uint8* out) {
  for (int i = 0; i < count; i++) out[i] = static_cast<uint8>(words[i] >> 8);
}

// Reads the image a strip of columns at a time into two rolling rows of samples, which leave
// the vector loops room past the last block: grey bytes copied, colour words through their
// green bytes.
void CountStrips(const Image& image, bool grey, int firstEdge, const uint8* table, Counts& counts) {
  StripRow rows[2];
  std::memset(rows, 0, sizeof rows);  // the room past the samples is read, never counted
  auto fill = [&image, grey](int y, int x0, int count, uint8* out) {
    if (grey) {
      const auto& g = static_cast<const GrayscaleImage&>(image);
      std::memcpy(out, g.grayPixels + ptrdiff_t(y) * g.bytesPerRow + x0, static_cast<size_t>(count));
    } else {
      const auto& c = static_cast<const RGBAImage&>(image);
      GreenBytes(c.rgbaPixels + ptrdiff_t(y) * (c.bytesPerRow / 4) + x0, count, out);
    }
  };
  for (int x0 = 0; x0 < image.width - 1; x0 += kStrip) {
    const int blocks = image.width - 1 - x0 < kStrip ? image.width - 1 - x0 : kStrip;
    uint8* top = rows[0];
    uint8* bottom = rows[1];
    fill(2, x0, blocks + 1, top);
    for (int y = 2; y < image.height - 1; y++) {
      fill(y + 1, x0, blocks + 1, bottom);
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
  CountStrips(image, grey, firstEdge, table, counts);
  // Adding 1.0f one block at a time stops growing at 2^24, where 2^24 + 1 rounds back down.
  for (int k = 0; k < numBins; k++) {
    uint64_t total = 0;
    for (const auto& set : counts) total += set[k];
    bins[k] = static_cast<float>(total < (uint64_t(1) << 24) ? total : (uint64_t(1) << 24));
  }
  return true;
}

OrientationHistogram::OrientationHistogram(const float* bins_, int numBins_)
    : bins(nullptr), numBins(numBins_ < 1 ? 1 : numBins_) {
  bins = new float[static_cast<size_t>(numBins)]();
  if (bins_ != nullptr) std::copy(bins_, bins_ + numBins_, bins);
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
