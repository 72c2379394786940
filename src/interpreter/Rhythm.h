#pragma once
// The generated notes: sixteenth notes at a fixed tempo, each step a random rest or a note
// whose pitch follows the position's x and whose channel follows its z.
//
// Threads: made, started, stopped and deleted on the application's thread (by the
// interpreter). Run runs on the rhythm's own thread; it reads the position only through
// ImageInterpreter::GetCurrentValues (which takes the interpreter's state lock briefly) and
// touches nothing else of the interpreter. Whoever stops it must not hold that lock.

#include <atomic>
#include <random>

#include "platform/midi/BMidi.h"

class ImageInterpreter;

class Rhythm : public BMidi {
 public:
  // tempo in beats per minute; a step is a sixteenth note.
  Rhythm(float tempo, ImageInterpreter* interpreter);
  ~Rhythm() override;

  // Note starts and ends played so far; from any thread.
  uint64_t CountSent() const { return fSent.load(std::memory_order_relaxed); }

 protected:
  void Run() override;

 private:
  // The 8 bits of the rest test, 0 to 255.
  uint32 Draw();

  // Milliseconds of the system clock. A double, not a float: after a few hours of uptime a
  // float no longer holds the millisecond.
  double fNextTime;
  double fPeriod;
  ImageInterpreter* fInterpreter;  // not owned
  std::mt19937 fRandom;            // default seed, like an unseeded rand()
  std::atomic<uint64_t> fSent{0};
};
