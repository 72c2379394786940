#include "midi/RtMidiOutput.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "support/Time.h"

RtMidiOutput::RtMidiOutput(RtMidi::Api api) : fApi(api) {
  if (fApi == RtMidi::UNIX_JACK) fJack = std::make_unique<JackWatch>();
}

RtMidiOutput::~RtMidiOutput() {
  Close();
  Drop();
}

const char* RtMidiOutput::ApiName() const { return fApi == RtMidi::UNIX_JACK ? "JACK" : "ALSA"; }

void RtMidiOutput::OnError(RtMidiError::Type type, const std::string& text, void* self) {
  auto* output = static_cast<RtMidiOutput*>(self);
  if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING) return;
  output->fFailed = true;
  output->fLastError = text;
}

bool RtMidiOutput::ServiceGone() const { return fJack != nullptr && !fJack->Alive(); }

void RtMidiOutput::Drop() {
  fOpen = false;
  if (fOut == nullptr) return;
  // RtMidi's JACK client would wait for a process cycle that a dead server never runs.
  if (ServiceGone()) {
    (void)fOut.release();  // leaks one dead client rather than hanging
    return;
  }
  fOut.reset();
}

bool RtMidiOutput::Connect() {
  if (fJack != nullptr) {
    if (fOut != nullptr && !fJack->Alive()) Drop();
    // RtMidi's JACK back end cannot tell a missing server from an empty one, and crashes
    // opening a port without one: ask JACK first.
    if (!fJack->Connect()) return false;
  }
  if (fOut != nullptr) return true;
  try {
    fOut = std::make_unique<RtMidiOut>(fApi, kOwnMidiPortName);
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
    fprintf(stderr, "MIDI: can't open %s: %s\n", device.c_str(), fLastError.c_str());
    fOut->closePort();
    return B_ERROR;
  }
  fOpen = true;
  return B_OK;
}

void RtMidiOutput::Close() {
  if (!fOpen) return;
  fOpen = false;
  if (ServiceGone()) {
    Drop();
    return;
  }
  fOut->closePort();
}

namespace {
// RtMidi's JACK output writes each message, after an int of its length, to a ring buffer
// of 16 KB that its process callback empties once a cycle; a JACK ring holds one byte
// less than its size. A message that does not fit makes sendMessage spin, with the port's
// lock held, until a cycle makes room, and a cycle that takes more than fits in a port
// buffer loses the rest: never write more than fits. What the ring holds when a stalled
// server runs again may be lost too, when its first cycle overruns: nothing is written
// during a stall, and the note ends written just before it are sent again after.
constexpr size_t kJackRingBytes = 16384 - 1;
constexpr size_t MessageBytes(size_t size) { return size + sizeof(int); }
// A server that ran no cycle for this many periods (and at least kMinStall) stalls.
constexpr int64_t kStallPeriods = 8;
constexpr int64_t kMinStall = 50000;
// The first cycles after a stall may be an overrun whose MIDI never reaches the readers.
constexpr uint64_t kSettleCycles = 3;
}  // namespace

bool RtMidiOutput::Stalled() {
  if (fStalled) {
    if (fCycle < fStallCycle + kSettleCycles) return true;
    fStalled = false;
    ResendNoteEnds();
    return false;
  }
  const int64_t limit = std::max(kMinStall, kStallPeriods * fJack->Period());
  if (system_time() - fJack->LastCycle() <= limit) return false;
  fStalled = true;
  fStallCycle = fCycle;
  return true;
}

void RtMidiOutput::ResendNoteEnds() {
  // Whatever the ring held when the server stopped may have been lost; a note end among
  // it would leave its note sounding. Sending one again is harmless.
  for (size_t key = 0; key < fNoteEndCycle.size(); key++) {
    const uint64_t written = fNoteEndCycle[key];
    if (written == 0 || written + 1 < fStallCycle) continue;
    const uint8 noteOff[3] = {uint8(0x80 | (key / 128)), uint8(key % 128), 0};
    Write(noteOff, 3);
  }
}

void RtMidiOutput::CountCycles() {
  const uint64_t cycle = fJack->Cycles();
  // A message written while the watch had counted n cycles is read by cycle n + 2 at the
  // latest, which has certainly run once the count is n + 3.
  for (uint64_t i = fCycle; i != cycle && i - fCycle < 3; i++) {
    fRingBytes[2] = fRingBytes[1];
    fRingBytes[1] = fRingBytes[0];
    fRingBytes[0] = 0;
  }
  fCycle = cycle;
}

bool RtMidiOutput::HasRoom(size_t count, size_t size) {
  if (fJack == nullptr || !fOpen || ServiceGone()) return true;
  CountCycles();
  // Written during a stall, a message would be lost when the server runs again.
  if (Stalled()) return false;
  const size_t used = BytesInRing();
  // More than a whole ring never fits; it waits until the ring is empty.
  return used == 0 || used + count * MessageBytes(size) <= kJackRingBytes;
}

void RtMidiOutput::Write(const uint8* bytes, size_t size) {
  CountCycles();
  fRingBytes[0] += MessageBytes(size);
  const uint8 type = bytes[0] & 0xF0;
  if (size == 3 && (type == 0x80 || type == 0x90)) {
    const bool ends = type == 0x80 || bytes[2] == 0;
    fNoteEndCycle[(bytes[0] & 0x0F) * 128 + (bytes[1] & 0x7F)] = ends ? fCycle + 1 : 0;
  }
  fOut->sendMessage(bytes, size);
}

bool RtMidiOutput::Send(const uint8* bytes, size_t size) {
  if (!fOpen || ServiceGone()) return false;
  fFailed = false;
  if (fJack != nullptr)
    Write(bytes, size);
  else
    fOut->sendMessage(bytes, size);
  return !fFailed;
}

namespace {
bool Compiled(RtMidi::Api api) {
  std::vector<RtMidi::Api> apis;
  RtMidi::getCompiledApi(apis);
  return std::find(apis.begin(), apis.end(), api) != apis.end();
}

std::unique_ptr<MidiOutput> Make(RtMidi::Api api) {
  if (!Compiled(api)) {
    fprintf(stderr, "MIDI: this RtMidi was built without %s\n",
            RtMidi::getApiDisplayName(api).c_str());
    return std::make_unique<NullMidiOutput>();
  }
  return std::make_unique<RtMidiOutput>(api);
}
}  // namespace

std::unique_ptr<MidiOutput> CreateMidiOutput() {
  const char* env = getenv("ZANVEL_MIDI_API");
  const std::string_view choice = env != nullptr ? env : "";
  if (choice == "none") return std::make_unique<NullMidiOutput>();
  if (choice == "alsa") return Make(RtMidi::LINUX_ALSA);
  if (choice == "jack") return Make(RtMidi::UNIX_JACK);
  if (!choice.empty() && choice != "auto")
    fprintf(stderr, "MIDI: ZANVEL_MIDI_API=%s is not alsa, jack, none or auto; choosing alone\n",
            env);

  if (Compiled(RtMidi::LINUX_ALSA) && access("/dev/snd/seq", R_OK | W_OK) == 0) {
    auto alsa = std::make_unique<RtMidiOutput>(RtMidi::LINUX_ALSA);
    if (alsa->Connect()) return alsa;
  }
  return Make(RtMidi::UNIX_JACK);
}
