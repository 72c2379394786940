#pragma once
// Runs zanvel-listen as a second process under a signature and collects the lines it prints.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/app/BMessenger.h"
#include "platform/support/Time.h"

extern char** environ;

class ListenerProcess {
 public:
  // Starts the listener and waits (up to 5 s) until a messenger finds it.
  explicit ListenerProcess(const std::string& signature) : fSignature(signature) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    const char* argv[] = {ZANVEL_LISTEN_PATH, signature.c_str(), nullptr};
    if (posix_spawn(&fPid, ZANVEL_LISTEN_PATH, &actions, nullptr, const_cast<char**>(argv),
                    environ) != 0)
      fPid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    fOut = pipeFds[0];
    for (int i = 0; i < 500 && fPid > 0; i++) {
      if (BMessenger(signature.c_str()).IsValid()) {
        fReady = true;
        break;
      }
      snooze(10000);
    }
  }
  ~ListenerProcess() {
    Stop();
    if (fOut >= 0) close(fOut);
  }
  ListenerProcess(const ListenerProcess&) = delete;
  ListenerProcess& operator=(const ListenerProcess&) = delete;

  bool Ready() const { return fReady; }
  pid_t Pid() const { return fPid; }

  // Waits up to `timeout` for `count` lines in all; returns every line so far. Measured on
  // the real clock, as tests may install a clock of their own.
  std::vector<std::string> Lines(size_t count, bigtime_t timeout = 5000000) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::microseconds(timeout);
    while (fLines.size() < count && fOut >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) break;
      pollfd p{fOut, POLLIN, 0};
      if (poll(&p, 1, int(left.count()) + 1) <= 0) continue;
      char buffer[4096];
      ssize_t got = read(fOut, buffer, sizeof(buffer));
      if (got <= 0) break;
      fPartial.append(buffer, size_t(got));
      for (size_t end; (end = fPartial.find('\n')) != std::string::npos;) {
        fLines.push_back(fPartial.substr(0, end));
        fPartial.erase(0, end + 1);
      }
    }
    return fLines;
  }

  // Stops and continues the listener, as Ctrl-Z and fg do: stopped, it reads nothing.
  void Pause() { if (fPid > 0) kill(fPid, SIGSTOP); }
  void Resume() { if (fPid > 0) kill(fPid, SIGCONT); }

  // Ends the listener (SIGTERM, continued if it was stopped) and reaps it.
  void Stop() {
    if (fPid <= 0) return;
    kill(fPid, SIGTERM);
    kill(fPid, SIGCONT);
    int status;
    waitpid(fPid, &status, 0);
    fPid = -1;
  }

 private:
  std::string fSignature;
  pid_t fPid = -1;
  int fOut = -1;
  bool fReady = false;
  std::string fPartial;
  std::vector<std::string> fLines;
};
