#include "app/AppTarget.h"

#include <cstdio>

#include "platform/app/BApplication.h"

void PostToApplication(const BMessage& message) {
  if (be_app == nullptr)
    return;
  status_t status = be_app->PostMessage(&message);
  if (status != B_OK && status != B_NOT_ALLOWED)
    std::fprintf(stderr, "Zanvel: a command could not be queued (%d)\n", int(status));
}
