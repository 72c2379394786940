#include <cstdio>
#include <cstring>

#include "app/ErrorAlert.h"

#include "platform/app/AppDefs.h"
#include "platform/app/BApplication.h"
#include "platform/interface/BAlert.h"

const char* StatusText(status_t error) {
  switch (error) {
    case B_OK: return "No error";
    case B_ERROR: return "General system error";
    case B_NO_MEMORY: return "Out of memory";
    case B_BAD_VALUE: return "Bad value";
    case B_TIMED_OUT: return "Timed out";
    case B_BAD_PORT_ID: return "Bad port ID";
    case B_NAME_NOT_FOUND: return "Name not found";
    case B_BUSY: return "Device busy";
    case B_NOT_ALLOWED: return "Operation not allowed";
    case B_BAD_INDEX: return "Index not in range for the data set";
    case B_MISMATCHED_VALUES: return "Mismatched values";
    case B_WOULD_BLOCK: return "Operation would block";
    case B_MEDIA_SYSTEM_FAILURE: return "Media system failure";
    case B_MEDIA_BAD_FORMAT: return "Bad media format";
    case B_MEDIA_BAD_NODE: return "Bad media node";
    case B_MEDIA_NODE_BUSY: return "Media node busy";
    case B_MEDIA_BAD_SOURCE: return "Bad media source";
    case B_MEDIA_BAD_DESTINATION: return "Bad media destination";
    default: return std::strerror(error);
  }
}

void ErrorAlert(const char* message, status_t error) {
  char text[256];
  std::snprintf(text, sizeof text, "%s\n%s [%x]", message, StatusText(error),
                static_cast<unsigned>(error));
  (new BAlert("", text, "Quit", nullptr, nullptr, B_WIDTH_AS_USUAL, B_INFO_ALERT))->Go();
  if (be_app != nullptr)
    be_app->PostMessage(B_QUIT_REQUESTED);
}
