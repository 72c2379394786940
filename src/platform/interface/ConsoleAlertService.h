#pragma once
// The back end used when no other is installed, and the one of a program without windows:
// prints the alert to standard error as one line (AlertLine) and answers at once with its
// default button, the rightmost, as pressing Enter would.

#include "platform/interface/AlertService.h"

class ConsoleAlertService : public AlertService {
 public:
  int32 Show(const AlertRequest& request) override;
};
