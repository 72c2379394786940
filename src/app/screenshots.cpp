// zanvel-screenshots: runs Zanvel on the moving test pattern, teaches it two examples and a
// key frame, lets it analyse for a while, and saves the video window and each tab of the
// control window as PNG files for the documentation.

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/AppDefs.h"
#include "app/ControlPanel.h"
#include "app/QtWindows.h"
#include "app/VideoWindow.h"
#include "app/Zanvel.h"
#include "interface/RecordingAlertService.h"
#include "qt/QtLoopBackEnd.h"

namespace {

bool Save(QWidget* widget, const QString& path) {
  QPixmap picture = widget->grab();
  bool saved = picture.save(path, "PNG");
  std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  const QString folder = argc > 1 ? argv[1] : "docs/screenshots";
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("ZANVEL_VIDEO", "test", 0);
  QApplication qt(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QDir().mkpath(folder);
  // Nobody is there to press buttons: alerts (a MIDI port or serial line that cannot be opened
  // on this machine) take their first button and are listed afterwards.
  RecordingAlertService alerts(0);
  ScopedAlertService alertScope(&alerts);

  QtWindows windows;
  ZanvelSettings settings;
  settings.sizeChoice = 1;  // 160x120
  // Another running Zanvel keeps its signature; this run does not need one.
  settings.signature = std::string(kZanvelSignature) + "-screenshots";
  // Its examples are not the user's: the user's last session stays.
  settings.autosave = false;
  int failures = 0;
  {
    Zanvel zanvel(&windows, settings);
    windows.SetTuning(&zanvel.fTuning);
    zanvel.SetLoopBackEnd(std::make_unique<QtLoopBackEnd>());

    // The script, in milliseconds from the start of the loop.
    auto at = [](int ms, std::function<void()> step) { QTimer::singleShot(ms, step); };
    auto post = [&zanvel](uint32 what) { zanvel.PostMessage(what); };
    at(1500, [&] { post(FourCC("addi")); });
    at(2600, [&] { post(FourCC("addi")); });
    at(3400, [&] { post(FourCC("addk")); });
    at(4300, [&] { post(FourCC("addk")); });
    at(6000, [&] {
      if (!Save(windows.Video(), folder + "/video-window.png"))
        failures++;
      ControlPanel* control = windows.Control();
      QTabWidget* tabs = control->Tabs();
      const char* const names[] = {"matcher", "interpolator", "input", "lcs"};
      for (int i = 0; i < tabs->count() && i < 4; i++) {
        tabs->setCurrentIndex(i);
        control->adjustSize();
        QApplication::processEvents();
        if (!Save(control, folder + "/control-" + names[i] + ".png"))
          failures++;
      }
      tabs->setCurrentIndex(0);
      zanvel.PostMessage(B_QUIT_REQUESTED);
    });
    zanvel.Run();
    windows.CloseAll();
  }
  for (const AlertRequest& alert : alerts.Alerts())
    std::fprintf(stderr, "zanvel-screenshots: alert answered: %s\n", alert.text.c_str());
  return failures == 0 ? 0 : 1;
}
