#pragma once
// Alerts as modal Qt dialogs: the title, the text and the buttons left to right exactly as
// asked, the rightmost button being the default. Callable from any thread: other threads
// wait while the GUI thread shows the dialog, unless they only Post it.

#include "platform/interface/AlertService.h"

class QtAlertService : public AlertService {
 public:
  int32 Show(const AlertRequest& request) override;
  // Queues the dialog for the GUI thread and returns at once. Shown outside any command's
  // handling, it does not hold back the commands that arrive meanwhile.
  void Post(const AlertRequest& request) override;
};
