#include "midi/JackWatch.h"

#include <jack/jack.h>

#include <cstdio>
#include <mutex>

#include "support/Time.h"

namespace {
// libjack reports a missing server on stderr with several lines; while we only look for
// one, that is the normal case and not worth a word.
thread_local bool tQuiet = false;

void JackMessage(const char* text) {
  if (!tQuiet) fprintf(stderr, "JACK: %s\n", text);
}

void InstallMessageFilter() {
  static std::once_flag once;
  std::call_once(once, [] {
    jack_set_error_function(JackMessage);
    jack_set_info_function(JackMessage);
  });
}
}  // namespace

struct JackWatch::Client {
  jack_client_t* handle = nullptr;
};

JackWatch::JackWatch() : fClient(std::make_unique<Client>()) {}

JackWatch::~JackWatch() {
  if (fClient->handle != nullptr) jack_client_close(fClient->handle);
}

void JackWatch::OnShutdown(void* self) {
  static_cast<JackWatch*>(self)->fAlive.store(false, std::memory_order_release);
}

int JackWatch::OnProcess(uint32_t, void* self) {
  auto* watch = static_cast<JackWatch*>(self);
  watch->fLastCycle.store(system_time(), std::memory_order_release);
  watch->fCycles.fetch_add(1, std::memory_order_release);
  return 0;
}

int JackWatch::OnBufferSize(uint32_t frames, void* self) {
  auto* watch = static_cast<JackWatch*>(self);
  if (watch->fRate != 0)
    watch->fPeriod.store(int64_t(frames) * 1000000 / watch->fRate, std::memory_order_relaxed);
  return 0;
}

bool JackWatch::Connect() {
  if (Alive()) return true;
  if (fClient->handle != nullptr) {
    // The server went away; this handle is of no further use.
    jack_client_close(fClient->handle);
    fClient->handle = nullptr;
  }
  InstallMessageFilter();
  tQuiet = true;
  jack_status_t status;
  jack_client_t* handle = jack_client_open("Zanvel-watch", JackNoStartServer, &status);
  tQuiet = false;
  if (handle == nullptr) return false;
  jack_on_shutdown(handle, OnShutdown, this);
  jack_set_process_callback(handle, OnProcess, this);
  fRate = jack_get_sample_rate(handle);
  OnBufferSize(jack_get_buffer_size(handle), this);
  jack_set_buffer_size_callback(handle, OnBufferSize, this);
  if (jack_activate(handle) != 0) {
    jack_client_close(handle);
    return false;
  }
  fClient->handle = handle;
  fLastCycle.store(system_time(), std::memory_order_release);
  fAlive.store(true, std::memory_order_release);
  return true;
}
