#include "interpreter/MidiDevice.h"

#include <cstdio>

#include "interface/Alert.h"
#include "midi/MidiOutput.h"
#include "support/Time.h"

namespace {
// MIDI stamps: milliseconds of the system clock.
uint32 MidiNow() { return uint32(system_time() / 1000); }

BAlert* CantOpen(const char* device, const char* button) {
  char text[128];
  std::snprintf(text, sizeof text, "can't open %s", device);
  return new BAlert("", text, button, nullptr, nullptr, B_WIDTH_AS_USUAL, B_INFO_ALERT);
}
}  // namespace

MidiDevice::MidiDevice() {
  char device[32] = "";
  fPort.CountDevices();
  if (fPort.GetDeviceName(0, device, sizeof device) != B_OK)
    std::snprintf(device, sizeof device, "%s (no MIDI service)", kOwnMidiPortName);
  // Frames do not flow yet, so the start-up alert may wait for its button.
  if (fPort.Open(device) != B_OK) CantOpen(device, "ug")->Go();
}

MidiDevice::~MidiDevice() {
  Quiet();
  fPort.Close();
}

void MidiDevice::Change(const char* name) {
  const std::string device = name ? name : "";
  fWorker.PostControl([this, device] {
    // Nothing may keep sounding on the device we leave.
    Quiet();
    fPort.Stop();
    fPort.Close();
    if (fPort.Open(device.c_str()) != B_OK) CantOpen(device.c_str(), "sigh")->Go(nullptr);
  });
}

void MidiDevice::Quiet() { fPort.AllNotesOff(true, MidiNow()); }

std::string MidiDevice::DeviceName() const {
  const char* name = fPort.PortName();
  return name ? name : "none";
}
