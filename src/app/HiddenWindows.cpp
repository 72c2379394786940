#include "app/HiddenWindows.h"

#include <cstdio>

#include "app/Sizes.h"
#include "platform/interface/BView.h"
#include "platform/interface/BWindow.h"
#include "platform/support/Log.h"

HiddenWindows::HiddenWindows() = default;

HiddenWindows::~HiddenWindows() = default;

BView* HiddenWindows::OpenVideoWindow(BRect frame, const char* title, const AnalysisSizes& sizes) {
  // Windows start hidden and stay so: the consumer and the interpreter skip hidden views.
  fVideo = std::make_unique<BWindow>(frame, title);
  auto* view = new BView(BRect(0, 0, float(sizes.analysisWidth - 1), float(sizes.analysisHeight - 1)), "Video View");
  fVideo->AddChild(view);
  return view;
}

ControlViews HiddenWindows::OpenControlWindow(BRect frame, const AnalysisSizes& sizes) {
  fControl = std::make_unique<BWindow>(frame, "Control Window");
  ControlViews views;
  views.histo = new BView(BRect(0, 0, 60, 60), "histo");
  views.keyframe = new BView(BRect(0, 0, float(sizes.keyFrameWidth - 1), float(sizes.keyFrameHeight - 1)), "keyframe");
  views.matched = new BView(BRect(0, 0, float(sizes.matchedWidth - 1), float(sizes.matchedHeight - 1)), "matched");
  fControl->AddChild(views.histo);
  fControl->AddChild(views.keyframe);
  fControl->AddChild(views.matched);
  return views;
}

void HiddenWindows::OpenSetTargetAppWindow(BRect, ImageInterpreter*, bool matched) {
  Log(LogLevel::kWarn, "Zanvel: no windows without a display; send \"%s\" and \"%s\" instead",
               matched ? "smas" : "stas", matched ? "smac" : "stac");
}

bool HiddenWindows::OpenVideoPreferences(media_node, float, float) {
  Log(LogLevel::kWarn, "Zanvel: no windows without a display; the video settings stay as they are");
  return false;
}

void HiddenWindows::CloseAll() {
  fControl.reset();
  fVideo.reset();
}
