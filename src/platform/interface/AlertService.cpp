#include "platform/interface/AlertService.h"

#include <atomic>

#include "platform/interface/ConsoleAlertService.h"

namespace {
std::atomic<AlertService*> gService{nullptr};
thread_local int tNoWaitDepth = 0;
}  // namespace

AlertService* AlertService::Install(AlertService* service) {
  return gService.exchange(service, std::memory_order_acq_rel);
}

AlertService* AlertService::Current() {
  static ConsoleAlertService console;
  AlertService* service = gService.load(std::memory_order_acquire);
  return service ? service : &console;
}

std::string AlertLine(const AlertRequest& request) {
  const int32 answer = request.buttons.empty() ? 0 : int32(request.buttons.size()) - 1;
  std::string line = "alert \"" + request.title + "\": ";
  for (char c : request.text) {
    if (c == '\n')
      line += " / ";
    else if (c != '\r')
      line += c;
  }
  line += " [";
  for (size_t i = 0; i < request.buttons.size(); ++i) {
    if (i > 0) line += " | ";
    line += request.buttons[i];
    if (int32(i) == answer) line += '*';
  }
  line += ']';
  return line;
}

ScopedNoWaitAlerts::ScopedNoWaitAlerts(bool active) : fActive(active) {
  if (fActive) tNoWaitDepth++;
}

ScopedNoWaitAlerts::~ScopedNoWaitAlerts() {
  if (fActive) tNoWaitDepth--;
}

bool ScopedNoWaitAlerts::Active() { return tNoWaitDepth > 0; }
