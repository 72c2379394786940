// The fast histogram, smoothing and matching must give exactly what the plain per-pixel
// versions give: the same float bins, the same bytes, the same index.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "AnalysisTestUtil.h"
#include "ReferenceAnalysis.h"
#include "analysis/TrainingSet.h"

using analysis_test::HistogramOf;

namespace {

class Lcg {
 public:
  explicit Lcg(uint32 seed) : fState(seed) {}
  uint32 Next() {
    fState = fState * 1664525u + 1013904223u;
    return fState >> 8;
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint32>(n)); }
  float Unit() { return static_cast<float>(Next() & 0xFFFFFF) / 16777216.0f; }

 private:
  uint32 fState;
};

// What the samples look like; each stresses another part of the contrast and direction range.
enum class Picture { kNoise, kNatural, kAllEdges, kGradient, kLowContrast, kUniform, kSteps };
constexpr Picture kPictures[] = {Picture::kNoise,       Picture::kNatural, Picture::kAllEdges,
                                 Picture::kGradient,    Picture::kLowContrast,
                                 Picture::kUniform,     Picture::kSteps};

uint8 Sample(Picture picture, int x, int y, Lcg& rng) {
  switch (picture) {
    case Picture::kNoise: return static_cast<uint8>(rng.Next());
    case Picture::kNatural: {
      int v = 60 + x / 3 + ((x - 40) * (x - 40) + (y - 30) * (y - 30) < 400 ? 120 : 0) +
              rng.Below(7) - 3;
      return static_cast<uint8>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    case Picture::kAllEdges: return static_cast<uint8>(x % 2 ? 255 : (y * 37) % 64);
    case Picture::kGradient: return static_cast<uint8>(x * 3 + y * 5);
    case Picture::kLowContrast: return static_cast<uint8>(100 + rng.Below(12));
    case Picture::kUniform: return 77;
    case Picture::kSteps: return static_cast<uint8>(((x / 4 + y / 3) % 3) * 100);
  }
  return 0;
}

// An image of either class over a buffer with optional padding after each row. Padding and
// the bytes of colour words other than green are random, so a wrong stride or channel shows.
struct TestImage {
  TestImage(bool colour, int width, int height, int padding, Picture picture, uint32 seed) {
    Lcg rng(seed);
    const int rowBytes = (colour ? 4 * width : width) + padding;
    words.resize((static_cast<size_t>(rowBytes) * static_cast<size_t>(height) + 3) / 4 + 1);
    auto* bytes = reinterpret_cast<uint8*>(words.data());
    for (size_t i = 0; i < words.size() * 4; i++) bytes[i] = static_cast<uint8>(rng.Next());
    for (int y = 0; y < height; y++) {
      for (int x = 0; x < width; x++) {
        uint8 v = Sample(picture, x, y, rng);
        if (colour)
          words[static_cast<size_t>(y) * (rowBytes / 4) + x] =
              (rng.Next() & 0xFF00FFu) | (rng.Next() << 24) | (uint32(v) << 8);
        else
          bytes[static_cast<size_t>(y) * rowBytes + x] = v;
      }
    }
    if (colour)
      image = std::make_unique<RGBAImage>(words.data(), width, height, rowBytes);
    else
      image = std::make_unique<GrayscaleImage>(words.data(), width, height, rowBytes);
  }
  std::vector<uint32> words;
  std::unique_ptr<Image> image;
};

std::string Describe(const Image& image, float threshold, int bins) {
  return std::to_string(image.bitsPerPixel) + "-bit " + std::to_string(image.width) + "x" +
         std::to_string(image.height) + " row " + std::to_string(image.bytesPerRow) +
         " threshold " + std::to_string(threshold) + " bins " + std::to_string(bins);
}

// Bit-for-bit equality; also tells NaN from NaN and 0 from -0 apart.
void ExpectSameHistogram(Image& image, float threshold, int bins) {
  std::vector<float> expected = reference::HistogramBins(image, threshold, bins);
  OrientationHistogram fast(image, threshold, bins);
  ASSERT_EQ(fast.numBins, static_cast<int>(expected.size())) << Describe(image, threshold, bins);
  EXPECT_EQ(std::memcmp(fast.bins, expected.data(), expected.size() * sizeof(float)), 0)
      << Describe(image, threshold, bins);
}

const float kThresholds[] = {20.0f, 0.0f, -1.0f, 19.5f, 100.0f, 0.25f, 255.999f, 509.0f, 509.5f,
                             510.0f};

TEST(FastHistogram, EqualsReferenceForEveryBinCountSizeAndClass) {
  const int sizes[][2] = {{320, 240}, {160, 120}, {80, 60}};
  int round = 0;
  for (int bins = 1; bins <= 64; bins++) {
    for (bool colour : {false, true}) {
      const auto& size = sizes[(bins + colour) % 3];
      const Picture picture = kPictures[(bins * 2 + colour) % std::size(kPictures)];
      const int padding = bins % 2 ? 0 : (colour ? 12 : 13);
      TestImage t(colour, size[0], size[1], padding, picture, static_cast<uint32>(++round));
      ExpectSameHistogram(*t.image, kThresholds[bins % std::size(kThresholds)], bins);
    }
  }
}

TEST(FastHistogram, EqualsReferenceAtEveryContrastBoundary) {
  // Noise has blocks of every contrast 0 .. 510, so every integer threshold and the values
  // just around it cut between two present contrasts.
  TestImage grey(false, 80, 60, 3, Picture::kNoise, 5);
  TestImage colour(true, 80, 60, 8, Picture::kNoise, 6);
  for (int t = -1; t <= 511; t++) {
    const float at = static_cast<float>(t);
    for (float threshold : {at, std::nextafter(at, -1e9f), std::nextafter(at, 1e9f), at + 0.5f}) {
      ExpectSameHistogram(*grey.image, threshold, 36);
      ExpectSameHistogram(*colour.image, threshold, 7);
    }
  }
}

TEST(FastHistogram, EqualsReferenceForThresholdsOutsideTheContrastRange) {
  const float unusual[] = {std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::max(),
                           -std::numeric_limits<float>::max(),
                           std::numeric_limits<float>::denorm_min(),
                           -0.0f,
                           -1e-30f,
                           1e6f};
  for (Picture picture : {Picture::kNoise, Picture::kUniform, Picture::kAllEdges}) {
    TestImage grey(false, 50, 40, 0, picture, 9);
    TestImage colour(true, 50, 40, 4, picture, 10);
    for (float threshold : unusual) {
      ExpectSameHistogram(*grey.image, threshold, 36);
      ExpectSameHistogram(*colour.image, threshold, 36);
    }
  }
}

TEST(FastHistogram, EqualsReferenceOnTinyAndOddLayouts) {
  uint32 seed = 100;
  for (int w = 0; w <= 7; w++) {
    for (int h = 0; h <= 7; h++) {
      for (bool colour : {false, true}) {
        TestImage t(colour, w, h, colour ? 4 * (w % 3) : w % 5, Picture::kNoise, ++seed);
        ExpectSameHistogram(*t.image, 20.0f, 8);
        ExpectSameHistogram(*t.image, -1.0f, 5);
      }
    }
  }
}

TEST(FastHistogram, LargeBinCountsAndBadCountsEqualReference) {
  TestImage t(true, 64, 48, 0, Picture::kNoise, 3);
  for (int bins : {0, -4, 255, 256, 257, 1000}) ExpectSameHistogram(*t.image, 10.0f, bins);
}

// A subclass that reads its pixels its own way must be read through I().
class InvertedGrey : public GrayscaleImage {
 public:
  using GrayscaleImage::GrayscaleImage;
  using GrayscaleImage::operator=;
  float I(int x, int y) const override { return 255.0f - GrayscaleImage::I(x, y) * 0.5f; }
};

TEST(FastHistogram, OtherImageClassesAreReadThroughI) {
  TestImage t(false, 40, 30, 0, Picture::kNoise, 4);
  InvertedGrey inverted(t.words.data(), 40, 30, 40);
  std::vector<float> expected = reference::HistogramBins(inverted, 20.0f, 36);
  OrientationHistogram fast(inverted, 20.0f, 36);
  EXPECT_EQ(std::memcmp(fast.bins, expected.data(), expected.size() * sizeof(float)), 0);
  // The same pixels through the plain class give something else, so the test can tell.
  OrientationHistogram plain(*t.image, 20.0f, 36);
  EXPECT_NE(std::memcmp(plain.bins, expected.data(), expected.size() * sizeof(float)), 0);
}

TEST(FastHistogram, CountsPast2To24StopGrowingAsFloatAdditionDoes) {
  // A diagonal ramp puts nearly every block into one direction; 4200 x 4100 gives that bin
  // more than 2^24 blocks, where adding 1.0f no longer changes a float.
  const int w = 4200, h = 4100;
  std::vector<uint8> pixels(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) pixels[static_cast<size_t>(y) * w + x] = static_cast<uint8>(x + y);
  GrayscaleImage ramp(pixels.data(), w, h, w);
  std::vector<float> expected = reference::HistogramBins(ramp, 1.0f, 8);
  OrientationHistogram fast(ramp, 1.0f, 8);
  EXPECT_EQ(std::memcmp(fast.bins, expected.data(), expected.size() * sizeof(float)), 0);
}

// Smoothing: whole buffers compared, padding included, which must stay untouched.
void ExpectSameSmoothing(bool colour, int w, int h, int padding, Picture picture, uint32 seed) {
  TestImage fast(colour, w, h, padding, picture, seed);
  TestImage plain(colour, w, h, padding, picture, seed);
  fast.image->Smooth();
  if (colour)
    reference::Smooth(static_cast<RGBAImage&>(*plain.image));
  else
    reference::Smooth(static_cast<GrayscaleImage&>(*plain.image));
  EXPECT_EQ(fast.words, plain.words) << (colour ? "colour " : "grey ") << w << "x" << h
                                     << " padding " << padding;
}

TEST(FastSmooth, EqualsReferenceByteForByte) {
  uint32 seed = 1;
  for (bool colour : {false, true}) {
    for (Picture picture : {Picture::kNoise, Picture::kNatural, Picture::kAllEdges})
      for (const auto& size : {std::pair{320, 240}, std::pair{160, 120}, std::pair{80, 60}})
        for (int padding : {0, colour ? 8 : 5})
          ExpectSameSmoothing(colour, size.first, size.second, padding, picture, ++seed);
    for (int w = 0; w <= 9; w++)
      for (int h = 0; h <= 9; h++) ExpectSameSmoothing(colour, w, h, colour ? 4 : 3, Picture::kNoise, ++seed);
  }
}

// Blending: whole buffers compared, padding included. The same weight twice in a row and
// weights changing between calls both must give the per-sample results.
TEST(FastBlend, EqualsReferenceByteForByte) {
  const float weights[] = {0.6f, 0.6f, 0.3f, 0.0f, -0.0f, 1.0f, 1.5f, -0.2f, 1e-30f,
                           std::numeric_limits<float>::denorm_min(), 0.99999994f, 0.5f, 0.7f, 0.6f};
  uint32 seed = 40;
  for (bool colour : {false, true}) {
    for (const auto& size : {std::pair{320, 240}, std::pair{160, 120}, std::pair{300, 220}}) {
      for (float alpha : weights) {
        const int padding = colour ? 8 : 3;
        TestImage fast(colour, size.first, size.second, padding, Picture::kNoise, ++seed);
        TestImage plain(colour, size.first, size.second, padding, Picture::kNoise, seed);
        TestImage other(colour, size.first, size.second, padding, Picture::kNatural, seed + 1000);
        fast.image->Blend(*other.image, alpha);
        if (colour)
          reference::Blend(static_cast<RGBAImage&>(*plain.image), static_cast<RGBAImage&>(*other.image), alpha);
        else
          reference::Blend(static_cast<GrayscaleImage&>(*plain.image),
                           static_cast<GrayscaleImage&>(*other.image), alpha);
        EXPECT_EQ(fast.words, plain.words) << (colour ? "colour " : "grey ") << size.first << "x"
                                           << size.second << " alpha " << alpha;
      }
    }
  }
}

// Matching: the same index as a plain loop over Distance, whatever the bins hold.
std::unique_ptr<OrientationHistogram> HistogramWith(const std::vector<float>& values) {
  uint8 sample = 0;
  GrayscaleImage blank(&sample, 1, 1, 1);
  auto h = std::make_unique<OrientationHistogram>(blank, 20.0f, static_cast<int>(values.size()));
  std::copy(values.begin(), values.end(), h->bins);
  return h;
}

class FastMatch : public ::testing::Test {
 protected:
  static constexpr int kBins = 36;
  FastMatch() : set(20.0f, kBins) {}

  // Stores an example whose histogram holds exactly these bins (any count).
  void AddExample(const std::vector<float>& values) {
    set.Add(analysis_test::OwnedGray(4, 4, 0));
    OrientationHistogram& h = *set.histograms.back();
    delete[] h.bins;
    h.numBins = static_cast<int>(values.size());
    h.bins = new float[values.size()];
    std::copy(values.begin(), values.end(), h.bins);
  }
  static std::vector<float> RandomBins(Lcg& rng) {
    std::vector<float> v(kBins);
    for (float& b : v) b = rng.Unit();
    return v;
  }
  // Moves a few bins by one unit in the last place.
  static std::vector<float> Nudged(std::vector<float> v, Lcg& rng) {
    for (int k = 0; k < 3; k++) {
      float& b = v[static_cast<size_t>(rng.Below(static_cast<int>(v.size())))];
      b = std::nextafter(b, rng.Below(2) ? 2.0f : -1.0f);
    }
    return v;
  }
  void ExpectSameMatch(const OrientationHistogram& probe) {
    EXPECT_EQ(set.Match(probe), reference::Match(probe, set.histograms))
        << set.histograms.size() << " examples";
  }

  TrainingSet set;
};

TEST_F(FastMatch, TenThousandExamplesWithNearTies) {
  Lcg rng(21);
  std::vector<float> p = RandomBins(rng);
  auto probe = HistogramWith(p);
  for (int i = 0; i < 10000; i++) {
    // Every 97th is the probe nudged here and there, so several sit within rounding of one
    // another and of distance 0; exact copies tie and the first must win.
    AddExample(i % 97 == 0 ? (i % 2 ? p : Nudged(p, rng)) : RandomBins(rng));
    if (i % 499 == 0) ExpectSameMatch(*probe);
  }
  ExpectSameMatch(*probe);
  EXPECT_EQ(set.Match(*probe), 97);  // the first exact copy
}

TEST_F(FastMatch, ExamplesThatDifferOnlyInTheLastPlaces) {
  Lcg rng(5);
  for (int round = 0; round < 200; round++) {
    set.Clear();
    std::vector<float> base = RandomBins(rng);
    for (int i = 0; i < 12; i++) AddExample(Nudged(base, rng));
    ExpectSameMatch(*HistogramWith(Nudged(base, rng)));
  }
}

TEST_F(FastMatch, NotANumberInfinitiesAndOtherBinCountsNeverWin) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  Lcg rng(8);
  std::vector<float> p = RandomBins(rng);
  auto probe = HistogramWith(p);
  std::vector<float> withNan = p, withInf = p, huge(kBins, 3e38f);
  withNan[3] = nan;
  withInf[7] = inf;
  AddExample(withNan);
  AddExample(withInf);
  AddExample(std::vector<float>(p.begin(), p.end() - 1));  // 35 bins
  AddExample(huge);                                        // distance overflows float
  ExpectSameMatch(*probe);
  EXPECT_EQ(set.Match(*probe), -1);
  AddExample(RandomBins(rng));
  ExpectSameMatch(*probe);
  EXPECT_EQ(set.Match(*probe), 4);

  // A probe that is not a number matches nothing; an infinite one neither.
  std::vector<float> bad = p;
  bad[0] = nan;
  EXPECT_EQ(set.Match(*HistogramWith(bad)), -1);
  bad[0] = inf;
  EXPECT_EQ(set.Match(*HistogramWith(bad)), -1);
}

