#include "platform/midi/JackMidiOutput.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/support/Time.h"
#include "platform/support/Log.h"

namespace {
// libjack reports a missing server on stderr with several lines; while we only look for
// one, that is the normal case and not worth a word.
thread_local bool tQuiet = false;

void JackMessage(const char* text) {
  if (!tQuiet) Log(LogLevel::kWarn, "JACK: %s", text);
}

void InstallMessageFilter() {
  static std::once_flag once;
  std::call_once(once, [] {
    jack_set_error_function(JackMessage);
    jack_set_info_function(JackMessage);
  });
}

// A gap between cycles of this many periods, and at least kMinStall microseconds, is a
// stall, not a late cycle of a busy machine.
constexpr uint64_t kStallPeriods = 8;
constexpr uint64_t kMinStall = 50000;
// A message stamped further ahead than this on JACK's clock goes out at once: the clocks
// disagree, and it must not hold back everything after it.
constexpr int64_t kMaxAheadUs = 100000;
// How long Close lets a running server take what is queued.
constexpr bigtime_t kDrainWait = 1000000;
}  // namespace

struct JackMidiOutput::Client {
  std::atomic<jack_client_t*> handle{nullptr};
};

JackMidiOutput::JackMidiOutput() : fClient(std::make_unique<Client>()) {}

JackMidiOutput::~JackMidiOutput() {
  Close();
  // libjack crashes closing a client whose server died; the process ends soon anyway.
  if (fClient->handle != nullptr && Alive()) jack_client_close(fClient->handle);
}

bool JackMidiOutput::Connect() {
  if (Alive()) return true;
  // A client whose server went away is of no further use, and closing it would crash.
  fClient->handle = nullptr;
  fOpen = false;
  fPort.store(nullptr);
  InstallMessageFilter();
  tQuiet = true;
  jack_status_t status;
  jack_client_t* handle = jack_client_open(kOwnMidiPortName, JackNoStartServer, &status);
  tQuiet = false;
  if (handle == nullptr) return false;
  jack_on_shutdown(handle, OnShutdown, this);
  jack_set_process_callback(handle, OnProcess, this);
  fPreviousCycle = 0;
  if (jack_activate(handle) != 0) {
    jack_client_close(handle);
    return false;
  }
  fClient->handle = handle;
  fAlive.store(true, std::memory_order_release);
  return true;
}

void JackMidiOutput::OnShutdown(void* self) {
  static_cast<JackMidiOutput*>(self)->fAlive.store(false, std::memory_order_release);
}

int JackMidiOutput::OnProcess(uint32_t frames, void* self) {
  static_cast<JackMidiOutput*>(self)->Process(frames);
  return 0;
}

void JackMidiOutput::Process(uint32_t frames) {
  fInProcess.store(true);
  auto* port = static_cast<jack_port_t*>(fPort.load());
  jack_client_t* client = fClient->handle;
  const jack_time_t now = jack_get_time();
  if (client != nullptr) {
    const uint64_t period = uint64_t(frames) * 1000000 / jack_get_sample_rate(client);
    if (fPreviousCycle != 0 && now - fPreviousCycle > std::max(kMinStall, kStallPeriods * period))
      fSettle.store(kSettleCycles, std::memory_order_relaxed);
  }
  fPreviousCycle = now;
  fCycles.fetch_add(1, std::memory_order_release);

  if (port == nullptr || client == nullptr) {
    // Nowhere to go: what a closed port still held is dropped.
    while (fQueue.Front() != nullptr) fQueue.Pop();
    fInProcess.store(false);
    return;
  }
  void* buffer = jack_port_get_buffer(port, frames);
  jack_midi_clear_buffer(buffer);
  const int settle = fSettle.load(std::memory_order_relaxed);
  if (settle > 0) {
    fSettle.store(settle - 1, std::memory_order_relaxed);
    fInProcess.store(false);
    return;
  }
  // A message goes one period after its time, at the frame of that time: handed over as
  // it was due, it still finds its frame in this cycle. Frame counts wrap; differences
  // do not.
  const jack_nframes_t cycleStart = jack_last_frame_time(client);
  int32_t earliest = 0;  // offsets only grow within a cycle
  while (const Event* event = fQueue.Front()) {
    int32_t offset = int32_t(jack_time_to_frames(client, event->usecs) + frames - cycleStart);
    if (offset >= int32_t(frames)) {
      if (int64_t(event->usecs - now) < kMaxAheadUs) break;  // a later cycle's
      offset = earliest;
    }
    if (offset < earliest) offset = earliest;  // late: as soon as possible, in order
    if (jack_midi_event_write(buffer, jack_nframes_t(offset), event->bytes, event->size) != 0)
      break;  // the port buffer is full; the rest goes next cycle
    earliest = offset;
    fQueue.Pop();
  }
  fInProcess.store(false);
}

