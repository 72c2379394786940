#include "platform/support/Time.h"

#include <gtest/gtest.h>

TEST(SystemTime, IsMonotonicMicrosecondsAndSnoozeWaits) {
  bigtime_t a = system_time();
  snooze(2000);
  bigtime_t b = system_time();
  EXPECT_GE(b - a, 2000);
  EXPECT_LT(b - a, 2000000) << "microseconds, not nanoseconds";
  bigtime_t until = system_time() + 3000;
  snooze_until(until);
  EXPECT_GE(system_time(), until);
}

namespace {
bigtime_t gFake = 0;
bigtime_t FakeClock() { return gFake; }
}  // namespace

TEST(SystemTime, TestsCanInstallAClock) {
  gFake = 123456;
  set_system_time_source(FakeClock);
  EXPECT_EQ(system_time(), 123456);
  set_system_time_source(nullptr);
  EXPECT_NE(system_time(), 123456);
}

TEST(FourCC, PacksMostSignificantFirst) {
  EXPECT_EQ(FourCC("smoo"), 0x736D6F6Fu);
  EXPECT_EQ(FourCC("M23d"), 0x4D323364u);
}
