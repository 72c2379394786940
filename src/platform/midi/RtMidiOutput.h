#pragma once
// The MIDI back end over RtMidi: the ALSA sequencer or JACK.

#include <rtmidi/RtMidi.h>

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

  // Makes the client of the service if the service answers; false when it does not.
  bool Connect();

 private:
  static void OnError(RtMidiError::Type type, const std::string& text, void* self);
  bool ServiceGone() const;
  void Drop();

  const RtMidi::Api fApi;
  std::unique_ptr<RtMidiOut> fOut;
  std::unique_ptr<JackWatch> fJack;  // JACK only
  bool fOpen = false;
  bool fFailed = false;  // an error was reported during the current call
  std::string fLastError;
};
