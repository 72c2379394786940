#include "platform/midi/BMidiPort.h"

#include <cstring>

#include "platform/midi/MidiOutput.h"
#include "platform/support/Time.h"

namespace {
bool ValidChannel(uchar channel) { return channel >= 1 && channel <= 16; }
}  // namespace

BMidiPort::BMidiPort() : BMidiPort(CreateMidiOutput()) {}

BMidiPort::BMidiPort(std::unique_ptr<MidiOutput> output)
    : fOutput(output ? std::move(output) : std::make_unique<NullMidiOutput>()),
      fScheduler(std::make_unique<MidiScheduler>(static_cast<MidiScheduler::Sink&>(*this))) {}

BMidiPort::~BMidiPort() {
  // A producer still connected must not reach a half-destroyed port.
  CutConnections();
  Stop();
  Close();
  fScheduler.reset();
}

status_t BMidiPort::Open(const char* name) {
  Close();
  if (name == nullptr) return B_BAD_VALUE;
  std::lock_guard<std::mutex> guard(fOutputLock);
  const status_t status = fOutput->Open(name);
  if (status == B_OK) {
    fPortName = name;
    fOpen.store(true);
  }
  return status;
}

void BMidiPort::Close() {
  // Closed first, so that nothing queued meanwhile waits for the next device.
  fOpen.store(false);
  // Whatever sounds now must not hang on the device we leave. A service that stalls gets
  // a while to take the note ends; closing it would wait for it anyway.
  const bigtime_t deadline = system_time() + kCloseWait;
  for (const MidiEvent& event : fScheduler->TakePending()) {
    if (!event.EndsNotes()) continue;
    while (!Deliver(event)) {
      if (system_time() >= deadline) {
        fUnsent.fetch_add(1, std::memory_order_relaxed);
        break;
      }
      snooze(1000);
    }
  }
  std::lock_guard<std::mutex> guard(fOutputLock);
  fOutput->Close();
  fPortName.clear();
}

const char* BMidiPort::PortName() const {
  std::lock_guard<std::mutex> guard(fOutputLock);
  return fPortName.empty() ? nullptr : fPortName.c_str();
}

int32 BMidiPort::CountDevices() {
  std::lock_guard<std::mutex> guard(fOutputLock);
  return int32(fOutput->Devices().size());
}

status_t BMidiPort::GetDeviceName(int32 n, char* name, size_t bufferSize) {
  if (name == nullptr || bufferSize == 0) return B_BAD_VALUE;
  std::vector<std::string> devices;
  {
    std::lock_guard<std::mutex> guard(fOutputLock);
    devices = fOutput->Devices();
  }
  if (n < 0 || size_t(n) >= devices.size()) {
    name[0] = '\0';
    return B_BAD_INDEX;
  }
  const std::string& device = devices[size_t(n)];
  const size_t length = std::min(device.size(), bufferSize - 1);
  memcpy(name, device.data(), length);
  name[length] = '\0';
  return B_OK;
}

const char* BMidiPort::ApiName() const {
  std::lock_guard<std::mutex> guard(fOutputLock);
  return fOutput->ApiName();
}

status_t BMidiPort::Put(uint8 status, uint8 data1, uint8 data2, uint32 time) {
  const uint8 type = status & 0xF0;
  const uint8 size = type == 0xC0 || type == 0xD0 ? 2 : 3;
  data1 &= 0x7F;
  data2 = size == 3 ? data2 & 0x7F : 0;
  status_t result;
  // A closed port has nowhere to send; what it is sent is lost, as on a cut cable.
  if (!fOpen.load(std::memory_order_relaxed)) {
    fUnsent.fetch_add(1, std::memory_order_relaxed);
    result = B_NO_INIT;
  } else {
    MidiEvent event;
    event.time = time;
    event.size = size;
    event.bytes[0] = status;
    event.bytes[1] = data1;
    event.bytes[2] = data2;
    result = fScheduler->Schedule(event) ? B_OK : B_WOULD_BLOCK;
  }
  const uchar channel = uchar((status & 0x0F) + 1);
  switch (type) {
    case 0x80: SprayNoteOff(channel, data1, data2, time); break;
    case 0x90: SprayNoteOn(channel, data1, data2, time); break;
    case 0xA0: SprayKeyPressure(channel, data1, data2, time); break;
    case 0xB0: SprayControlChange(channel, data1, data2, time); break;
    case 0xC0: SprayProgramChange(channel, data1, time); break;
    case 0xD0: SprayChannelPressure(channel, data1, time); break;
    default: SprayPitchBend(channel, data1, data2, time); break;
  }
  return result;
}

