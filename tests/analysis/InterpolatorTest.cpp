#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "AnalysisTestUtil.h"
#include "analysis/Interpolator.h"
#include "analysis/MultiInterpolator.h"

using analysis_test::HistogramOf;
using analysis_test::OwnedGray;

namespace {

using HistogramPtr = std::unique_ptr<OrientationHistogram>;

TEST(RadialInterpolator, NoKeysGiveZero) {
  Interpolator interp(1.0f);
  EXPECT_EQ(interp.twoSigmaSquared, 2.0f);
  HistogramPtr probe(HistogramOf({1, 0}));
  EXPECT_EQ(interp.Interpolate(probe.get()), 0.0f);
  interp.ComputeCoefficients();
  EXPECT_TRUE(interp.coefficients.empty());
}

TEST(RadialInterpolator, OneKeyFallsOffAsAGaussian) {
  Interpolator interp(1.0f);
  HistogramPtr key(HistogramOf({1, 0}));
  HistogramPtr far(HistogramOf({0, 1}));  // squared distance 2
  float value = 5.0f;
  interp.AddKey(key.get(), &value);
  ASSERT_EQ(interp.coefficients.size(), 1u);
  EXPECT_FLOAT_EQ(interp.coefficients[0], 5.0f);
  EXPECT_FLOAT_EQ(interp.Interpolate(key.get()), 5.0f);
  EXPECT_FLOAT_EQ(interp.Interpolate(far.get()), 1.8393972f);

  Interpolator wide(2.0f);  // 2 sigma^2 = 8
  wide.AddKey(key.get(), &value);
  EXPECT_FLOAT_EQ(wide.Interpolate(far.get()), static_cast<float>(5.0 * std::exp(-0.25)));
}

TEST(RadialInterpolator, ValuesAreReadThroughTheirAddressesWhenSolving) {
  Interpolator interp(1.0f);
  HistogramPtr key(HistogramOf({1, 0}));
  float value = 5.0f;
  interp.AddKey(key.get(), &value);
  value = 2.0f;
  EXPECT_FLOAT_EQ(interp.Interpolate(key.get()), 5.0f);
  interp.ComputeCoefficients();
  EXPECT_FLOAT_EQ(interp.Interpolate(key.get()), 2.0f);
}

TEST(RadialInterpolator, DistinctKeysAreReproduced) {
  Interpolator interp(1.0f);
  HistogramPtr a(HistogramOf({1, 0, 0}));
  HistogramPtr b(HistogramOf({0.5f, 1, 0}));
  HistogramPtr c(HistogramOf({0, 0.2f, 1}));
  float va = 0.25f, vb = 0.75f, vc = -3.0f;
  interp.AddKey(a.get(), &va);
  interp.AddKey(b.get(), &vb);
  interp.AddKey(c.get(), &vc);
  EXPECT_NEAR(interp.Interpolate(a.get()), va, 1e-5f);
  EXPECT_NEAR(interp.Interpolate(b.get()), vb, 1e-5f);
  EXPECT_NEAR(interp.Interpolate(c.get()), vc, 1e-5f);
}

TEST(RadialInterpolator, IdenticalKeysGiveTheUnpivotedSolution) {
  Interpolator interp(1.0f);
  HistogramPtr a(HistogramOf({1, 0}));
  HistogramPtr b(HistogramOf({1, 0}));
  float one = 1.0f, three = 3.0f;
  interp.AddKey(a.get(), &one);
  interp.AddKey(b.get(), &three);
  ASSERT_EQ(interp.coefficients.size(), 2u);
  EXPECT_FLOAT_EQ(interp.coefficients[0], -1.0f);
  EXPECT_FLOAT_EQ(interp.coefficients[1], 2.0f);
  EXPECT_FLOAT_EQ(interp.Interpolate(a.get()), 1.0f);
}

TEST(RadialInterpolator, ProbeOfAnotherBinCountGetsNoWeight) {
  Interpolator interp(1.0f);
  HistogramPtr key(HistogramOf({1, 0}));
  HistogramPtr odd(HistogramOf({1, 0, 0}));
  float value = 5.0f;
  interp.AddKey(key.get(), &value);
  EXPECT_EQ(interp.Interpolate(odd.get()), 0.0f);
}

// Key frames whose interpolation histograms are given directly; their images are blank.
class KeyFrames : public ::testing::Test {
 protected:
  KeyFrames() : set_(20.0f, 8, 3, 1.0f) {}

