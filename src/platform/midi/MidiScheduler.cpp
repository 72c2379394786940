#include "midi/MidiScheduler.h"

#include <sys/prctl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "support/Time.h"

namespace {
// Wrap-safe comparison of millisecond stamps (the clock wraps after 49 days).
int32 MsAhead(uint32 time, uint32 now) { return int32(time - now); }
}  // namespace

MidiScheduler::MidiScheduler(Sink& sink, size_t capacity)
    : fSink(sink), fCapacity(std::max<size_t>(capacity, 1)) {
  fHeap.reserve(fCapacity);
  fThread = std::thread([this] { Loop(); });
}

MidiScheduler::~MidiScheduler() {
  {
    std::lock_guard<std::mutex> guard(fLock);
    fQuit = true;
  }
  fWake.notify_all();
  fThread.join();
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
  if (event.time == 0) event.time = uint32(system_time() / 1000);
  bool first;
  {
    std::lock_guard<std::mutex> guard(fLock);
    if (fHeap.size() >= fCapacity) {
      fDropped.fetch_add(1, std::memory_order_relaxed);
      return false;
    }
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
  std::lock_guard<std::mutex> guard(fLock);
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
  // The default 50 microseconds of timer slack would be most of our lateness.
  prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  uint64_t reportedDrops = 0;
  bigtime_t lastReport = 0;
  std::unique_lock<std::mutex> lock(fLock);
  while (!fQuit) {
    const uint64_t drops = fDropped.load(std::memory_order_relaxed);
    if (drops != reportedDrops && system_time() - lastReport >= 1000000) {
      // Reported here, not where the drop happens: that may be the frame thread.
      lock.unlock();
      fprintf(stderr, "MIDI: output queue full, %llu messages dropped so far\n",
              static_cast<unsigned long long>(drops));
      lock.lock();
      reportedDrops = drops;
      lastReport = system_time();
      continue;
    }
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
    const MidiEvent event = fHeap.back().event;
    fHeap.pop_back();
    lock.unlock();
    fSink.Deliver(event);
    lock.lock();
  }
}
