#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "AnalysisTestUtil.h"

using analysis_test::BinsOf;
using analysis_test::HistogramOf;

namespace {

constexpr float kTol = 1e-6f;

void ExpectBins(const OrientationHistogram& h, const std::vector<float>& expected) {
  ASSERT_EQ(h.numBins, static_cast<int>(expected.size()));
  for (size_t i = 0; i < expected.size(); i++) EXPECT_NEAR(h.bins[i], expected[i], kTol) << "bin " << i;
}

// A grey image filled by f(x, y).
template <typename F>
std::vector<uint8> Fill(int w, int h, F f) {
  std::vector<uint8> pixels(static_cast<size_t>(w * h));
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) pixels[y * w + x] = static_cast<uint8>(f(x, y));
  return pixels;
}

TEST(HistogramEdges, VerticalEdgeFallsInBinSixOfEight) {
  auto pixels = Fill(8, 8, [](int x, int) { return x < 4 ? 0 : 100; });
  GrayscaleImage g(pixels.data(), 8, 8, 8);
  OrientationHistogram h(g, 20.0f, 8);
  ExpectBins(h, {1.0f / 6, 0, 0, 0, 1.0f / 6, 2.0f / 3, 1, 2.0f / 3});
}

TEST(HistogramEdges, HorizontalEdgeFallsInBinZero) {
  auto pixels = Fill(8, 8, [](int, int y) { return y < 4 ? 0 : 100; });
  GrayscaleImage g(pixels.data(), 8, 8, 8);
  OrientationHistogram h(g, 20.0f, 8);
  ExpectBins(h, {1, 2.0f / 3, 1.0f / 6, 0, 0, 0, 1.0f / 6, 2.0f / 3});
}

TEST(HistogramEdges, ColourImagesUseTheGreenByte) {
  // Red and blue carry a strong edge, green none: nothing counts.
  std::vector<uint32> pixels(64);
  for (int i = 0; i < 64; i++) pixels[i] = (i % 8) < 4 ? 0x00000000u : 0x00FF00FFu;
  RGBAImage c(pixels.data(), 8, 8, 32);
  OrientationHistogram none(c, 20.0f, 8);
  ExpectBins(none, std::vector<float>(8, 0.0f));
  for (int i = 0; i < 64; i++) pixels[i] = (i % 8) < 4 ? 0u : 0x00006400u;  // green 100
  OrientationHistogram some(c, 20.0f, 8);
  EXPECT_FLOAT_EQ(some.bins[6], 1.0f);
}

TEST(HistogramEdges, DirectionJustBelowTwoPiWrapsToBinZero) {
  // One block at (0, 2): d1 = 99, d2 = 100.
  std::vector<uint8> pixels = {0, 0, 0, 0, 0, 0, 99, 100};
  GrayscaleImage g(pixels.data(), 2, 4, 2);
  OrientationHistogram h(g, 20.0f, 8);
  EXPECT_FLOAT_EQ(h.bins[0], 1.0f);
  EXPECT_FLOAT_EQ(h.bins[7], 4.0f / 6);
}

TEST(HistogramEdges, ContrastMustExceedTheThreshold) {
  auto pixels = Fill(6, 6, [](int x, int) { return x < 3 ? 0 : 10; });  // |d1| + |d2| = 20
  GrayscaleImage g(pixels.data(), 6, 6, 6);
  OrientationHistogram at(g, 20.0f, 8);
  ExpectBins(at, std::vector<float>(8, 0.0f));
  OrientationHistogram below(g, 19.5f, 8);
  EXPECT_FLOAT_EQ(below.bins[6], 1.0f);
}