std::vector<std::string> JackMidiOutput::Devices() {
  std::vector<std::string> devices;
  if (!Connect()) return devices;
  devices.emplace_back(kOwnMidiPortName);
  const char** ports =
      jack_get_ports(fClient->handle, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
  for (int i = 0; ports != nullptr && ports[i] != nullptr; i++) devices.emplace_back(ports[i]);
  jack_free(ports);
  return devices;
}

status_t JackMidiOutput::Open(const std::string& device) {
  Close();
  if (!Connect()) return B_ERROR;
  std::string target;
  if (device != kOwnMidiPortName) {
    // Names handed out in 32-byte buffers may arrive cut short: a cut name stands for the
    // one device it begins.
    int prefixed = 0;
    for (const std::string& name : Devices()) {
      if (name == kOwnMidiPortName) continue;
      if (name == device) {
        target = name;
        prefixed = 1;
        break;
      }
      if (device.size() >= 31 && name.starts_with(device)) {
        target = name;
        prefixed++;
      }
    }
    if (prefixed != 1) return B_NAME_NOT_FOUND;
  }
  jack_port_t* port = jack_port_register(fClient->handle, kOwnMidiPortName,
                                         JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  if (port == nullptr) {
    Log(LogLevel::kWarn, "MIDI: can't open %s: JACK refused the port", device.c_str());
    return B_ERROR;
  }
  if (!target.empty()) {
    const int rc = jack_connect(fClient->handle, jack_port_name(port), target.c_str());
    if (rc != 0 && rc != EEXIST) {
      Log(LogLevel::kWarn, "MIDI: can't open %s: JACK refused the connection", device.c_str());
      jack_port_unregister(fClient->handle, port);
      return B_ERROR;
    }
  }
  fPort.store(port);
  fOpen = true;
  return B_OK;
}

void JackMidiOutput::WaitUntilWritten() {
  // A server that runs cycles takes what is queued within a few; one that stalls would
  // only make us wait.
  const bigtime_t deadline = system_time() + kDrainWait;
  uint64_t cycles = fCycles.load(std::memory_order_acquire);
  bigtime_t lastCycle = system_time();
  while (fQueue.Size() > 0 && Alive() && system_time() < deadline) {
    snooze(1000);
    const uint64_t now = fCycles.load(std::memory_order_acquire);
    if (now != cycles) {
      cycles = now;
      lastCycle = system_time();
    } else if (system_time() - lastCycle > 100000) {
      break;
    }
  }
}

void JackMidiOutput::Close() {
  if (!fOpen) return;
  fOpen = false;
  if (!Alive()) {
    fPort.store(nullptr);
    return;
  }
  WaitUntilWritten();
  auto* port = static_cast<jack_port_t*>(fPort.exchange(nullptr));
  // The callback that may still hold the port ends within a cycle.
  for (int i = 0; i < 1000 && fInProcess.load(); i++) snooze(100);
  if (port != nullptr) jack_port_unregister(fClient->handle, port);
}

bool JackMidiOutput::HasRoom(size_t count, size_t) {
  if (!fOpen || !Alive()) return true;  // Send fails at once
  return fQueue.Room() >= count;
}

bool JackMidiOutput::Send(const uint8* bytes, size_t size, bigtime_t due) {
  if (!fOpen || !Alive() || size == 0 || size > 3) return false;
  Event event{};
  const bigtime_t now = system_time();
  event.usecs = jack_get_time() + uint64_t(due != 0 ? due - now : 0);
  event.size = uint8(size);
  memcpy(event.bytes, bytes, size);
  return fQueue.Push(event);
}
