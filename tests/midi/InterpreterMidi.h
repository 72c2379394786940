#pragma once
// An interpreter with its three views in a shown window, the frames it analyses, and a
// subclass whose published position a test sets.

#include <sys/types.h>
#include <dirent.h>

#include <memory>
#include <vector>

#include "analysis/RGBAImage.h"
#include "platform/interface/BView.h"
#include "platform/interface/BWindow.h"
#include "interpreter/ImageInterpreter.h"

enum class Picture { kVertical, kHorizontal, kDiagonal, kChecker };

// A colour frame over memory of its own, as the video consumer hands them.
class Frame {
 public:
  static constexpr int kWidth = 32, kHeight = 24;
  explicit Frame(Picture picture) : fPixels(size_t(kWidth) * kHeight), fImage(fPixels.data(), kWidth, kHeight, kWidth * 4) {
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        bool bright = false;
        switch (picture) {
          case Picture::kVertical: bright = x >= kWidth / 2; break;
          case Picture::kHorizontal: bright = y >= kHeight / 2; break;
          case Picture::kDiagonal: bright = x + y >= (kWidth + kHeight) / 2; break;
          case Picture::kChecker: bright = ((x / 4) + (y / 4)) % 2 == 1; break;
        }
        const uint32 v = bright ? 200 : 10;
        fPixels[size_t(y) * kWidth + x] = (v << 16) | (v << 8) | v;
      }
  }
  Image* image() { return &fImage; }

 private:
  std::vector<uint32> fPixels;
  RGBAImage fImage;
};

// Publishes the position a test chose, whatever the frames say.
class PositionedInterpreter : public ImageInterpreter {
 public:
  using ImageInterpreter::ImageInterpreter;
  void SetPosition(float x, float y, float z) {
    std::lock_guard<std::mutex> guard(fPositionLock);
    fPosition[0] = x;
    fPosition[1] = y;
    fPosition[2] = z;
  }
  void GetCurrentValues(float* values) override {
    std::lock_guard<std::mutex> guard(fPositionLock);
    for (int i = 0; i < 3; i++) values[i] = fPosition[i];
  }

 private:
  std::mutex fPositionLock;
  float fPosition[3] = {0, 0, 0};
};

class InterpreterWindow {
 public:
  InterpreterWindow() : window(std::make_unique<BWindow>(BRect(0, 0, 199, 99), "Control")) {
    histo = new BView(BRect(0, 0, 63, 63), "histo");
    keyframe = new BView(BRect(70, 0, 70 + Frame::kWidth - 1, Frame::kHeight - 1), "keyframe");
    matched = new BView(BRect(110, 0, 110 + Frame::kWidth - 1, Frame::kHeight - 1), "matched");
    for (BView* v : {histo, keyframe, matched}) window->AddChild(v);
    window->Show();
  }
  std::unique_ptr<PositionedInterpreter> MakeInterpreter() {
    return std::make_unique<PositionedInterpreter>(histo, keyframe, matched, B_RGB32);
  }
  std::unique_ptr<BWindow> window;
  BView* histo = nullptr;
  BView* keyframe = nullptr;
  BView* matched = nullptr;
};

// Threads of this process, to see how many a switch started.
inline int CountThreads() {
  int n = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir)) n += entry->d_name[0] != '.';
    closedir(dir);
  }
  return n;
}
