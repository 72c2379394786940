#include "ReferenceAnalysis.h"

#include <cmath>
#include <limits>

namespace reference {

namespace {

constexpr double kMinusQuarterPi = -0.7853981633974483;
constexpr double kTwoPi = 6.283185307179586;

inline uint32 Channel(uint32 word, int shift) { return (word >> shift) & 0xff; }

inline uint32 Binomial(uint32 a, uint32 b, uint32 c, uint32 d, uint32 e) {
  uint32 out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    uint32 sum = Channel(a, shift) + 4 * Channel(b, shift) + 6 * Channel(c, shift) +
                 4 * Channel(d, shift) + Channel(e, shift);
    out |= (sum >> 4) << shift;
  }
  return out;
}

}  // namespace

std::vector<float> HistogramBins(const Image& image, float contrastThreshold, int numBins) {
  if (numBins < 1) numBins = 1;
  std::vector<float> bins(static_cast<size_t>(numBins), 0.0f);
  for (int x = 0; x < image.width - 1; x++) {
    for (int y = 2; y < image.height - 1; y++) {
      float d1 = image.I(x, y + 1) - image.I(x + 1, y);
      float d2 = image.I(x + 1, y + 1) - image.I(x, y);
      if (std::fabs(d1) + std::fabs(d2) <= contrastThreshold) continue;
      // The angle in double, from the differences exactly.
      long double theta =
          static_cast<long double>(std::atan2(static_cast<double>(d1), static_cast<double>(d2))) +
          kMinusQuarterPi;
      if (theta < 0) theta += kTwoPi;
      int bin = static_cast<int>(theta / kTwoPi * numBins + 0.5L);
      if (bin >= numBins) bin -= numBins;
      if (bin < 0) bin = 0;
      bins[static_cast<size_t>(bin)] += 1.0f;
    }
  }

  const int n = numBins;
  auto at = [&bins, n](int i) { return bins[static_cast<size_t>(((i % n) + n) % n)]; };
  std::vector<float> blurred(static_cast<size_t>(n));
  for (int i = 0; i < n; i++)
    blurred[static_cast<size_t>(i)] =
        (at(i - 2) + 4 * at(i - 1) + 6 * at(i) + 4 * at(i + 1) + at(i + 2)) * 0.0625f;
  float peak = 0.0f;
  for (float v : blurred)
    if (v > peak) peak = v;
  if (peak > 0.0f)
    for (int i = 0; i < n; i++) bins[static_cast<size_t>(i)] = blurred[static_cast<size_t>(i)] / peak;
  return bins;
}

void Smooth(GrayscaleImage& image) {
  const int width = image.width, height = image.height, bytesPerRow = image.bytesPerRow;
  uint8* pixels = image.grayPixels;
  if (width <= 0 || height <= 0) return;
  std::vector<uint8> row(static_cast<size_t>(width));
  std::vector<uint8> column(static_cast<size_t>(height));
  std::vector<uint8> filtered(static_cast<size_t>(height));
  for (int y = 0; y < height; y++) {
    uint8* p = pixels + y * bytesPerRow;
    for (int x = 2; x < width - 2; x++)
      row[x] = static_cast<uint8>((p[x - 2] + 4 * p[x - 1] + 6 * p[x] + 4 * p[x + 1] + p[x + 2]) >> 4);
    for (int x = 2; x < width - 2; x++) p[x] = row[x];
  }
  for (int x = 0; x < width; x++) {
    for (int y = 0; y < height; y++) column[y] = pixels[y * bytesPerRow + x];
    for (int y = 2; y < height - 2; y++)
      filtered[y] = static_cast<uint8>((column[y - 2] + 4 * column[y - 1] + 6 * column[y] +
                                        4 * column[y + 1] + column[y + 2]) >> 4);
    for (int y = 2; y < height - 2; y++) pixels[y * bytesPerRow + x] = filtered[y];
  }
}

void Smooth(RGBAImage& image) {
  const int width = image.width, height = image.height, stride = image.bytesPerRow / 4;
  uint32* pixels = image.rgbaPixels;
  if (width <= 0 || height <= 0) return;
  std::vector<uint32> row(static_cast<size_t>(width));
  std::vector<uint32> column(static_cast<size_t>(height));
  std::vector<uint32> filtered(static_cast<size_t>(height));
  for (int y = 0; y < height; y++) {
    uint32* p = pixels + y * stride;
    for (int x = 2; x < width - 2; x++) row[x] = Binomial(p[x - 2], p[x - 1], p[x], p[x + 1], p[x + 2]);
    for (int x = 2; x < width - 2; x++) p[x] = row[x];
  }
  for (int x = 0; x < width; x++) {
    for (int y = 0; y < height; y++) column[y] = pixels[y * stride + x];
    for (int y = 2; y < height - 2; y++)
      filtered[y] = Binomial(column[y - 2], column[y - 1], column[y], column[y + 1], column[y + 2]);
    for (int y = 2; y < height - 2; y++) pixels[y * stride + x] = filtered[y];
  }
}

void Blend(GrayscaleImage& image, const GrayscaleImage& other, float alpha) {
  if (alpha > 1.0f) alpha = 1.0f;
  if (alpha < 0.0f) alpha = 0.0f;
  if (!image.SameLayout(other)) return;
  const long double keep = 1.0L - alpha;
  const long double take = alpha;
  for (int y = 0; y < image.height; y++) {
    for (int x = 0; x < image.width; x++) {
      int i = y * image.bytesPerRow + x;
      float mixed = static_cast<float>(keep * image.grayPixels[i] + take * other.grayPixels[i]);
      image.grayPixels[i] = static_cast<uint8>(mixed);
    }
  }
}

void Blend(RGBAImage& image, const RGBAImage& other, float alpha) {
  if (alpha > 1.0f) alpha = 1.0f;
  if (alpha < 0.0f) alpha = 0.0f;
  if (!image.SameLayout(other)) return;
  const long double keep = 1.0L - alpha;
  const long double take = alpha;
  auto mix = [keep, take](uint32 a, uint32 b) {
    return static_cast<uint32>(static_cast<uint8>(static_cast<float>(keep * a + take * b)));
  };
  const int stride = image.bytesPerRow / 4;
  for (int y = 0; y < image.height; y++) {
    for (int x = 0; x < image.width; x++) {
      int i = y * stride + x;
      uint32 a = image.rgbaPixels[i], b = other.rgbaPixels[i];
      image.rgbaPixels[i] = mix(Channel(a, 0), Channel(b, 0)) | (mix(Channel(a, 8), Channel(b, 8)) << 8) |
                            (mix(Channel(a, 16), Channel(b, 16)) << 16);
    }
  }
}

int Match(const OrientationHistogram& probe, const std::vector<OrientationHistogram*>& examples) {
  float best = std::numeric_limits<float>::infinity();
  int index = -1;
  for (size_t i = 0; i < examples.size(); i++) {
    float d = probe.Distance(*examples[i]);
    if (d < best) {
      best = d;
      index = static_cast<int>(i);
    }
  }
  return index;
}

}  // namespace reference
