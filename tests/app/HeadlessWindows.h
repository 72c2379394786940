#pragma once
// Zanvel's windows without a display: real canvases that are never shown, and a record of
// every window the application opened, in order.

#include <memory>
#include <string>
#include <vector>

#include "app/Sizes.h"
#include "app/ZanvelWindows.h"
#include "platform/interface/BView.h"
#include "platform/interface/BWindow.h"
#include "session/Session.h"

class HeadlessWindows : public ZanvelWindows {
 public:
  struct Opened {
    std::string what;  // "splash", "video", "control", "target positions", "target matched", "preferences"
    BRect frame;
  };

  void ShowSplash(BRect frame, const char*) override { fOpened.push_back({"splash", frame}); }
  void ActivateSplash() override { fOpened.push_back({"activate splash", BRect()}); }
  void CloseSplash() override { fOpened.push_back({"close splash", BRect()}); }

  BView* OpenVideoWindow(BRect frame, const char*, const AnalysisSizes& sizes) override {
    fOpened.push_back({"video", frame});
    fVideo = std::make_unique<BWindow>(frame, "Zanvel");
    auto* view = new BView(BRect(0, 0, float(sizes.analysisWidth - 1), float(sizes.analysisHeight - 1)), "Video View");
    fVideo->AddChild(view);
    // Shown, as the real video window is: the consumer draws into shown views only.
    fVideo->Show();
    return view;
  }

  ControlViews OpenControlWindow(BRect frame, const AnalysisSizes&) override {
    fOpened.push_back({"control", frame});
    fControl = std::make_unique<BWindow>(frame, "Control Window");
    ControlViews views;
    views.histo = new BView(BRect(0, 0, 60, 60), "histo");
    views.keyframe = new BView(BRect(0, 0, 79, 59), "keyframe");
    views.matched = new BView(BRect(0, 0, 79, 59), "matched");
    fControl->AddChild(views.histo);
    fControl->AddChild(views.keyframe);
    fControl->AddChild(views.matched);
    return views;
  }

  void OpenSetTargetAppWindow(BRect frame, ImageInterpreter*, bool matched) override {
    fOpened.push_back({matched ? "target matched" : "target positions", frame});
  }

  bool OpenVideoPreferences(media_node, float left, float top) override {
    fOpened.push_back({"preferences", BRect(left, top, left, top)});
    return true;
  }

  void CloseAll() override { fOpened.push_back({"close all", BRect()}); }
  // What the controls were asked to show, oldest first.
  void ShowSettings(const SessionSettings& settings) override { fShownSettings.push_back(settings); }
  const std::vector<SessionSettings>& ShownSettings() const { return fShownSettings; }

  const std::vector<Opened>& Log() const { return fOpened; }
  BWindow* VideoWindow() const { return fVideo.get(); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& opened : fOpened)
      names.push_back(opened.what);
    return names;
  }

 private:
  std::vector<Opened> fOpened;
  std::unique_ptr<BWindow> fVideo;
  std::unique_ptr<BWindow> fControl;
  std::vector<SessionSettings> fShownSettings;
};
