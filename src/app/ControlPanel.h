#pragma once
// The "Control Window": the histogram view and the live position (numbers and a plot of the
// last seconds) above four tabs ("Matcher", "Interpolator", "Input", "LCS") with the buttons
// that teach the matcher and the interpolator, the output switches, the three sliders with
// their values and the LCS serial port, and below them the state of every output that is on.
// It cannot be closed on its own.
//
// Threads: GUI thread only. The interpreter draws into the three canvases from the frame
// thread under the canvas window's lock; everything else the window shows it reads from a
// timer of its own (LastFrame, the counts and the outputs' counters), so the frame thread
// never draws a widget nor waits for one.

#include <QTimer>
#include <QWidget>
#include <memory>

#include "app/Sizes.h"

#include "app/PropSlider.h"
#include "app/ZanvelWindows.h"
#include "platform/interface/BRect.h"

class BWindow;
class CanvasLink;
class CanvasWidget;
class ImageInterpreter;
class OutputStatusView;
class PositionPlot;
class QLabel;
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
  // The key-frame and matched views have the sizes of `sizes`.
  ControlPanel(BRect frame, Tuning* tuning, const AnalysisSizes& sizes);
  ~ControlPanel() override;

  ControlViews Views() const { return fViews; }
  BWindow* CanvasWindow() const { return fWindow.get(); }
  QTabWidget* Tabs() const { return fTabs; }

  void AllowClose() { fMayClose = true; }

  // Shows what the interpreter publishes from now on; null shows nothing (it is going).
  void Follow(ImageInterpreter* interpreter);
  // Reads the interpreter and the tuning once and updates what changed; the timer calls it
  // kRefreshRate times a second, with the outputs' rows every kOutputsEvery-th time.
  void Refresh(bool withOutputs = true);

  static constexpr int kRefreshRate = 20;
  // The outputs' rows follow every kOutputsEvery-th refresh.
  static constexpr int kOutputsEvery = 4;
  // Seconds of position history in the plot.
  static constexpr int kPlotSeconds = 5;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  int fTicks = 0;  // refreshes since Follow
  QWidget* BuildMatcherTab();
  QWidget* BuildInterpolatorTab(const Tuning& tuning);
  QWidget* BuildInputTab(const Tuning& tuning);
  QWidget* BuildLCSTab();
  CanvasWidget* Canvas(BView* view);
  QWidget* BuildPositionBox();
  // A labelled slider with the value it set at its right; tip explains the value.
  QWidget* SliderRow(const char* label, SliderCallback callback, double start, const char* tip, QLabel** value);
  void RefreshSliderValues();

  std::unique_ptr<BWindow> fWindow;
  std::unique_ptr<CanvasLink> fLink;
  ControlViews fViews;
  QTabWidget* fTabs = nullptr;
  bool fMayClose = false;

  Tuning* fTuning;
  ImageInterpreter* fInterpreter = nullptr;
  QTimer fTimer;
  QLabel* fPosition[3] = {};
  PositionPlot* fPlot = nullptr;
  QLabel* fMatchedIndex = nullptr;
  QLabel* fExamples = nullptr;
  QLabel* fNearestIndex = nullptr;
  QLabel* fKeyFrames = nullptr;
  QLabel* fSmoothingValue = nullptr;
  QLabel* fContrastValue = nullptr;
  QLabel* fBlendingValue = nullptr;
  OutputStatusView* fOutputs = nullptr;
};
