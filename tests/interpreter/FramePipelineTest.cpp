#include <gtest/gtest.h>

#include <cmath>

#include "InterpreterFixture.h"

using namespace testing_support;

namespace {
constexpr rgb_color kBlack{0, 0, 0, 0};
constexpr rgb_color kRed{255, 0, 0, 0};
constexpr rgb_color kYellow{255, 255, 0, 0};
}  // namespace

// --- The three kinds of frame ---------------------------------------------------------------

TEST_F(InterpreterTest, NormalFrameDrawsFlushesAndPrintsTheRate) {
  const std::string out = Run(Pattern::kVertical);
  EXPECT_NE(out.find(" fps\n"), std::string::npos);
  const auto ops = TakeOperations(histo);
  EXPECT_EQ(CountKind(ops, DrawOperation::kFillRect), 1) << "the black drawing clears the box";
  EXPECT_EQ(CountLines(ops, kBlack), 36 + 2);
  ASSERT_FALSE(ops.empty());
  EXPECT_EQ(ops.back().kind, DrawOperation::kFlush);
  EXPECT_EQ(interpreter->LastMatched(), -1);
  EXPECT_EQ(interpreter->LastKeyFrame(), -1);
}

TEST_F(InterpreterTest, MatcherFrameOnlyBecomesAnExample) {
  interpreter->SaveNextImageToMatcher();
  const std::string out = Run(Pattern::kVertical);
  EXPECT_EQ(out, "") << "no frame-rate line on a stored frame";
  EXPECT_TRUE(TakeOperations(histo).empty());
  EXPECT_EQ(interpreter->CountExamples(), 1);
  EXPECT_EQ(interpreter->CountMatchedChanges(), 0u);

  Run(Pattern::kVertical);
  EXPECT_EQ(interpreter->LastMatched(), 0);
  const auto ops = TakeOperations(matched);
  ASSERT_EQ(CountKind(ops, DrawOperation::kBitmap), 1);
  EXPECT_EQ(ops[0].points[0], BPoint(0, 0)) << "drawn at the pen position";
  EXPECT_EQ(CountLines(TakeOperations(histo), kRed), 36);
}

TEST_F(InterpreterTest, KeyFrameFrameOnlyBecomesAKeyFrame) {
  interpreter->SaveNextImageAsKeyframe();
  EXPECT_EQ(Run(Pattern::kHorizontal), "");
  EXPECT_TRUE(TakeOperations(histo).empty());
  EXPECT_EQ(interpreter->CountKeyFrames(), 1);
  EXPECT_EQ(interpreter->CountExamples(), 0);

  Run(Pattern::kHorizontal);
  EXPECT_EQ(interpreter->LastKeyFrame(), 0);
  EXPECT_EQ(CountKind(TakeOperations(keyframe), DrawOperation::kBitmap), 1);
  EXPECT_EQ(CountLines(TakeOperations(histo), kYellow), 36);
}

TEST_F(InterpreterTest, BothRequestsPendingTakeTwoFramesMatcherFirst) {
  interpreter->SaveNextImageAsKeyframe();
  interpreter->SaveNextImageToMatcher();
  Run(Pattern::kVertical);
  EXPECT_EQ(interpreter->CountExamples(), 1);
  EXPECT_EQ(interpreter->CountKeyFrames(), 0);
  Run(Pattern::kHorizontal);
  EXPECT_EQ(interpreter->CountExamples(), 1);
  EXPECT_EQ(interpreter->CountKeyFrames(), 1);
  EXPECT_NE(Run(Pattern::kHorizontal).find("fps"), std::string::npos) << "then normal frames again";
}

TEST_F(InterpreterTest, RequestSetTwiceIsConsumedOnce) {
  interpreter->SaveNextImageToMatcher();
  interpreter->SaveNextImageToMatcher();
  interpreter->SaveNextImageAsKeyframe();
  interpreter->SaveNextImageAsKeyframe();
  for (int i = 0; i < 4; ++i) Run(Pattern::kVertical);
  EXPECT_EQ(interpreter->CountExamples(), 1);
  EXPECT_EQ(interpreter->CountKeyFrames(), 1);
}

