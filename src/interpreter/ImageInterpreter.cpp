#include "interpreter/ImageInterpreter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "platform/interface/BBitmap.h"
#include "interpreter/KeyPressure.h"
#include "interpreter/LcsOutput.h"
#include "interpreter/MatchedMidi.h"
#include "interpreter/MatchedToTarget.h"
#include "interpreter/MidiDevice.h"
#include "interpreter/PositionToTarget.h"
#include "interpreter/RhythmOutput.h"
#include "platform/midi/BMidiSynth.h"
#include "platform/support/Time.h"

ImageInterpreter::ImageInterpreter(BView* histogramView, BView* keyFrameView, BView* matchedView,
                                   color_space colorSpace)
    : fAnalysis(colorSpace),
      fDisplay(histogramView, keyFrameView, matchedView),
      fLastFrameTime(system_time()) {
  fMidi = std::make_unique<MidiDevice>();
  fRhythm = std::make_unique<RhythmOutput>(this, fMidi->Port());
  fMatchedMidi = std::make_unique<MatchedMidi>(fMidi->Port());
  fKeyPressure = std::make_unique<KeyPressure>(fMidi->Port());
  fPositionToTarget = std::make_unique<PositionToTarget>();
  fMatchedToTarget = std::make_unique<MatchedToTarget>();
  fLcs = std::make_unique<LcsOutput>();
}

ImageInterpreter::~ImageInterpreter() {
  // The rhythm first (it reads the position), then the MIDI port, silenced and closed, the
  // LCS line, the synthesizer and the target outputs; the analysis goes last.
  fRhythm.reset();
  fMatchedMidi.reset();
  fKeyPressure.reset();
  fMidi.reset();
  fLcs.reset();
  delete fSynth;
  fPositionToTarget.reset();
  fMatchedToTarget.reset();
}

void ImageInterpreter::Interpret(Image* image) {
  fAnalysis.Prepare(image);

  if (fAnalysis.TakeExampleRequest()) {
    if (Image* copy = fAnalysis.CopyFrame(*image)) AddImageToMatcher(copy);
    return;
  }

  OrientationHistogram* histogram = fAnalysis.MakeHistogram(*image);

  if (fAnalysis.TakeKeyFrameRequest()) {
    float values[3];
    fAnalysis.NextKeyFrameValues(values);
    Image* copy = fAnalysis.CopyFrame(*image);
    if (copy == nullptr) {
      delete histogram;
      return;
    }
    AddKeyFrame(new KeyFrame(copy, histogram, values, 3, ""));
    return;
  }

  FrameResult result;
  fAnalysis.Analyse(histogram, &result);
  fDisplay.Draw(result, fAnalysis);

  fFrameTime = system_time();
  const bigtime_t dt = fFrameTime - fLastFrameTime;
  fFrameInterval = float(0.2 * double(dt) + 0.8 * double(fFrameInterval));
  fLastFrameTime = fFrameTime;
  // The trace line prints the rate as it comes (inf after two frames at once); what is
  // published is finite.
  const double rate = 1000000.0 / double(fFrameInterval);
  const float shownRate = std::isfinite(rate) ? float(rate) : 0.0f;

  // The outputs only take the values; each sends them in its own time. All of them use this
  // frame's values, as published (a subclass may publish values of its own).
  Publish(result, shownRate);
  float position[3];
  GetCurrentValues(position);
  if (result.matchChanged) {
    fMatchedMidi->Offer(result.matched);
    fMatchedToTarget->Offer(result.matched);
  }
  fPositionToTarget->Offer(position);
  fKeyPressure->Offer(position);
  fLcs->Offer(position);

  fFrameRate.store(shownRate, std::memory_order_relaxed);
  char line[64];
  const int length = std::snprintf(line, sizeof line, "%f fps\n", rate);
  if (length > 0) fRateLine.Write(line, std::min(size_t(length), sizeof line - 1));
}

void ImageInterpreter::Publish(const FrameResult& result, float frameRate) {
  BAutolock hold(fLock);
  std::copy_n(result.position, 3, fCurrentValues);
  std::copy_n(result.position, 3, fLastFrame.position);
  fLastFrame.matched = result.matched;
  fLastFrame.nearestKeyFrame = result.nearestKeyFrame;
  fLastFrame.frameRate = frameRate;
  fLastFrame.frames++;
}

void ImageInterpreter::AddImageToMatcher(Image* image) {
  image->displayBitmap = FrameDisplay::MakeDisplayBitmap(*image);
  fAnalysis.AddExample(image);
}

void ImageInterpreter::AddKeyFrame(KeyFrame* keyFrame) {
  keyFrame->image->displayBitmap = FrameDisplay::MakeDisplayBitmap(*keyFrame->image);
  fAnalysis.AddKeyFrame(keyFrame);
}

