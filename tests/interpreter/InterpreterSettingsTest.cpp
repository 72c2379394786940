#include <gtest/gtest.h>

#include <cstring>

#include "InterpreterFixture.h"
#include "analysis/GrayscaleImage.h"
#include "platform/interface/BBitmap.h"

using namespace testing_support;

TEST_F(InterpreterTest, StartValuesOfTheCodesAndSignatures) {
  char buffer[256];
  interpreter->GetDestinationAppSignature(buffer);
  EXPECT_STREQ(buffer, "application/x-vnd.kdx-3dReceiver");
  interpreter->GetMatchedAppSignature(buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "application/foobar");
  EXPECT_EQ(interpreter->GetBMessageCommand(), 0x4D323364u);
  EXPECT_EQ(interpreter->GetMatchedBMessageCommand(), 0x4D326D6Du);
  EXPECT_EQ(interpreter->NumBins(), 36);
  EXPECT_FLOAT_EQ(interpreter->SmoothingAlpha(), 0.3f);
  EXPECT_EQ(Position(), (std::vector<float>{0, 0, 0}));
}

TEST_F(InterpreterTest, SignaturesAreCopiedAndReadBackWithinTheBuffer) {
  std::string signature = "application/x-vnd.some-receiver";
  interpreter->SetDestinationAppSignature(signature.c_str());
  signature[0] = 'X';  // the interpreter keeps its own copy
  char buffer[12];
  std::memset(buffer, '#', sizeof buffer);
  interpreter->GetDestinationAppSignature(buffer, 8);
  EXPECT_STREQ(buffer, "applica") << "cut to the buffer and terminated";
  EXPECT_EQ(buffer[8], '#') << "nothing written beyond the given size";
  char full[256];
  interpreter->GetDestinationAppSignature(full);
  EXPECT_STREQ(full, "application/x-vnd.some-receiver");

  interpreter->SetMatchedAppSignature(nullptr);
  interpreter->GetMatchedAppSignature(full);
  EXPECT_STREQ(full, "");
  interpreter->SetBMessageCommand(0x61626364);
  interpreter->SetMatchedBMessageCommand(FourCC("abcd"));
  EXPECT_EQ(interpreter->GetBMessageCommand(), 0x61626364u);
  EXPECT_EQ(interpreter->GetMatchedBMessageCommand(), 0x61626364u);
}

// --- Bin count -------------------------------------------------------------------------------

TEST_F(InterpreterTest, BinCountChangesWhileNothingIsStored) {
  interpreter->SetNumBins(8);
  EXPECT_EQ(interpreter->NumBins(), 8);
  Run(Pattern::kVertical);
  EXPECT_EQ(CountKind(TakeOperations(histo), DrawOperation::kLine), 8 + 2);

  interpreter->SaveNextImageToMatcher();
  Run(Pattern::kVertical);
  interpreter->SaveNextImageAsKeyframe();
  Run(Pattern::kVertical);
  Run(Pattern::kVertical);
  EXPECT_EQ(interpreter->LastMatched(), 0) << "examples are made with the new count";
  EXPECT_EQ(interpreter->LastKeyFrame(), 0);
}

TEST_F(InterpreterTest, BinCountChangeIsRefusedWhileExamplesOrKeyFramesExist) {
  interpreter->SaveNextImageToMatcher();
  Run(Pattern::kVertical);
  testing::internal::CaptureStderr();
  interpreter->SetNumBins(12);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("refused"), std::string::npos);
  EXPECT_EQ(interpreter->NumBins(), 36);
  Run(Pattern::kVertical);
  EXPECT_EQ(interpreter->LastMatched(), 0) << "the stored example still matches";

  interpreter->ClearMatcher();
  interpreter->SaveNextImageAsKeyframe();
  Run(Pattern::kVertical);
  testing::internal::CaptureStderr();
  interpreter->SetNumBins(12);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("key frames"), std::string::npos);
  EXPECT_EQ(interpreter->NumBins(), 36);

  interpreter->ClearKeyframes();
  interpreter->SetNumBins(12);
  EXPECT_EQ(interpreter->NumBins(), 12);
}

