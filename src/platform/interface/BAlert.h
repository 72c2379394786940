#pragma once
// A modal question with up to three buttons. Go() shows it through the installed
// AlertService, waits for a button and returns its index (0 = leftmost).
//
// Alerts live on the heap and delete themselves in Go() (or Quit() when never shown), so
// `(new BAlert(...))->Go()` is the whole use; the destructor is private to keep it so.

#include <string>
#include <vector>

#include "platform/support/Status.h"

class BInvoker;

enum alert_type {
  B_EMPTY_ALERT = 0,
  B_INFO_ALERT,
  B_IDEA_ALERT,
  B_WARNING_ALERT,
  B_STOP_ALERT,
};

enum button_width {
  B_WIDTH_AS_USUAL = 0,
  B_WIDTH_FROM_WIDEST,
  B_WIDTH_FROM_LABEL,
};

class BAlert {
 public:
  BAlert(const char* title, const char* text, const char* button0, const char* button1 = nullptr,
         const char* button2 = nullptr, button_width width = B_WIDTH_AS_USUAL,
         alert_type type = B_INFO_ALERT);
  BAlert(const BAlert&) = delete;
  BAlert& operator=(const BAlert&) = delete;

  // Shows the alert, blocks until a button is chosen, deletes the alert and returns the
  // button's index. Inside a ScopedNoWaitAlerts it only notifies and answers with the
  // default (rightmost) button at once.
  int32 Go();
  // Shows the alert and returns at once; the alert deletes itself. The answer is not
  // reported: no invoker is supported, so pass nullptr (anything else is B_BAD_VALUE and
  // shows nothing). For threads that must not wait for a person. Inside a
  // ScopedNoWaitAlerts it notifies (AlertService::Notify) instead of posting.
  status_t Go(BInvoker* invoker);
  // Deletes an alert that will not be shown.
  void Quit();

  const std::string& Title() const { return fTitle; }
  const std::string& Text() const { return fText; }
  const std::vector<std::string>& Buttons() const { return fButtons; }
  button_width ButtonWidth() const { return fWidth; }
  alert_type Type() const { return fType; }

 private:
  ~BAlert() = default;

  std::string fTitle;
  std::string fText;
  std::vector<std::string> fButtons;
  button_width fWidth;
  alert_type fType;
};
