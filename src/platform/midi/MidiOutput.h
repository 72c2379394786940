#pragma once
// The back end of BMidiPort: one MIDI service, the program's own port on it, and the
// other destinations it can reach. Not thread-safe: BMidiPort serialises every call.

#include <memory>
#include <string>
#include <vector>

#include "platform/support/Status.h"
#include "platform/support/Time.h"

// The name of the program's own output port; always the first device while a service runs.
inline constexpr const char* kOwnMidiPortName = "Zanvel";

class MidiOutput {
 public:
  virtual ~MidiOutput() = default;

  // "ALSA", "JACK" or "none".
  virtual const char* ApiName() const = 0;
  // The devices that Open accepts: the program's own port first, then the destinations of
  // the service. Empty when the service does not answer.
  virtual std::vector<std::string> Devices() = 0;
  // Opens the named device; B_OK, B_NAME_NOT_FOUND, or B_ERROR without a service.
  virtual status_t Open(const std::string& device) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Sends one complete message, due at system_time() due (0: now; never later than now
  // by more than the scheduler's wake-up); false when it could not go out. Back ends
  // that can place a message within their cycle use due for it.
  virtual bool Send(const uint8* bytes, size_t size, bigtime_t due) = 0;
  // Whether count messages of size bytes would go out now without Send waiting for the
  // service (a stalled one takes nothing). True also where Send fails at once.
  virtual bool HasRoom(size_t count, size_t size) {
    (void)count;
    (void)size;
    return true;
  }
};

// The back end without a service: no devices, nothing opens.
class NullMidiOutput : public MidiOutput {
 public:
  const char* ApiName() const override { return "none"; }
  std::vector<std::string> Devices() override { return {}; }
  status_t Open(const std::string&) override { return B_ERROR; }
  void Close() override {}
  bool IsOpen() const override { return false; }
  bool Send(const uint8*, size_t, bigtime_t) override { return false; }
};

// Picks the service: ZANVEL_MIDI_API=alsa|jack|none forces one; otherwise the ALSA sequencer
// when /dev/snd/seq can be opened, else JACK. ALSA goes through RtMidi, JACK through a
// client of our own (JackMidiOutput.h).
std::unique_ptr<MidiOutput> CreateMidiOutput();
