#include <gtest/gtest.h>

#include <cstring>

#include "platform/interface/BBitmap.h"
#include "platform/interface/BView.h"
#include "platform/interface/BWindow.h"

namespace {
constexpr rgb_color kWhite{255, 255, 255, 255};
constexpr rgb_color kBlack{0, 0, 0, 255};
constexpr rgb_color kRed{255, 0, 0, 255};
constexpr rgb_color kBlue{0, 0, 255, 255};

// A shown window holding one locked 20 × 10 view with the operation log on.
struct Canvas : ::testing::Test {
  BWindow window{BRect(0, 0, 99, 99), "canvas"};
  BView* view = new BView(BRect(5, 5, 24, 14), "v");
  void SetUp() override {
    window.AddChild(view);
    window.Show();
    ASSERT_TRUE(window.Lock());
    view->SetRecordsOperations(true);
  }
  void TearDown() override { window.Unlock(); }

  int CountColor(rgb_color c) const {
    int n = 0;
    for (int y = 0; y < view->CanvasHeight(); ++y)
      for (int x = 0; x < view->CanvasWidth(); ++x) n += view->PixelAt(x, y) == c;
    return n;
  }
};
}  // namespace

TEST_F(Canvas, StartsInTheViewColourWithBoundsAtTheOrigin) {
  EXPECT_EQ(view->Bounds(), BRect(0, 0, 19, 9));
  EXPECT_EQ(view->CanvasWidth(), 20);
  EXPECT_EQ(view->CanvasHeight(), 10);
  EXPECT_EQ(CountColor(kWhite), 200);
  EXPECT_EQ(view->Window(), &window);
  EXPECT_EQ(window.FindView("v"), view);
  EXPECT_EQ(view->PixelAt(20, 0), (rgb_color{0, 0, 0, 0})) << "outside the canvas";
}

TEST_F(Canvas, FillRectCoversBothEdgesAndClips) {
  view->SetHighColor(kRed);
  view->FillRect(BRect(2, 3, 4, 5));
  EXPECT_EQ(CountColor(kRed), 9);
  EXPECT_EQ(view->PixelAt(2, 3), kRed);
  EXPECT_EQ(view->PixelAt(4, 5), kRed);
  EXPECT_EQ(view->PixelAt(5, 5), kWhite);

  view->SetHighColor(kBlue);
  view->FillRect(BRect(-100, 8, 1000, 1000));
  EXPECT_EQ(CountColor(kBlue), 40);
  view->FillRect(BRect(5, 5, 4, 4));  // empty
  EXPECT_EQ(CountColor(kBlue), 40);

  ASSERT_EQ(view->Operations().size(), 3u);
  EXPECT_EQ(view->Operations()[0].kind, DrawOperation::kFillRect);
  EXPECT_EQ(view->Operations()[0].color, kRed);
  EXPECT_EQ(view->Operations()[0].points[0], BPoint(2, 3));
  EXPECT_EQ(view->Operations()[0].points[1], BPoint(4, 5));
}

TEST_F(Canvas, PatternPaintsHighAndLowColours) {
  view->SetHighColor(kBlack);
  view->SetLowColor(kRed);
  view->FillRect(view->Bounds(), B_MIXED_COLORS);
  EXPECT_EQ(view->PixelAt(0, 0), kBlack);
  EXPECT_EQ(view->PixelAt(1, 0), kRed);
  EXPECT_EQ(view->PixelAt(0, 1), kRed);
  EXPECT_EQ(CountColor(kBlack), 100);
  view->FillRect(view->Bounds(), B_SOLID_LOW);
  EXPECT_EQ(CountColor(kRed), 200);
}

TEST_F(Canvas, LinesAreRasterisedWithBothEnds) {
  view->BeginLineArray(3);
  view->AddLine(BPoint(0, 0), BPoint(5, 0), kRed);    // horizontal: 6 pixels
  view->AddLine(BPoint(0, 2), BPoint(4, 6), kBlue);   // diagonal: 5 pixels
  view->AddLine(BPoint(9, 9), BPoint(9, 9), kBlack);  // a point
  EXPECT_EQ(CountColor(kRed), 0) << "nothing is drawn before EndLineArray";
  view->EndLineArray();
  EXPECT_EQ(CountColor(kRed), 6);
  EXPECT_EQ(CountColor(kBlue), 5);
  EXPECT_EQ(CountColor(kBlack), 1);
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(view->PixelAt(i, 2 + i), kBlue) << i;

  // A steep line visits every row once.
  view->SetHighColor(kBlack);
  view->StrokeLine(BPoint(15, 0), BPoint(17, 9));
  int rows = 0;
  for (int y = 0; y < 10; ++y)
    for (int x = 14; x <= 18; ++x) rows += view->PixelAt(x, y) == kBlack;
  EXPECT_EQ(rows, 10);
}

