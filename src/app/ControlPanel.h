#pragma once
// The "Control Window": the histogram view above four tabs ("Matcher", "Interpolator",
// "Input", "LCS") with the buttons that teach the matcher and the interpolator, the output
// switches, the three sliders and the LCS serial port. It cannot be closed on its own.
//
// Threads: GUI thread only. The interpreter draws into the three canvases from the frame
// thread under the canvas window's lock.

#include <QWidget>
#include <memory>

#include "app/PropSlider.h"
#include "app/ZanvelWindows.h"
#include "interface/Rect.h"

class BWindow;
class CanvasLink;
class QTabWidget;
struct Tuning;

// The sliders' callbacks: each stores one tuning value of the application object.
void alphaCallback(PropSlider* slider, void* userData, double x, double y);             // 1 - x
void contrastCallback(PropSlider* slider, void* userData, double x, double y);          // 100 x
void temporalBlendingCallback(PropSlider* slider, void* userData, double x, double y);  // x

class ControlPanel : public QWidget {
 public:
  // tuning: the application's values; the sliders start from them and their callbacks write
  // them. Must outlive the window.
  ControlPanel(BRect frame, Tuning* tuning);
  ~ControlPanel() override;

  ControlViews Views() const { return fViews; }
  BWindow* CanvasWindow() const { return fWindow.get(); }
  QTabWidget* Tabs() const { return fTabs; }

  void AllowClose() { fMayClose = true; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* BuildMatcherTab();
  QWidget* BuildInterpolatorTab(const Tuning& tuning);
  QWidget* BuildInputTab(const Tuning& tuning);
  QWidget* BuildLCSTab();
  QWidget* Canvas(BView* view);

  std::unique_ptr<BWindow> fWindow;
  std::unique_ptr<CanvasLink> fLink;
  ControlViews fViews;
  QTabWidget* fTabs = nullptr;
  bool fMayClose = false;
};
