#include "interpreter/LcsOutput.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "platform/interface/AlertService.h"
#include "interpreter/CantOpenAlert.h"
#include "interpreter/LCSMessage.h"
#include "platform/support/Log.h"

namespace {
// How long one write may wait for a line that does not drain.
constexpr bigtime_t kWriteTimeout = 20000;
// How often a failed line is looked for.
constexpr bigtime_t kReopenPeriod = 1000000;
// The controller is expected on the second serial port.
constexpr int32 kDeviceIndex = 1;

}  // namespace

LcsOutput::LcsOutput() : Output("Position to LCS") {
  char name[32] = "";
  fPort.GetDeviceName(kDeviceIndex, name, sizeof(name));
  fChosenName = name;
  // Frames do not flow yet, so the start-up alert may wait for its button.
  if (!Open(name)) CantOpenAlert(name[0] ? name : "the second serial port", "ug")->Go();
  fWorker.SetIdleTick(kReopenPeriod, [this] { LookForLine(); });
}

// The worker, the last member, stops first; then the port closes the line.
LcsOutput::~LcsOutput() = default;

bool LcsOutput::Open(const std::string& name) {
  // A new choice replaces the line in use; keeping both would leak a descriptor per choice.
  fPort.Close();
  fLineDown = false;
  const bool open = !name.empty() && fPort.Open(name.c_str()) > 0;
  fPortOpen.store(open, std::memory_order_relaxed);
  if (!open) return false;
  fPort.SetDataRate(B_38400_BPS);
  fPort.SetFlowControl(B_HARDWARE_CONTROL);
  fPort.SetWriteTimeout(kWriteTimeout);
  fPortName = name;
  {
    std::lock_guard<std::mutex> hold(fNameLock);
    fShownName = name;
  }
  Write(bus1msg, kBus1MessageSize);
  return true;
}

void LcsOutput::SetPort(const char* name) {
  const std::string device = name ? name : "";
  {
    std::lock_guard<std::mutex> hold(fNameLock);
    fChosenName = device;
  }
  // Asked for by another program, the alert must not stand in a person's way either.
  const bool forAnotherProgram = ScopedNoWaitAlerts::Active();
  fWorker.PostControl([this, device, forAnotherProgram] {
    ScopedNoWaitAlerts noWait(forAnotherProgram);
    if (!Open(device)) CantOpenAlert(device.c_str(), "sigh")->Go(nullptr);
  });
}

void LcsOutput::SetSendPosition(bool on) {
  fSendPosition.store(on, std::memory_order_relaxed);
  fWorker.PostControl([this] { Write(bus1msg, kBus1MessageSize); });
}

void LcsOutput::Offer(const float position[3]) {
  // Whether the line is open is the worker's to know: a port chosen just before this frame
  // may not have opened yet.
  if (!fSendPosition.load(std::memory_order_relaxed)) return;
  std::array<uint8, kLCSPositionMessageSize> message;
  MakeLCSPositionMessage(position, fZMapping.load(std::memory_order_relaxed), message.data());
  if (!fWorker.PostLatest([this, message] { Write(message.data(), message.size()); })) CountDropped();
}

void LcsOutput::Write(const uint8* bytes, size_t size) {
  if (!fPort.IsOpen()) return;  // the message goes nowhere, as on an unconnected line
  const ssize_t written = fPort.Write(bytes, size);
  if (written == ssize_t(size)) {
    CountSent();
    Flowing();
  } else if (written == B_TIMED_OUT) {
    CountDropped();
    Stalled("line not taking data");
  } else {
    LineFailed(written);
  }
}

void LcsOutput::LineFailed(ssize_t error) {
  const std::string why = "can't write " + fPortName + ": " + std::strerror(int(-error));
  CountFailed(why);
  Log(LogLevel::kWarn, "Zanvel: LCS line %s failed (%s); it is closed and opened again when it returns",
               fPortName.c_str(), std::strerror(int(-error)));
  fPort.Close();
  fPortOpen.store(false, std::memory_order_relaxed);
  fLineDown = true;
}

void LcsOutput::LookForLine() {
  if (!fLineDown) return;
  const std::string name = fPortName;
  if (!Open(name)) {
    fLineDown = true;  // still gone; look again later
    return;
  }
  Log(LogLevel::kWarn, "Zanvel: LCS line %s is back", name.c_str());
}

int64 LcsOutput::CountDroppedMessages() const {
  const OutputStatus status = Status();
  return int64(status.dropped + status.failed);
}

std::string LcsOutput::ChosenName() const {
  std::lock_guard<std::mutex> hold(fNameLock);
  return fChosenName;
}

std::string LcsOutput::DeviceName() const {
  if (!fPortOpen.load(std::memory_order_relaxed)) return "";
  std::lock_guard<std::mutex> hold(fNameLock);
  return fShownName;
}