void ImageInterpreter::GetCurrentValues(float* values) {
  BAutolock hold(fLock);
  std::copy_n(fCurrentValues, 3, values);
}

FrameSnapshot ImageInterpreter::LastFrame() {
  BAutolock hold(fLock);
  return fLastFrame;
}

void ImageInterpreter::DrawHistogram(OrientationHistogram* histogram, BView* view, rgb_color color) {
  FrameDisplay::DrawHistogram(histogram, view, color);
}

void ImageInterpreter::ClearMatcher() {
  BAutolock hold(fAnalysis.MatcherLock());
  fAnalysis.ClearExamples();
  FrameDisplay::ClearView(fDisplay.MatchedView());
}

void ImageInterpreter::ClearKeyframes() {
  BAutolock hold(fAnalysis.KeyFrameLock());
  fAnalysis.ClearKeyFrames();
  FrameDisplay::ClearView(fDisplay.KeyFrameView());
}

void ImageInterpreter::SaveNextImageToMatcher() { fAnalysis.RequestExample(); }

void ImageInterpreter::SaveNextImageAsKeyframe() { fAnalysis.RequestKeyFrame(); }

void ImageInterpreter::SetContrastThreshold(float threshold) { fAnalysis.SetContrastThreshold(threshold); }

void ImageInterpreter::SetNumBins(int numBins) { fAnalysis.SetNumBins(numBins); }

void ImageInterpreter::SetSmoothing(bool on) { fAnalysis.SetSmoothing(on); }

void ImageInterpreter::SetSmoothingAlpha(float alpha) { fAnalysis.SetSmoothingAlpha(alpha); }

void ImageInterpreter::SetSendNotesToSynth(bool on) { fRhythm->SetToSynth(on); }

void ImageInterpreter::SetSendNotesToMidiPort(bool on) { fRhythm->SetToPort(on); }

void ImageInterpreter::SetSendToKDX(bool on) { fKeyPressure->SetOn(on); }

void ImageInterpreter::SetKDXBussId(int bussId) { fKeyPressure->SetBussId(bussId); }

void ImageInterpreter::SetDestinationAppSignature(const char* signature) {
  fPositionToTarget->SetSignature(signature);
}

void ImageInterpreter::GetDestinationAppSignature(char* buffer, size_t size) {
  fPositionToTarget->GetSignature(buffer, size);
}

void ImageInterpreter::SetBMessageCommand(uint32 what) { fPositionToTarget->SetCommand(what); }

uint32 ImageInterpreter::GetBMessageCommand() { return fPositionToTarget->Command(); }

void ImageInterpreter::SetMatchedAppSignature(const char* signature) {
  fMatchedToTarget->SetSignature(signature);
}

void ImageInterpreter::GetMatchedAppSignature(char* buffer, size_t size) {
  fMatchedToTarget->GetSignature(buffer, size);
}

void ImageInterpreter::SetMatchedBMessageCommand(uint32 what) { fMatchedToTarget->SetCommand(what); }

uint32 ImageInterpreter::GetMatchedBMessageCommand() { return fMatchedToTarget->Command(); }

void ImageInterpreter::SetSendBMessages(bool on) { fPositionToTarget->SetOn(on); }

void ImageInterpreter::SetSendMatchedAsBMessages(bool on) { fMatchedToTarget->SetOn(on); }

void ImageInterpreter::SetSendMatchedAsNotesToSynth(bool on) { fMatchedMidi->SetNoteToSynth(on); }

void ImageInterpreter::SetSendMatchedAsNotesToMidiPort(bool on) { fMatchedMidi->SetNoteToPort(on); }

void ImageInterpreter::SetSendMatchedAsModwheelToMidiPort(bool on) { fMatchedMidi->SetModwheelToPort(on); }

void ImageInterpreter::SetMidiPort(const char* name) { fMidi->Change(name); }

void ImageInterpreter::SetSmoothInputImages(bool on) { fAnalysis.SetSmoothInput(on); }

void ImageInterpreter::SetBlendInputImages(bool on) { fAnalysis.SetBlendInput(on); }

void ImageInterpreter::SetTemporalBlendingAmount(float amount) { fAnalysis.SetBlendingAmount(amount); }

void ImageInterpreter::SetLCSSerialPort(const char* name) { fLcs->SetPort(name); }

void ImageInterpreter::SetLCSSendPosition(bool on) { fLcs->SetSendPosition(on); }

void ImageInterpreter::SetLCSZMapping(long mapping) { fLcs->SetZMapping(int32(mapping)); }

BMidiPort* ImageInterpreter::MidiPort() { return &fMidi->Port(); }

