#include "app/AppTarget.h"

#include <cstdio>

#include "platform/app/BApplication.h"
#include "platform/support/Log.h"

void PostToApplication(const BMessage& message) {
  if (be_app == nullptr)
    return;
  status_t status = be_app->PostMessage(&message);
  if (status != B_OK && status != B_NOT_ALLOWED)
    Log(LogLevel::kWarn, "Zanvel: a command could not be queued (%d)", int(status));
}
