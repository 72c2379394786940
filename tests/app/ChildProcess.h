#pragma once
// A program started by a test, its standard output collected line by line; stopped (and
// reaped) by the destructor if it is still running.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
      return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    std::vector<char*> args;
    for (const std::string& arg : argv)
      args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    if (posix_spawn(&fPid, args[0], &actions, nullptr, args.data(), environ) != 0)
      fPid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    fOut = pipeFds[0];
    fReader = std::thread([this] { ReadLines(); });
  }

  ~ChildProcess() {
    if (fPid > 0 && !fExited) {
      kill(fPid, SIGTERM);
      if (!WaitForExit(std::chrono::seconds(5))) {
        kill(fPid, SIGKILL);
        WaitForExit(std::chrono::seconds(5));
      }
    }
    if (fReader.joinable())
      fReader.join();
    if (fOut >= 0)
      close(fOut);
  }

  bool Started() const { return fPid > 0; }

  // Waits for the process to end; its exit status is then ExitCode() (-1 for a signal).
  bool WaitForExit(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!fExited) {
      int status = 0;
      pid_t got = waitpid(fPid, &status, WNOHANG);
      if (got == fPid) {
        fExited = true;
        fExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        break;
      }
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }
  int ExitCode() const { return fExitCode; }

  std::vector<std::string> Lines() const {
    std::lock_guard<std::mutex> lock(fMutex);
    return fLines;
  }
  size_t CountLines(const std::function<bool(const std::string&)>& match) const {
    std::lock_guard<std::mutex> lock(fMutex);
    size_t count = 0;
    for (const std::string& line : fLines)
      count += match(line) ? 1 : 0;
    return count;
  }
  // Waits until `count` lines match; false after the timeout.
  bool WaitForLines(const std::function<bool(const std::string&)>& match, size_t count,
                    std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(fMutex);
    return fChanged.wait_for(lock, timeout, [&] {
      size_t n = 0;
      for (const std::string& line : fLines)
        n += match(line) ? 1 : 0;
      return n >= count;
    });
  }

 private:
  void ReadLines() {
    std::string pending;
    char buffer[4096];
    for (;;) {
      ssize_t got = read(fOut, buffer, sizeof buffer);
      if (got <= 0)
        break;
      pending.append(buffer, size_t(got));
      size_t end;
      while ((end = pending.find('\n')) != std::string::npos) {
        std::lock_guard<std::mutex> lock(fMutex);
        fLines.push_back(pending.substr(0, end));
        pending.erase(0, end + 1);
        fChanged.notify_all();
      }
    }
    std::lock_guard<std::mutex> lock(fMutex);
    if (!pending.empty())
      fLines.push_back(pending);
    fChanged.notify_all();
  }

  pid_t fPid = -1;
  int fOut = -1;
  bool fExited = false;
  int fExitCode = -1;
  std::thread fReader;
  mutable std::mutex fMutex;
  mutable std::condition_variable fChanged;
  std::vector<std::string> fLines;
};

// Runs a program to its end and gives its exit status.
inline int RunToEnd(const std::vector<std::string>& argv) {
  ChildProcess child(argv);
  if (!child.Started() || !child.WaitForExit(std::chrono::seconds(30)))
    return -1;
  return child.ExitCode();
}
