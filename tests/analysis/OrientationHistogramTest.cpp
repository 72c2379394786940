#include <gtest/gtest.h>

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
