#pragma once
// Alerts as modal Qt dialogs: the title, the text and the buttons left to right exactly as
// asked, the rightmost button being the default. Callable from any thread: other threads
// wait while the GUI thread shows the dialog.

#include "interface/AlertService.h"

class QtAlertService : public AlertService {
 public:
  int32 Show(const AlertRequest& request) override;
};
