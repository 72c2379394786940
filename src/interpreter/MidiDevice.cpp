#include "interpreter/MidiDevice.h"

#include <cstdio>

#include "platform/interface/AlertService.h"
#include "interpreter/CantOpenAlert.h"
#include "platform/midi/MidiOutput.h"
#include "platform/support/Time.h"
#include "platform/support/Log.h"

namespace {
// MIDI stamps: milliseconds of the system clock.
uint32 MidiNow() { return uint32(system_time() / 1000); }

// How long quitting waits for the MIDI service to take the last notes-off and the close.
constexpr bigtime_t kCloseWait = 3000000;

}  // namespace

MidiDevice::MidiDevice()
    : fPort(std::make_unique<BMidiPort>()), fWorker(std::make_unique<OutputWorker>("midi device")) {
  char device[32] = "";
  fPort->CountDevices();
  if (fPort->GetDeviceName(0, device, sizeof device) != B_OK)
    std::snprintf(device, sizeof device, "%s (no MIDI service)", kOwnMidiPortName);
  fChosenName = device;
  const bool open = fPort->Open(device) == B_OK;
  Opened(device, open);
  // Frames do not flow yet, so the start-up alert may wait for its button.
  if (!open) CantOpenAlert(device, "ug")->Go();
}

MidiDevice::~MidiDevice() {
  fWorker->PostControl([this] {
    Quiet();
    fPort->Close();
  });
  if (fWorker->WaitIdle(kCloseWait)) {
    fWorker.reset();
    fPort.reset();
    return;
  }
  Log(LogLevel::kWarn, "MIDI: the MIDI service does not answer; the port is left open");
  (void)fWorker.release();
  (void)fPort.release();
}

void MidiDevice::Change(const char* name) {
  const std::string device = name ? name : "";
  {
    std::lock_guard<std::mutex> hold(fNameLock);
    fChosenName = device;
  }
  // Asked for by another program, the alert must not stand in a person's way either.
  const bool forAnotherProgram = ScopedNoWaitAlerts::Active();
  fWorker->PostControl([this, device, forAnotherProgram] {
    ScopedNoWaitAlerts noWait(forAnotherProgram);
    // Nothing may keep sounding on the device we leave.
    Quiet();
    fPort->Stop();
    fPort->Close();
    Opened("none", false);
    const bool open = fPort->Open(device.c_str()) == B_OK;
    Opened(device, open);
    if (!open) CantOpenAlert(device.c_str(), "sigh")->Go(nullptr);
  });
}

void MidiDevice::Quiet() { fPort->AllNotesOff(true, MidiNow()); }

void MidiDevice::Opened(const std::string& device, bool open) {
  std::lock_guard<std::mutex> hold(fNameLock);
  fDeviceName = open ? device : "none";
}

std::string MidiDevice::ChosenName() const {
  std::lock_guard<std::mutex> hold(fNameLock);
  return fChosenName;
}

std::string MidiDevice::DeviceName() const {
  std::lock_guard<std::mutex> hold(fNameLock);
  return fDeviceName;
}