TEST_F(Canvas, LinesReachingFarOutsideAreClippedNotWalked) {
  view->BeginLineArray(2);
  view->AddLine(BPoint(-1e9f, 4), BPoint(1e9f, 4), kRed);
  view->AddLine(BPoint(-50, -50), BPoint(-10, -10), kBlue);  // wholly outside
  view->EndLineArray();
  EXPECT_EQ(CountColor(kRed), 20);
  EXPECT_EQ(CountColor(kBlue), 0);
}

TEST_F(Canvas, LineArrayKeepsOrderAndDropsLinesBeyondItsCount) {
  view->AddLine(BPoint(0, 0), BPoint(1, 1), kRed);  // outside a Begin/End pair
  view->BeginLineArray(2);
  view->AddLine(BPoint(0, 0), BPoint(1, 0), kRed);
  view->AddLine(BPoint(0, 1), BPoint(1, 1), kBlue);
  view->AddLine(BPoint(0, 2), BPoint(1, 2), kBlack);
  view->EndLineArray();
  const auto& ops = view->Operations();
  ASSERT_EQ(ops.size(), 2u);
  EXPECT_EQ(ops[0].kind, DrawOperation::kLine);
  EXPECT_EQ(ops[0].color, kRed);
  EXPECT_EQ(ops[1].points[0], BPoint(0, 1));
  EXPECT_EQ(ops[1].color, kBlue);
  EXPECT_EQ(CountColor(kBlack), 0);
  view->ClearOperations();
  EXPECT_TRUE(view->Operations().empty());
}

TEST_F(Canvas, DrawBitmapLandsAtThePenAndConvertsGrey) {
  BBitmap rgb(BRect(0, 0, 2, 1), B_RGB32);
  auto* px = static_cast<uint8*>(rgb.Bits());
  for (int i = 0; i < rgb.BitsLength(); i += 4) px[i] = 200, px[i + 1] = 100, px[i + 2] = 50;
  view->MovePenTo(BPoint(18, 9));
  EXPECT_EQ(view->PenLocation(), BPoint(18, 9));
  view->DrawBitmap(&rgb);
  const rgb_color c{50, 100, 200, 255};
  EXPECT_EQ(view->PixelAt(18, 9), c);
  EXPECT_EQ(view->PixelAt(19, 9), c);
  EXPECT_EQ(CountColor(c), 2) << "clipped at the right and bottom edges";

  BBitmap grey(BRect(0, 0, 4, 4), B_GRAY8);
  std::memset(grey.Bits(), 77, size_t(grey.BitsLength()));
  view->DrawBitmap(&grey, BPoint(-2, -2));
  EXPECT_EQ(CountColor(rgb_color{77, 77, 77, 255}), 9);
  EXPECT_EQ(view->PixelAt(2, 2), (rgb_color{77, 77, 77, 255}));
  EXPECT_EQ(view->PixelAt(3, 3), kWhite);

  ASSERT_EQ(view->Operations().size(), 2u);
  EXPECT_EQ(view->Operations()[0].kind, DrawOperation::kBitmap);
  EXPECT_EQ(view->Operations()[0].bitmap, &rgb);
  EXPECT_EQ(view->Operations()[0].points[0], BPoint(18, 9));
}

// The display copies a canvas only when its generation moved, so every change of pixels must
// move it, and only a frozen bitmap drawn again over itself may leave it.
TEST_F(Canvas, EveryChangeMovesTheGenerationButAFrozenBitmapRedrawnInPlaceDoesNot) {
  uint64_t seen = view->Generation();
  auto moved = [&] {
    const bool changed = view->Generation() != seen;
    seen = view->Generation();
    return changed;
  };
  view->FillRect(BRect(0, 0, 3, 3));
  EXPECT_TRUE(moved());
  view->StrokeLine(BPoint(0, 0), BPoint(5, 5));
  EXPECT_TRUE(moved());

  BBitmap still(BRect(0, 0, 2, 2), B_RGB32);
  std::memset(still.Bits(), 40, size_t(still.BitsLength()));
  still.Freeze();
  view->DrawBitmap(&still, BPoint(2, 2));
  EXPECT_TRUE(moved());
  view->DrawBitmap(&still, BPoint(2, 2));
  EXPECT_FALSE(moved()) << "the same frozen pixels at the same place";
  EXPECT_EQ(view->Operations().back().kind, DrawOperation::kBitmap) << "still logged as drawn";
  view->DrawBitmap(&still, BPoint(3, 2));
  EXPECT_TRUE(moved()) << "another place";
  view->FillRect(BRect(3, 2, 4, 4));
  EXPECT_TRUE(moved());
  view->DrawBitmap(&still, BPoint(3, 2));
  EXPECT_TRUE(moved()) << "drawn over since";
  EXPECT_EQ(view->PixelAt(3, 2), (rgb_color{40, 40, 40, 255}));

  // A bitmap that is not frozen, like the live frame, may hold new pixels every time.
  BBitmap live(BRect(0, 0, 2, 2), B_RGB32);
  std::memset(live.Bits(), 10, size_t(live.BitsLength()));
  view->DrawBitmap(&live, BPoint(12, 5));
  EXPECT_TRUE(moved());
  std::memset(live.Bits(), 90, size_t(live.BitsLength()));
  view->DrawBitmap(&live, BPoint(12, 5));
  EXPECT_TRUE(moved());
  EXPECT_EQ(view->PixelAt(12, 5), (rgb_color{90, 90, 90, 255}));
}