TEST(HistogramEdges, RowsZeroAndOneNeverContribute) {
  // The only edge lies between rows 1 and 2, which only a block starting at y = 1 would see.
  auto pixels = Fill(4, 5, [](int, int y) { return y < 2 ? 0 : 200; });
  GrayscaleImage g(pixels.data(), 4, 5, 4);
  OrientationHistogram h(g, 20.0f, 8);
  ExpectBins(h, std::vector<float>(8, 0.0f));
  // The last block row (y = height - 2) does count.
  auto low = Fill(4, 5, [](int, int y) { return y < 4 ? 0 : 200; });
  GrayscaleImage gl(low.data(), 4, 5, 4);
  OrientationHistogram hl(gl, 20.0f, 8);
  EXPECT_FLOAT_EQ(hl.bins[0], 1.0f);
}

TEST(HistogramEdges, DegenerateImagesGiveZeroBins) {
  auto stripes = Fill(1, 8, [](int, int y) { return y * 30; });
  GrayscaleImage thin(stripes.data(), 1, 8, 1);
  ExpectBins(OrientationHistogram(thin, 1.0f, 4), {0, 0, 0, 0});
  auto flat = Fill(8, 3, [](int x, int) { return x * 30; });
  GrayscaleImage shallow(flat.data(), 8, 3, 8);
  ExpectBins(OrientationHistogram(shallow, 1.0f, 4), {0, 0, 0, 0});
  auto uniform = Fill(8, 8, [](int, int) { return 77; });
  GrayscaleImage u(uniform.data(), 8, 8, 8);
  ExpectBins(OrientationHistogram(u, 0.0f, 4), {0, 0, 0, 0});
  GrayscaleImage empty(nullptr, 0, 0, 0);
  ExpectBins(OrientationHistogram(empty, 0.0f, 2), {0, 0});
}

TEST(HistogramEdges, SingleBinTakesEverything) {
  auto pixels = Fill(8, 8, [](int x, int y) { return (x * 53 + y * 101) % 256; });
  GrayscaleImage g(pixels.data(), 8, 8, 8);
  ExpectBins(OrientationHistogram(g, 20.0f, 1), {1});
  ExpectBins(OrientationHistogram(g, 20.0f, 0), {1});  // a count below 1 is taken as 1
}

// The three ways pixels are read: grey bytes, the green byte of colour words, and any other
// image class through its own I().
enum class Reading { kGrey, kColour, kThroughI };
constexpr Reading kReadings[] = {Reading::kGrey, Reading::kColour, Reading::kThroughI};

class PlainGrey : public GrayscaleImage {
 public:
  using GrayscaleImage::GrayscaleImage;
  using GrayscaleImage::operator=;
  float I(int x, int y) const override { return GrayscaleImage::I(x, y); }
};

// A w x h picture of samples held in the way the reading asks for; colour words carry
// other values in red, blue and alpha.
class Picture {
 public:
  Picture(Reading reading, int w, int h, const std::vector<uint8>& samples) : fWords(samples.size()) {
    for (size_t i = 0; i < samples.size(); i++)
      fWords[i] = (0x5A0000C3u ^ (uint32(i) * 0x00010001u & 0x00FF00FFu)) | (uint32(samples[i]) << 8);
    fBytes = samples;
    if (reading == Reading::kColour)
      fImage = std::make_unique<RGBAImage>(fWords.data(), w, h, w * 4);
    else if (reading == Reading::kGrey)
      fImage = std::make_unique<GrayscaleImage>(fBytes.data(), w, h, w);
    else
      fImage = std::make_unique<PlainGrey>(fBytes.data(), w, h, w);
  }
  Image& image() { return *fImage; }

 private:
  std::vector<uint8> fBytes;
  std::vector<uint32> fWords;
  std::unique_ptr<Image> fImage;
};

