#include "JackPeer.h"

#include <fcntl.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <thread>

#include "platform/support/Time.h"

extern char** environ;

namespace {
bool ServerAnswers(const std::string& name) {
  jack_status_t status;
  jack_client_t* client = jack_client_open("zanvel-probe", jack_options_t(JackNoStartServer | JackServerName),
                                           &status, name.c_str());
  if (client == nullptr) return false;
  jack_client_close(client);
  return true;
}

void Quiet(const char*) {}
}  // namespace

JackServer::JackServer(int periodFrames) {
  static int serial = 0;
  fName = "zanvel-test-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
  setenv("JACK_DEFAULT_SERVER", fName.c_str(), 1);
  // Our probes while the server starts are expected to fail.
  jack_set_error_function(Quiet);
  const std::string period = std::to_string(periodFrames);
  const char* argv[] = {"jackd", "-n", fName.c_str(), "-r", "-d", "dummy", "-r", "48000",
                        "-p", period.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const int rc = posix_spawnp(&fPid, "jackd", &actions, nullptr, const_cast<char**>(argv),
                              environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    fPid = -1;
    return;
  }
  const bigtime_t deadline = system_time() + 15000000;
  while (system_time() < deadline) {
    if (ServerAnswers(fName)) {
      fUp = true;
      break;
    }
    int status;
    if (waitpid(fPid, &status, WNOHANG) == fPid) {
      fPid = -1;
      break;
    }
    snooze(50000);
  }
}

JackServer::~JackServer() { Kill(); }

void JackServer::Stop(int safetySeconds) {
  if (fPid <= 0) return;
  Continue();  // ends an earlier watchdog
  const pid_t server = fPid;
  const pid_t watchdog = fork();
  if (watchdog == 0) {
    // Only async-signal-safe calls after fork in a threaded process.
    struct timespec wait = {safetySeconds, 0};
    while (nanosleep(&wait, &wait) != 0) {
    }
    kill(server, SIGCONT);
    _exit(0);
  }
  fWatchdog = watchdog;
  kill(fPid, SIGSTOP);
}

void JackServer::Continue() {
  if (fPid > 0) kill(fPid, SIGCONT);
  if (fWatchdog > 0) {
    kill(fWatchdog, SIGKILL);
    waitpid(fWatchdog, nullptr, 0);
    fWatchdog = -1;
  }
}

void JackServer::Kill() {
  if (fPid <= 0) return;
  // A stopped server would not act on SIGTERM, and one ended by SIGKILL keeps its slot in
  // JACK's server registry.
  Continue();
  // A client whose program ended without closing it stays in the server until the server
  // next notifies its clients. Stopped with such a client, jackd dies of SIGPIPE on its way
  // out and keeps its registry slot: eight of those and no server starts on the machine. A
  // probe client's arrival makes the server drop the departed ones first.
  if (fUp) ServerAnswers(fName);
  kill(fPid, SIGTERM);
  for (int i = 0; i < 100; i++) {
    int status;
    if (waitpid(fPid, &status, WNOHANG) == fPid) {
      fPid = -1;
      return;
    }
    snooze(20000);
  }
  kill(fPid, SIGKILL);
  waitpid(fPid, nullptr, 0);
  fPid = -1;
}

JackMidiReader::JackMidiReader(const char* portName) {
  jack_status_t status;
  // A server that has just answered its first probe may still refuse a client for a moment.
  jack_client_t* client = nullptr;
  for (int attempt = 0; attempt < 20 && client == nullptr; attempt++) {
    client = jack_client_open("zanvel-reader", JackNoStartServer, &status);
    if (client == nullptr) snooze(100000);
  }
  if (client == nullptr) return;
  jack_port_t* port =
      jack_port_register(client, portName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  jack_set_process_callback(client, Process, this);
  jack_on_shutdown(client, [](void* self) { static_cast<JackMidiReader*>(self)->fGone = true; },
                   this);
  fPort = port;
  fClient = client;
  if (port == nullptr || jack_activate(client) != 0) {
    jack_client_close(client);
    fPort = nullptr;
    fClient = nullptr;
  }
}

JackMidiReader::~JackMidiReader() {
  // libjack crashes closing a client whose server died; the process ends soon anyway.
  if (fClient != nullptr && !fGone) jack_client_close(static_cast<jack_client_t*>(fClient));
}

int JackMidiReader::Process(uint32_t frames, void* self) {
  auto* reader = static_cast<JackMidiReader*>(self);
  auto* client = static_cast<jack_client_t*>(reader->fClient);
  if (client == nullptr) return 0;
  void* buffer = jack_port_get_buffer(static_cast<jack_port_t*>(reader->fPort), frames);
  const uint32_t count = jack_midi_get_event_count(buffer);
  if (count == 0) return 0;
  // The moment the reader holds the event. JACK's nominal cycle start can lie before the
  // moment the sender wrote it, when the cycle itself ran late.
  const bigtime_t now = system_time();
  const jack_nframes_t cycleStart = jack_last_frame_time(client);
  // A test peer, not a production client: a short lock here is fine.
  std::lock_guard<std::mutex> guard(reader->fLock);
  for (uint32_t i = 0; i < count; i++) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, buffer, i) != 0) continue;
    reader->fEvents.push_back(
        {std::vector<uint8_t>(event.buffer, event.buffer + event.size), now, cycleStart + event.time});
  }
  return 0;
}

