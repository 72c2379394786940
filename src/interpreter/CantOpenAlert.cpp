#include "interpreter/CantOpenAlert.h"

#include <string>

BAlert* CantOpenAlert(const char* device, const char* button) {
  const std::string text = std::string("can't open ") + (device ? device : "");
  return new BAlert("", text.c_str(), button, nullptr, nullptr, B_WIDTH_AS_USUAL, B_INFO_ALERT);
}
