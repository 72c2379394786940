#pragma once
// "Position to MIDI": on every normal frame, x, y and z as polyphonic key pressure on
// channels 3, 4 and 5, the buss id's low byte as the note, stamped a millisecond apart.
//
// Threads: the setters from any thread; Offer from the frame thread (the port only queues).

#include <atomic>

#include "interpreter/Output.h"
#include "platform/midi/BMidiPort.h"

class KeyPressure : public Output {
 public:
  explicit KeyPressure(BMidiPort& port);

  void SetOn(bool on) { fOn.store(on, std::memory_order_relaxed); }
  bool IsOn() const override { return fOn.load(std::memory_order_relaxed); }
  void SetBussId(int32 bussId) { fBussId.store(bussId, std::memory_order_relaxed); }
  int32 BussId() const { return fBussId.load(std::memory_order_relaxed); }

  void Offer(const float position[3]);

  // The pressure of one position value: 127 × v truncated, its low 7 bits; 0 below 0 and for
  // values that are not numbers.
  static uchar Pressure(float value);

 private:
  BMidiPort& fPort;
  std::atomic<bool> fOn{false};
  std::atomic<int32> fBussId{1};
};
