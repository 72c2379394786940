// The program's windows on a live run: frames of the test pattern reach the video window's
// widget and the histogram reaches the control window's, repainted on the GUI thread, and
// the video window's status bar tells the frame rate and the source, and that the video stopped.

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTimer>
#include <unistd.h>

#include "QtTestSupport.h"
#include "platform/app/AppDefs.h"
#include "app/ControlPanel.h"
#include "app/QtWindows.h"
#include "app/Sizes.h"
#include "app/VideoWindow.h"
#include "app/Zanvel.h"
#include "platform/interface/RecordingAlertService.h"
#include "interpreter/ImageInterpreter.h"
#include "platform/media/BMediaRoster.h"
#include "platform/qt/CanvasWidget.h"
#include "platform/qt/QtLoopBackEnd.h"

namespace {

// Pixels of the widget's last copy that differ from its first pixel's colour.
int VariedPixels(const CanvasWidget* widget) {
  const QImage& image = widget->Image();
  int varied = 0;
  const QRgb first = image.pixel(0, 0);
  for (int y = 0; y < image.height(); y++)
    for (int x = 0; x < image.width(); x++)
      varied += image.pixel(x, y) != first ? 1 : 0;
  return varied;
}

TEST(LiveWindowsTest, TheTestPatternAndItsHistogramReachTheWidgets) {
  TestApplication();
  // This machine may have no MIDI service or serial lines: those alerts take their button.
  RecordingAlertService alerts(0);
  ScopedAlertService scope(&alerts);
  BMediaRoster::Roster()->SetVideoInputSetting("test");

  QtWindows windows;
  ZanvelSettings settings;
  settings.signature = TestSignature("live");
  settings.sizeChoice = 1;
  bool videoShown = false;
  bool histogramShown = false;
  QString statusLine;
  QString rateLine;
  {
    Zanvel app(&windows, settings);
    windows.SetTuning(&app.fTuning);
    app.SetLoopBackEnd(std::make_unique<QtLoopBackEnd>());
    QTimer poll;
    int ticks = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (windows.Video() != nullptr && windows.Control() != nullptr) {
        auto* video = windows.Video()->findChild<CanvasWidget*>("Video View");
        auto* histo = windows.Control()->findChild<CanvasWidget*>("histo");
        videoShown = video != nullptr && VariedPixels(video) > 0;
        histogramShown = histo != nullptr && VariedPixels(histo) > 0;
        statusLine = windows.Video()->StatusLine();
      }
      const bool rateShown = statusLine.contains(" fps · ") && !statusLine.startsWith("0.0 fps");
      if (rateLine.isEmpty() && videoShown && histogramShown && rateShown) {
        // Stopping the video input ends the rate: it must not stand as if frames still came.
        rateLine = statusLine;
        app.PostMessage(FourCC("stop"));
      }
      if ((!rateLine.isEmpty() && statusLine.startsWith("stopped")) || ++ticks > 1000)
        app.PostMessage(B_QUIT_REQUESTED);
    });
    poll.start(20);
    app.Run();
    poll.stop();
    EXPECT_EQ(app.Consumer(), nullptr);
    // The consumer's going took the video window down before the others closed.
    EXPECT_FALSE(windows.Video()->isVisible());
    windows.CloseAll();
  }
  EXPECT_TRUE(videoShown) << "no frame reached the video window";
  EXPECT_TRUE(histogramShown) << "no histogram reached the control window";
  // "<rate> fps · <n> dropped · <source>", then "stopped · <n> dropped · <source>".
  EXPECT_TRUE(QRegularExpression("^[0-9]+\\.[0-9] fps · [0-9]+ dropped · test pattern").match(rateLine).hasMatch())
      << rateLine.toStdString();
  EXPECT_TRUE(QRegularExpression("^stopped · [0-9]+ dropped · test pattern").match(statusLine).hasMatch())
      << statusLine.toStdString();
  EXPECT_EQ(windows.Video(), nullptr);
}

}  // namespace
