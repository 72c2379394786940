#pragma once
// A program started by a test, its standard output (and, when asked, its standard error)
// collected line by line; stopped (and reaped) by the destructor if it is still running.

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

struct ChildOptions {
  // Standard error is collected too (ErrorLines); otherwise it is the test's own.
  bool collectErrors = false;
  // The read end of standard output is closed after this many lines, as a reader that
  // stops early does (`program | head -1`); 0 reads to the end.
  size_t closeOutputAfter = 0;
};

class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv, ChildOptions options = {}) {
    int outFds[2] = {-1, -1}, errFds[2] = {-1, -1};
    if (pipe2(outFds, O_CLOEXEC) != 0)
      return;
    if (options.collectErrors && pipe2(errFds, O_CLOEXEC) != 0) {
      close(outFds[0]);
      close(outFds[1]);
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFds[1], 1);
    if (options.collectErrors)
      posix_spawn_file_actions_adddup2(&actions, errFds[1], 2);
    std::vector<char*> args;
    for (const std::string& arg : argv)
      args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    if (posix_spawn(&fPid, args[0], &actions, nullptr, args.data(), environ) != 0)
      fPid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(outFds[1]);
    fOut.fd = outFds[0];
    fOut.closeAfter = options.closeOutputAfter;
    fOut.reader = std::thread([this] { ReadLines(fOut); });
    if (options.collectErrors) {
      close(errFds[1]);
      fErr.fd = errFds[0];
      fErr.reader = std::thread([this] { ReadLines(fErr); });
    }
  }

  ~ChildProcess() {
    if (fPid > 0 && !fExited) {
      // A stopped process would keep SIGTERM pending for ever.
      kill(fPid, SIGCONT);
      kill(fPid, SIGTERM);
      if (!WaitForExit(std::chrono::seconds(5))) {
        kill(fPid, SIGKILL);
        WaitForExit(std::chrono::seconds(5));
      }
    }
    for (Stream* stream : {&fOut, &fErr}) {
      if (stream->reader.joinable())
        stream->reader.join();
      if (stream->fd >= 0)
        close(stream->fd);
    }
  }

  bool Started() const { return fPid > 0; }
  pid_t Pid() const { return fPid; }
  // Sends a signal while the process runs (SIGSTOP, SIGCONT...).
  void Signal(int signal) {
    if (fPid > 0 && !fExited)
      kill(fPid, signal);
  }

  // Waits for the process to end; its exit status is then ExitCode() (-1 for a signal, which
  // is then TermSignal()).
  bool WaitForExit(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!fExited) {
      int status = 0;
      pid_t got = waitpid(fPid, &status, WNOHANG);
      if (got == fPid) {
        fExited = true;
        fExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        fTermSignal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        break;
      }
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }
  // True while the process has not ended (it is reaped when it has).
  bool Running() { return fPid > 0 && !WaitForExit(std::chrono::milliseconds(0)); }
  int ExitCode() const { return fExitCode; }
  int TermSignal() const { return fTermSignal; }

  std::vector<std::string> Lines() const { return Snapshot(fOut); }
  size_t CountLines(const std::function<bool(const std::string&)>& match) const { return Count(fOut, match); }
  // Waits until `count` lines match; false after the timeout.
  bool WaitForLines(const std::function<bool(const std::string&)>& match, size_t count,
                    std::chrono::milliseconds timeout) const {
    return WaitFor(fOut, match, count, timeout);
  }

  // The same for standard error, when it is collected.
  std::vector<std::string> ErrorLines() const { return Snapshot(fErr); }
  size_t CountErrorLines(const std::function<bool(const std::string&)>& match) const {
    return Count(fErr, match);
  }
  bool WaitForErrorLines(const std::function<bool(const std::string&)>& match, size_t count,
                         std::chrono::milliseconds timeout) const {
    return WaitFor(fErr, match, count, timeout);
  }

 private:
  struct Stream {
    int fd = -1;
    size_t closeAfter = 0;
    std::thread reader;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<std::string> lines;
  };

  static void ReadLines(Stream& stream) {
    std::string pending;
    char buffer[4096];
    for (;;) {
      ssize_t got = read(stream.fd, buffer, sizeof buffer);
      if (got <= 0)
        break;
      pending.append(buffer, size_t(got));
      size_t end;
      bool enough = false;
      while ((end = pending.find('\n')) != std::string::npos) {
        std::lock_guard<std::mutex> lock(stream.mutex);
        stream.lines.push_back(pending.substr(0, end));
        pending.erase(0, end + 1);
        stream.changed.notify_all();
        enough = stream.closeAfter > 0 && stream.lines.size() >= stream.closeAfter;
        if (enough)
          break;
      }
      if (enough) {
        pending.clear();
        close(stream.fd);
        stream.fd = -1;
        break;
      }
    }
    std::lock_guard<std::mutex> lock(stream.mutex);
    if (!pending.empty())
      stream.lines.push_back(pending);
    stream.changed.notify_all();
  }

  static std::vector<std::string> Snapshot(const Stream& stream) {
    std::lock_guard<std::mutex> lock(stream.mutex);
    return stream.lines;
  }
  static size_t Count(const Stream& stream, const std::function<bool(const std::string&)>& match) {
    std::lock_guard<std::mutex> lock(stream.mutex);
    size_t count = 0;
    for (const std::string& line : stream.lines)
      count += match(line) ? 1 : 0;
    return count;
  }
  static bool WaitFor(const Stream& stream, const std::function<bool(const std::string&)>& match, size_t count,
                      std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(stream.mutex);
    return stream.changed.wait_for(lock, timeout, [&] {
      size_t n = 0;
      for (const std::string& line : stream.lines)
        n += match(line) ? 1 : 0;
      return n >= count;
    });
  }

  pid_t fPid = -1;
  bool fExited = false;
  int fExitCode = -1;
  int fTermSignal = 0;
  Stream fOut;
  Stream fErr;
};

// Runs a program to its end and gives its exit status.
inline int RunToEnd(const std::vector<std::string>& argv) {
  ChildProcess child(argv);
  if (!child.Started() || !child.WaitForExit(std::chrono::seconds(30)))
    return -1;
  return child.ExitCode();
}

// Sends one command with the companion sender (`sender`, zanvel-send) to `signature` and
// returns its exit status: words are the code and its name:type=value fields.
inline int SendCommand(const std::string& sender, const std::string& signature,
                       const std::vector<std::string>& words, int timeoutMs = 10000) {
  std::vector<std::string> argv = {sender, "--timeout", std::to_string(timeoutMs), signature};
  argv.insert(argv.end(), words.begin(), words.end());
  return RunToEnd(argv);
}
