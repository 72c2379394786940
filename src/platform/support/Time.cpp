#include "platform/support/Time.h"

#include <atomic>
#include <cerrno>
#include <ctime>

namespace {
std::atomic<system_time_source> gTimeSource{nullptr};

bigtime_t monotonic_us() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return bigtime_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}
}  // namespace

bigtime_t system_time() {
  system_time_source source = gTimeSource.load(std::memory_order_acquire);
  return source ? source() : monotonic_us();
}

status_t snooze(bigtime_t microseconds) {
  if (microseconds <= 0) return B_OK;
  timespec ts{time_t(microseconds / 1000000), long(microseconds % 1000000) * 1000};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
  return B_OK;
}

status_t snooze_until(bigtime_t time) {
  // Sleeps on the real clock, so a test clock does not make this wait for ever.
  timespec ts{time_t(time / 1000000), long(time % 1000000) * 1000};
  if (gTimeSource.load(std::memory_order_acquire) != nullptr) return snooze(time - system_time());
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
  return B_OK;
}

void set_system_time_source(system_time_source source) {
  gTimeSource.store(source, std::memory_order_release);
}
