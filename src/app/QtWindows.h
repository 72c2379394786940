#pragma once
// Zanvel's windows as Qt widgets, all on the GUI thread.

#include <QIcon>
#include <QPointer>
#include <memory>
#include <vector>

#include "app/ZanvelWindows.h"

class ControlPanel;
class ControlWindow;
class SetTargetAppWindow;
class SplashWindow;
class VideoWindow;
class QWidget;
struct Tuning;

// The program's icon (data/zanvel.png, built in).
QIcon ProgramIcon();

class QtWindows : public ZanvelWindows {
 public:
  // tuning: the application's slider values (for the sliders' start positions).
  explicit QtWindows(Tuning* tuning = nullptr);
  ~QtWindows() override;

  void SetTuning(Tuning* tuning) { fTuning = tuning; }

  void ShowSplash(BRect frame, const char* text) override;
  void ActivateSplash() override;
  void CloseSplash() override;
  BView* OpenVideoWindow(BRect frame, const char* title, const AnalysisSizes& sizes) override;
  ControlViews OpenControlWindow(BRect frame, const AnalysisSizes& sizes) override;
  void OpenSetTargetAppWindow(BRect frame, ImageInterpreter* interpreter, bool matched) override;
  bool OpenVideoPreferences(media_node node, float left, float top) override;
  void Follow(ImageInterpreter* interpreter) override;
  void CloseAll() override;
  void ShowSession(const char* name, const char* path, bool changed) override;
  std::string AskSessionPath() override;
  void ShowNotice(const char* title, const char* text) override;
  void ShowSettings(const SessionSettings& settings) override;

  VideoWindow* Video() const { return fVideo.get(); }
  ControlPanel* Control() const { return fControl.get(); }
  SplashWindow* Splash() const { return fSplash.get(); }
  // Windows opened on demand that are still open.
  std::vector<SetTargetAppWindow*> TargetAppWindows() const;
  std::vector<ControlWindow*> PreferenceWindows() const;

 private:
  Tuning* fTuning;
  std::unique_ptr<Tuning> fOwnTuning;  // when no application gave one
  std::unique_ptr<SplashWindow> fSplash;
  std::unique_ptr<VideoWindow> fVideo;
  std::unique_ptr<ControlPanel> fControl;
  // Closing deletes these; the pointers go null by themselves.
  std::vector<QPointer<QWidget>> fOnDemand;
};
