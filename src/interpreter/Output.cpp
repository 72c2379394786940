#include "interpreter/Output.h"
#include "platform/support/Log.h"

#include <cstdio>

OutputStatus Output::Status() const {
  OutputStatus status;
  status.name = fName;
  status.on = IsOn();
  status.sent = fSent.load(std::memory_order_relaxed);
  status.dropped = fDropped.load(std::memory_order_relaxed);
  status.failed = fFailed.load(std::memory_order_relaxed);
  std::lock_guard<std::mutex> hold(fFailureLock);
  status.lastFailure = fLastFailure;
  return status;
}

void Output::CountFailed(const std::string& why) {
  fFailed.fetch_add(1, std::memory_order_relaxed);
  std::lock_guard<std::mutex> hold(fFailureLock);
  if (fLastFailure != why) fLastFailure = why;
}

void Output::Count(status_t status, const char* failure) {
  if (status == B_OK)
    CountSent();
  else if (status == B_WOULD_BLOCK)
    CountDropped();
  else
    CountFailed(failure);
}

void Output::Stalled(const char* why) {
  if (fStalled) return;
  fStalled = true;
  fDroppedAtStall = fDropped.load(std::memory_order_relaxed);
  {
    std::lock_guard<std::mutex> hold(fFailureLock);
    fLastFailure = why;
  }
  Log(LogLevel::kWarn, "Zanvel: %s: %s; its messages are dropped", fName, why);
}

void Output::Flowing() {
  if (!fStalled) return;
  fStalled = false;
  const uint64_t dropped = fDropped.load(std::memory_order_relaxed) - fDroppedAtStall;
  Log(LogLevel::kWarn, "Zanvel: %s: messages go out again; %llu were dropped", fName,
               static_cast<unsigned long long>(dropped));
}
