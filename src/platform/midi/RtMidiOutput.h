#pragma once
// The MIDI back end over RtMidi: the ALSA sequencer or JACK.

#include <rtmidi/RtMidi.h>

#include <array>
#include <memory>
#include <string>

#include "midi/JackWatch.h"
#include "midi/MidiOutput.h"

class RtMidiOutput : public MidiOutput {
 public:
  // ALSA or JACK; nothing is opened yet.
  explicit RtMidiOutput(RtMidi::Api api);
  ~RtMidiOutput() override;

  const char* ApiName() const override;
  std::vector<std::string> Devices() override;
  status_t Open(const std::string& device) override;
  void Close() override;
  bool IsOpen() const override { return fOpen; }
  bool Send(const uint8* bytes, size_t size) override;
  bool HasRoom(size_t count, size_t size) override;

  // Makes the client of the service if the service answers; false when it does not.
  bool Connect();

 private:
  static void OnError(RtMidiError::Type type, const std::string& text, void* self);
  bool ServiceGone() const;
  void Drop();
  void CountCycles();
  size_t BytesInRing() const { return fRingBytes[0] + fRingBytes[1] + fRingBytes[2]; }
  bool Stalled();
  void Write(const uint8* bytes, size_t size);
  void ResendNoteEnds();

  const RtMidi::Api fApi;
  std::unique_ptr<RtMidiOut> fOut;
  std::unique_ptr<JackWatch> fJack;  // JACK only
  bool fOpen = false;
  bool fFailed = false;  // an error was reported during the current call
  std::string fLastError;
  // JACK: the bytes written to RtMidi's ring buffer while the watch had counted fCycle,
  // fCycle - 1 and fCycle - 2 process cycles. Older ones have certainly been read by a
  // cycle.
  uint64_t fCycle = 0;
  size_t fRingBytes[3] = {0, 0, 0};
  // A stall: the cycle count it froze at. Nothing is written until a few cycles after.
  bool fStalled = false;
  uint64_t fStallCycle = 0;
  // For each channel and key, 1 + the cycle count when its latest note end was written;
  // 0 when a note-on followed, or none was written.
  std::array<uint64_t, 16 * 128> fNoteEndCycle{};
};
