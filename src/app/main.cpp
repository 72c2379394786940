// zanvel: watches the video input and turns what it sees into control data.

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/CommandLine.h"
#include "app/QtWindows.h"
#include "app/Zanvel.h"
#include "platform/media/BMediaRoster.h"
#include "platform/qt/QtAlertService.h"
#include "platform/qt/QtLoopBackEnd.h"
#include "Version.h"

int main(int argc, char** argv) {
  // A reader that went away (`zanvel | head -1`) gives failed writes, never the end of the program.
  std::signal(SIGPIPE, SIG_IGN);
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

  QApplication qt(argc, argv);
  QApplication::setApplicationName("Zanvel");
  // Desktops find the icon and the launcher by the desktop file's name.
  QGuiApplication::setDesktopFileName("zanvel");
  QApplication::setQuitOnLastWindowClosed(false);
  QtAlertService alerts;
  ScopedAlertService alertScope(&alerts);

  QtWindows windows;
  ZanvelSettings settings;
  settings.sizeChoice = SizeChoiceFor(options.width, options.height);
  {
    Zanvel zanvel(&windows, settings);
    windows.SetTuning(&zanvel.fTuning);
    zanvel.SetLoopBackEnd(std::make_unique<QtLoopBackEnd>());
    zanvel.Run();
    // The graph is down; the windows go before the application object.
    windows.CloseAll();
  }
  return 0;
}
