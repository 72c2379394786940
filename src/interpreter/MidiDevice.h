#pragma once
// The MIDI port that every MIDI output shares, and the worker that changes its device: a
// port change talks to the MIDI service, which may be slow or stopped, so it never runs on
// the thread that asks for it.
//
// Threads: Port() from any thread (its message calls only queue); Change and Quiet from the
// application's thread; the device is opened and closed on the worker, except at
// construction and destruction.

#include <string>

#include "interpreter/OutputWorker.h"
#include "midi/BMidiPort.h"

class MidiDevice {
 public:
  // Opens device 0 (the program's own port whenever a MIDI service runs); an alert with the
  // button "ug" says when it will not open.
  MidiDevice();
  // Silences every channel, then closes the port.
  ~MidiDevice();
  MidiDevice(const MidiDevice&) = delete;
  MidiDevice& operator=(const MidiDevice&) = delete;

  BMidiPort& Port() { return fPort; }
  // All Notes Off on every channel, then the port moves to the named device; an alert with
  // the button "sigh" says when that fails. Returns at once.
  void Change(const char* name);
  // All Notes Off on every channel, now.
  void Quiet();
  // The device in use ("none" when it is not open).
  std::string DeviceName() const;

  bool WaitIdle(bigtime_t timeout) { return fWorker.WaitIdle(timeout); }

 private:
  BMidiPort fPort;
  OutputWorker fWorker{"midi device"};  // last: stops before the port goes
};
