#include <gtest/gtest.h>

#include <initializer_list>

#include "InterpreterFixture.h"
#include "analysis/OrientationHistogram.h"

using namespace testing_support;

namespace {
constexpr rgb_color kBlack{0, 0, 0, 0};
constexpr rgb_color kRed{255, 0, 0, 0};
constexpr rgb_color kYellow{255, 255, 0, 0};

class HistogramDrawingTest : public InterpreterTest {
 protected:
  // A histogram of n bins holding the given values (the rest 0).
  std::unique_ptr<OrientationHistogram> Histogram(int n, std::initializer_list<float> values = {}) {
    TestFrame blank(Pattern::kBlank);
    auto h = std::make_unique<OrientationHistogram>(*blank.image(), 20.0f, n);
    int i = 0;
    for (float v : values) h->bins[i++] = v;
    return h;
  }
  std::vector<DrawOperation> Lines() {
    std::vector<DrawOperation> lines;
    for (const DrawOperation& op : TakeOperations(histo))
      if (op.kind == DrawOperation::kLine) lines.push_back(op);
    return lines;
  }
};

void ExpectLine(const DrawOperation& op, BPoint from, BPoint to, rgb_color color, const char* what) {
  EXPECT_NEAR(op.points[0].x, from.x, 1e-4) << what;
  EXPECT_NEAR(op.points[0].y, from.y, 1e-4) << what;
  EXPECT_NEAR(op.points[1].x, to.x, 1e-4) << what;
  EXPECT_NEAR(op.points[1].y, to.y, 1e-4) << what;
  EXPECT_EQ(op.color, color) << what;
}
}  // namespace

TEST_F(HistogramDrawingTest, FourBinsDrawAxesThenTheClosedPolygon) {
  auto h = Histogram(4, {1, 0, 0, 0});
  interpreter->DrawHistogram(h.get(), histo, kRed);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 6u);
  ExpectLine(lines[0], BPoint(12, 32), BPoint(52, 32), kBlack, "horizontal axis");
  ExpectLine(lines[1], BPoint(32, 12), BPoint(32, 52), kBlack, "vertical axis");
  ExpectLine(lines[2], BPoint(52, 32), BPoint(32, 32), kRed, "edge 0-1");
  ExpectLine(lines[3], BPoint(32, 32), BPoint(32, 32), kRed, "edge 1-2");
  ExpectLine(lines[4], BPoint(32, 32), BPoint(32, 32), kRed, "edge 2-3");
  ExpectLine(lines[5], BPoint(32, 32), BPoint(52, 32), kRed, "closing edge");
}

TEST_F(HistogramDrawingTest, BinsRunClockwiseFromTheRight) {
  auto h = Histogram(36);
  h->bins[9] = 1;
  interpreter->DrawHistogram(h.get(), histo, kYellow);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 38u);
  // Line k + 2 runs from vertex k to vertex k + 1: bin 9 is a quarter turn, straight below.
  ExpectLine(lines[2 + 8], BPoint(32, 32), BPoint(32, 52), kYellow, "into vertex 9");
  ExpectLine(lines[2 + 9], BPoint(32, 52), BPoint(32, 32), kYellow, "out of vertex 9");
  ExpectLine(lines[37], BPoint(32, 32), BPoint(32, 32), kYellow, "closing edge to vertex 0 at the centre");
}

TEST_F(HistogramDrawingTest, ZeroHistogramCollapsesOntoTheCentre) {
  auto h = Histogram(8);
  interpreter->DrawHistogram(h.get(), histo, kBlack);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 10u);
  for (size_t i = 2; i < lines.size(); ++i)
    ExpectLine(lines[i], BPoint(32, 32), BPoint(32, 32), kBlack, "collapsed edge");
}