TEST_F(FastMatch, TinyAndHugeDistancesKeepTheirOrder) {
  // Differences near the smallest floats, whose squares are far below float's range, and
  // bins so large that the distances round to the same float.
  const float tiny = std::numeric_limits<float>::denorm_min();
  std::vector<float> zero(kBins, 0.0f);
  auto probe = HistogramWith(zero);
  for (int i = 4; i >= 1; i--) {
    std::vector<float> v = zero;
    v[static_cast<size_t>(i)] = tiny * static_cast<float>(i);
    AddExample(v);
  }
  for (float big : {1e18f, std::nextafter(1e18f, 0.0f), 1e18f}) AddExample(std::vector<float>(kBins, big));
  ExpectSameMatch(*probe);
  set.Clear();
  for (float big : {1e18f, std::nextafter(1e18f, 0.0f), std::nextafter(1e18f, 2e18f)})
    AddExample(std::vector<float>(kBins, big));
  ExpectSameMatch(*probe);
}

TEST_F(FastMatch, OtherBinCountsAndSmallSets) {
  Lcg rng(12);
  for (int bins : {1, 2, 7, 8, 9, 16, 37, 64, 300}) {
    set.Clear();
    std::vector<float> p(static_cast<size_t>(bins));
    for (float& b : p) b = rng.Unit();
    for (int i = 0; i < 30; i++) {
      std::vector<float> v(static_cast<size_t>(bins));
      for (float& b : v) b = rng.Below(4) ? rng.Unit() : p[&b - v.data()];
      AddExample(v);
    }
    ExpectSameMatch(*HistogramWith(p));
  }
}

// A probe of a subclass that measures distance its own way is asked for every example.
class ReversedDistance : public OrientationHistogram {
 public:
  using OrientationHistogram::OrientationHistogram;
  float Distance(const OrientationHistogram& other) const override {
    return -OrientationHistogram::Distance(other);
  }
};

TEST_F(FastMatch, ProbeSubclassesDecideTheirOwnDistance) {
  Lcg rng(2);
  for (int i = 0; i < 50; i++) AddExample(RandomBins(rng));
  uint8 sample = 0;
  GrayscaleImage blank(&sample, 1, 1, 1);
  ReversedDistance probe(blank, 20.0f, kBins);
  std::vector<float> p = RandomBins(rng);
  std::copy(p.begin(), p.end(), probe.bins);
  const int farthest = reference::Match(probe, set.histograms);
  EXPECT_EQ(set.Match(probe), farthest);
  EXPECT_NE(farthest, set.Match(*HistogramWith(p)));
}

}  // namespace
