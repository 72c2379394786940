#pragma once
// The system clock: monotonic microseconds, and sleeping.

#include "platform/support/Status.h"

// Microseconds on the monotonic clock (or on the clock a test installed).
bigtime_t system_time();

// Sleeps for the given number of microseconds; returns B_OK.
status_t snooze(bigtime_t microseconds);

// Sleeps until system_time() reaches the given time; returns B_OK.
status_t snooze_until(bigtime_t time);

// Tests replace the clock that system_time() reads; nullptr restores the monotonic clock.
// The replacement must be safe to call from any thread.
using system_time_source = bigtime_t (*)();
void set_system_time_source(system_time_source source);
