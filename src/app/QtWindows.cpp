#include "app/QtWindows.h"

#include <QApplication>

#include "app/ControlPanel.h"
#include "app/ControlWindow.h"
#include "app/SetTargetAppWindow.h"
#include "app/SplashWindow.h"
#include "app/VideoWindow.h"
#include "capture/Tuning.h"

QIcon ProgramIcon() {
  return QIcon(":/zanvel/zanvel.png");
}

QtWindows::QtWindows(Tuning* tuning) : fTuning(tuning) {
  // Every window of the program shows it, those opened on demand included.
  QApplication::setWindowIcon(ProgramIcon());
}

QtWindows::~QtWindows() {
  CloseAll();
}

void QtWindows::ShowSplash(BRect frame, const char* text) {
  fSplash = std::make_unique<SplashWindow>(frame, text);
  fSplash->show();
}

void QtWindows::ActivateSplash() {
  if (fSplash) {
    fSplash->raise();
    fSplash->activateWindow();
  }
}

void QtWindows::CloseSplash() {
  fSplash.reset();
}

BView* QtWindows::OpenVideoWindow(BRect frame, const char* title, const AnalysisSizes& sizes) {
  fVideo = std::make_unique<VideoWindow>(frame, title, sizes);
  return fVideo->VideoView();
}

ControlViews QtWindows::OpenControlWindow(BRect frame, const AnalysisSizes& sizes) {
  if (fTuning == nullptr) {
    fOwnTuning = std::make_unique<Tuning>();
    fTuning = fOwnTuning.get();
  }
  fControl = std::make_unique<ControlPanel>(frame, fTuning, sizes);
  return fControl->Views();
}

void QtWindows::OpenSetTargetAppWindow(BRect frame, ImageInterpreter* interpreter, bool matched) {
  fOnDemand.emplace_back(new SetTargetAppWindow(frame, interpreter, matched));
}

bool QtWindows::OpenVideoPreferences(media_node node, float left, float top) {
  ControlWindow* window = ControlWindow::Open(node, left, top);
  if (window == nullptr)
    return false;
  fOnDemand.emplace_back(window);
  return true;
}

std::vector<SetTargetAppWindow*> QtWindows::TargetAppWindows() const {
  std::vector<SetTargetAppWindow*> windows;
  for (const QPointer<QWidget>& widget : fOnDemand) {
    if (auto* window = dynamic_cast<SetTargetAppWindow*>(widget.data()))
      windows.push_back(window);
  }
  return windows;
}

std::vector<ControlWindow*> QtWindows::PreferenceWindows() const {
  std::vector<ControlWindow*> windows;
  for (const QPointer<QWidget>& widget : fOnDemand) {
    if (auto* window = dynamic_cast<ControlWindow*>(widget.data()))
      windows.push_back(window);
  }
  return windows;
}

void QtWindows::Follow(ImageInterpreter* interpreter) {
  if (fControl)
    fControl->Follow(interpreter);
  if (fVideo)
    fVideo->Follow(interpreter);
}

void QtWindows::CloseAll() {
  for (QPointer<QWidget>& widget : fOnDemand) {
    if (widget)
      delete widget.data();
  }
  fOnDemand.clear();
  if (fControl)
    fControl->AllowClose();
  if (fVideo)
    fVideo->AllowClose();
  fControl.reset();
  fVideo.reset();
  fSplash.reset();
}
