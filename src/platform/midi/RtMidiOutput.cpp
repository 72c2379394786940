#include "platform/midi/RtMidiOutput.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/midi/JackMidiOutput.h"
#include "platform/support/Time.h"
#include "platform/support/Log.h"

RtMidiOutput::RtMidiOutput() = default;

RtMidiOutput::~RtMidiOutput() { Close(); }

void RtMidiOutput::OnError(RtMidiError::Type type, const std::string& text, void* self) {
  auto* output = static_cast<RtMidiOutput*>(self);
  if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING) return;
  output->fFailed = true;
  output->fLastError = text;
}

bool RtMidiOutput::Connect() {
  if (fOut != nullptr) return true;
  try {
    fOut = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, kOwnMidiPortName);
    fOut->setErrorCallback(&RtMidiOutput::OnError, this);
  } catch (const RtMidiError& error) {
    fLastError = error.getMessage();
    fOut.reset();
    return false;
  }
  return true;
}

std::vector<std::string> RtMidiOutput::Devices() {
  std::vector<std::string> devices;
  if (!Connect()) return devices;
  devices.emplace_back(kOwnMidiPortName);
  fFailed = false;
  const unsigned count = fOut->getPortCount();
  for (unsigned i = 0; i < count && !fFailed; i++) {
    std::string name = fOut->getPortName(i);
    if (!name.empty()) devices.push_back(std::move(name));
  }
  return devices;
}

status_t RtMidiOutput::Open(const std::string& device) {
  Close();
  if (!Connect()) return B_ERROR;
  fFailed = false;
  if (device == kOwnMidiPortName) {
    fOut->openVirtualPort(kOwnMidiPortName);
  } else {
    // Names handed out in 32-byte buffers may arrive cut short: a cut name stands for the
    // one device it begins.
    const unsigned count = fOut->getPortCount();
    int found = -1;
    int prefixed = 0;
    for (unsigned i = 0; i < count; i++) {
      const std::string name = fOut->getPortName(i);
      if (name == device) {
        found = int(i);
        prefixed = 1;
        break;
      }
      if (device.size() >= 31 && name.starts_with(device)) {
        found = int(i);
        prefixed++;
      }
    }
    if (found < 0 || prefixed != 1) return B_NAME_NOT_FOUND;
    fOut->openPort(unsigned(found), kOwnMidiPortName);
  }
  if (fFailed) {
    Log(LogLevel::kWarn, "MIDI: can't open %s: %s", device.c_str(), fLastError.c_str());
    fOut->closePort();
    return B_ERROR;
  }
  fOpen = true;
  return B_OK;
}

void RtMidiOutput::Close() {
  if (!fOpen) return;
  fOpen = false;
  fOut->closePort();
}

bool RtMidiOutput::Send(const uint8* bytes, size_t size, bigtime_t) {
  if (!fOpen) return false;
  fFailed = false;
  fOut->sendMessage(bytes, size);
  return !fFailed;
}

namespace {
bool AlsaCompiled() {
  std::vector<RtMidi::Api> apis;
  RtMidi::getCompiledApi(apis);
  return std::find(apis.begin(), apis.end(), RtMidi::LINUX_ALSA) != apis.end();
}

std::unique_ptr<MidiOutput> MakeAlsa() {
  if (!AlsaCompiled()) {
    Log(LogLevel::kWarn, "MIDI: this RtMidi was built without ALSA");
    return std::make_unique<NullMidiOutput>();
  }
  return std::make_unique<RtMidiOutput>();
}
}  // namespace

std::unique_ptr<MidiOutput> CreateMidiOutput() {
  const char* env = getenv("ZANVEL_MIDI_API");
  const std::string_view choice = env != nullptr ? env : "";
  if (choice == "none") return std::make_unique<NullMidiOutput>();
  if (choice == "alsa") return MakeAlsa();
  if (choice == "jack") return std::make_unique<JackMidiOutput>();
  if (!choice.empty() && choice != "auto")
    Log(LogLevel::kWarn, "MIDI: ZANVEL_MIDI_API=%s is not alsa, jack, none or auto; choosing alone",
            env);

  if (AlsaCompiled() && access("/dev/snd/seq", R_OK | W_OK) == 0) {
    auto alsa = std::make_unique<RtMidiOutput>();
    if (alsa->Connect()) return alsa;
  }
  return std::make_unique<JackMidiOutput>();
}
