#pragma once
// Where alerts are shown: one back end installed for the whole process (the Qt dialogs in
// the application, a recording back end in tests). Without one, alerts go to the console.

#include <string>
#include <vector>

#include "platform/interface/BAlert.h"
#include "platform/support/Status.h"

// What an alert asks.
struct AlertRequest {
  std::string title;
  std::string text;
  std::vector<std::string> buttons;  // one to three, left to right
  alert_type type = B_INFO_ALERT;
  button_width width = B_WIDTH_AS_USUAL;
};

class AlertService {
 public:
  virtual ~AlertService() = default;
  // Shows the alert and blocks the calling thread until a button is chosen; returns its
  // index, within 0 .. buttons.size() − 1. May be called from any thread.
  virtual int32 Show(const AlertRequest& request) = 0;
  // Shows the alert without waiting for its answer. May be called from any thread. The
  // default shows it through Show, which suits back ends that answer at once.
  virtual void Post(const AlertRequest& request) { Show(request); }
  // Tells the user without holding anything back: returns at once, and where the back end
  // has windows the alert is not modal and also goes to standard error as one line (see
  // AlertLine). For alerts raised on behalf of another program. The default posts it.
  virtual void Notify(const AlertRequest& request) { Post(request); }

  // Installs a back end for the whole process (nullptr: the console) and returns the one it
  // replaces. The caller keeps ownership and must not delete a back end while an alert can
  // still be shown through it.
  static AlertService* Install(AlertService* service);
  // The installed back end, or the console one.
  static AlertService* Current();
};

// The alert as one line: `alert "title": text [button | default*]`, the text's line breaks
// written as " / ", so that a reader of standard error sees one alert per line.
std::string AlertLine(const AlertRequest& request);

// While one lives on a thread, BAlert::Go() on that thread does not wait: it notifies
// (AlertService::Notify) and answers with the default button. Scopes nest.
class ScopedNoWaitAlerts {
 public:
  explicit ScopedNoWaitAlerts(bool active = true);
  ~ScopedNoWaitAlerts();
  ScopedNoWaitAlerts(const ScopedNoWaitAlerts&) = delete;
  ScopedNoWaitAlerts& operator=(const ScopedNoWaitAlerts&) = delete;

  // True on a thread inside an active scope.
  static bool Active();

 private:
  bool fActive;
};

// Installs a back end for the life of a scope.
class ScopedAlertService {
 public:
  explicit ScopedAlertService(AlertService* service) : fPrevious(AlertService::Install(service)) {}
  ~ScopedAlertService() { AlertService::Install(fPrevious); }
  ScopedAlertService(const ScopedAlertService&) = delete;
  ScopedAlertService& operator=(const ScopedAlertService&) = delete;

 private:
  AlertService* fPrevious;
};
