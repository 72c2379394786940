#pragma once
// A headless back end for tests: records every alert and answers with scripted buttons.
// Thread-safe: alerts may come from any thread while a test reads the record.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/interface/AlertService.h"

class RecordingAlertService : public AlertService {
 public:
  // Answers queued with QueueAnswer are used first, in order; then the default answer.
  // An answer outside the alert's buttons is replaced by its last button.
  explicit RecordingAlertService(int32 defaultAnswer = 0) : fDefaultAnswer(defaultAnswer) {}

  int32 Show(const AlertRequest& request) override;

  void QueueAnswer(int32 button);
  void SetDefaultAnswer(int32 button);
  // Copies of the alerts shown so far, oldest first.
  std::vector<AlertRequest> Alerts() const;
  size_t CountAlerts() const;
  void Clear();
  // Waits until at least count alerts were shown, at most timeout µs; true when they were.
  bool WaitForAlerts(size_t count, bigtime_t timeout) const;

 private:
  mutable std::mutex fMutex;
  mutable std::condition_variable fShown;
  std::vector<AlertRequest> fAlerts;
  std::deque<int32> fAnswers;
  int32 fDefaultAnswer;
};