  KeyFrame* Add(std::initializer_list<float> bins, std::vector<float> values, const std::string& name = "") {
    auto* k = new KeyFrame(OwnedGray(8, 8, 0), HistogramOf(bins), values.data(),
                           static_cast<int>(values.size()), name);
    set_.AddKeyFrame(k);
    return k;
  }

  std::vector<float> At(std::initializer_list<float> bins) {
    HistogramPtr probe(HistogramOf(bins));
    std::vector<float> out(3, -99.0f);
    set_.Interpolate(probe.get(), out.data());
    return out;
  }

  void ExpectNear(const std::vector<float>& got, const std::vector<float>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); i++) EXPECT_NEAR(got[i], want[i], 1e-5f) << "output " << i;
  }

  MultiInterpolator set_;
};

TEST_F(KeyFrames, EmptySetMatchesNothingAndInterpolatesZero) {
  HistogramPtr probe(HistogramOf({1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(set_.Match(*probe), -1);
  ExpectNear(At({1, 0}), {0, 0, 0});
  EXPECT_EQ(set_.NumKeyFrames(), 0);
}

TEST_F(KeyFrames, OneKeyFrame) {
  Add({1, 0}, {1, 0, 1});
  ExpectNear(At({1, 0}), {1, 0, 1});
  ExpectNear(At({0, 1}), {0.36787944f, 0, 0.36787944f});
  EXPECT_EQ(set_.keyFrameCount, 1);
  ASSERT_EQ(set_.images.size(), 1u);
  EXPECT_EQ(set_.images[0], set_.keyFrames[0]->image);
  HistogramPtr probe(HistogramOf({1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(set_.Match(*probe), 0);
}

TEST_F(KeyFrames, SeveralKeyFramesAreReproduced) {
  Add({1, 0}, {0, 0.5f, 1});
  Add({0, 1}, {1, 0.5f, 0});
  Add({0.5f, 0.5f}, {0.2f, 0.9f, 0.4f});
  ExpectNear(At({1, 0}), {0, 0.5f, 1});
  ExpectNear(At({0, 1}), {1, 0.5f, 0});
  ExpectNear(At({0.5f, 0.5f}), {0.2f, 0.9f, 0.4f});
}

TEST_F(KeyFrames, SameNameKeepsBothButFindsTheLatest) {
  KeyFrame* first = Add({1, 0}, {1, 1, 1}, "pose");
  KeyFrame* second = Add({0, 1}, {0, 0, 0}, "pose");
  EXPECT_EQ(set_.NumKeyFrames(), 2);
  EXPECT_EQ(set_.FindKeyFrame("pose"), second);
  EXPECT_NE(first, second);
  ExpectNear(At({1, 0}), {1, 1, 1});  // the first still interpolates
}

TEST_F(KeyFrames, MoveChangesTheNamedOutputs) {
  Add({1, 0}, {1, 0, 1}, "left");
  float moved[3] = {0.5f, 0.25f, 0.125f};
  EXPECT_FALSE(set_.MoveKeyFrame("right", moved));
  ExpectNear(At({1, 0}), {1, 0, 1});
  EXPECT_TRUE(set_.MoveKeyFrame("left", moved));
  ExpectNear(At({1, 0}), {0.5f, 0.25f, 0.125f});
}

TEST_F(KeyFrames, DeleteWithdrawsTheKeyFrameButKeepsItsImageForMatching) {
  Add({1, 0}, {1, 1, 1}, "a");
  Add({0, 1}, {0, 0.5f, 0}, "b");
  EXPECT_FALSE(set_.DeleteKeyFrame("c"));
  EXPECT_EQ(set_.NumKeyFrames(), 2);

  EXPECT_TRUE(set_.DeleteKeyFrame("a"));
  EXPECT_EQ(set_.NumKeyFrames(), 1);
  EXPECT_EQ(set_.keyFrameCount, 1);
  EXPECT_EQ(set_.FindKeyFrame("a"), nullptr);
  EXPECT_FALSE(set_.DeleteKeyFrame("a"));
  // Only "b" is left in the interpolation.
  ExpectNear(At({0, 1}), {0, 0.5f, 0});
  ExpectNear(At({1, 0}), {0, 0.5f * 0.36787944f, 0});
  EXPECT_EQ(set_.images.size(), 2u);
}

TEST_F(KeyFrames, ShortValueArraysAreFilledWithZero) {
  Add({1, 0}, {0.75f});
  EXPECT_EQ(set_.keyFrames[0]->numValues, 3);
  ExpectNear(At({1, 0}), {0.75f, 0, 0});
}

}  // namespace
