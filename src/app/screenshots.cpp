// zanvel-screenshots: runs Zanvel on the moving test pattern, teaches it two examples and three
// key frames, sends the positions as OSC to a receiver of its own and the matched examples to
// a target application that is not there, lets it analyse for a while, and saves the video
// window and each tab of the control window as PNG files for the documentation.

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <lo/lo.h>

#include "platform/app/AppDefs.h"
#include "platform/app/BMessage.h"
#include "app/ControlPanel.h"
#include "app/QtWindows.h"
#include "app/VideoWindow.h"
#include "app/Zanvel.h"
#include "platform/interface/RecordingAlertService.h"
#include "platform/qt/QtLoopBackEnd.h"

namespace {

// Takes the positions Zanvel sends, as any OSC program would.
class OscReceiver {
 public:
  OscReceiver() : fServer(lo_server_thread_new_with_proto(nullptr, LO_UDP, nullptr)) {
    if (fServer == nullptr)
      return;
    lo_server_thread_add_method(fServer, nullptr, nullptr, &OscReceiver::Handle, this);
    lo_server_thread_start(fServer);
  }
  ~OscReceiver() {
    if (fServer != nullptr)
      lo_server_thread_free(fServer);
  }
  // Where Zanvel sends: osc.udp://127.0.0.1:<port>/zanvel, or empty without a server.
  std::string Signature() const {
    return fServer != nullptr ? "osc.udp://127.0.0.1:" + std::to_string(lo_server_thread_get_port(fServer)) + "/zanvel"
                              : std::string();
  }
  int Received() const { return fReceived.load(); }

 private:
  static int Handle(const char*, const char*, lo_arg**, int, lo_message, void* self) {
    static_cast<OscReceiver*>(self)->fReceived++;
    return 0;
  }
  lo_server_thread fServer;
  std::atomic<int> fReceived{0};
};

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
    // As the user would: the check box shows the output's switch.
    auto tick = [&windows](const char* box) {
      if (auto* check = windows.Control()->findChild<QCheckBox*>(box))
        check->click();
    };
    OscReceiver receiver;
    at(500, [&] {
      if (receiver.Signature().empty())
        return;
      BMessage target(FourCC("stas"));
      target.AddString("source", receiver.Signature());
      zanvel.PostMessage(&target);
      tick("Position to Target App");
    });
    // Nobody answers to the matched examples' default target: its light shows the failures.
    at(600, [&] { tick("Matched to Target App"); });
    at(1500, [&] { post(FourCC("addi")); });
    at(2600, [&] { post(FourCC("addi")); });
    at(3400, [&] { post(FourCC("addk")); });
    at(4300, [&] { post(FourCC("addk")); });
    at(5200, [&] { post(FourCC("addk")); });
    at(7500, [&] {
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
      std::printf("the OSC receiver took %d messages\n", receiver.Received());
      zanvel.PostMessage(B_QUIT_REQUESTED);
    });
    zanvel.Run();
    windows.CloseAll();
  }
  for (const AlertRequest& alert : alerts.Alerts())
    std::fprintf(stderr, "zanvel-screenshots: alert answered: %s\n", alert.text.c_str());
  return failures == 0 ? 0 : 1;
}
