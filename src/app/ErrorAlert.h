#pragma once
// The fatal-error alert.

#include "platform/support/Status.h"

// Shows message, the status's text and its code ("%s\n%s [%x]") in an alert whose only
// button is "Quit", waits for it, then asks the application to quit.
void ErrorAlert(const char* message, status_t error);

// Text for a status code: the platform's own codes by name, anything else as strerror.
const char* StatusText(status_t error);
