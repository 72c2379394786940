#pragma once
// Writes whole lines to a descriptor (standard output) only when that cannot wait: a pipe
// that is full, a terminal held by flow control or a reader that went away loses the line
// instead, and the line is counted. For trace lines written from threads that must not wait,
// such as the frame rate on the frame thread.
//
// Write keeps no state but its counter, so threads may share a writer; lines up to PIPE_BUF
// bytes go out whole or not at all.

#include <atomic>
#include <cstddef>

#include "platform/support/Status.h"

class TraceLineWriter {
 public:
  explicit TraceLineWriter(int fd = 1) : fFd(fd) {}

  // True when the line went out.
  bool Write(const char* line, size_t length);
  uint64_t Dropped() const { return fDropped.load(std::memory_order_relaxed); }

 private:
  const int fFd;
  std::atomic<uint64_t> fDropped{0};
};
