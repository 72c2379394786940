#pragma once
// Knows whether the JACK server answers, and notices when it goes away.
//
// A JACK output whose server died fills its ring buffer and then waits for ever for room;
// the MIDI output asks Alive before every send so that this never happens.

#include <atomic>
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

 private:
  static void OnShutdown(void* self);
  struct Client;
  std::unique_ptr<Client> fClient;
  std::atomic<bool> fAlive{false};
};
