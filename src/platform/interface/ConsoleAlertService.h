#pragma once
// The back end used when no other is installed: prints the alert to standard error and
// answers with its default button, the rightmost, as pressing Enter would.

#include "platform/interface/AlertService.h"

class ConsoleAlertService : public AlertService {
 public:
  int32 Show(const AlertRequest& request) override;
};
