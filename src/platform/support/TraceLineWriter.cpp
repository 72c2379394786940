#include "platform/support/TraceLineWriter.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

bool TraceLineWriter::Write(const char* line, size_t length) {
  // A pipe that polls writable has a free page, and a write of at most PIPE_BUF bytes then
  // goes in whole without waiting; files are always writable.
  pollfd p{fFd, POLLOUT, 0};
  int ready;
  do {
    ready = poll(&p, 1, 0);
  } while (ready < 0 && errno == EINTR);
  if (ready != 1 || (p.revents & POLLOUT) == 0 || (p.revents & (POLLERR | POLLNVAL)) != 0) {
    fDropped.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  ssize_t written;
  do {
    // With SIGPIPE ignored, a reader that went away gives EPIPE here.
    written = ::write(fFd, line, length);
  } while (written < 0 && errno == EINTR);
  if (written != ssize_t(length)) {
    fDropped.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  return true;
}