int32 ImageInterpreter::LastMatched() { return fAnalysis.LastMatched(); }

int32 ImageInterpreter::LastKeyFrame() { return fAnalysis.LastKeyFrame(); }

int32 ImageInterpreter::CountExamples() { return fAnalysis.CountExamples(); }

int32 ImageInterpreter::CountKeyFrames() { return fAnalysis.CountKeyFrames(); }

int64 ImageInterpreter::CountLCSDroppedMessages() { return fLcs->CountDroppedMessages(); }

std::vector<OutputStatus> ImageInterpreter::OutputStatuses() {
  return {fPositionToTarget->Status(), fMatchedToTarget->Status(), fMatchedMidi->Status(),
          fKeyPressure->Status(),      fRhythm->Status(),          fLcs->Status()};
}

std::string ImageInterpreter::MidiDeviceName() { return fMidi->DeviceName(); }

std::string ImageInterpreter::LCSDeviceName() { return fLcs->DeviceName(); }

bool ImageInterpreter::WaitForOutputs(bigtime_t timeout) {
  // The outputs run side by side; each gets what is left of the time. Real time: tests may
  // install a clock of their own.
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::microseconds(timeout);
  auto left = [deadline] {
    return std::max<bigtime_t>(
        0, std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count());
  };
  bool idle = fMidi->WaitIdle(left());
  idle = fPositionToTarget->WaitIdle(left()) && idle;
  idle = fMatchedToTarget->WaitIdle(left()) && idle;
  idle = fLcs->WaitIdle(left()) && idle;
  return idle;
}

bool ImageInterpreter::SendNotesToSynth() const { return fRhythm->ToSynth(); }

bool ImageInterpreter::SendNotesToMidiPort() const { return fRhythm->ToPort(); }

bool ImageInterpreter::SendToKDX() const { return fKeyPressure->IsOn(); }

int32 ImageInterpreter::KDXBussId() const { return fKeyPressure->BussId(); }

bool ImageInterpreter::SendBMessages() const { return fPositionToTarget->IsOn(); }

bool ImageInterpreter::SendMatchedAsBMessages() const { return fMatchedToTarget->IsOn(); }

bool ImageInterpreter::SendMatchedAsNotesToSynth() const { return fMatchedMidi->NoteToSynth(); }

bool ImageInterpreter::SendMatchedAsNotesToMidiPort() const { return fMatchedMidi->NoteToPort(); }

bool ImageInterpreter::SendMatchedAsModwheelToMidiPort() const { return fMatchedMidi->ModwheelToPort(); }

bool ImageInterpreter::LCSSendPosition() const { return fLcs->IsOn(); }

int32 ImageInterpreter::LCSZMapping() const { return fLcs->ZMapping(); }

std::string ImageInterpreter::ChosenMidiPort() const { return fMidi->ChosenName(); }

std::string ImageInterpreter::ChosenLCSSerialPort() const { return fLcs->ChosenName(); }

void ImageInterpreter::VisitTraining(
    const std::function<void(const Image&, const OrientationHistogram&)>& example,
    const std::function<void(const KeyFrame&)>& keyFrame) {
  // Only the lists are copied under the locks, so frames wait for no picture copy: what they
  // point at stays, as only this thread removes examples and key frames, and a stored
  // picture, histogram or key frame never changes.
  std::vector<const Image*> images;
  std::vector<const OrientationHistogram*> histograms;
  std::vector<const KeyFrame*> keyFrames;
  {
    BAutolock hold(fAnalysis.MatcherLock());
    TrainingSet& examples = fAnalysis.Examples();
    BAutolock setHold(examples);
    images.assign(examples.images.begin(), examples.images.end());
    histograms.assign(examples.histograms.begin(), examples.histograms.end());
  }
  {
    BAutolock hold(fAnalysis.KeyFrameLock());
    const std::vector<KeyFrame*>& stored = fAnalysis.KeyFrames().keyFrames;
    keyFrames.assign(stored.begin(), stored.end());
  }
  for (size_t i = 0; i < images.size(); i++) example(*images[i], *histograms[i]);
  for (const KeyFrame* k : keyFrames) keyFrame(*k);
}

void ImageInterpreter::ReplaceTraining(TrainingSet* examples, MultiInterpolator* keyFrames) {
  for (Image* image : examples->images) image->displayBitmap = FrameDisplay::MakeDisplayBitmap(*image);
  for (KeyFrame* k : keyFrames->keyFrames) k->image->displayBitmap = FrameDisplay::MakeDisplayBitmap(*k->image);
  fAnalysis.ReplaceSets(examples, keyFrames);
  FrameDisplay::ClearView(fDisplay.MatchedView());
  FrameDisplay::ClearView(fDisplay.KeyFrameView());
}
