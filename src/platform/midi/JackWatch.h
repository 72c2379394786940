#pragma once
// Knows whether the JACK server answers, and notices when it goes away.
//
// A JACK output whose server died fills its ring buffer and then waits for ever for room;
// the MIDI output asks Alive before every send so that this never happens. A server that
// stalls runs no process cycles: Cycles counts them and LastCycle says when the latest
// ran, so that the output can tell a stall and how much of its ring buffer may still be
// waiting for a cycle.

#include <atomic>
#include <cstdint>
#include <memory>

class JackWatch {
 public:
  JackWatch();
  ~JackWatch();
  JackWatch(const JackWatch&) = delete;
  JackWatch& operator=(const JackWatch&) = delete;

  // Connects to the server if it is not connected yet (quietly: no server is no error);
  // true while connected. Call from one thread at a time.
  bool Connect();
  // True while the connection stands; safe from any thread.
  bool Alive() const { return fAlive.load(std::memory_order_acquire); }
  // Process cycles the server has run for us so far; safe from any thread.
  uint64_t Cycles() const { return fCycles.load(std::memory_order_acquire); }
  // system_time() of the latest cycle, and the length of one, in microseconds.
  int64_t LastCycle() const { return fLastCycle.load(std::memory_order_acquire); }
  int64_t Period() const { return fPeriod.load(std::memory_order_relaxed); }

 private:
  static void OnShutdown(void* self);
  static int OnProcess(uint32_t frames, void* self);
  static int OnBufferSize(uint32_t frames, void* self);
  struct Client;
  std::unique_ptr<Client> fClient;
  std::atomic<bool> fAlive{false};
  std::atomic<uint64_t> fCycles{0};
  std::atomic<int64_t> fLastCycle{0};
  std::atomic<int64_t> fPeriod{0};
  uint32_t fRate = 0;
};