// The bin that the one edge block of a 2 x 4 picture with these differences lands in: the
// only bin the blur leaves at the peak (for 5 or more bins).
int BinOfOneBlock(Reading reading, int d1, int d2, int numBins) {
  // d1 = I(0, 3) - I(1, 2), d2 = I(1, 3) - I(0, 2); rows 0 and 1 do not count.
  const int b = d1 < 0 ? -d1 : 0, c = d1 < 0 ? 0 : d1;
  const int a = d2 < 0 ? -d2 : 0, d = d2 < 0 ? 0 : d2;
  std::vector<uint8> samples = {0, 0, 0, 0, static_cast<uint8>(a), static_cast<uint8>(b),
                                static_cast<uint8>(c), static_cast<uint8>(d)};
  Picture picture(reading, 2, 4, samples);
  OrientationHistogram h(picture.image(), 0.5f, numBins);
  int peak = -1;
  for (int i = 0; i < numBins; i++) {
    if (h.bins[i] != 1.0f) continue;
    EXPECT_EQ(peak, -1) << "two peaks";
    peak = i;
  }
  return peak;
}

// Directions at whole multiples of 45 degrees: the angle atan2(d1, d2), less the quarter turn
// the bins start at, is j eighths of the circle, which is j * n / 8 bins; a direction exactly
// between two bins belongs to the upper one.
TEST(HistogramSectors, DirectionsAtMultiplesOf45DegreesLandInTheirGeometricBin) {
  struct Direction {
    int d1, d2, eighths;  // eighths of the circle past the start of bin 0's centre
  };
  const Direction directions[] = {
      {1, 0, 1},  {-1, 0, 5},                          // d2 = 0: 90 and 270 degrees
      {1, 1, 0},  {1, -1, 2}, {-1, -1, 4}, {-1, 1, 6}, // |d1| = |d2|, all four quadrants
      {0, 1, 7},  {0, -1, 3},                          // d1 = 0: 0 and 180 degrees
  };
  for (Reading reading : kReadings) {
    for (int numBins : {8, 36, 255}) {
      for (const Direction& dir : directions) {
        const int expected = (dir.eighths * numBins + 4) / 8 % numBins;
        for (int size : {1, 37, 255}) {
          EXPECT_EQ(BinOfOneBlock(reading, dir.d1 * size, dir.d2 * size, numBins), expected)
              << "d1 " << dir.d1 * size << " d2 " << dir.d2 * size << " bins " << numBins
              << " reading " << static_cast<int>(reading);
        }
      }
    }
  }
}

TEST(HistogramSectors, OppositeVerticalEdgesAreHalfTheCircleApart) {
  // The case that once went wrong: d2 = 0 with d1 < 0 fell one bin short of 23.
  for (Reading reading : kReadings) {
    EXPECT_EQ(BinOfOneBlock(reading, 200, 0, 36), 5);
    EXPECT_EQ(BinOfOneBlock(reading, -200, 0, 36), 23);
  }
}

// The photographic negative turns every edge around: both differences change sign, so the
// direction moves by exactly half the circle, and with an even bin count every count, blurred
// and scaled, moves by exactly half the bins.
TEST(HistogramSymmetry, NegativeShiftsTheBinsByHalfTheCircle) {
  const int w = 64, h = 48;
  uint32 state = 12345;
  auto random = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 24;
  };
  std::vector<std::vector<uint8>> pictures;
  // Noise: every direction there is. Steps and diagonals: many blocks exactly at 0, 45 and 90
  // degrees, on the sector edges for 36 and 254 bins.
  pictures.push_back(Fill(w, h, [&random](int, int) { return random(); }));
  pictures.push_back(Fill(w, h, [](int x, int y) { return ((x / 4 + y / 3) % 3) * 100; }));
  pictures.push_back(Fill(w, h, [](int x, int y) { return (x + y) % 16 < 8 ? 30 : 220; }));
  pictures.push_back(Fill(w, h, [](int x, int y) { return x > y ? 255 : x == y ? 128 : 0; }));
  for (const auto& samples : pictures) {
    std::vector<uint8> negative(samples.size());
    for (size_t i = 0; i < samples.size(); i++) negative[i] = static_cast<uint8>(255 - samples[i]);
    for (Reading reading : kReadings) {
      Picture positive(reading, w, h, samples), inverted(reading, w, h, negative);
      for (int numBins : {8, 36, 254}) {
        OrientationHistogram a(positive.image(), 20.0f, numBins), b(inverted.image(), 20.0f, numBins);
        int mismatches = 0;
        for (int i = 0; i < numBins; i++)
          if (a.bins[i] != b.bins[(i + numBins / 2) % numBins]) mismatches++;
        EXPECT_EQ(mismatches, 0) << "bins " << numBins << " reading " << static_cast<int>(reading)
                                 << " picture " << (&samples - pictures.data());
        EXPECT_EQ(*std::max_element(a.bins, a.bins + numBins), 1.0f);  // not all zero
      }
    }
  }
}

