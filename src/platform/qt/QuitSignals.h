#pragma once
// Turns SIGINT and SIGTERM into a quit request of the application (B_QUIT_REQUESTED), so that
// Ctrl-C and a service manager's stop take the same path as the Quit command: the media graph
// comes down, the MIDI port is silenced, the program exits with status 0.
//
// The signal handler only writes a byte to a pipe; the Qt event loop watches the other end
// and posts the request on the GUI thread. A second signal, while the first quit is still
// under way, ends the program at once.

#include <QObject>

class QSocketNotifier;

class QuitSignals : public QObject {
 public:
  // Create once, on the GUI thread, after the QCoreApplication. False from Installed() when
  // the pipe or the handlers could not be set up (the signals then end the program as usual).
  QuitSignals();
  ~QuitSignals() override;

  bool Installed() const { return fNotifier != nullptr; }

 private:
  void Take();

  QSocketNotifier* fNotifier = nullptr;
};
