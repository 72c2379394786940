#pragma once
// "Position to LCS": the controller line, its greeting (bus1msg) whenever it opens and
// whenever the output is switched, and on every normal frame the position message, of which
// only the newest matters.
//
// The line is written by a worker, so a line that does not drain or fails costs only its own
// messages. A line that fails with an I/O error (an unplugged adapter) is closed, reported
// once, and looked for about once a second until it opens again; the switch keeps its state.
//
// Threads: the setters from the application's thread; Offer from the frame thread, never
// waiting; the serial port on the worker only (and in the constructor, before any job).

#include <atomic>
#include <mutex>
#include <string>

#include "platform/device/BSerialPort.h"
#include "interpreter/Output.h"
#include "interpreter/OutputWorker.h"

class LcsOutput : public Output {
 public:
  // Opens the second serial device; an alert with the button "ug" says when it will not.
  LcsOutput();
  // Stops the worker and closes the line.
  ~LcsOutput() override;

  // Moves the output to the named device, closing the line in use first; an alert with the
  // button "sigh" says when the device will not open (the output then stays silent until
  // one does). Returns at once.
  void SetPort(const char* name);
  // Switches the position messages and greets the controller, on or off.
  void SetSendPosition(bool on);
  // Which parameter receives z: 0 pan, 1 divergence, 2 level.
  void SetZMapping(int32 mapping) { fZMapping.store(mapping, std::memory_order_relaxed); }
  bool IsOn() const override { return fSendPosition.load(std::memory_order_relaxed); }

  // Frame thread; never waits.
  void Offer(const float position[3]);

  // Messages that did not go out: the line did not take them in time, a newer position
  // replaced them, or the line failed.
  int64 CountDroppedMessages() const;
  // The line in use, or "" while none is open.
  std::string DeviceName() const;
  // The device last chosen (at start, the second serial device), open or not.
  std::string ChosenName() const;
  int32 ZMapping() const { return fZMapping.load(std::memory_order_relaxed); }
  bool WaitIdle(bigtime_t timeout) { return fWorker.WaitIdle(timeout); }

 private:
  // Worker (or the constructor): closes the line in use, opens and configures the device,
  // greets the controller. False when it will not open.
  bool Open(const std::string& name);
  void Write(const uint8* bytes, size_t size);
  void LineFailed(ssize_t error);
  void LookForLine();

  BSerialPort fPort;
  std::string fPortName;      // worker only
  bool fLineDown = false;     // worker only: failed, waiting for the device to return
  mutable std::mutex fNameLock;
  std::string fShownName;     // fPortName for other threads
  std::string fChosenName;    // under fNameLock
  std::atomic<bool> fPortOpen{false};
  std::atomic<bool> fSendPosition{false};
  std::atomic<int32> fZMapping{0};
  OutputWorker fWorker{"lcs out"};  // last: stops before the line closes
};
