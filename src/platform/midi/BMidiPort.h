#pragma once
// A MIDI output port: what it is sent goes out on a device of the MIDI service at the
// message's time. Device 0 is the program's own port "Zanvel", to which synthesizers and
// sequencers connect; the others are the service's destinations.
//
// Threads: every call may come from any thread. The message calls only queue (they never
// wait for the device); Open, Close, CountDevices and GetDeviceName talk to the service
// and belong on the application's thread, never the frame thread.

#include <memory>
#include <mutex>
#include <string>

#include "platform/midi/BMidi.h"
#include "platform/midi/MidiScheduler.h"

class MidiOutput;

class BMidiPort : public BMidi, private MidiScheduler::Sink {
 public:
  // Picks the service (see MidiOutput.h); opens nothing.
  BMidiPort();
  // For tests and tools: a port over the given back end.
  explicit BMidiPort(std::unique_ptr<MidiOutput> output);
  ~BMidiPort() override;

  // Opens the named device (a name from GetDeviceName); 0 on success. An open device is
  // closed first.
  status_t Open(const char* name);
  // Sends the note-offs and All Notes Off still waiting at once, in their order, drops the
  // other waiting messages, closes. A stalled service gets up to kCloseWait to take them.
  void Close();
  static constexpr bigtime_t kCloseWait = 3000000;
  // The device last opened, or nullptr.
  const char* PortName() const;

  // 0 without a MIDI service.
  int32 CountDevices();
  // Copies device n's name, cut to bufferSize - 1 bytes; B_BAD_INDEX when there is none.
  status_t GetDeviceName(int32 n, char* name, size_t bufferSize = 32);

  // Queue a message for its time. Channels outside 1..16 are refused; data bytes keep
  // their low 7 bits. Everything sent is also passed on to the objects connected to the
  // port, with its stamp, at the moment of the call (monitors, recorders), whether or not
  // the queue took it.
  void NoteOff(uchar channel, uchar note, uchar velocity, uint32 time = B_NOW) override;
  void NoteOn(uchar channel, uchar note, uchar velocity, uint32 time = B_NOW) override;
  void KeyPressure(uchar channel, uchar note, uchar pressure, uint32 time = B_NOW) override;
  void ControlChange(uchar channel, uchar controlNumber, uchar controlValue,
                     uint32 time = B_NOW) override;
  void ProgramChange(uchar channel, uchar programNumber, uint32 time = B_NOW) override;
  void ChannelPressure(uchar channel, uchar pressure, uint32 time = B_NOW) override;
  void PitchBend(uchar channel, uchar lsb, uchar msb, uint32 time = B_NOW) override;
  // The same for a channel message given by its status byte (0x80 to 0xEF), for callers
  // that count what becomes of their messages. Program change and channel pressure go out
  // as their two bytes (data2 is ignored). B_OK once queued; B_WOULD_BLOCK when the full
  // queue dropped it (counted in CountDropped); B_NO_INIT while the port is closed
  // (counted in CountUnsent); B_BAD_VALUE for a status byte that is no channel message.
  status_t Post(uint8 status, uint8 data1, uint8 data2, uint32 time = B_NOW);
  // All Notes Off (controller 123) on every channel; unless justChannel, also a note-off
  // for every key of every channel.
  void AllNotesOff(bool justChannel = true, uint32 time = B_NOW);

  // "ALSA", "JACK" or "none".
  const char* ApiName() const;
  // Messages refused because the queue to the device was full.
  uint64_t CountDropped() const { return fScheduler->Dropped(); }
  // Messages that reached the service, and those the service refused or that found the
  // port closed.
  uint64_t CountSent() const { return fSent.load(std::memory_order_relaxed); }
  uint64_t CountUnsent() const { return fUnsent.load(std::memory_order_relaxed); }

 private:
  // Queues a channel message and passes it on; the status byte is valid.
  status_t Put(uint8 status, uint8 data1, uint8 data2, uint32 time);
  bool Deliver(const MidiEvent& event) override;  // scheduler thread, and Close
  void Send(const uint8* bytes, size_t size, bigtime_t due);  // holds fOutputLock

  // Guards fOutput and fPortName; the scheduler holds it while a message goes out.
  mutable std::mutex fOutputLock;
  std::unique_ptr<MidiOutput> fOutput;
  std::string fPortName;
  std::atomic<bool> fOpen{false};
  std::atomic<uint64_t> fSent{0};
  std::atomic<uint64_t> fUnsent{0};
  // Last member: its thread ends before the rest goes.
  std::unique_ptr<MidiScheduler> fScheduler;
};