// --- Key-frame corners -----------------------------------------------------------------------

TEST_F(InterpreterTest, KeyFramesTakeTheCubeCornersAndRestartAfterClearing) {
  // Each key frame is reproduced at its own histogram, so matching a stored picture exactly
  // publishes that key frame's corner.
  const Pattern pictures[] = {Pattern::kVertical, Pattern::kHorizontal, Pattern::kDiagonal};
  for (Pattern p : pictures) {
    interpreter->SaveNextImageAsKeyframe();
    Run(p);
  }
  ASSERT_EQ(interpreter->CountKeyFrames(), 3);
  const std::vector<std::vector<float>> corners = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  for (int i = 0; i < 3; ++i) {
    Run(pictures[i]);
    EXPECT_EQ(interpreter->LastKeyFrame(), i);
    const auto v = Position();
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(v[c], corners[i][c], 1e-4) << "key frame " << i << " value " << c;
  }

  interpreter->ClearKeyframes();
  EXPECT_EQ(interpreter->LastKeyFrame(), -1);
  EXPECT_EQ(interpreter->CountKeyFrames(), 0);
  interpreter->SaveNextImageAsKeyframe();
  Run(Pattern::kDiagonal);
  interpreter->SaveNextImageAsKeyframe();
  Run(Pattern::kVertical);
  Run(Pattern::kDiagonal);
  auto v = Position();
  EXPECT_NEAR(v[0], 0, 1e-4) << "the first key frame after clearing is (0, 0, 0) again";
  Run(Pattern::kVertical);
  v = Position();
  EXPECT_NEAR(v[0], 1, 1e-4);
  EXPECT_NEAR(v[1], 0, 1e-4);
}

TEST_F(InterpreterTest, ClearingFillsTheViewsWithTheirHighColour) {
  interpreter->SaveNextImageToMatcher();
  Run(Pattern::kVertical);
  Run(Pattern::kVertical);
  ASSERT_TRUE(window->Lock());
  matched->SetHighColor(rgb_color{1, 2, 3, 255});
  keyframe->SetHighColor(rgb_color{4, 5, 6, 255});
  window->Unlock();
  interpreter->ClearMatcher();
  interpreter->ClearKeyframes();
  ASSERT_TRUE(window->Lock());
  EXPECT_EQ(matched->PixelAt(5, 5), (rgb_color{1, 2, 3, 255}));
  EXPECT_EQ(keyframe->PixelAt(5, 5), (rgb_color{4, 5, 6, 255}));
  window->Unlock();
  EXPECT_FALSE(window->IsLocked());
  EXPECT_EQ(interpreter->CountExamples(), 0);
}

// --- Matched index ---------------------------------------------------------------------------

TEST_F(InterpreterTest, MatchedIndexChangeCountsOnceAndAgainAfterClearing) {
  interpreter->SaveNextImageToMatcher();
  Run(Pattern::kVertical);
  interpreter->SaveNextImageToMatcher();
  Run(Pattern::kHorizontal);
  for (int i = 0; i < 3; ++i) Run(Pattern::kHorizontal);
  EXPECT_EQ(interpreter->LastMatched(), 1);
  EXPECT_EQ(interpreter->CountMatchedChanges(), 1u) << "the same index on consecutive frames is one change";
  Run(Pattern::kVertical);
  EXPECT_EQ(interpreter->LastMatched(), 0);
  EXPECT_EQ(interpreter->CountMatchedChanges(), 2u);

  interpreter->ClearMatcher();
  EXPECT_EQ(interpreter->LastMatched(), -1);
  Run(Pattern::kVertical);
  EXPECT_EQ(interpreter->CountMatchedChanges(), 2u) << "nothing to match, nothing changes";
  EXPECT_EQ(interpreter->LastMatched(), -1);
  interpreter->SaveNextImageToMatcher();
  Run(Pattern::kVertical);
  Run(Pattern::kVertical);
  EXPECT_EQ(interpreter->LastMatched(), 0);
  EXPECT_EQ(interpreter->CountMatchedChanges(), 3u) << "after clearing, index 0 is a change again";
}

