// zanvel: watches the video input and turns what it sees into control data.

#include <QApplication>
#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/CommandLine.h"
#include "app/HiddenWindows.h"
#include "app/OscControl.h"
#include "app/QtWindows.h"
#include "app/SessionKeeper.h"
#include "app/Zanvel.h"
#include "platform/media/BMediaRoster.h"
#include "platform/qt/QtAlertService.h"
#include "platform/qt/QtLoopBackEnd.h"
#include "session/SessionFile.h"
#include "platform/interface/ConsoleAlertService.h"
#include "platform/qt/QuitSignals.h"
#include "Version.h"
#include "platform/support/Log.h"

int main(int argc, char** argv) {
  // A reader that went away (`zanvel | head -1`) gives failed writes, never the end of the program.
  std::signal(SIGPIPE, SIG_IGN);
  // Likewise a file-size limit makes a save fail with a message, not end the program.
  std::signal(SIGXFSZ, SIG_IGN);
  CommandLine options = ParseCommandLine(argc, argv);
  if (options.help) {
    std::fputs(CommandLineUsage(argv[0]).c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("zanvel %s\n", kZanvelVersion);
    return 0;
  }
  if (!options.error.empty()) {
    std::fprintf(stderr, "zanvel: %s\n", options.error.c_str());
    return 2;
  }
  if (!options.video.empty())
    BMediaRoster::Roster()->SetVideoInputSetting(options.video.c_str());
  // Trace lines are read by people and scripts while the program runs.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);

  // Without windows nothing may need a window system: no widget is ever made.
  std::unique_ptr<QCoreApplication> qt;
  if (options.headless) {
    qt = std::make_unique<QCoreApplication>(argc, argv);
  } else {
    qt = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // Desktops find the icon and the launcher by the desktop file's name.
    QGuiApplication::setDesktopFileName("zanvel");
  }
  QCoreApplication::setApplicationName("Zanvel");
  QuitSignals quitSignals;

  std::unique_ptr<AlertService> alerts;
  if (options.headless)
    alerts = std::make_unique<ConsoleAlertService>();
  else
    alerts = std::make_unique<QtAlertService>();
  ScopedAlertService alertScope(alerts.get());

  std::unique_ptr<ZanvelWindows> windows;
  QtWindows* qtWindows = nullptr;
  if (options.headless) {
    windows = std::make_unique<HiddenWindows>();
  } else {
    auto made = std::make_unique<QtWindows>();
    qtWindows = made.get();
    windows = std::move(made);
  }
  ZanvelSettings settings;
  settings.sizeChoice = SizeChoiceFor(options.width, options.height);
  settings.session = options.session;
  // A session answers the size question with the size it was trained at.
  if (settings.sizeChoice < 0 && !options.session.empty()) {
    Session session;
    std::string why;
    const std::string path = options.session == "last" ? SessionKeeper::AutosavePath() : options.session;
    if (LoadSessionFile(path, &session, &why))
      settings.sizeChoice = SizeChoiceFor(session.analysisWidth, session.analysisHeight);
  }
  // Nobody is there to answer the size question.
  if (options.headless && settings.sizeChoice < 0)
    settings.sizeChoice = 0;
  int status = 0;
  {
    Zanvel zanvel(windows.get(), settings);
    if (qtWindows != nullptr)
      qtWindows->SetTuning(&zanvel.fTuning);
    zanvel.SetLoopBackEnd(std::make_unique<QtLoopBackEnd>());
    std::unique_ptr<OscControl> osc;
    if (options.oscPort > 0) {
      osc = std::make_unique<OscControl>(&zanvel, options.oscBind.c_str(), options.oscPort);
      if (osc->InitCheck() != B_OK) {
        // Asked for and not there: a controller would talk to nobody without knowing.
        Log(LogLevel::kError, "zanvel: %s", osc->Error().c_str());
        status = 1;
      } else {
        Log(LogLevel::kInfo, "Zanvel: OSC commands on %s port %d", options.oscBind.c_str(),
                     options.oscPort);
      }
    }
    if (status == 0) {
      zanvel.Run();
      // A run that could not start its video (no camera) is a failure to whoever started
      // it, a service manager above all.
      if (zanvel.SetUpStatus() != B_OK)
        status = 1;
    }
    // No command arrives any more; then the graph is down and the windows go before the
    // application object.
    osc.reset();
    windows->CloseAll();
  }
  return status;
}
