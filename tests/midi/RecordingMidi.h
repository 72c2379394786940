#pragma once
// A MIDI consumer that writes down every message it receives, as wire bytes with the
// stamp and the moment it arrived.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/midi/BMidi.h"
#include "platform/support/Time.h"

struct RecordedMessage {
  std::vector<uint8_t> bytes;
  uint32 time;         // the stamp it carried
  bigtime_t received;  // system_time() on arrival

  bool operator==(const std::vector<uint8_t>& other) const { return bytes == other; }
};

class RecordingMidi : public BMidi {
 public:
  void NoteOff(uchar channel, uchar note, uchar velocity, uint32 time) override {
    Add({uint8_t(0x80 | (channel - 1)), note, velocity}, time);
  }
  void NoteOn(uchar channel, uchar note, uchar velocity, uint32 time) override {
    Add({uint8_t(0x90 | (channel - 1)), note, velocity}, time);
  }
  void KeyPressure(uchar channel, uchar note, uchar pressure, uint32 time) override {
    Add({uint8_t(0xA0 | (channel - 1)), note, pressure}, time);
  }
  void ControlChange(uchar channel, uchar number, uchar value, uint32 time) override {
    Add({uint8_t(0xB0 | (channel - 1)), number, value}, time);
  }
  void ProgramChange(uchar channel, uchar program, uint32 time) override {
    Add({uint8_t(0xC0 | (channel - 1)), program}, time);
  }
  void ChannelPressure(uchar channel, uchar pressure, uint32 time) override {
    Add({uint8_t(0xD0 | (channel - 1)), pressure}, time);
  }
  void PitchBend(uchar channel, uchar lsb, uchar msb, uint32 time) override {
    Add({uint8_t(0xE0 | (channel - 1)), lsb, msb}, time);
  }

  std::vector<RecordedMessage> Messages() const {
    std::lock_guard<std::mutex> guard(fLock);
    return fMessages;
  }
  void Clear() {
    std::lock_guard<std::mutex> guard(fLock);
    fMessages.clear();
  }
  // Waits until at least count messages arrived; false after timeout.
  bool WaitFor(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(fLock);
    return fArrived.wait_for(lock, timeout, [&] { return fMessages.size() >= count; });
  }

 private:
  void Add(std::vector<uint8_t> bytes, uint32 time) {
    {
      std::lock_guard<std::mutex> guard(fLock);
      fMessages.push_back({std::move(bytes), time, system_time()});
    }
    fArrived.notify_all();
  }

  mutable std::mutex fLock;
  mutable std::condition_variable fArrived;
  std::vector<RecordedMessage> fMessages;
};
