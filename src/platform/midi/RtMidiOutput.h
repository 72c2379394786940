#pragma once
// The MIDI back end for the ALSA sequencer, over RtMidi.

#include <rtmidi/RtMidi.h>

#include <memory>
#include <string>

#include "platform/midi/MidiOutput.h"

class RtMidiOutput : public MidiOutput {
 public:
  // Nothing is opened yet.
  RtMidiOutput();
  ~RtMidiOutput() override;

  const char* ApiName() const override { return "ALSA"; }
  std::vector<std::string> Devices() override;
  status_t Open(const std::string& device) override;
  void Close() override;
  bool IsOpen() const override { return fOpen; }
  bool Send(const uint8* bytes, size_t size, bigtime_t due) override;

  // Makes the client of the service if the service answers; false when it does not.
  bool Connect();

 private:
  static void OnError(RtMidiError::Type type, const std::string& text, void* self);

  std::unique_ptr<RtMidiOut> fOut;
  bool fOpen = false;
  bool fFailed = false;  // an error was reported during the current call
  std::string fLastError;
};
