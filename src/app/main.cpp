// zanvel: watches the video input and turns what it sees into control data.

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/CommandLine.h"
#include "app/QtWindows.h"
#include "app/SessionKeeper.h"
#include "app/Zanvel.h"
#include "media/MediaRoster.h"
#include "qt/QtAlertService.h"
#include "qt/QtLoopBackEnd.h"
#include "session/SessionFile.h"

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
  QApplication::setQuitOnLastWindowClosed(false);
  QtAlertService alerts;
  ScopedAlertService alertScope(&alerts);

  QtWindows windows;
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
