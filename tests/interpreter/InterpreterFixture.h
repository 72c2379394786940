#pragma once
// A shown window with the interpreter's three views, synthetic frames and a test clock.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "analysis/RGBAImage.h"
#include "platform/interface/BView.h"
#include "platform/interface/BWindow.h"
#include "interpreter/ImageInterpreter.h"
#include "platform/support/Time.h"

namespace testing_support {

inline std::atomic<bigtime_t> gNow{1000000};
inline bigtime_t TestClock() { return gNow.load(); }

enum class Pattern { kBlank, kVertical, kHorizontal, kDiagonal, kChecker };

// A colour frame over memory of its own, wrapped the way the video consumer wraps frames.
class TestFrame {
 public:
  static constexpr int kWidth = 32, kHeight = 24;
  explicit TestFrame(Pattern pattern, int width = kWidth, int height = kHeight)
      : fPixels(size_t(width) * height), fImage(fPixels.data(), width, height, width * 4) {
    Fill(pattern);
  }
  void Fill(Pattern pattern) {
    const int w = fImage.width, h = fImage.height;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        bool bright = false;
        switch (pattern) {
          case Pattern::kBlank: bright = false; break;
          case Pattern::kVertical: bright = x >= w / 2; break;
          case Pattern::kHorizontal: bright = y >= h / 2; break;
          case Pattern::kDiagonal: bright = x + y >= (w + h) / 2; break;
          case Pattern::kChecker: bright = ((x / 4) + (y / 4)) % 2 == 1; break;
        }
        const uint32 v = bright ? 200 : 10;
        fPixels[size_t(y) * w + x] = (v << 16) | (v << 8) | v;
      }
  }
  Image* image() { return &fImage; }
  uint32 PixelAt(int x, int y) const { return fPixels[size_t(y) * fImage.width + x]; }
  void Set(int x, int y, uint32 word) { fPixels[size_t(y) * fImage.width + x] = word; }

 private:
  std::vector<uint32> fPixels;
  RGBAImage fImage;
};

class InterpreterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gNow = 1000000;
    set_system_time_source(&TestClock);
    window = std::make_unique<BWindow>(BRect(0, 0, 199, 99), "Control");
    histo = new BView(BRect(0, 0, 63, 63), "histo");
    keyframe = new BView(BRect(70, 0, 70 + TestFrame::kWidth - 1, TestFrame::kHeight - 1), "keyframe");
    matched = new BView(BRect(110, 0, 110 + TestFrame::kWidth - 1, TestFrame::kHeight - 1), "matched");
    for (BView* v : {histo, keyframe, matched}) {
      window->AddChild(v);
      v->SetRecordsOperations(true);
    }
    window->Show();
    interpreter = std::make_unique<ImageInterpreter>(histo, keyframe, matched, B_RGB32);
  }
  void TearDown() override {
    interpreter.reset();
    window.reset();
    set_system_time_source(nullptr);
  }

  // Runs one frame, advancing the clock first, and lets the outputs send what it gave them;
  // returns what it printed.
  std::string Run(Pattern pattern, bigtime_t advance = 40000) {
    TestFrame frame(pattern);
    return Run(frame, advance);
  }
  std::string Run(TestFrame& frame, bigtime_t advance = 40000) {
    gNow += advance;
    ::testing::internal::CaptureStdout();
    interpreter->Interpret(frame.image());
    std::fflush(stdout);
    std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(interpreter->WaitForOutputs());
    return printed;
  }
  std::vector<float> Position() {
    float v[3];
    interpreter->GetCurrentValues(v);
    return {v[0], v[1], v[2]};
  }
  // The operations of a view, read under its window lock, and forgotten.
  std::vector<DrawOperation> TakeOperations(BView* view) {
    EXPECT_TRUE(window->Lock());
    std::vector<DrawOperation> ops = view->Operations();
    view->ClearOperations();
    window->Unlock();
    return ops;
  }
  void ForgetOperations() {
    for (BView* v : {histo, keyframe, matched}) TakeOperations(v);
  }

  std::unique_ptr<BWindow> window;
  BView* histo = nullptr;
  BView* keyframe = nullptr;
  BView* matched = nullptr;
  std::unique_ptr<ImageInterpreter> interpreter;
};

// Line operations drawn in a colour (alpha ignored).
inline int CountLines(const std::vector<DrawOperation>& ops, rgb_color color) {
  int n = 0;
  for (const DrawOperation& op : ops)
    n += op.kind == DrawOperation::kLine && op.color.red == color.red && op.color.green == color.green &&
         op.color.blue == color.blue;
  return n;
}

inline int CountKind(const std::vector<DrawOperation>& ops, DrawOperation::Kind kind) {
  int n = 0;
  for (const DrawOperation& op : ops) n += op.kind == kind;
  return n;
}

}  // namespace testing_support
