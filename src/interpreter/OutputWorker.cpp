#include "interpreter/OutputWorker.h"

#include <pthread.h>

#include <chrono>

OutputWorker::OutputWorker(const char* name, size_t eventCapacity)
    : fEventCapacity(eventCapacity), fName(name ? name : "output"), fThread([this] { Loop(); }) {}

OutputWorker::~OutputWorker() {
  {
    std::lock_guard<std::mutex> hold(fLock);
    fStop = true;
  }
  fWake.notify_all();
  fThread.join();
}

void OutputWorker::Post(Kind kind, Job job) {
  {
    std::lock_guard<std::mutex> hold(fLock);
    if (kind == kEvent) fEvents++;
    fQueue.push_back(Entry{kind, std::move(job)});
  }
  fWake.notify_all();
}

void OutputWorker::PostControl(Job job) { Post(kControl, std::move(job)); }

bool OutputWorker::PostEvent(Job job) {
  {
    std::lock_guard<std::mutex> hold(fLock);
    if (fEvents >= fEventCapacity) return false;
  }
  Post(kEvent, std::move(job));
  return true;
}

bool OutputWorker::PostLatest(Job job) {
  Job replaced;  // destroyed outside the lock
  {
    std::lock_guard<std::mutex> hold(fLock);
    if (!fQueue.empty() && fQueue.back().kind == kLatest) {
      replaced = std::move(fQueue.back().job);
      fQueue.back().job = std::move(job);
      return false;
    }
  }
  Post(kLatest, std::move(job));
  return true;
}

void OutputWorker::SetIdleTick(bigtime_t period, Job tick) {
  std::lock_guard<std::mutex> hold(fLock);
  fTickPeriod = period;
  fTick = std::move(tick);
  fWake.notify_all();
}

bool OutputWorker::NewerLatestWaiting() const {
  std::lock_guard<std::mutex> hold(fLock);
  for (const Entry& entry : fQueue)
    if (entry.kind == kLatest) return true;
  return false;
}

bool OutputWorker::Stopping() const {
  std::lock_guard<std::mutex> hold(fLock);
  return fStop;
}

bool OutputWorker::Sleep(bigtime_t timeout) {
  std::unique_lock<std::mutex> hold(fLock);
  return !fWake.wait_for(hold, std::chrono::microseconds(timeout), [this] { return fStop; });
}

bool OutputWorker::WaitIdle(bigtime_t timeout) {
  std::unique_lock<std::mutex> hold(fLock);
  return fIdle.wait_for(hold, std::chrono::microseconds(timeout),
                        [this] { return fStop || (fQueue.empty() && !fBusy); });
}

void OutputWorker::Loop() {
  pthread_setname_np(pthread_self(), fName.substr(0, 15).c_str());
  std::unique_lock<std::mutex> hold(fLock);
  auto lastTick = std::chrono::steady_clock::now();
  while (!fStop) {
    if (fQueue.empty()) {
      fIdle.notify_all();
      if (!fTick) {
        fWake.wait(hold);
        continue;
      }
      const auto period = std::chrono::microseconds(fTickPeriod);
      const auto due = lastTick + period;
      if (std::chrono::steady_clock::now() < due) {
        fWake.wait_until(hold, due);
        continue;
      }
      lastTick = std::chrono::steady_clock::now();
      Job tick = fTick;
      fBusy = true;
      hold.unlock();
      tick();
      hold.lock();
      fBusy = false;
      continue;
    }
    Entry entry = std::move(fQueue.front());
    fQueue.pop_front();
    if (entry.kind == kEvent) fEvents--;
    fBusy = true;
    hold.unlock();
    entry.job();
    entry.job = nullptr;
    hold.lock();
    fBusy = false;
  }
  fIdle.notify_all();
}
