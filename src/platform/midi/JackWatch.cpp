#include "midi/JackWatch.h"

#include <jack/jack.h>

#include <cstdio>
#include <mutex>

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
  if (jack_activate(handle) != 0) {
    jack_client_close(handle);
    return false;
  }
  fClient->handle = handle;
  fAlive.store(true, std::memory_order_release);
  return true;
}
