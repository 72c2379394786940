#pragma once
// What every output of the interpreter has in common: a name for messages and windows, its
// counters, and the one-line reports of a stall.
//
// Threads: the counters are atomics, counted from the frame thread and the output's worker
// and read from anywhere. Stalled and Flowing are called from the output's worker only; they
// write to standard error, which may block, so never from the frame thread.

#include <atomic>
#include <mutex>
#include <string>

#include "platform/support/Status.h"

// A snapshot of one output, for the windows and for other programs.
struct OutputStatus {
  std::string name;
  bool on = false;
  uint64_t sent = 0;
  uint64_t dropped = 0;  // given up while the receiver or the device was behind
  uint64_t failed = 0;   // refused: no receiver, device closed or failing
  std::string lastFailure;
};

class Output {
 public:
  // name: as the control window labels the output ("Position to Target App").
  explicit Output(const char* name) : fName(name) {}
  virtual ~Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  const char* Name() const { return fName; }
  virtual bool IsOn() const = 0;
  virtual OutputStatus Status() const;

  void CountSent(uint64_t n = 1) { fSent.fetch_add(n, std::memory_order_relaxed); }
  void CountDropped(uint64_t n = 1) { fDropped.fetch_add(n, std::memory_order_relaxed); }
  // Also remembers why, for the windows' tooltips.
  void CountFailed(const std::string& why);
  // The result of handing one message on: B_OK sent, B_WOULD_BLOCK dropped, anything else
  // failed for the reason given.
  void Count(status_t status, const char* failure);

 protected:
  // The receiver or device stopped taking messages: says so once, until Flowing.
  void Stalled(const char* why);
  // Messages go out again: ends a stall with the count of what it dropped.
  void Flowing();

 private:
  const char* const fName;
  std::atomic<uint64_t> fSent{0};
  std::atomic<uint64_t> fDropped{0};
  std::atomic<uint64_t> fFailed{0};
  mutable std::mutex fFailureLock;
  std::string fLastFailure;
  // Worker only.
  bool fStalled = false;
  uint64_t fDroppedAtStall = 0;
};
