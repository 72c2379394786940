#pragma once
// What the two outputs to a target application share: the signature and message code, the
// messenger, and a worker that looks the receiver up (launching it and waiting when it is
// not running, with an alert when it still cannot be found) and sends.
//
// A receiver that stops reading holds only this output's worker: a position waiting to go
// out gives way to a newer one, events wait in a bounded queue, and quitting stops the
// worker within a send slice.
//
// Threads: the setters and getters from any thread (commands, windows); Offer... of the
// subclasses from the frame thread, never waiting; the messenger on the worker only.

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/app/BMessage.h"
#include "platform/app/BMessenger.h"
#include "interpreter/Output.h"
#include "interpreter/OutputWorker.h"

class TargetOutput : public Output {
 public:
  // placesSpeakers: on switching on, tell the 3D receiver where the speakers stand.
  TargetOutput(const char* name, const char* threadName, const char* signature, uint32 command,
               bool placesSpeakers);
  ~TargetOutput() override;

  void SetSignature(const char* signature);
  // Copies the signature, cut to fit and always terminated, into a buffer of size bytes.
  void GetSignature(char* buffer, size_t size) const;
  void SetCommand(uint32 what);
  uint32 Command() const;

  // On: the receiver is looked up afresh (a changed signature takes effect here) on the
  // worker; the switch is on at once, and what is offered meanwhile waits behind the lookup.
  // Off: the messenger goes.
  void SetOn(bool on);
  bool IsOn() const override { return fOn.load(std::memory_order_relaxed); }

  // Waits until everything handed to the output so far has been dealt with.
  bool WaitIdle(bigtime_t timeout) { return fWorker.WaitIdle(timeout); }

 protected:
  // Worker: sends a message until it goes, the receiver is gone, or (for a latest value) a
  // newer value waits; counts the outcome.
  void Deliver(const BMessage& message, bool latest);

  OutputWorker& Worker() { return fWorker; }

 private:
  void Connect(const std::string& signature);  // worker

  const bool fPlacesSpeakers;
  mutable std::mutex fLock;  // guards the signature and the code
  std::string fSignature;
  uint32 fCommand;
  std::atomic<bool> fOn{false};
  std::unique_ptr<BMessenger> fMessenger;  // worker only
  // Worker only: since when sends have found the receiver's queue full.
  std::optional<std::chrono::steady_clock::time_point> fWaitingSince;
  OutputWorker fWorker;                    // last: stops before the rest goes
};
