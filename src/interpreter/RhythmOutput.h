#pragma once
// "Notes to MIDI" (and the same notes to the synthesizer): the generated rhythm, which runs
// while either of its two switches is on and reads the position itself.
//
// Threads: the switches from the application's thread (starting and stopping the rhythm's
// thread is prompt); the rhythm's own thread plays into the port, which only queues. Whoever
// switches must not hold the interpreter's published-position lock (the rhythm takes it).

#include <memory>
#include <mutex>

#include "interpreter/Output.h"
#include "interpreter/Rhythm.h"
#include "platform/midi/BMidiPort.h"

class ImageInterpreter;
class BMidiSynth;

class RhythmOutput : public Output {
 public:
  RhythmOutput(ImageInterpreter* interpreter, BMidiPort& port);
  // Stops the rhythm and deletes it.
  ~RhythmOutput() override;

  void SetToPort(bool on);
  void SetToSynth(bool on);
  void SetSynth(BMidiSynth* synth) { fSynth = synth; }
  bool IsOn() const override;
  bool ToPort() const;
  bool ToSynth() const;
  OutputStatus Status() const override;

 private:
  // Ends the rhythm's thread (outside fLock), unless a switch went on again meanwhile.
  void StopRhythm();

  BMidiPort& fPort;
  BMidiSynth* fSynth = nullptr;
  mutable std::mutex fLock;  // the switches, and the rhythm's connections with them
  bool fToPort = false;
  bool fToSynth = false;
  std::unique_ptr<Rhythm> fRhythm;
};
