#include "platform/interface/AlertService.h"

#include <atomic>

#include "platform/interface/ConsoleAlertService.h"

namespace {
std::atomic<AlertService*> gService{nullptr};
}  // namespace

AlertService* AlertService::Install(AlertService* service) {
  return gService.exchange(service, std::memory_order_acq_rel);
}

AlertService* AlertService::Current() {
  static ConsoleAlertService console;
  AlertService* service = gService.load(std::memory_order_acquire);
  return service ? service : &console;
}