TEST(HistogramBlur, SpreadsOneSpikeAroundTheCircle) {
  std::unique_ptr<OrientationHistogram> h(HistogramOf({16, 0, 0, 0, 0, 0}));
  h->Blur();
  ExpectBins(*h, {6, 4, 1, 0, 1, 4});
  // With 4 bins the two outer taps land on the same bin.
  std::unique_ptr<OrientationHistogram> small(HistogramOf({16, 0, 0, 0}));
  small->Blur();
  ExpectBins(*small, {6, 4, 2, 4});
}

TEST(HistogramBlur, ScaleBringsThePeakToOneAndLeavesZeroAlone) {
  std::unique_ptr<OrientationHistogram> h(HistogramOf({0, 0, 32, 0, 0, 0}));
  h->BlurAndScale();
  ExpectBins(*h, {1.0f / 6, 4.0f / 6, 1, 4.0f / 6, 1.0f / 6, 0});
  std::unique_ptr<OrientationHistogram> zero(HistogramOf({0, 0, 0}));
  zero->BlurAndScale();
  ExpectBins(*zero, {0, 0, 0});
  h->Normalize();
  EXPECT_FLOAT_EQ(h->bins[2], 1.0f);
}

TEST(HistogramDistance, EuclideanOverEqualBinCounts) {
  std::unique_ptr<OrientationHistogram> a(HistogramOf({1, 0}));
  std::unique_ptr<OrientationHistogram> b(HistogramOf({0, 1}));
  EXPECT_FLOAT_EQ(a->DistanceSquared(*b), 2.0f);
  EXPECT_FLOAT_EQ(a->Distance(*b), 1.4142135f);
  EXPECT_FLOAT_EQ(a->Distance(*a), 0.0f);
}

TEST(HistogramDistance, DifferentBinCountsAreInfinitelyFarApart) {
  std::unique_ptr<OrientationHistogram> two(HistogramOf({1, 0}));
  std::unique_ptr<OrientationHistogram> three(HistogramOf({1, 0, 0}));
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(two->DistanceSquared(*three), inf);
  EXPECT_EQ(three->DistanceSquared(*two), inf);
  EXPECT_EQ(three->Distance(*two), inf);
}

TEST(HistogramPeakAndFold, PeakIsTheFirstLargestBinsAngle) {
  std::unique_ptr<OrientationHistogram> h(HistogramOf({0, 1, 1, 0}));
  EXPECT_FLOAT_EQ(h->FindPeak(), static_cast<float>(M_PI / 2));
  std::unique_ptr<OrientationHistogram> zero(HistogramOf({0, 0, 0}));
  EXPECT_EQ(zero->FindPeak(), -1.0f);
}

TEST(HistogramPeakAndFold, FoldAddsTheUpperHalfOntoTheLower) {
  std::unique_ptr<OrientationHistogram> h(HistogramOf({1, 2, 3, 4}));
  h->Fold();
  ExpectBins(*h, {4, 6, 0, 0});
  std::unique_ptr<OrientationHistogram> odd(HistogramOf({1, 2, 3, 4, 5}));
  odd->Fold();
  ExpectBins(*odd, {4, 6, 0, 0, 5});
}

TEST(HistogramPrint, WritesBinsThenSum) {
  std::unique_ptr<OrientationHistogram> h(HistogramOf({1, 0.5f}));
  ::testing::internal::CaptureStdout();
  h->Print();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "OrientationHistogram: 1.00 0.50 \nsum=1.500000\n");
}

}  // namespace
