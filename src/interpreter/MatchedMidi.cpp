#include "interpreter/MatchedMidi.h"

#include "platform/midi/BMidiSynth.h"
#include "platform/support/Time.h"

namespace {
uint32 MidiNow() { return uint32(system_time() / 1000); }
constexpr char kPortClosed[] = "MIDI port not open";
}  // namespace

MatchedMidi::MatchedMidi(BMidiPort& port) : Output("Note to MIDI"), fPort(port) {}

bool MatchedMidi::IsOn() const {
  return fNoteToPort.load(std::memory_order_relaxed) || fModwheelToPort.load(std::memory_order_relaxed) ||
         fNoteToSynth.load(std::memory_order_relaxed);
}

void MatchedMidi::Offer(int32 matched) {
  const uchar note = uchar(matched % 96 + 32);
  if (fNoteToSynth.load(std::memory_order_relaxed) && fSynth) fSynth->NoteOn(1, note, 64, MidiNow());
  if (fNoteToPort.load(std::memory_order_relaxed)) Count(fPort.Post(0x90, note, 64, MidiNow()), kPortClosed);
  if (fModwheelToPort.load(std::memory_order_relaxed))
    Count(fPort.Post(0xB0, 1, uchar(matched % 128), MidiNow()), kPortClosed);
}
