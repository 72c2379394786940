#include "platform/interface/RecordingAlertService.h"

#include <chrono>

int32 RecordingAlertService::Show(const AlertRequest& request) {
  int32 answer;
  {
    std::lock_guard<std::mutex> hold(fMutex);
    fAlerts.push_back(request);
    if (!fAnswers.empty()) {
      answer = fAnswers.front();
      fAnswers.pop_front();
    } else {
      answer = fDefaultAnswer;
    }
  }
  fShown.notify_all();
  const int32 last = int32(request.buttons.size()) - 1;
  return (answer < 0 || answer > last) ? last : answer;
}

void RecordingAlertService::QueueAnswer(int32 button) {
  std::lock_guard<std::mutex> hold(fMutex);
  fAnswers.push_back(button);
}

void RecordingAlertService::SetDefaultAnswer(int32 button) {
  std::lock_guard<std::mutex> hold(fMutex);
  fDefaultAnswer = button;
}

std::vector<AlertRequest> RecordingAlertService::Alerts() const {
  std::lock_guard<std::mutex> hold(fMutex);
  return fAlerts;
}

size_t RecordingAlertService::CountAlerts() const {
  std::lock_guard<std::mutex> hold(fMutex);
  return fAlerts.size();
}

void RecordingAlertService::Clear() {
  std::lock_guard<std::mutex> hold(fMutex);
  fAlerts.clear();
  fAnswers.clear();
}

bool RecordingAlertService::WaitForAlerts(size_t count, bigtime_t timeout) const {
  std::unique_lock<std::mutex> hold(fMutex);
  return fShown.wait_for(hold, std::chrono::microseconds(timeout), [&] { return fAlerts.size() >= count; });
}