TEST_F(HistogramDrawingTest, OnlyBlackClearsTheBoxToTheViewColour) {
  const rgb_color grey{90, 90, 90, 255};
  const rgb_color paint{1, 200, 3, 255};
  ASSERT_TRUE(window->Lock());
  histo->SetHighColor(paint);
  histo->FillRect(histo->Bounds());
  histo->SetViewColor(grey);
  histo->ClearOperations();
  window->Unlock();

  auto full = Histogram(4, {1, 1, 1, 1});
  auto zeros = Histogram(4);
  interpreter->DrawHistogram(full.get(), histo, kRed);
  auto ops = TakeOperations(histo);
  EXPECT_EQ(CountKind(ops, DrawOperation::kFillRect), 0);
  ASSERT_TRUE(window->Lock());
  EXPECT_EQ(histo->PixelAt(20, 20), paint) << "red draws on top of what is there";
  EXPECT_EQ(histo->PixelAt(52, 32), (rgb_color{255, 0, 0, 255})) << "vertex 0 at the box edge";
  window->Unlock();

  // Alpha is not looked at: any colour with red, green and blue 0 clears.
  interpreter->DrawHistogram(zeros.get(), histo, rgb_color{0, 0, 0, 255});
  ops = TakeOperations(histo);
  ASSERT_EQ(CountKind(ops, DrawOperation::kFillRect), 1);
  EXPECT_EQ(ops[0].points[0], BPoint(12, 12));
  EXPECT_EQ(ops[0].points[1], BPoint(52, 52));
  ASSERT_TRUE(window->Lock());
  EXPECT_EQ(histo->PixelAt(20, 20), grey);
  EXPECT_EQ(histo->PixelAt(12, 12), grey);
  EXPECT_EQ(histo->PixelAt(53, 53), paint) << "outside the box stays";
  EXPECT_EQ(histo->PixelAt(11, 20), paint);
  EXPECT_EQ(histo->HighColor(), grey) << "the high colour stays at the view colour";
  window->Unlock();

  interpreter->DrawHistogram(full.get(), histo, kYellow);
  EXPECT_EQ(CountKind(TakeOperations(histo), DrawOperation::kFillRect), 0);
}

TEST_F(HistogramDrawingTest, HiddenViewGetsNothingAndIsUnlockedAgain) {
  auto h = Histogram(4, {1, 0, 0, 0});
  ASSERT_TRUE(window->Lock());
  histo->Hide();
  window->Unlock();
  interpreter->DrawHistogram(h.get(), histo, kBlack);
  EXPECT_TRUE(TakeOperations(histo).empty());
  EXPECT_EQ(window->CountLocks(), 0);
  window->Hide();  // the window hidden instead hides its views too
  ASSERT_TRUE(window->Lock());
  histo->Show();
  window->Unlock();
  interpreter->DrawHistogram(h.get(), histo, kBlack);
  EXPECT_TRUE(TakeOperations(histo).empty());
  EXPECT_EQ(window->CountLocks(), 0);
}

TEST_F(HistogramDrawingTest, DrawingIsNotFlushedByItself) {
  auto h = Histogram(4, {1, 0, 0, 0});
  interpreter->DrawHistogram(h.get(), histo, kBlack);
  EXPECT_EQ(CountKind(TakeOperations(histo), DrawOperation::kFlush), 0);
  Run(Pattern::kVertical);
  const auto ops = TakeOperations(histo);
  EXPECT_EQ(CountKind(ops, DrawOperation::kFlush), 1);
}

TEST_F(HistogramDrawingTest, FrameDrawsCurrentThenMatchedThenKeyFrameAndFlushesOnce) {
  interpreter->SaveNextImageToMatcher();
  Run(Pattern::kVertical);
  interpreter->SaveNextImageAsKeyframe();
  Run(Pattern::kHorizontal);
  ForgetOperations();
  Run(Pattern::kVertical);
  const auto ops = TakeOperations(histo);
  // fill, 38 black, 36 red + 2 axes, 36 yellow + 2 axes, flush
  ASSERT_EQ(ops.size(), 1u + 38 + 38 + 38 + 1);
  EXPECT_EQ(ops[0].kind, DrawOperation::kFillRect);
  EXPECT_EQ(ops[1 + 2].color, kBlack);
  EXPECT_EQ(ops[1 + 38 + 2].color, kRed);
  EXPECT_EQ(ops[1 + 76 + 2].color, kYellow);
  EXPECT_EQ(ops.back().kind, DrawOperation::kFlush);
}
