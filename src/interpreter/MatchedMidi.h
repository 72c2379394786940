#pragma once
// "Note to MIDI" and "Modwheel to MIDI": each change of the matched example as a note (32 to
// 127, repeating every 96 examples, never ended) and as a modulation-wheel value (index mod
// 128) on channel 1 of the MIDI port, and the same note to the synthesizer when there is one.
//
// Threads: the switches from any thread; Offer from the frame thread. The port only queues,
// so nothing here waits for the MIDI service.

#include <atomic>

#include "interpreter/Output.h"
#include "platform/midi/BMidiPort.h"

class BMidiSynth;

class MatchedMidi : public Output {
 public:
  explicit MatchedMidi(BMidiPort& port);

  void SetNoteToSynth(bool on) { fNoteToSynth.store(on, std::memory_order_relaxed); }
  void SetNoteToPort(bool on) { fNoteToPort.store(on, std::memory_order_relaxed); }
  void SetModwheelToPort(bool on) { fModwheelToPort.store(on, std::memory_order_relaxed); }
  bool NoteToSynth() const { return fNoteToSynth.load(std::memory_order_relaxed); }
  bool NoteToPort() const { return fNoteToPort.load(std::memory_order_relaxed); }
  bool ModwheelToPort() const { return fModwheelToPort.load(std::memory_order_relaxed); }
  // The synthesizer, or null (nothing makes one yet).
  void SetSynth(BMidiSynth* synth) { fSynth = synth; }
  bool IsOn() const override;

  // The matched index changed; in this order: synth note, port note, modulation wheel.
  void Offer(int32 matched);

 private:
  BMidiPort& fPort;
  BMidiSynth* fSynth = nullptr;
  std::atomic<bool> fNoteToSynth{false};
  std::atomic<bool> fNoteToPort{false};
  std::atomic<bool> fModwheelToPort{false};
};
