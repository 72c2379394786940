#pragma once
// The alert of a device that will not open: empty title, "can't open <device>", one button.

#include "platform/interface/BAlert.h"

// A new alert for the caller to show (Go) with the given button.
BAlert* CantOpenAlert(const char* device, const char* button);
