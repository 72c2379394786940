#pragma once
// Alerts as modal Qt dialogs: the title, the text and the buttons left to right exactly as
// asked, the rightmost button being the default. Callable from any thread: other threads
// wait while the GUI thread shows the dialog, unless they only Post it.

#include <QDialog>
#include <QPointer>
#include <vector>

#include "platform/interface/AlertService.h"

class QtAlertService : public AlertService {
 public:
  // Closes the non-modal alerts still open. Destroy on the GUI thread, before the
  // QApplication.
  ~QtAlertService() override;

  int32 Show(const AlertRequest& request) override;
  // Queues the dialog for the GUI thread and returns at once. Shown outside any command's
  // handling, it does not hold back the commands that arrive meanwhile.
  void Post(const AlertRequest& request) override;
  // Writes the alert's line to standard error and opens it as a window that is not modal:
  // the person and the command queue go on while it stands.
  void Notify(const AlertRequest& request) override;

 private:
  // GUI thread only; closing deletes a dialog and its pointer goes null.
  std::vector<QPointer<QDialog>> fOpen;
};
