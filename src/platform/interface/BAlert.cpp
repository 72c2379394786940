#include "platform/interface/BAlert.h"

#include "platform/interface/AlertService.h"

BAlert::BAlert(const char* title, const char* text, const char* button0, const char* button1,
               const char* button2, button_width width, alert_type type)
    : fTitle(title ? title : ""), fText(text ? text : ""), fWidth(width), fType(type) {
  // A button list ends at the first missing label; an alert always has one button.
  fButtons.emplace_back(button0 ? button0 : "OK");
  if (button0 && button1) {
    fButtons.emplace_back(button1);
    if (button2) fButtons.emplace_back(button2);
  }
}

int32 BAlert::Go() {
  AlertRequest request{fTitle, fText, fButtons, fType, fWidth};
  const int32 last = int32(fButtons.size()) - 1;
  if (ScopedNoWaitAlerts::Active()) {
    AlertService::Current()->Notify(request);
    delete this;
    return last;
  }
  int32 answer = AlertService::Current()->Show(request);
  if (answer < 0 || answer > last) answer = last;
  delete this;
  return answer;
}

status_t BAlert::Go(BInvoker* invoker) {
  if (invoker != nullptr) {
    delete this;
    return B_BAD_VALUE;
  }
  const AlertRequest request{fTitle, fText, fButtons, fType, fWidth};
  if (ScopedNoWaitAlerts::Active())
    AlertService::Current()->Notify(request);
  else
    AlertService::Current()->Post(request);
  delete this;
  return B_OK;
}

void BAlert::Quit() { delete this; }
