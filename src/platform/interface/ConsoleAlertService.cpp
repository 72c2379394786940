#include "platform/interface/ConsoleAlertService.h"

#include <cstdio>

int32 ConsoleAlertService::Show(const AlertRequest& request) {
  // One write, so that lines from other threads never cut into it.
  const std::string line = AlertLine(request) + "\n";
  std::fputs(line.c_str(), stderr);
  return request.buttons.empty() ? 0 : int32(request.buttons.size()) - 1;
}
