#include "platform/interface/BBitmap.h"

#include <gtest/gtest.h>

TEST(BBitmap, InclusiveBoundsGiveWidthTimesHeightPixels) {
  BBitmap bitmap(BRect(0, 0, 319, 239), B_RGB32);
  ASSERT_TRUE(bitmap.IsValid());
  EXPECT_EQ(bitmap.Bounds().Width(), 319);
  EXPECT_EQ(bitmap.PixelWidth(), 320);
  EXPECT_EQ(bitmap.PixelHeight(), 240);
  EXPECT_EQ(bitmap.BytesPerRow(), 1280);
  EXPECT_EQ(bitmap.BitsLength(), 1280 * 240);
  EXPECT_NE(bitmap.Bits(), nullptr);
}

TEST(BBitmap, NarrowRowsArePaddedToFourBytes) {
  BBitmap grey(BRect(0, 0, 4, 2), B_GRAY8);
  EXPECT_EQ(grey.BytesPerRow(), 8);
  EXPECT_EQ(grey.BitsLength(), 24);
  BBitmap rgb16(BRect(0, 0, 2, 0), B_RGB16);
  EXPECT_EQ(rgb16.BytesPerRow(), 8);
}

TEST(BBitmap, RefusesWhatItCannotHold) {
  EXPECT_FALSE(BBitmap(BRect(), B_RGB32).IsValid());
  EXPECT_FALSE(BBitmap(BRect(0, 0, 9, 9), B_NO_COLOR_SPACE).IsValid());
  EXPECT_FALSE(BBitmap(BRect(0, 0, 1e9f, 1e9f), B_RGB32).IsValid());
  EXPECT_FALSE(BBitmap(BRect(0, 0, 9, 9), B_RGB32, true).IsValid());
  BBitmap refused(BRect(0, 0, 1e9f, 1e9f), B_RGB32);
  EXPECT_EQ(refused.Bits(), nullptr);
  EXPECT_EQ(refused.BitsLength(), 0);
}
