#include <gtest/gtest.h>

#include <typeinfo>
#include <vector>

#include "AnalysisTestUtil.h"

using analysis_test::OwnedImage;

namespace {

uint32 Word(uint32 red, uint32 green, uint32 blue, uint32 alpha = 0) {
  return blue | (green << 8) | (red << 16) | (alpha << 24);
}

TEST(ImagePixels, GreyAndColourReadsFollowTheirFormats) {
  uint8 grey[] = {200};
  GrayscaleImage g(grey, 1, 1, 1);
  EXPECT_EQ(g.I(0, 0), 200.0f);
  EXPECT_EQ(g.I_Y(0, 0), 200.0f);
  EXPECT_EQ(g.I_RGB(0, 0), 0x00C8C8C8u);
  EXPECT_EQ(g.bitsPerPixel, 8);
  EXPECT_EQ(g.displayBitmap, nullptr);

  uint32 colour[] = {0x00112233};
  RGBAImage c(colour, 1, 1, 4);
  EXPECT_EQ(c.I(0, 0), 34.0f);  // green, not the luminance
  EXPECT_NEAR(c.I_Y(0, 0), 30.77f, 1e-4f);
  EXPECT_EQ(c.I_RGB(0, 0), 0x00112233u);
  EXPECT_EQ(c.bitsPerPixel, 32);
}

TEST(ImagePixels, PaddedRowsAreAddressedByBytesPerRow) {
  // 3 x 2 grey image with rows of 8 bytes.
  std::vector<uint8> grey(16, 0xEE);
  grey[0 * 8 + 2] = 7;
  grey[1 * 8 + 1] = 9;
  GrayscaleImage g(grey.data(), 3, 2, 8);
  EXPECT_EQ(g.I(2, 0), 7.0f);
  EXPECT_EQ(g.I(1, 1), 9.0f);

  // 2 x 2 colour image with rows of 16 bytes (4 words, 2 of them padding).
  std::vector<uint32> colour(8, 0xFFFFFFFF);
  colour[1 * 4 + 1] = Word(1, 2, 3);
  RGBAImage c(colour.data(), 2, 2, 16);
  EXPECT_EQ(c.I_RGB(1, 1), Word(1, 2, 3));
}

TEST(ImageCopy, DeepCopyKeepsGeometryAndOwnsItsBuffer) {
  std::vector<uint8> grey = {1, 2, 3, 99, 4, 5, 6, 99};
  GrayscaleImage source(grey.data(), 3, 2, 4);
  OwnedImage copy(new GrayscaleImage(static_cast<const Image&>(source)));
  EXPECT_NE(copy->pixels, source.pixels);
  EXPECT_EQ(copy->bytesPerRow, 4);
  EXPECT_EQ(copy->width, 3);
  EXPECT_EQ(copy->height, 2);
  grey[4] = 77;
  EXPECT_EQ(copy->I(0, 1), 4.0f);
  EXPECT_EQ(static_cast<uint8*>(copy->pixels)[3], 99);  // padding is copied too

  // The class's own copy constructor must not alias the buffer either.
  GrayscaleImage& typed = static_cast<GrayscaleImage&>(*copy);
  OwnedImage second(new GrayscaleImage(typed));
  EXPECT_NE(second->pixels, copy->pixels);
  EXPECT_EQ(second->I(2, 1), 6.0f);
}

TEST(ImageCopy, FreePixelsClearsBothPointers) {
  GrayscaleImage* g = analysis_test::OwnedGray(2, 2, 5);
  g->FreePixels();
  EXPECT_EQ(g->pixels, nullptr);
  EXPECT_EQ(g->grayPixels, nullptr);
  delete g;
}

TEST(ImageMixedClasses, EveryTwoImageOperationThrowsBadCast) {
  uint8 grey[4] = {};
  uint32 colour[1] = {};
  GrayscaleImage g(grey, 1, 1, 4);
  RGBAImage c(colour, 1, 1, 4);
  const Image& asImage = c;
  EXPECT_THROW(GrayscaleImage copy(asImage), std::bad_cast);
  EXPECT_THROW(RGBAImage copy(static_cast<const Image&>(g)), std::bad_cast);
  EXPECT_THROW(g.Subtract(c), std::bad_cast);
  EXPECT_THROW(g.Average(c), std::bad_cast);
  EXPECT_THROW(g.Blend(c, 0.5f), std::bad_cast);
  EXPECT_THROW(c.Blend(g, 0.5f), std::bad_cast);
  EXPECT_THROW(static_cast<Image&>(g) = asImage, std::bad_cast);
  EXPECT_THROW(delete (g - c), std::bad_cast);
}

TEST(ImageCompatibility, MismatchedImagesAreLeftAlone) {
  uint8 a[6] = {1, 2, 3, 4, 5, 6};
  uint8 b[6] = {9, 9, 9, 9, 9, 9};
  GrayscaleImage wide(a, 3, 2, 3);
  GrayscaleImage narrow(b, 2, 3, 2);
  wide = narrow;
  wide.Subtract(narrow);
  wide.Average(narrow);
  wide.Blend(narrow, 1.0f);
  EXPECT_EQ(std::vector<uint8>(a, a + 6), (std::vector<uint8>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(wide - narrow, nullptr);

  // Same size but different row padding: addressing both with one stride would be wrong.
  uint8 padded[8] = {};
  GrayscaleImage p(padded, 3, 2, 4);
  EXPECT_EQ(wide - p, nullptr);
}

TEST(ImageArithmetic, DifferenceIsAbsoluteAndLeavesOperandsAlone) {
  uint8 a[2] = {10, 200};
  uint8 b[2] = {30, 50};
  GrayscaleImage ga(a, 2, 1, 2);
  GrayscaleImage gb(b, 2, 1, 2);
  OwnedImage diff(ga - gb);
  ASSERT_NE(diff, nullptr);
  EXPECT_EQ(diff->I(0, 0), 20.0f);
  EXPECT_EQ(diff->I(1, 0), 150.0f);
  EXPECT_EQ(a[0], 10);
  ga.Subtract(gb);
  EXPECT_EQ(a[0], 20);
  EXPECT_EQ(a[1], 150);

  uint32 ca[1] = {Word(10, 200, 0, 0xFF)};
  uint32 cb[1] = {Word(30, 50, 255, 0xFF)};
  RGBAImage ra(ca, 1, 1, 4);
  RGBAImage rb(cb, 1, 1, 4);
  OwnedImage cdiff(ra - rb);
  ASSERT_NE(cdiff, nullptr);
  EXPECT_EQ(cdiff->I_RGB(0, 0), Word(20, 150, 255, 0));
}

TEST(ImageArithmetic, AverageRoundsDownPerByte) {
  uint8 a[1] = {3};
  uint8 b[1] = {4};
  GrayscaleImage ga(a, 1, 1, 1);
  GrayscaleImage gb(b, 1, 1, 1);
  ga.Average(gb);
  EXPECT_EQ(a[0], 3);

  uint32 ca[1] = {Word(255, 1, 10, 0x80)};
  uint32 cb[1] = {Word(254, 2, 20, 0x80)};
  RGBAImage ra(ca, 1, 1, 4);
  RGBAImage rb(cb, 1, 1, 4);
  ra.Average(rb);
  EXPECT_EQ(ca[0], Word(254, 1, 15, 0));
}

TEST(ImageArithmetic, AssignmentCopiesTheWholeBufferIncludingPadding) {
  uint8 a[4] = {0, 0, 0, 0};
  uint8 b[4] = {1, 2, 3, 4};
  GrayscaleImage ga(a, 1, 2, 2);
  GrayscaleImage gb(b, 1, 2, 2);
  Image& result = (ga = gb);
  EXPECT_EQ(&result, &ga);
  EXPECT_EQ(std::vector<uint8>(a, a + 4), (std::vector<uint8>{1, 2, 3, 4}));
}

TEST(ImageBlend, AlphaIsClampedAndTheMixTruncated) {
  uint8 a[3] = {255, 100, 50};
  uint8 b[3] = {0, 101, 60};
  GrayscaleImage ga(a, 3, 1, 3);
  GrayscaleImage gb(b, 3, 1, 3);
  ga.Blend(gb, 0.5f);
  EXPECT_EQ(a[0], 127);  // 127.5
  EXPECT_EQ(a[1], 100);  // 100.5

  ga.Blend(gb, -0.2f);
  EXPECT_EQ(a[0], 127);
  ga.Blend(gb, 1.5f);
  EXPECT_EQ(std::vector<uint8>(a, a + 3), (std::vector<uint8>{0, 101, 60}));
}

TEST(ImageBlend, ColourBlendsEachByteAndClearsAlpha) {
  uint32 ca[1] = {Word(200, 0, 255, 0xFF)};
  uint32 cb[1] = {Word(100, 255, 0, 0xFF)};
  RGBAImage ra(ca, 1, 1, 4);
  RGBAImage rb(cb, 1, 1, 4);
  ra.Blend(rb, 0.25f);
  // 0.75 x 200 + 0.25 x 100 = 175; 63.75 -> 63; 191.25 -> 191
  EXPECT_EQ(ca[0], Word(175, 63, 191, 0));
}

TEST(ImageThreshold, GreyKeepsSamplesAtOrAboveT) {
  uint8 a[4] = {0, 9, 10, 11};
  GrayscaleImage g(a, 4, 1, 4);
  g.Threshold(0);
  EXPECT_EQ(std::vector<uint8>(a, a + 4), (std::vector<uint8>{0, 9, 10, 11}));
  g.Threshold(10);
  EXPECT_EQ(std::vector<uint8>(a, a + 4), (std::vector<uint8>{0, 0, 10, 11}));
}

TEST(ImageThreshold, ColourClearsPixelsWhoseLargestByteIsAtMostT) {
  uint32 c[4] = {Word(0, 0, 0, 0xFF), Word(10, 10, 10, 0xFF), Word(0, 11, 0, 0xFF),
                 Word(1, 0, 0, 0xFF)};
  RGBAImage r(c, 4, 1, 16);
  r.Threshold(0);
  EXPECT_EQ(c[0], 0u);  // black, alpha included
  EXPECT_EQ(c[3], Word(1, 0, 0, 0xFF));
  r.Threshold(10);
  EXPECT_EQ(c[1], 0u);  // largest byte equals t
  EXPECT_EQ(c[2], Word(0, 11, 0, 0xFF));
  EXPECT_EQ(c[3], 0u);
}

TEST(ImageSmooth, OneRowSmoothsHorizontallyOnly) {
  uint8 row[5] = {0, 0, 16, 0, 0};
  GrayscaleImage g(row, 5, 1, 5);
  g.Smooth();
  // Only x = 2 is filtered; the borders keep their values.
  EXPECT_EQ(std::vector<uint8>(row, row + 5), (std::vector<uint8>{0, 0, 6, 0, 0}));
}

TEST(ImageSmooth, FiltersFromTheUnchangedRowNotInPlace) {
  uint8 row[7] = {0, 0, 16, 16, 0, 0, 0};
  GrayscaleImage g(row, 7, 1, 7);
  g.Smooth();
  // x=2: (0 + 0 + 96 + 64 + 0)/16 = 10; x=3: (0 + 64 + 96 + 0 + 0)/16 = 10;
  // x=4: (16 + 64 + 0 + 0 + 0)/16 = 5
  EXPECT_EQ(std::vector<uint8>(row, row + 7), (std::vector<uint8>{0, 0, 10, 10, 5, 0, 0}));
}

TEST(ImageSmooth, NarrowImageKeepsRowsButStillFiltersColumns) {
  // 4 wide, 5 high: no column is filtered horizontally, every column vertically at y = 2.
  uint8 pixels[20] = {};
  for (int x = 0; x < 4; x++) pixels[2 * 4 + x] = static_cast<uint8>(16 * (x + 1));
  GrayscaleImage g(pixels, 4, 5, 4);
  g.Smooth();
  for (int x = 0; x < 4; x++) {
    EXPECT_EQ(pixels[2 * 4 + x], 6 * (x + 1)) << "column " << x;
    EXPECT_EQ(pixels[1 * 4 + x], 0) << "row 1 is a border";
  }
}

TEST(ImageSmooth, CornersNeverChangeAndPaddingIsUntouched) {
  const int w = 6, h = 6, stride = 8;
  std::vector<uint8> pixels(stride * h, 0xAB);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) pixels[y * stride + x] = static_cast<uint8>((x * 37 + y * 91) % 256);
  std::vector<uint8> before = pixels;
  GrayscaleImage g(pixels.data(), w, h, stride);
  g.Smooth();
  for (int y : {0, 1, h - 2, h - 1})
    for (int x : {0, 1, w - 2, w - 1}) EXPECT_EQ(pixels[y * stride + x], before[y * stride + x]);
  for (int y = 0; y < h; y++)
    for (int x = w; x < stride; x++) EXPECT_EQ(pixels[y * stride + x], 0xAB);
  EXPECT_NE(pixels, before);
}

TEST(ImageSmooth, ColourSmoothsEachByteAndClearsAlphaWhereWritten) {
  const int w = 5, h = 5;
  std::vector<uint32> pixels(w * h, Word(0, 0, 0, 0xFF));
  pixels[2 * w + 2] = Word(255, 16, 160, 0xFF);
  RGBAImage r(pixels.data(), w, h, w * 4);
  r.Smooth();
  // Centre: horizontal 6/16, then vertical 6/16 of that, per byte.
  uint32 centre = pixels[2 * w + 2];
  EXPECT_EQ((centre >> 16) & 0xff, ((255 * 6) >> 4) * 6 >> 4);
  EXPECT_EQ((centre >> 8) & 0xff, ((16 * 6) >> 4) * 6 >> 4);
  EXPECT_EQ(centre & 0xff, ((160 * 6) >> 4) * 6 >> 4);
  EXPECT_EQ(centre >> 24, 0u);
  EXPECT_EQ(pixels[0] >> 24, 0xFFu);          // corner: never written
  EXPECT_EQ(pixels[2 * w + 0] >> 24, 0u);     // left border, written by the vertical pass
  EXPECT_EQ(pixels[0 * w + 2] >> 24, 0u);     // top border, written by the horizontal pass
}

TEST(ImageSmooth, TinyImagesDoNotCrash) {
  uint8 one = 42;
  GrayscaleImage g(&one, 1, 1, 1);
  g.Smooth();
  EXPECT_EQ(one, 42);
  GrayscaleImage empty(nullptr, 0, 0, 0);
  empty.Smooth();
  uint32 word = Word(1, 2, 3, 4);
  RGBAImage r(&word, 1, 1, 4);
  r.Smooth();
  EXPECT_EQ(word, Word(1, 2, 3, 4));
}

}  // namespace