bool JackMidiReader::ConnectFrom(const std::string& portName) {
  auto* client = static_cast<jack_client_t*>(fClient);
  if (client == nullptr) return false;
  const char** ports =
      jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
  bool connected = false;
  const std::string suffix = ":" + portName;
  for (int i = 0; ports != nullptr && ports[i] != nullptr; i++) {
    const std::string name = ports[i];
    if (name.size() >= suffix.size() && name.ends_with(suffix)) {
      const int rc = jack_connect(client, ports[i], jack_port_name(static_cast<jack_port_t*>(fPort)));
      connected = connected || rc == 0 || rc == EEXIST;
    }
  }
  jack_free(ports);
  return connected;
}

std::vector<std::string> JackMidiReader::Ports() const {
  std::vector<std::string> names;
  auto* client = static_cast<jack_client_t*>(fClient);
  if (client == nullptr) return names;
  const char** ports = jack_get_ports(client, nullptr, nullptr, 0);
  for (int i = 0; ports != nullptr && ports[i] != nullptr; i++) names.emplace_back(ports[i]);
  jack_free(ports);
  return names;
}

std::string JackMidiReader::PortName() const {
  if (fPort == nullptr) return {};
  return jack_port_name(static_cast<jack_port_t*>(fPort));
}

uint32_t JackMidiReader::SampleRate() const {
  return fClient != nullptr ? jack_get_sample_rate(static_cast<jack_client_t*>(fClient)) : 0;
}

uint32_t JackMidiReader::FrameAt(bigtime_t time) const {
  auto* client = static_cast<jack_client_t*>(fClient);
  if (client == nullptr) return 0;
  return jack_time_to_frames(client, jack_get_time() + uint64_t(time - system_time()));
}

std::vector<JackMidiEvent> JackMidiReader::Events() const {
  std::lock_guard<std::mutex> guard(fLock);
  return fEvents;
}

void JackMidiReader::Clear() {
  std::lock_guard<std::mutex> guard(fLock);
  fEvents.clear();
}

bool JackMidiReader::WaitFor(size_t count, std::chrono::milliseconds timeout) const {
  const bigtime_t deadline = system_time() + bigtime_t(timeout.count()) * 1000;
  while (system_time() < deadline) {
    {
      std::lock_guard<std::mutex> guard(fLock);
      if (fEvents.size() >= count) return true;
    }
    snooze(2000);
  }
  std::lock_guard<std::mutex> guard(fLock);
  return fEvents.size() >= count;
}
