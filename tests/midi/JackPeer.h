#pragma once
// A real JACK server for tests and benchmarks (the dummy driver, no sound card, no
// realtime), and a JACK MIDI reader that records what reaches its input port.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/support/Status.h"

// Starts `jackd -n <unique name> -r -d dummy` and points this process's JACK clients at it
// (JACK_DEFAULT_SERVER); the destructor stops it.
class JackServer {
 public:
  explicit JackServer(int periodFrames = 256);
  ~JackServer();
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  // True once a client could connect.
  bool Up() const { return fUp; }
  const std::string& Name() const { return fName; }
  // Kills the server now (a service that goes away).
  void Kill();
  pid_t Pid() const { return fPid; }
  // Freezes the server (SIGSTOP), a service that stalls: its clients get no process cycle
  // and every request to it waits. A helper process continues it after safetySeconds
  // should this process die first, so that no test leaves a frozen jackd behind.
  void Stop(int safetySeconds = 60);
  // Lets a stopped server run again; harmless on one that runs.
  void Continue();

 private:
  std::string fName;
  pid_t fPid = -1;
  pid_t fWatchdog = -1;
  bool fUp = false;
};

// Keeps the server stopped for its lifetime; it continues when the guard goes, also when
// a failed assertion leaves the test early.
class StoppedJackServer {
 public:
  explicit StoppedJackServer(JackServer& server) : fServer(server) { fServer.Stop(); }
  ~StoppedJackServer() { fServer.Continue(); }
  StoppedJackServer(const StoppedJackServer&) = delete;
  StoppedJackServer& operator=(const StoppedJackServer&) = delete;

 private:
  JackServer& fServer;
};

struct JackMidiEvent {
  std::vector<uint8_t> bytes;
  bigtime_t time;  // system_time() when the reader's process cycle saw it
  uint32_t frame;  // JACK's frame count at the event (wraps)
};

class JackMidiReader {
 public:
  // A client with one MIDI input port, "zanvel-reader:<portName>".
  explicit JackMidiReader(const char* portName = "in");
  ~JackMidiReader();
  JackMidiReader(const JackMidiReader&) = delete;
  JackMidiReader& operator=(const JackMidiReader&) = delete;

  bool Ok() const { return fClient != nullptr; }
  // Connects every JACK MIDI output port whose name ends in ":<portName>" to ours.
  bool ConnectFrom(const std::string& portName);
  // The full names of all JACK ports (as jack_lsp lists them).
  std::vector<std::string> Ports() const;
  // The full name of our input port.
  std::string PortName() const;
  // The server's frames per second.
  uint32_t SampleRate() const;
  // JACK's frame count at the given system_time().
  uint32_t FrameAt(bigtime_t time) const;

  std::vector<JackMidiEvent> Events() const;
  void Clear();
  // Waits until count events arrived; false after timeout.
  bool WaitFor(size_t count, std::chrono::milliseconds timeout) const;

 private:
  static int Process(uint32_t frames, void* self);
  void* fClient = nullptr;
  void* fPort = nullptr;
  std::atomic<bool> fGone{false};
  mutable std::mutex fLock;
  std::vector<JackMidiEvent> fEvents;
};
