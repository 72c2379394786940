#pragma once
// A video window with its live view, a control window with the interpreter's three views,
// the interpreter, the tuning values, and a look at what the consumer printed and drew.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "capture/Tuning.h"
#include "platform/interface/BView.h"
#include "platform/interface/BWindow.h"
#include "interpreter/ImageInterpreter.h"

class CaptureTest : public ::testing::Test {
 protected:
  void MakeWindows(int32 width, int32 height) {
    videoWindow = std::make_unique<BWindow>(BRect(28, 28, width + 47, height + 67), "Zanvel");
    videoView = new BView(BRect(10, 10, width + 9, height + 9), "Video View");
    videoWindow->AddChild(videoView);
    videoView->SetRecordsOperations(true);
    videoWindow->Show();
    controlWindow = std::make_unique<BWindow>(BRect(0, 0, 199, 299), "Control Window");
    histo = new BView(BRect(0, 0, 99, 99), "histo");
    keyframe = new BView(BRect(0, 100, width - 1, 100 + height - 1), "keyframe");
    matched = new BView(BRect(0, 200, width - 1, 200 + height - 1), "matched");
    for (BView* view : {histo, keyframe, matched}) controlWindow->AddChild(view);
    controlWindow->Show();
    interpreter = std::make_unique<ImageInterpreter>(histo, keyframe, matched, B_RGB32);
  }

  // Bitmaps drawn into the live view so far.
  size_t FramesDrawn() {
    if (!videoWindow->Lock()) return drawnBeforeClose;
    size_t count = 0;
    for (const DrawOperation& op : videoView->Operations())
      if (op.kind == DrawOperation::kBitmap) count++;
    drawnBeforeClose = count;
    videoWindow->Unlock();
    return count;
  }

  static size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
      count++;
    return count;
  }

  std::unique_ptr<BWindow> videoWindow;
  std::unique_ptr<BWindow> controlWindow;
  BView* videoView = nullptr;
  BView* histo = nullptr;
  BView* keyframe = nullptr;
  BView* matched = nullptr;
  std::unique_ptr<ImageInterpreter> interpreter;
  Tuning tuning;
  size_t drawnBeforeClose = 0;
};