// --- Smoothing of the position ---------------------------------------------------------------

TEST_F(InterpreterTest, SmoothingAlphaIsClampedAndGovernsThePublishedPosition) {
  interpreter->SetSmoothingAlpha(1.5f);
  EXPECT_EQ(interpreter->SmoothingAlpha(), 1.0f);
  interpreter->SetSmoothingAlpha(-0.2f);
  EXPECT_EQ(interpreter->SmoothingAlpha(), 0.0f);

  // Key frame 0 at (0,0,0) and key frame 1 at (1,0,0).
  interpreter->SaveNextImageAsKeyframe();
  Run(Pattern::kHorizontal);
  interpreter->SaveNextImageAsKeyframe();
  Run(Pattern::kVertical);

  interpreter->SetSmoothing(true);
  interpreter->SetSmoothingAlpha(0.0f);
  Run(Pattern::kVertical);
  EXPECT_EQ(Position()[0], 0.0f) << "alpha 0 keeps the smoothed value where it started";

  interpreter->SetSmoothingAlpha(1.0f);
  Run(Pattern::kVertical);
  const float smoothed = Position()[0];
  interpreter->SetSmoothing(false);
  Run(Pattern::kVertical);
  EXPECT_EQ(Position()[0], smoothed) << "alpha 1: smoothed equals raw";
  EXPECT_NEAR(smoothed, 1.0f, 1e-4);
}

TEST_F(InterpreterTest, SmoothedValueSettlesWhileSmoothingIsOff) {
  interpreter->SaveNextImageAsKeyframe();
  Run(Pattern::kHorizontal);
  interpreter->SaveNextImageAsKeyframe();
  Run(Pattern::kVertical);
  interpreter->SetSmoothingAlpha(0.5f);
  for (int i = 0; i < 40; ++i) Run(Pattern::kVertical);
  interpreter->SetSmoothing(true);
  Run(Pattern::kVertical);
  EXPECT_NEAR(Position()[0], 1.0f, 1e-4) << "switching smoothing on publishes a settled value";
}

// --- Frame rate ------------------------------------------------------------------------------

TEST_F(InterpreterTest, SteadyFortyMillisecondFramesApproachTwentyFiveFps) {
  std::string last;
  for (int i = 0; i < 120; ++i) last = Run(Pattern::kBlank, 40000);
  float fps = 0;
  ASSERT_EQ(std::sscanf(last.c_str(), "%f fps\n", &fps), 1) << last;
  EXPECT_NEAR(fps, 25.0f, 1e-3);
  EXPECT_EQ(last.back(), '\n');
  EXPECT_EQ(last.find('\n'), last.size() - 1) << "one line per frame";
}

TEST_F(InterpreterTest, StoredFramesDoNotMoveTheFrameClock) {
  // First interval from construction: 0.2 × 40000 = 8000 µs → 125 fps.
  float fps = 0;
  ASSERT_EQ(std::sscanf(Run(Pattern::kBlank, 40000).c_str(), "%f", &fps), 1);
  EXPECT_NEAR(fps, 125.0f, 1e-3);
  interpreter->SaveNextImageToMatcher();
  Run(Pattern::kBlank, 40000);
  // The next interval spans both frames: 0.2 × 80000 + 0.8 × 8000 = 22400 µs.
  ASSERT_EQ(std::sscanf(Run(Pattern::kBlank, 40000).c_str(), "%f", &fps), 1);
  EXPECT_NEAR(fps, 1e6f / 22400.0f, 1e-3);
}

// --- Input smoothing and blending ------------------------------------------------------------

