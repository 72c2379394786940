#include "platform/midi/MidiScheduler.h"

#include <pthread.h>
#include <sys/prctl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/support/Time.h"
#include "platform/support/Log.h"

namespace {
// Wrap-safe comparison of millisecond stamps (the clock wraps after 49 days).
int32 MsAhead(uint32 time, uint32 now) { return int32(time - now); }
}  // namespace

MidiScheduler::MidiScheduler(Sink& sink, size_t capacity, Report report)
    : fSink(sink),
      fCapacity(std::max<size_t>(capacity, 1)),
      fHardCapacity(2 * fCapacity),
      fReport(std::move(report)) {
  fHeap.reserve(fHardCapacity + 1);
  fThread = std::thread([this] { Loop(); });
  fReporter = std::thread([this] { ReportDrops(); });
}

MidiScheduler::~MidiScheduler() {
  {
    std::lock_guard<std::mutex> guard(fLock);
    fQuit = true;
  }
  fWake.notify_all();
  fReportWake.notify_all();
  fThread.join();
  fReporter.join();
}

bool MidiScheduler::Later(const Entry& a, const Entry& b) {
  const int32 ahead = MsAhead(a.event.time, b.event.time);
  if (ahead != 0) return ahead > 0;
  return a.sequence > b.sequence;
}

bool MidiScheduler::Schedule(const MidiEvent& message) {
  MidiEvent event = message;
  // Zero means "now"; compared as a stamp it would lie in the future once the machine has
  // been up for 25 days.
  const bigtime_t now = system_time();
  if (event.time == 0) {
    event.time = uint32(now / 1000);
    event.due = now;
  } else {
    // The stamp is the low 32 bits of the millisecond count; the full moment lies within
    // 25 days of now.
    event.due = (now / 1000 + MsAhead(event.time, uint32(now / 1000))) * 1000;
  }
  const size_t limit = event.EndsNotes() ? fHardCapacity : fCapacity;
  bool first;
  {
    std::lock_guard<std::mutex> guard(fLock);
    if (fHeap.size() >= limit) {
      fDropped.fetch_add(1, std::memory_order_relaxed);
      fLastDrop = system_time();
      fAcceptedSinceDrop = false;
      const bool started = !fDropping;
      fDropping = true;
      // Only the first drop wakes the reporter; it watches for the end by itself.
      if (started) fReportWake.notify_one();
      return false;
    }
    fAcceptedSinceDrop = true;
    fHeap.push_back(Entry{event, fSequence++});
    std::push_heap(fHeap.begin(), fHeap.end(), Later);
    first = fHeap.front().sequence == fSequence - 1;
  }
  // Only a new earliest event changes what the thread waits for.
  if (first) fWake.notify_one();
  return true;
}

std::vector<MidiEvent> MidiScheduler::TakePending() {
  std::vector<MidiEvent> events;
  std::unique_lock<std::mutex> lock(fLock);
  fDelivered.wait(lock, [this] { return !fDelivering; });
  events.reserve(fHeap.size());
  while (!fHeap.empty()) {
    std::pop_heap(fHeap.begin(), fHeap.end(), Later);
    events.push_back(fHeap.back().event);
    fHeap.pop_back();
  }
  return events;
}

size_t MidiScheduler::Pending() const {
  std::lock_guard<std::mutex> guard(fLock);
  return fHeap.size();
}

void MidiScheduler::Loop() {
  pthread_setname_np(pthread_self(), "midi schedule");
  // The default 50 microseconds of timer slack would be most of our lateness.
  prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  std::unique_lock<std::mutex> lock(fLock);
  while (!fQuit) {
    if (fHeap.empty()) {
      fWake.wait(lock);
      continue;
    }
    const bigtime_t now = system_time();
    const int32 ahead = MsAhead(fHeap.front().event.time, uint32(now / 1000));
    if (ahead > 0) {
      fWake.wait_for(lock, std::chrono::microseconds(bigtime_t(ahead) * 1000 - now % 1000));
      continue;
    }
    std::pop_heap(fHeap.begin(), fHeap.end(), Later);
    const Entry entry = fHeap.back();
    fHeap.pop_back();
    fDelivering = true;
    lock.unlock();
    const bool taken = fSink.Deliver(entry.event);
    lock.lock();
    fDelivering = false;
    fDelivered.notify_all();
    if (!taken) {
      // Its sequence keeps it ahead of everything queued meanwhile.
      fHeap.push_back(entry);
      std::push_heap(fHeap.begin(), fHeap.end(), Later);
      fWake.wait_for(lock, std::chrono::microseconds(kRetry));
    }
  }
}

void MidiScheduler::ReportDrops() {
  pthread_setname_np(pthread_self(), "midi drops");
  const auto emit = [this](const char* line) {
    if (fReport)
      fReport(line);
    else
      Log(LogLevel::kWarn, "%s", line);
  };
  // Checking a few times a second is enough for a report "about a second" after the end.
  constexpr bigtime_t kPoll = 250000;
  uint64_t reported = 0;
  std::unique_lock<std::mutex> lock(fLock);
  while (!fQuit) {
    if (!fDropping) {
      fReportWake.wait(lock);
      continue;
    }
    lock.unlock();
    emit("MIDI: output queue full; messages are dropped");
    lock.lock();
    while (!fQuit) {
      const bigtime_t quiet = system_time() - fLastDrop;
      if (fAcceptedSinceDrop && quiet >= kQuietBeforeReport) break;
      const bigtime_t wait = fAcceptedSinceDrop ? std::min(kPoll, kQuietBeforeReport - quiet) : kPoll;
      fReportWake.wait_for(lock, std::chrono::microseconds(wait));
    }
    if (fQuit) break;
    const uint64_t dropped = fDropped.load(std::memory_order_relaxed);
    fDropping = false;
    lock.unlock();
    char line[96];
    snprintf(line, sizeof line, "MIDI: output queue has room again; %llu messages dropped",
             static_cast<unsigned long long>(dropped - reported));
    emit(line);
    lock.lock();
    reported = dropped;
  }
}
