#pragma once
// Zanvel's windows for a run without a window system (--headless): the video and control
// windows exist as canvases that are never shown, so nothing is drawn into them, and the
// windows opened on demand are refused with a line on standard error naming the command to
// use instead.
//
// Threads: every call is made on the application's thread.

#include <memory>

#include "app/ZanvelWindows.h"

class BWindow;

class HiddenWindows : public ZanvelWindows {
 public:
  HiddenWindows();
  ~HiddenWindows() override;

  void ShowSplash(BRect, const char*) override {}
  void ActivateSplash() override {}
  void CloseSplash() override {}
  BView* OpenVideoWindow(BRect frame, const char* title, const AnalysisSizes& sizes) override;
  ControlViews OpenControlWindow(BRect frame, const AnalysisSizes& sizes) override;
  void OpenSetTargetAppWindow(BRect frame, ImageInterpreter* interpreter, bool matched) override;
  bool OpenVideoPreferences(media_node node, float left, float top) override;
  void CloseAll() override;

 private:
  std::unique_ptr<BWindow> fVideo;
  std::unique_ptr<BWindow> fControl;
};
