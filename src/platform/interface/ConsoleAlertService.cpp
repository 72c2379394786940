#include "platform/interface/ConsoleAlertService.h"

#include <cstdio>

int32 ConsoleAlertService::Show(const AlertRequest& request) {
  const int32 answer = request.buttons.empty() ? 0 : int32(request.buttons.size()) - 1;
  std::fprintf(stderr, "alert \"%s\": %s [", request.title.c_str(), request.text.c_str());
  for (size_t i = 0; i < request.buttons.size(); ++i)
    std::fprintf(stderr, "%s%s%s", i ? " | " : "", request.buttons[i].c_str(), int32(i) == answer ? "*" : "");
  std::fprintf(stderr, "]\n");
  return answer;
}