TEST(CanvasLocking, DrawingWithoutTheWindowLockIsRefused) {
  BWindow window(BRect(0, 0, 9, 9), "w");
  auto* view = new BView(BRect(0, 0, 9, 9), "v");
  window.AddChild(view);
  view->SetRecordsOperations(true);
  view->SetHighColor(kRed);
  testing::internal::CaptureStderr();
  view->FillRect(view->Bounds());
  view->Flush();
  const std::string message = testing::internal::GetCapturedStderr();
  EXPECT_NE(message.find("without its window locked"), std::string::npos);
  ASSERT_TRUE(window.Lock());
  EXPECT_EQ(view->PixelAt(0, 0), kWhite);
  EXPECT_TRUE(view->Operations().empty());
  window.Unlock();
}

TEST(CanvasLocking, HiddenFollowsTheViewAndItsWindow) {
  BWindow window(BRect(0, 0, 9, 9), "w");
  auto* view = new BView(BRect(0, 0, 9, 9), "v");
  window.AddChild(view);
  EXPECT_TRUE(window.IsHidden()) << "windows start hidden";
  EXPECT_TRUE(view->IsHidden());
  window.Show();
  EXPECT_FALSE(view->IsHidden());
  view->Hide();
  view->Hide();
  view->Show();
  EXPECT_TRUE(view->IsHidden()) << "hides nest";
  view->Show();
  EXPECT_FALSE(view->IsHidden());
  window.Hide();
  EXPECT_TRUE(view->IsHidden());
}

TEST(CanvasUpdates, FlushAndTheLastUnlockAfterDrawingNotifyTheDisplay) {
  BWindow window(BRect(0, 0, 9, 9), "w");
  auto* view = new BView(BRect(0, 0, 9, 9), "v");
  window.AddChild(view);
  int updates = 0;
  window.SetUpdateHook([&] { ++updates; });

  ASSERT_TRUE(window.Lock());
  window.Unlock();
  EXPECT_EQ(updates, 0) << "nothing drawn, nothing to show";

  ASSERT_TRUE(window.Lock());
  ASSERT_TRUE(window.Lock());
  view->FillRect(BRect(0, 0, 1, 1));
  window.Unlock();
  EXPECT_EQ(updates, 0) << "still locked";
  window.Unlock();
  EXPECT_EQ(updates, 1);

  ASSERT_TRUE(window.Lock());
  view->FillRect(BRect(0, 0, 1, 1));
  view->Flush();
  EXPECT_EQ(updates, 2);
  window.Unlock();
  EXPECT_EQ(updates, 2) << "the flush already showed it";

  window.SetUpdateHook(nullptr);
  ASSERT_TRUE(window.Lock());
  view->FillRect(BRect(0, 0, 1, 1));
  window.Unlock();
  EXPECT_EQ(updates, 2);
}

TEST_F(Canvas, DrawBitmapKeepsChannelsInPlaceAndMakesEveryPixelOpaque) {
  // A frame's alpha byte may hold anything; the canvas shows the colour fully opaque.
  BBitmap rgb(BRect(0, 0, 3, 0), B_RGB32);
  auto* px = static_cast<uint8*>(rgb.Bits());
  for (int i = 0; i < 4; i++) px[4 * i] = uint8(10 + i), px[4 * i + 1] = 20, px[4 * i + 2] = 30, px[4 * i + 3] = 0x5A;
  view->DrawBitmap(&rgb, BPoint(1, 1));
  for (int i = 0; i < 4; i++) EXPECT_EQ(view->PixelAt(1 + i, 1), (rgb_color{30, 20, uint8(10 + i), 255})) << i;

  BBitmap wide(BRect(0, 0, 1, 0), B_RGB16);
  auto* w = static_cast<uint8*>(wide.Bits());
  w[0] = 0x00, w[1] = 0xF8;  // full red
  w[2] = 0x1F, w[3] = 0x00;  // full blue
  view->DrawBitmap(&wide, BPoint(0, 3));
  EXPECT_EQ(view->PixelAt(0, 3), (rgb_color{255, 0, 0, 255}));
  EXPECT_EQ(view->PixelAt(1, 3), (rgb_color{0, 0, 255, 255}));
}
