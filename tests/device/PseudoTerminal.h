#pragma once
// A pseudo-terminal pair standing in for a serial line: the code under test opens Path(),
// the test reads and writes the other end.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

class PseudoTerminal {
 public:
  PseudoTerminal() {
    char name[128] = {};
    if (openpty(&fController, &fLine, name, nullptr, nullptr) == 0) {
      fPath = name;
      fcntl(fController, F_SETFL, fcntl(fController, F_GETFL) | O_NONBLOCK);
    }
  }
  ~PseudoTerminal() {
    CloseController();
    if (fLine >= 0) close(fLine);
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool IsValid() const { return !fPath.empty(); }
  const std::string& Path() const { return fPath; }
  // The test's own end; tcgetattr on it shows the settings of the line side.
  int Controller() const { return fController; }

  // Everything that arrives until the line has been quiet for `quietMs`.
  std::vector<uint8_t> ReadAll(int quietMs = 100) {
    std::vector<uint8_t> bytes;
    uint8_t chunk[4096];
    for (;;) {
      pollfd entry{fController, POLLIN, 0};
      if (poll(&entry, 1, quietMs) <= 0 || (entry.revents & POLLIN) == 0) break;
      ssize_t count = read(fController, chunk, sizeof(chunk));
      if (count <= 0) break;
      bytes.insert(bytes.end(), chunk, chunk + count);
    }
    return bytes;
  }

  void Send(const std::vector<uint8_t>& bytes) {
    if (write(fController, bytes.data(), bytes.size()) != ssize_t(bytes.size())) fPath.clear();
  }

  // Fills the line's outgoing buffer from the test's own line-side descriptor, so that the
  // next write by the code under test finds it full, as when flow control holds it off.
  // Returns the number of filler bytes, all zero.
  size_t FillLineSide() {
    fcntl(fLine, F_SETFL, fcntl(fLine, F_GETFL) | O_NONBLOCK);
    const std::vector<uint8_t> zeros(4096, 0);
    size_t total = 0;
    // The kernel moves queued bytes on to the reading side in the background, which frees
    // room again; the line is full once a pause frees none.
    for (size_t round = 1; round > 0;) {
      round = 0;
      // Large writes first, then single bytes into what is left of the last buffer.
      for (size_t chunk : {zeros.size(), size_t(1)})
        for (ssize_t count; (count = write(fLine, zeros.data(), chunk)) > 0;) round += size_t(count);
      total += round;
      usleep(20000);
    }
    return total;
  }

  // The far end goes away, as an unplugged adapter does.
  void CloseController() {
    if (fController >= 0) close(fController);
    fController = -1;
  }

 private:
  int fController = -1;
  int fLine = -1;  // kept open so the line side never hangs up between opens
  std::string fPath;
};

// Microseconds on the monotonic clock, for measuring how long a call took.
inline int64_t MonotonicMicroseconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// How many of the process's descriptors are open on the given path.
inline int CountDescriptorsOn(const std::string& path) {
  int count = 0;
  char link[64], target[256];
  for (int fd = 0; fd < 1024; fd++) {
    snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
    ssize_t length = readlink(link, target, sizeof(target) - 1);
    if (length <= 0) continue;
    target[length] = '\0';
    count += path == target;
  }
  return count;
}

// How many descriptors the process has open.
inline int CountOpenDescriptors() {
  int count = 0;
  for (int fd = 0; fd < 1024; fd++)
    if (fcntl(fd, F_GETFD) != -1) count++;
  return count;
}
