#include "platform/midi/BMidi.h"

#include <pthread.h>
#include <algorithm>
#include <chrono>

#include "platform/support/Time.h"

namespace {
// One lock for the connections of all objects. Sprays nest (a port passes on what it is
// sent), hence recursive; consumers are quick, so one lock costs little and lets an object
// that dies take itself out of every list safely.
std::recursive_mutex& ConnectionLock() {
  static std::recursive_mutex lock;
  return lock;
}
}  // namespace

BMidi::BMidi() = default;

BMidi::~BMidi() {
  Stop();
  CutConnections();
}

void BMidi::CutConnections() {
  std::lock_guard<std::recursive_mutex> guard(ConnectionLock());
  for (BMidi* producer : fProducers) std::erase(producer->fConsumers, this);
  for (BMidi* consumer : fConsumers) std::erase(consumer->fProducers, this);
  fProducers.clear();
  fConsumers.clear();
}

void BMidi::NoteOff(uchar, uchar, uchar, uint32) {}
void BMidi::NoteOn(uchar, uchar, uchar, uint32) {}
void BMidi::KeyPressure(uchar, uchar, uchar, uint32) {}
void BMidi::ControlChange(uchar, uchar, uchar, uint32) {}
void BMidi::ProgramChange(uchar, uchar, uint32) {}
void BMidi::ChannelPressure(uchar, uchar, uint32) {}
void BMidi::PitchBend(uchar, uchar, uchar, uint32) {}

status_t BMidi::Start() {
  std::lock_guard<std::mutex> guard(fThreadLock);
  if (fRunning.load()) return B_OK;
  // A thread whose Run returned by itself still needs its join.
  if (fThread.joinable()) fThread.join();
  fKeepRunning.store(true);
  fRunning.store(true);
  try {
    fThread = std::thread([this] {
      pthread_setname_np(pthread_self(), "midi run");
      Run();
      fRunning.store(false);
    });
  } catch (const std::system_error&) {
    fKeepRunning.store(false);
    fRunning.store(false);
    return B_ERROR;
  }
  return B_OK;
}

void BMidi::Stop() {
  std::lock_guard<std::mutex> guard(fThreadLock);
  {
    std::lock_guard<std::mutex> wake(fWakeLock);
    fKeepRunning.store(false);
  }
  fWake.notify_all();
  if (!fThread.joinable() || fThread.get_id() == std::this_thread::get_id()) return;
  fThread.join();
}

bool BMidi::IsRunning() const { return fRunning.load(); }

bool BMidi::KeepRunning() const { return fKeepRunning.load(); }

void BMidi::Run() {
  std::unique_lock<std::mutex> lock(fWakeLock);
  fWake.wait(lock, [this] { return !fKeepRunning.load(); });
}

void BMidi::SnoozeUntil(uint32 time) const {
  if (time == B_NOW) return;
  std::unique_lock<std::mutex> lock(fWakeLock);
  while (fKeepRunning.load()) {
    const bigtime_t now = system_time();
    // Wrap-safe: the millisecond clock wraps after 49 days.
    const int32 aheadMs = int32(time - uint32(now / 1000));
    if (aheadMs <= 0) return;
    const bigtime_t wait = bigtime_t(aheadMs) * 1000 - now % 1000;
    fWake.wait_for(lock, std::chrono::microseconds(wait));
  }
}

void BMidi::Connect(BMidi* toObject) {
  if (toObject == nullptr || toObject == this) return;
  std::lock_guard<std::recursive_mutex> guard(ConnectionLock());
  if (std::find(fConsumers.begin(), fConsumers.end(), toObject) != fConsumers.end()) return;
  fConsumers.push_back(toObject);
  toObject->fProducers.push_back(this);
}

void BMidi::Disconnect(BMidi* toObject) {
  if (toObject == nullptr) return;
  std::lock_guard<std::recursive_mutex> guard(ConnectionLock());
  if (std::erase(fConsumers, toObject) > 0) std::erase(toObject->fProducers, this);
}

bool BMidi::IsConnected(BMidi* toObject) const {
  std::lock_guard<std::recursive_mutex> guard(ConnectionLock());
  return std::find(fConsumers.begin(), fConsumers.end(), toObject) != fConsumers.end();
}

std::vector<BMidi*> BMidi::Connections() const {
  std::lock_guard<std::recursive_mutex> guard(ConnectionLock());
  return fConsumers;
}

template <typename Call>
void BMidi::Spray(Call call) const {
  std::lock_guard<std::recursive_mutex> guard(ConnectionLock());
  // By index: a consumer may disconnect itself from inside its hook.
  for (size_t i = 0; i < fConsumers.size(); i++) call(fConsumers[i]);
}

void BMidi::SprayNoteOff(uchar channel, uchar note, uchar velocity, uint32 time) const {
  Spray([&](BMidi* to) { to->NoteOff(channel, note, velocity, time); });
}

void BMidi::SprayNoteOn(uchar channel, uchar note, uchar velocity, uint32 time) const {
  Spray([&](BMidi* to) { to->NoteOn(channel, note, velocity, time); });
}

void BMidi::SprayKeyPressure(uchar channel, uchar note, uchar pressure, uint32 time) const {
  Spray([&](BMidi* to) { to->KeyPressure(channel, note, pressure, time); });
}

void BMidi::SprayControlChange(uchar channel, uchar controlNumber, uchar controlValue,
                               uint32 time) const {
  Spray([&](BMidi* to) { to->ControlChange(channel, controlNumber, controlValue, time); });
}

void BMidi::SprayProgramChange(uchar channel, uchar programNumber, uint32 time) const {
  Spray([&](BMidi* to) { to->ProgramChange(channel, programNumber, time); });
}

void BMidi::SprayChannelPressure(uchar channel, uchar pressure, uint32 time) const {
  Spray([&](BMidi* to) { to->ChannelPressure(channel, pressure, time); });
}

void BMidi::SprayPitchBend(uchar channel, uchar lsb, uchar msb, uint32 time) const {
  Spray([&](BMidi* to) { to->PitchBend(channel, lsb, msb, time); });
}