TEST_F(InterpreterTest, BinCountOutsideItsRangeIsRefused) {
  testing::internal::CaptureStderr();
  interpreter->SetNumBins(0);
  interpreter->SetNumBins(-3);
  interpreter->SetNumBins(ImageInterpreter::kMaxBins + 1);
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_EQ(interpreter->NumBins(), 36);
  EXPECT_NE(messages.find("between 1 and"), std::string::npos);
  interpreter->SetNumBins(1);
  EXPECT_EQ(interpreter->NumBins(), 1);
  Run(Pattern::kVertical);
  EXPECT_EQ(CountKind(TakeOperations(histo), DrawOperation::kLine), 3);
}

TEST_F(InterpreterTest, KeyFrameOfAnotherBinCountGetsTheSetsCount) {
  TestFrame frame(Pattern::kHorizontal);
  auto* copy = new RGBAImage(*frame.image());
  const float values[3] = {1, 1, 1};
  // A key frame whose histogram was made before a bin count change.
  interpreter->AddKeyFrame(new KeyFrame(copy, new OrientationHistogram(*copy, 20.0f, 8), values, 3));
  Run(Pattern::kHorizontal);
  const auto v = Position();
  EXPECT_NEAR(v[0], 1.0f, 1e-4) << "its histogram was rebuilt with 36 bins, so it interpolates";
  EXPECT_NEAR(v[2], 1.0f, 1e-4);
}

// --- Display bitmaps -------------------------------------------------------------------------

TEST_F(InterpreterTest, DisplayBitmapIsAnRGB32CopyOfTheExample) {
  // Rows padded beyond the pixels: the bitmap must copy row by row, not overrun.
  const int w = 5, h = 3, bpr = 32;
  std::vector<uint32> pixels(size_t(bpr / 4) * h, 0xdeadbeef);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) pixels[size_t(y) * (bpr / 4) + x] = 0x00102030u + uint32(x + 10 * y);
  RGBAImage wrapped(pixels.data(), w, h, bpr);
  auto* example = new RGBAImage(wrapped);
  interpreter->AddImageToMatcher(example);
  ASSERT_NE(example->displayBitmap, nullptr);
  const BBitmap* bitmap = example->displayBitmap;
  EXPECT_EQ(bitmap->ColorSpace(), B_RGB32);
  EXPECT_EQ(bitmap->Bounds(), BRect(0, 0, w - 1, h - 1));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32 word;
      std::memcpy(&word, static_cast<const uint8*>(bitmap->Bits()) + y * bitmap->BytesPerRow() + 4 * x, 4);
      EXPECT_EQ(word, 0x00102030u + uint32(x + 10 * y)) << x << "," << y;
    }
}

class GreyInterpreterTest : public InterpreterTest {
 protected:
  void SetUp() override {
    InterpreterTest::SetUp();
    interpreter = std::make_unique<ImageInterpreter>(histo, keyframe, matched, B_GRAY8);
  }
};

TEST_F(GreyInterpreterTest, GreyFramesAreStoredAndShownAsGrey) {
  const int w = TestFrame::kWidth, h = TestFrame::kHeight;
  std::vector<uint8> samples(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) samples[size_t(y) * w + x] = x >= w / 2 ? 180 : 20;
  GrayscaleImage frame(samples.data(), w, h, w);

  interpreter->SaveNextImageToMatcher();
  gNow += 40000;
  interpreter->Interpret(&frame);
  interpreter->SaveNextImageAsKeyframe();
  gNow += 40000;
  interpreter->Interpret(&frame);
  testing::internal::CaptureStdout();
  gNow += 40000;
  interpreter->Interpret(&frame);
  testing::internal::GetCapturedStdout();

  EXPECT_EQ(interpreter->LastMatched(), 0);
  EXPECT_EQ(interpreter->LastKeyFrame(), 0);
  ASSERT_TRUE(window->Lock());
  EXPECT_EQ(matched->PixelAt(w - 1, 0), (rgb_color{180, 180, 180, 255}));
  EXPECT_EQ(matched->PixelAt(0, h - 1), (rgb_color{20, 20, 20, 255}));
  EXPECT_EQ(keyframe->PixelAt(w - 1, h - 1), (rgb_color{180, 180, 180, 255}));
  window->Unlock();
}
