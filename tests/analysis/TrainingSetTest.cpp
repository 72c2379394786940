#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "AnalysisTestUtil.h"
#include "analysis/TrainingSet.h"

using analysis_test::HistogramOf;
using analysis_test::OwnedGray;

namespace {

// 8 x 8 owned grey image with a vertical edge (bin 6 of 8) or a horizontal one (bin 0).
GrayscaleImage* EdgeImage(bool vertical, uint8 contrast = 100) {
  GrayscaleImage* g = OwnedGray(8, 8, 0);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 8; x++)
      if ((vertical ? x : y) >= 4) g->grayPixels[y * 8 + x] = contrast;
  return g;
}

std::unique_ptr<OrientationHistogram> HistogramOfImage(Image* image, int bins = 8) {
  return std::make_unique<OrientationHistogram>(*image, 20.0f, bins);
}

TEST(TrainingSetMatch, EmptySetAnswersMinusOne) {
  TrainingSet set(20.0f, 8);
  std::unique_ptr<OrientationHistogram> probe(HistogramOf({1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(set.Match(*probe), -1);
  set.Add(EdgeImage(true));
  EXPECT_EQ(set.Match(*probe), 0);
  set.Clear();
  EXPECT_EQ(set.Match(*probe), -1);
  EXPECT_EQ(set.CountExamples(), 0);
  EXPECT_TRUE(set.histograms.empty());
}

TEST(TrainingSetMatch, NearestExampleWinsAndTheFirstOfEquals) {
  TrainingSet set(20.0f, 8);
  set.Add(EdgeImage(false));
  set.Add(EdgeImage(true));
  set.Add(EdgeImage(true));
  std::unique_ptr<GrayscaleImage> probeImage(EdgeImage(true));
  auto probe = HistogramOfImage(probeImage.get());
  EXPECT_EQ(set.Match(*probe), 1);
  std::unique_ptr<GrayscaleImage> other(EdgeImage(false));
  EXPECT_EQ(set.Match(*HistogramOfImage(other.get())), 0);
  probeImage->FreePixels();
  other->FreePixels();

  // Lists stay parallel and in insertion order.
  ASSERT_EQ(set.images.size(), 3u);
  ASSERT_EQ(set.histograms.size(), 3u);
  EXPECT_FLOAT_EQ(set.histograms[0]->bins[0], 1.0f);
  EXPECT_FLOAT_EQ(set.histograms[1]->bins[6], 1.0f);
}

TEST(TrainingSetMatch, ProbeOfAnotherBinCountMatchesNothing) {
  TrainingSet set(20.0f, 8);
  set.Add(EdgeImage(true));
  std::unique_ptr<OrientationHistogram> probe(HistogramOf({1, 0, 0, 0}));
  EXPECT_EQ(set.Match(*probe), -1);
}

TEST(TrainingSetMatch, NewThresholdAppliesOnlyToLaterExamples) {
  TrainingSet set(20.0f, 8);
  set.Add(EdgeImage(true, 15));  // |d1| + |d2| = 30 > 20: counted
  EXPECT_FLOAT_EQ(set.histograms[0]->bins[6], 1.0f);
  set.SetContrastThreshold(40.0f);
  EXPECT_EQ(set.contrastThreshold, 40.0f);
  set.Add(EdgeImage(true, 15));  // 30 <= 40: all zero
  EXPECT_FLOAT_EQ(set.histograms[0]->bins[6], 1.0f);
  EXPECT_FLOAT_EQ(set.histograms[1]->bins[6], 0.0f);
  std::unique_ptr<OrientationHistogram> probe(HistogramOf({0, 0, 0, 0, 1.0f / 6, 2.0f / 3, 1, 2.0f / 3}));
  EXPECT_EQ(set.Match(*probe), 0);
}

TEST(TrainingSetFiles, UnreadableFilesStillAddEmptyExamples) {
  std::vector<char*> names;
  char missing[] = "/nonexistent/zanvel/example.pgm";
  names.push_back(missing);
  names.push_back(missing);
  ::testing::internal::CaptureStderr();
  TrainingSet set(names, 20.0f, 8);
  std::string err = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(set.CountExamples(), 2);
  EXPECT_EQ(set.images[0]->width, 0);
  EXPECT_FLOAT_EQ(set.histograms[1]->bins[0], 0.0f);
  EXPECT_NE(err.find("readpgm: cannot open /nonexistent/zanvel/example.pgm"), std::string::npos);
}

TEST(TrainingSetLocking, MatchAndAddFromTwoThreadsDoNotInterleave) {
  TrainingSet set(20.0f, 8);
  set.Add(EdgeImage(true));
  std::unique_ptr<OrientationHistogram> probe(HistogramOf({0, 0, 0, 0, 1.0f / 6, 2.0f / 3, 1, 2.0f / 3}));
  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  std::thread matcher([&] {
    while (!done.load()) {
      if (set.Match(*probe) != 0) wrong++;
    }
  });
  for (int i = 0; i < 200; i++) set.Add(EdgeImage(i % 2 == 0));
  done = true;
  matcher.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(set.CountExamples(), 201);
}

}  // namespace
