#include "interpreter/RhythmOutput.h"

#include "platform/midi/BMidiSynth.h"
#include "platform/support/Time.h"

RhythmOutput::RhythmOutput(ImageInterpreter* interpreter, BMidiPort& port)
    : Output("Notes to MIDI"), fPort(port), fRhythm(std::make_unique<Rhythm>(141.0f, interpreter)) {
  // It runs only while one of the switches is on.
  fRhythm->Stop();
}

RhythmOutput::~RhythmOutput() {
  fRhythm->Stop();
  fRhythm.reset();
}

bool RhythmOutput::IsOn() const {
  std::lock_guard<std::mutex> hold(fLock);
  return fToPort || fToSynth;
}

OutputStatus RhythmOutput::Status() const {
  OutputStatus status = Output::Status();
  status.sent = fRhythm->CountSent();
  return status;
}

void RhythmOutput::SetToPort(bool on) {
  bool stop = false;
  {
    std::lock_guard<std::mutex> hold(fLock);
    if (on) {
      fRhythm->Connect(&fPort);
      fRhythm->Start();
    } else {
      stop = !fToSynth;
      // Once disconnected the rhythm reaches the port no more, so this is the last word.
      fRhythm->Disconnect(&fPort);
      fPort.AllNotesOff(true, uint32(system_time() / 1000));
    }
    fToPort = on;
  }
  if (stop) StopRhythm();
}

void RhythmOutput::SetToSynth(bool on) {
  bool stop = false;
  {
    std::lock_guard<std::mutex> hold(fLock);
    if (on) {
      if (fSynth) fRhythm->Connect(fSynth);
      fRhythm->Start();
    } else {
      stop = !fToPort;
      if (fSynth) fRhythm->Disconnect(fSynth);
    }
    fToSynth = on;
  }
  if (stop) StopRhythm();
}

void RhythmOutput::StopRhythm() {
  fRhythm->Stop();
  std::lock_guard<std::mutex> hold(fLock);
  // A switch turned on meanwhile wants it running.
  if (fToPort || fToSynth) fRhythm->Start();
}

bool RhythmOutput::ToPort() const {
  std::lock_guard<std::mutex> hold(fLock);
  return fToPort;
}

bool RhythmOutput::ToSynth() const {
  std::lock_guard<std::mutex> hold(fLock);
  return fToSynth;
}
