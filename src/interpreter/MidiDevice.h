#pragma once
// The MIDI port that every MIDI output shares, and the worker that changes its device: a
// port change talks to the MIDI service, which may be slow or stopped, so it never runs on
// the thread that asks for it.
//
// Threads: Port() from any thread (its message calls only queue); Change and Quiet from the
// application's thread; the device is opened and closed on the worker, except at
// construction and destruction.

#include <memory>
#include <mutex>
#include <string>

#include "interpreter/OutputWorker.h"
#include "platform/midi/BMidiPort.h"

class MidiDevice {
 public:
  // Opens device 0 (the program's own port whenever a MIDI service runs); an alert with the
  // button "ug" says when it will not open.
  MidiDevice();
  // Silences every channel, then closes the port; gives up after a few seconds when the MIDI
  // service does not answer.
  ~MidiDevice();
  MidiDevice(const MidiDevice&) = delete;
  MidiDevice& operator=(const MidiDevice&) = delete;

  BMidiPort& Port() { return *fPort; }
  // All Notes Off on every channel, then the port moves to the named device; an alert with
  // the button "sigh" says when that fails. Returns at once.
  void Change(const char* name);
  // All Notes Off on every channel, now.
  void Quiet();
  // The device in use ("none" when it is not open). Never waits for the MIDI service.
  std::string DeviceName() const;
  // The device last chosen (at start, the first one), open or not.
  std::string ChosenName() const;

  bool WaitIdle(bigtime_t timeout) { return fWorker->WaitIdle(timeout); }

 private:
  void Opened(const std::string& device, bool open);

  // Both on the heap: a MIDI service that stopped answering can hold the port's delivery
  // for good, and quitting then leaves them behind rather than waiting for ever.
  std::unique_ptr<BMidiPort> fPort;
  mutable std::mutex fNameLock;
  std::string fDeviceName{"none"};
  std::string fChosenName;
  std::unique_ptr<OutputWorker> fWorker;  // last: stops before the port goes
};