status_t BMidiPort::Post(uint8 status, uint8 data1, uint8 data2, uint32 time) {
  if (status < 0x80 || status > 0xEF) return B_BAD_VALUE;
  return Put(status, data1, data2, time);
}

void BMidiPort::NoteOff(uchar channel, uchar note, uchar velocity, uint32 time) {
  if (ValidChannel(channel)) Put(uint8(0x80 | (channel - 1)), note, velocity, time);
}

void BMidiPort::NoteOn(uchar channel, uchar note, uchar velocity, uint32 time) {
  if (ValidChannel(channel)) Put(uint8(0x90 | (channel - 1)), note, velocity, time);
}

void BMidiPort::KeyPressure(uchar channel, uchar note, uchar pressure, uint32 time) {
  if (ValidChannel(channel)) Put(uint8(0xA0 | (channel - 1)), note, pressure, time);
}

void BMidiPort::ControlChange(uchar channel, uchar controlNumber, uchar controlValue,
                              uint32 time) {
  if (ValidChannel(channel)) Put(uint8(0xB0 | (channel - 1)), controlNumber, controlValue, time);
}

void BMidiPort::ProgramChange(uchar channel, uchar programNumber, uint32 time) {
  if (ValidChannel(channel)) Put(uint8(0xC0 | (channel - 1)), programNumber, 0, time);
}

void BMidiPort::ChannelPressure(uchar channel, uchar pressure, uint32 time) {
  if (ValidChannel(channel)) Put(uint8(0xD0 | (channel - 1)), pressure, 0, time);
}

void BMidiPort::PitchBend(uchar channel, uchar lsb, uchar msb, uint32 time) {
  if (ValidChannel(channel)) Put(uint8(0xE0 | (channel - 1)), lsb, msb, time);
}

void BMidiPort::AllNotesOff(bool justChannel, uint32 time) {
  // One queue entry, expanded when it goes out: the 2048 note-offs of the full form would
  // not fit the queue.
  if (fOpen.load(std::memory_order_relaxed)) {
    MidiEvent event;
    event.time = time;
    event.kind = MidiEvent::kAllNotesOff;
    event.bytes[0] = justChannel ? 1 : 0;
    fScheduler->Schedule(event);
  } else {
    fUnsent.fetch_add(1, std::memory_order_relaxed);
  }
  for (uchar channel = 1; channel <= 16; channel++) {
    SprayControlChange(channel, 123, 0, time);
    if (!justChannel) {
      for (int note = 0; note < 128; note++) SprayNoteOff(channel, uchar(note), 0, time);
    }
  }
}

bool BMidiPort::Deliver(const MidiEvent& event) {
  std::lock_guard<std::mutex> guard(fOutputLock);
  const bool bytes = event.kind == MidiEvent::kBytes;
  const bool justChannel = event.bytes[0] != 0;
  const size_t count = bytes ? 1 : justChannel ? 16 : 16 * 129;
  // Sending would wait for the service, with this lock held; the event waits instead.
  if (!fOutput->HasRoom(count, bytes ? event.size : 3)) return false;
  if (bytes) {
    Send(event.bytes, event.size, event.due);
    return true;
  }
  for (uint8 channel = 0; channel < 16; channel++) {
    const uint8 allOff[3] = {uint8(0xB0 | channel), 123, 0};
    Send(allOff, 3, event.due);
    if (justChannel) continue;
    for (uint8 note = 0; note < 128; note++) {
      const uint8 noteOff[3] = {uint8(0x80 | channel), note, 0};
      Send(noteOff, 3, event.due);
    }
  }
  return true;
}

void BMidiPort::Send(const uint8* bytes, size_t size, bigtime_t due) {
  if (fOutput->Send(bytes, size, due))
    fSent.fetch_add(1, std::memory_order_relaxed);
  else
    fUnsent.fetch_add(1, std::memory_order_relaxed);
}
