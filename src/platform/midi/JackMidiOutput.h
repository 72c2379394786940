#pragma once
// The MIDI back end for JACK: a client of its own with one MIDI output port.
//
// Messages reach the port at the frame of their time stamp. Send puts each message with
// its time on a lock-free queue; the process callback moves those whose time falls in the
// cycle to the port buffer at their frame offset, one period after their time, so that a
// message handed over as it is due still lands on its own frame. A message already late
// goes at offset 0, after those before it. The callback never locks, allocates or waits.
//
// A server that stalls runs no cycles: the queue fills, HasRoom says so, and the messages
// wait in the scheduler instead. The first cycles after a stall may never reach the
// readers, so for a few cycles after one the callback writes nothing.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/midi/MidiOutput.h"
#include "platform/support/SpscRing.h"

class JackMidiOutput : public MidiOutput {
 public:
  JackMidiOutput();
  ~JackMidiOutput() override;

  const char* ApiName() const override { return "JACK"; }
  std::vector<std::string> Devices() override;
  status_t Open(const std::string& device) override;
  void Close() override;
  bool IsOpen() const override { return fOpen; }
  bool Send(const uint8* bytes, size_t size, bigtime_t due) override;
  bool HasRoom(size_t count, size_t size) override;

  // Makes the client if a server answers (quietly: no server is no error); true while
  // connected.
  bool Connect();

  // Messages the queue holds, in all.
  static constexpr size_t kQueueEvents = 4096;
  // Cycles written empty after a stall.
  static constexpr int kSettleCycles = 3;

 private:
  struct Event {
    uint64_t usecs;  // JACK's clock
    uint8 size;
    uint8 bytes[3];
  };
  struct Client;
  static int OnProcess(uint32_t frames, void* self);
  static void OnShutdown(void* self);
  void Process(uint32_t frames);
  bool Alive() const { return fAlive.load(std::memory_order_acquire); }
  void WaitUntilWritten();
  void Unregister();

  std::unique_ptr<Client> fClient;
  SpscRing<Event> fQueue{kQueueEvents};
  bool fOpen = false;
  std::atomic<bool> fAlive{false};
  // The port the callback writes to; null while none is open. Close clears it and waits
  // until no callback still holds it before the port goes.
  std::atomic<void*> fPort{nullptr};
  std::atomic<bool> fInProcess{false};
  // Callback state: the wall time of the previous cycle and the cycles left to settle.
  uint64_t fPreviousCycle = 0;
  std::atomic<int> fSettle{0};
  std::atomic<uint64_t> fCycles{0};
};