TEST_F(InterpreterTest, FirstBlendedFrameIsUnchangedAndLaterOnesFeedBack) {
  interpreter->SetBlendInputImages(true);
  interpreter->SetTemporalBlendingAmount(0.5f);
  TestFrame first(Pattern::kBlank);
  first.Set(3, 3, 0x00c8c8c8);
  Run(first);
  EXPECT_EQ(first.PixelAt(3, 3), 0x00c8c8c8u) << "blended with itself";
  EXPECT_EQ(first.PixelAt(0, 0), 0x000a0a0au);

  TestFrame second(Pattern::kBlank);
  Run(second);
  // 0.5 × 10 + 0.5 × 200 = 105; byte 3 written as 0.
  EXPECT_EQ(second.PixelAt(3, 3), 0x00696969u);
  TestFrame third(Pattern::kBlank);
  Run(third);
  EXPECT_EQ(third.PixelAt(3, 3), 0x00393939u) << "blended with the previous blended frame (57)";

  interpreter->SetBlendInputImages(false);
  TestFrame plain(Pattern::kBlank);
  Run(plain);
  EXPECT_EQ(plain.PixelAt(3, 3), 0x000a0a0au);
  interpreter->SetBlendInputImages(true);
  TestFrame resumed(Pattern::kBlank);
  Run(resumed);
  EXPECT_EQ(resumed.PixelAt(3, 3), 0x00212121u) << "continues from the kept frame: (10 + 57) / 2 = 33";
}

TEST_F(InterpreterTest, BlendRestartsWhenTheFrameSizeChanges) {
  interpreter->SetBlendInputImages(true);
  interpreter->SetTemporalBlendingAmount(0.5f);
  Run(Pattern::kBlank);
  TestFrame larger(Pattern::kBlank, 40, 30);
  larger.Set(1, 1, 0x00c8c8c8);
  Run(larger);
  EXPECT_EQ(larger.PixelAt(1, 1), 0x00c8c8c8u);
  TestFrame next(Pattern::kBlank, 40, 30);
  Run(next);
  EXPECT_EQ(next.PixelAt(1, 1), 0x00696969u) << "blending goes on at the new size";
}

TEST_F(InterpreterTest, InputSmoothingChangesTheFrameInPlace) {
  interpreter->SetSmoothInputImages(true);
  TestFrame frame(Pattern::kBlank);
  frame.Set(10, 10, 0x00a0a0a0);  // 160 on 10
  Run(frame);
  // (6 × 6 × 160 + (256 − 36) × 10) / 256 in two passes, rounding down each time.
  EXPECT_LT(frame.PixelAt(10, 10) & 0xff, 160u);
  EXPECT_GT(frame.PixelAt(10, 10) & 0xff, 10u);
  EXPECT_GT(frame.PixelAt(11, 10) & 0xff, 10u);
}

// --- Hidden views ----------------------------------------------------------------------------

TEST_F(InterpreterTest, HiddenViewsAreSkippedAndTheWindowIsUnlocked) {
  interpreter->SaveNextImageToMatcher();
  Run(Pattern::kVertical);
  interpreter->SaveNextImageAsKeyframe();
  Run(Pattern::kVertical);
  ForgetOperations();
  ASSERT_TRUE(window->Lock());
  matched->Hide();
  keyframe->Hide();
  histo->Hide();
  window->Unlock();
  const std::string out = Run(Pattern::kVertical);
  EXPECT_NE(out.find("fps"), std::string::npos) << "the rest of the frame still happens";
  EXPECT_EQ(interpreter->LastMatched(), 0);
  EXPECT_EQ(interpreter->LastKeyFrame(), 0);
  EXPECT_EQ(CountKind(TakeOperations(matched), DrawOperation::kBitmap), 0);
  EXPECT_EQ(CountKind(TakeOperations(keyframe), DrawOperation::kBitmap), 0);
  EXPECT_EQ(CountKind(TakeOperations(histo), DrawOperation::kLine), 0);

  // Another thread can take the window at once: every lock was given back.
  std::atomic<status_t> other{B_ERROR};
  std::thread([&] {
    other = window->LockWithTimeout(1000000);
    if (other == B_OK) window->Unlock();
  }).join();
  EXPECT_EQ(other.load(), B_OK);
}

TEST_F(InterpreterTest, ClosedWindowStopsDrawingButNotTheAnalysis) {
  interpreter->SaveNextImageToMatcher();
  Run(Pattern::kVertical);
  window->Quit();
  Run(Pattern::kVertical);
  EXPECT_EQ(interpreter->LastMatched(), 0);
  EXPECT_EQ(interpreter->CountMatchedChanges(), 1u);
}
