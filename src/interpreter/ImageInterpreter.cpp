#include "interpreter/ImageInterpreter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "analysis/GrayscaleImage.h"
#include "app/BMessenger.h"
#include "app/BRoster.h"
#include "analysis/RGBAImage.h"
#include "interface/Alert.h"
#include "interface/Bitmap.h"
#include "interface/Window.h"
#include "interpreter/LCSMessage.h"
#include "interpreter/Rhythm.h"
#include "interpreter/TargetMessages.h"
#include "midi/MidiOutput.h"
#include "support/Time.h"

namespace {
constexpr rgb_color kBlack{0, 0, 0, 0};
constexpr rgb_color kRed{255, 0, 0, 0};
constexpr rgb_color kYellow{255, 255, 0, 0};

// The histogram box of the "histo" view.
constexpr float kBoxLeft = 12, kBoxTop = 12, kBoxRight = 52, kBoxBottom = 52;
constexpr float kCentreX = kBoxLeft + (kBoxRight - kBoxLeft) / 2;
constexpr float kCentreY = kBoxTop + (kBoxBottom - kBoxTop) / 2;
constexpr float kScale = (kBoxRight - kBoxLeft) * 0.5f;

// Distances are only meaningful between histograms of one bin count.
bool SameBins(const OrientationHistogram& histogram, const TrainingSet& set) {
  return histogram.numBins == set.numBins;
}

// Locks a view's window; false when there is none or it is closing.
bool LockWindowOf(BView* view) { return view && view->Window() && view->Window()->Lock(); }

// How long one LCS write may wait for a line that does not drain: well under a frame, so a
// controller held off by flow control or unplugged costs frames a little, never all of them.
constexpr bigtime_t kLCSWriteTimeout = 5000;

// The controller is expected on the second serial port.
constexpr int32 kLCSDeviceIndex = 1;

// MIDI stamps: milliseconds of the system clock.
uint32 MidiNow() { return uint32(system_time() / 1000); }

void CantOpen(const char* device, const char* button) {
  char text[128];
  snprintf(text, sizeof text, "can't open %s", device);
  (new BAlert("", text, button, nullptr, nullptr, B_WIDTH_AS_USUAL, B_INFO_ALERT))->Go();
}

// The pressure of one position value: 127 × v truncated, its low 7 bits; 0 below 0.
uchar PositionPressure(float value) {
  const double p = 127.0 * double(value);
  if (!(p >= 0) || !std::isfinite(p)) return 0;
  return uchar(std::fmod(std::trunc(p), 128.0));
}
}  // namespace

ImageInterpreter::ImageInterpreter(BView* histogramView, BView* keyFrameView, BView* matchedView,
                                   color_space colorSpace)
    : fHistogramView(histogramView),
      fKeyFrameView(keyFrameView),
      fMatchedView(matchedView),
      fColorSpace(colorSpace),
      fLastFrameTime(system_time()) {
  if (fColorSpace != B_GRAY8 && fColorSpace != B_RGB32)
    std::fprintf(stderr, "ImageInterpreter: colour space %d is not supported; frames are not stored\n",
                 int(fColorSpace));
  fMatcher = new TrainingSet(fContrastThreshold, fNumBins);
  fInterpolator = new MultiInterpolator(fContrastThreshold, fNumBins, 3, 1.0f);

  // The rhythm runs only while one of the notes outputs is on.
  fRhythm = new Rhythm(141.0f, this);
  fRhythm->Stop();

  // Device 0 is the program's own port whenever a MIDI service runs.
  char device[32] = "";
  fMidiPort.CountDevices();
  if (fMidiPort.GetDeviceName(0, device, sizeof device) != B_OK)
    snprintf(device, sizeof device, "%s (no MIDI service)", kOwnMidiPortName);
  if (fMidiPort.Open(device) != B_OK) CantOpen(device, "ug");

  char lcsName[32] = "";
  fLCSPort.GetDeviceName(kLCSDeviceIndex, lcsName, sizeof(lcsName));
  if (!OpenLCSPort(lcsName)) CantOpen(lcsName[0] ? lcsName : "the second serial port", "ug");
}

ImageInterpreter::~ImageInterpreter() {
  if (fRhythm) {
    fRhythm->Stop();
    delete fRhythm;
    fRhythm = nullptr;
  }
  fMidiPort.Close();
  fLCSPort.Close();
  delete fSynth;
  delete fDestinationMessenger;
  delete fMatchedMessenger;
  DeleteDisplayBitmaps(*fInterpolator);
  delete fInterpolator;
  DeleteDisplayBitmaps(*fMatcher);
  delete fMatcher;
  if (fPreviousImage) {
    fPreviousImage->FreePixels();
    delete fPreviousImage;
  }
}

Image* ImageInterpreter::CopyFrame(const Image& frame) const {
  switch (fColorSpace) {
    case B_GRAY8:
      return new GrayscaleImage(frame);
    case B_RGB32:
      return new RGBAImage(frame);
    default:
      return nullptr;
  }
}

BBitmap* ImageInterpreter::MakeDisplayBitmap(const Image& image) {
  auto bitmap = std::make_unique<BBitmap>(BRect(0, 0, float(image.width - 1), float(image.height - 1)),
                                          B_RGB32);
  if (!bitmap->IsValid() || image.pixels == nullptr) return nullptr;
  auto* dst = static_cast<uint8*>(bitmap->Bits());
  const auto* src = static_cast<const uint8*>(image.pixels);
  const int32 rows = std::min(image.height, bitmap->PixelHeight());
  if (image.bitsPerPixel == 32) {
    // Row by row: the image's rows may be padded differently from the bitmap's.
    const size_t rowBytes = size_t(std::min(image.bytesPerRow, bitmap->BytesPerRow()));
    for (int32 y = 0; y < rows; ++y)
      std::memcpy(dst + size_t(y) * bitmap->BytesPerRow(), src + size_t(y) * image.bytesPerRow, rowBytes);
  } else if (image.bitsPerPixel == 8) {
    const int32 columns = std::min(image.width, image.bytesPerRow);
    for (int32 y = 0; y < rows; ++y) {
      const uint8* in = src + size_t(y) * image.bytesPerRow;
      uint8* out = dst + size_t(y) * bitmap->BytesPerRow();
      for (int32 x = 0; x < columns; ++x) {
        out[4 * x] = out[4 * x + 1] = out[4 * x + 2] = in[x];
        out[4 * x + 3] = 255;
      }
    }
  }
  return bitmap.release();
}

void ImageInterpreter::DeleteDisplayBitmaps(TrainingSet& set) {
  BAutolock hold(set);
  for (Image* image : set.images) {
    delete image->displayBitmap;
    image->displayBitmap = nullptr;
  }
}

void ImageInterpreter::ClearView(BView* view) {
  if (!LockWindowOf(view)) return;
  view->FillRect(view->Bounds(), B_SOLID_HIGH);
  view->Window()->Unlock();
}

void ImageInterpreter::Interpret(Image* image) {
  bool smoothInput, blendInput;
  {
    BAutolock hold(fLock);
    smoothInput = fSmoothInputImages;
    blendInput = fBlendInputImages;
  }
  if (smoothInput) image->Smooth();
  if (blendInput) {
    // A frame of another size (the video format changed) restarts the blend from itself;
    // blending would otherwise stop for good.
    if (fPreviousImage && !fPreviousImage->SameLayout(*image)) {
      fPreviousImage->FreePixels();
      delete fPreviousImage;
      fPreviousImage = nullptr;
    }
    if (!fPreviousImage) fPreviousImage = CopyFrame(*image);
    if (fPreviousImage) {
      image->Blend(*fPreviousImage, fTemporalBlendingAmount.load(std::memory_order_relaxed));
      *fPreviousImage = *image;
    }
  }

  bool toMatcher;
  {
    BAutolock hold(fLock);
    toMatcher = fSaveNextImageToMatcher;
    fSaveNextImageToMatcher = false;
  }
  if (toMatcher) {
    if (Image* copy = CopyFrame(*image)) AddImageToMatcher(copy);
    return;
  }

  auto* histogram = new OrientationHistogram(*image, fContrastThreshold.load(std::memory_order_relaxed),
                                             fNumBins.load(std::memory_order_relaxed));

  bool toKeyFrame;
  {
    BAutolock hold(fLock);
    toKeyFrame = fSaveNextImageAsKeyframe;
    fSaveNextImageAsKeyframe = false;
  }
  if (toKeyFrame) {
    int n;
    {
      BAutolock hold(fKeyFrameLock);
      n = fInterpolator->NumKeyFrames();
    }
    // Successive key frames sit on the corners of the unit cube: (0,0,0), (1,0,0), (0,1,0)...
    float values[3];
    for (int i = 0; i < 3; ++i) values[i] = (n >> i) & 1 ? 1.0f : 0.0f;
    Image* copy = CopyFrame(*image);
    if (copy == nullptr) {
      delete histogram;
      return;
    }
    AddKeyFrame(new KeyFrame(copy, histogram, values, 3, ""));
    return;
  }

  DrawHistogram(histogram, fHistogramView, kBlack);

  {
    BAutolock matcherHold(fMatcherLock);
    const int32 match = SameBins(*histogram, *fMatcher) ? fMatcher->Match(*histogram) : -1;
    if (match != -1) {
      const bool locked = LockWindowOf(fMatchedView);
      const bool visible = locked && !fMatchedView->IsHidden();
      if (visible) fMatchedView->DrawBitmap(fMatcher->images[size_t(match)]->displayBitmap);
      if (match != fLastMatched) {
        {
          BAutolock hold(fLock);
          if (fSendMatchedAsNotesToSynth) SendMatchedNoteToSynth(match);
          if (fSendMatchedAsNotesToMidiPort) SendMatchedNoteToMidiPort(match);
          if (fSendMatchedAsModwheelToMidiPort) SendMatchedModwheelToMidiPort(match);
          if (fSendMatchedAsBMessages) SendMatchedMessage(match);
        }
        fLastMatched = match;
        fMatchedChanges.fetch_add(1, std::memory_order_relaxed);
      }
      if (visible) DrawHistogram(fMatcher->histograms[size_t(match)], fHistogramView, kRed);
      if (locked) fMatchedView->Window()->Unlock();
    }
  }

  {
    BAutolock keyFrameHold(fKeyFrameLock);
    const int32 nearest = SameBins(*histogram, *fInterpolator) ? fInterpolator->Match(*histogram) : -1;
    if (nearest != -1) {
      const bool locked = LockWindowOf(fKeyFrameView);
      const bool visible = locked && !fKeyFrameView->IsHidden();
      if (visible) fKeyFrameView->DrawBitmap(fInterpolator->images[size_t(nearest)]->displayBitmap);
      fLastKeyFrame = nearest;
      if (visible) DrawHistogram(fInterpolator->histograms[size_t(nearest)], fHistogramView, kYellow);
      if (locked) fKeyFrameView->Window()->Unlock();
    }
  }

  if (LockWindowOf(fHistogramView)) {
    fHistogramView->Flush();
    fHistogramView->Window()->Unlock();
  }

  {
    BAutolock hold(fKeyFrameLock);
    if (SameBins(*histogram, *fInterpolator))
      fInterpolator->Interpolate(histogram, fRawValues);
    else
      std::fill(std::begin(fRawValues), std::end(fRawValues), 0.0f);
  }

  // Every frame, so that switching smoothing on publishes an already settled value.
  const float a = fSmoothingAlpha.load(std::memory_order_relaxed);
  for (int i = 0; i < 3; ++i) fSmoothedValues[i] = a * fRawValues[i] + (1 - a) * fSmoothedValues[i];

  {
    BAutolock hold(fLock);
    std::copy_n(fSmoothing ? fSmoothedValues : fRawValues, 3, fCurrentValues);
    if (fSendBMessages) SendPositionMessage();
    if (fSendToKDX) SendPositionKeyPressure();
    if (fLCSSendPosition && fLCSPortOpen) WriteLCSPosition();
    delete histogram;
  }

  fFrameTime = system_time();
  const bigtime_t dt = fFrameTime - fLastFrameTime;
  fFrameInterval = float(0.2 * double(dt) + 0.8 * double(fFrameInterval));
  std::printf("%f fps\n", 1000000.0 / double(fFrameInterval));
  fLastFrameTime = fFrameTime;
}

void ImageInterpreter::AddImageToMatcher(Image* image) {
  image->displayBitmap = MakeDisplayBitmap(*image);
  BAutolock hold(fMatcherLock);
  fMatcher->Add(image);
}

void ImageInterpreter::AddKeyFrame(KeyFrame* keyFrame) {
  keyFrame->image->displayBitmap = MakeDisplayBitmap(*keyFrame->image);
  BAutolock hold(fKeyFrameLock);
  // A key frame made while the bin count changed would be compared with histograms of
  // another count; rebuild its histogram with the set's count.
  if (keyFrame->histogram == nullptr || keyFrame->histogram->numBins != fInterpolator->numBins) {
    delete keyFrame->histogram;
    keyFrame->histogram = new OrientationHistogram(*keyFrame->image, fContrastThreshold.load(std::memory_order_relaxed),
                                                   fInterpolator->numBins);
  }
  fInterpolator->AddKeyFrame(keyFrame);
}

void ImageInterpreter::GetCurrentValues(float* values) {
  BAutolock hold(fLock);
  std::copy_n(fCurrentValues, 3, values);
}

void ImageInterpreter::DrawHistogram(OrientationHistogram* histogram, BView* view, rgb_color color) {
  if (histogram == nullptr || !LockWindowOf(view)) return;
  BWindow* window = view->Window();
  if (view->IsHidden()) {
    window->Unlock();
    return;
  }
  if (color.red == 0 && color.green == 0 && color.blue == 0) {
    view->SetHighColor(view->ViewColor());
    view->FillRect(BRect(kBoxLeft, kBoxTop, kBoxRight, kBoxBottom), B_SOLID_HIGH);
  }
  const int n = histogram->numBins;
  const float* h = histogram->bins;
  view->BeginLineArray(n + 2);
  view->AddLine(BPoint(kBoxLeft, kCentreY), BPoint(kBoxRight, kCentreY), kBlack);
  view->AddLine(BPoint(kCentreX, kBoxTop), BPoint(kCentreX, kBoxBottom), kBlack);
  const float step = float(2.0 * M_PI / n);
  const BPoint first(kCentreX + kScale * h[0], kCentreY);
  BPoint previous = first;
  float angle = step;
  for (int i = 1; i < n; ++i) {
    const BPoint vertex(kCentreX + kScale * h[i] * std::cos(angle), kCentreY + kScale * h[i] * std::sin(angle));
    view->AddLine(previous, vertex, color);
    previous = vertex;
    angle += step;
  }
  view->AddLine(previous, first, color);
  view->EndLineArray();
  window->Unlock();
}

void ImageInterpreter::ClearMatcher() {
  BAutolock hold(fMatcherLock);
  DeleteDisplayBitmaps(*fMatcher);
  fMatcher->Clear();
  ClearView(fMatchedView);
  fLastMatched = -1;
}

void ImageInterpreter::ClearKeyframes() {
  BAutolock hold(fKeyFrameLock);
  DeleteDisplayBitmaps(*fInterpolator);
  delete fInterpolator;
  fInterpolator = new MultiInterpolator(fContrastThreshold, fNumBins, 3, 1.0f);
  ClearView(fKeyFrameView);
  fLastKeyFrame = -1;
}

void ImageInterpreter::SaveNextImageToMatcher() {
  BAutolock hold(fLock);
  fSaveNextImageToMatcher = true;
}

void ImageInterpreter::SaveNextImageAsKeyframe() {
  BAutolock hold(fLock);
  fSaveNextImageAsKeyframe = true;
}

void ImageInterpreter::SetContrastThreshold(float threshold) {
  fContrastThreshold.store(threshold, std::memory_order_relaxed);
  {
    BAutolock hold(fKeyFrameLock);
    fInterpolator->SetContrastThreshold(threshold);
  }
  fMatcher->SetContrastThreshold(threshold);
}

void ImageInterpreter::SetNumBins(int numBins) {
  if (numBins == fNumBins.load(std::memory_order_relaxed)) return;
  if (numBins < 1 || numBins > kMaxBins) {
    std::fprintf(stderr, "SetNumBins: %d bins refused; the count must lie between 1 and %d\n", numBins,
                 kMaxBins);
    return;
  }
  BAutolock matcherHold(fMatcherLock);
  BAutolock keyFrameHold(fKeyFrameLock);
  const int examples = fMatcher->CountExamples();
  const int keyFrames = fInterpolator->NumKeyFrames();
  if (examples > 0 || keyFrames > 0) {
    std::fprintf(stderr,
                 "SetNumBins: %d bins refused while %d examples and %d key frames are stored; clear "
                 "them first\n",
                 numBins, examples, keyFrames);
    return;
  }
  // Both sets are empty, so no stored histogram keeps the old count.
  {
    BAutolock setHold(*fMatcher);
    fMatcher->numBins = numBins;
  }
  const float threshold = fContrastThreshold.load(std::memory_order_relaxed);
  delete fInterpolator;
  fInterpolator = new MultiInterpolator(threshold, numBins, 3, 1.0f);
  BAutolock hold(fLock);
  fNumBins.store(numBins, std::memory_order_relaxed);
}

void ImageInterpreter::SetSmoothing(bool on) {
  BAutolock hold(fLock);
  fSmoothing = on;
}

void ImageInterpreter::SetSmoothingAlpha(float alpha) {
  fSmoothingAlpha.store(alpha > 1 ? 1.0f : (alpha < 0 ? 0.0f : alpha), std::memory_order_relaxed);
}

void ImageInterpreter::SetSendNotesToSynth(bool on) {
  bool stop = false;
  {
    BAutolock hold(fLock);
    if (on) {
      if (fSynth) fRhythm->Connect(fSynth);
      fRhythm->Start();
    } else {
      stop = !fSendNotesToMidiPort;
      if (fSynth) fRhythm->Disconnect(fSynth);
    }
    fSendNotesToSynth = on;
  }
  if (stop) StopRhythm();
}

void ImageInterpreter::SetSendNotesToMidiPort(bool on) {
  bool stop = false;
  {
    BAutolock hold(fLock);
    if (on) {
      fRhythm->Connect(&fMidiPort);
      fRhythm->Start();
    } else {
      stop = !fSendNotesToSynth;
      // Once disconnected the rhythm reaches the port no more, so this is the last word.
      fRhythm->Disconnect(&fMidiPort);
      fMidiPort.AllNotesOff(true, MidiNow());
    }
    fSendNotesToMidiPort = on;
  }
  if (stop) StopRhythm();
}

void ImageInterpreter::StopRhythm() {
  // Not under fLock: the rhythm takes it to read the position, and Stop waits for the
  // thread to end.
  fRhythm->Stop();
  BAutolock hold(fLock);
  // A notes output switched on meanwhile wants it running.
  if (fSendNotesToMidiPort || fSendNotesToSynth) fRhythm->Start();
}

void ImageInterpreter::SetSendToKDX(bool on) {
  BAutolock hold(fLock);
  fSendToKDX = on;
}

void ImageInterpreter::SetKDXBussId(int bussId) {
  BAutolock hold(fLock);
  fKDXBussId = bussId;
}

namespace {
void CopySignature(const std::string& signature, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return;
  const size_t length = std::min(signature.size(), size - 1);
  std::memcpy(buffer, signature.data(), length);
  buffer[length] = '\0';
}
}  // namespace

void ImageInterpreter::SetDestinationAppSignature(const char* signature) {
  BAutolock hold(fLock);
  fDestinationAppSignature = signature ? signature : "";
}

void ImageInterpreter::GetDestinationAppSignature(char* buffer, size_t size) {
  BAutolock hold(fLock);
  CopySignature(fDestinationAppSignature, buffer, size);
}

void ImageInterpreter::SetBMessageCommand(uint32 what) {
  BAutolock hold(fLock);
  fBMessageCommand = what;
}

uint32 ImageInterpreter::GetBMessageCommand() {
  BAutolock hold(fLock);
  return fBMessageCommand;
}

void ImageInterpreter::SetMatchedAppSignature(const char* signature) {
  BAutolock hold(fLock);
  fMatchedAppSignature = signature ? signature : "";
}

void ImageInterpreter::GetMatchedAppSignature(char* buffer, size_t size) {
  BAutolock hold(fLock);
  CopySignature(fMatchedAppSignature, buffer, size);
}

void ImageInterpreter::SetMatchedBMessageCommand(uint32 what) {
  BAutolock hold(fLock);
  fMatchedBMessageCommand = what;
}

uint32 ImageInterpreter::GetMatchedBMessageCommand() {
  BAutolock hold(fLock);
  return fMatchedBMessageCommand;
}

BMessenger* ImageInterpreter::ConnectTarget(const std::string& signature) {
  BMessenger* messenger = new BMessenger(signature.c_str());
  if (messenger->IsValid()) return messenger;
  be_roster->Launch(signature.c_str());
  snooze(2500000);
  delete messenger;
  messenger = new BMessenger(signature.c_str());
  if (!messenger->IsValid()) {
    const std::string text = "Problem launching target app with signature = \n" + signature +
                             "\nStart it manually, then try the checkbox again.";
    (new BAlert("", text.c_str(), "uh, ok.", nullptr, nullptr, B_WIDTH_AS_USUAL, B_INFO_ALERT))
        ->Go();
  }
  return messenger;
}

void ImageInterpreter::SetSendBMessages(bool on) {
  BAutolock hold(fLock);
  // Switching on again replaces the messenger, so the receiver is looked up afresh.
  delete fDestinationMessenger;
  fDestinationMessenger = nullptr;
  if (on) {
    fDestinationMessenger = ConnectTarget(fDestinationAppSignature);
    if (fDestinationAppSignature == kSpeakerReceiverSignature) {
      for (int32 speaker = 0; speaker < kSpeakerCount; speaker++) {
        BMessage* message = MakeSpeakerMessage(speaker);
        fDestinationMessenger->SendMessage(message, nullptr, B_INFINITE_TIMEOUT);
        delete message;
      }
    }
  }
  fSendBMessages = on;
}

void ImageInterpreter::SetSendMatchedAsBMessages(bool on) {
  BAutolock hold(fLock);
  delete fMatchedMessenger;
  fMatchedMessenger = nullptr;
  if (on) fMatchedMessenger = ConnectTarget(fMatchedAppSignature);
  fSendMatchedAsBMessages = on;
}

void ImageInterpreter::SetSendMatchedAsNotesToSynth(bool on) {
  BAutolock hold(fLock);
  fSendMatchedAsNotesToSynth = on;
}

void ImageInterpreter::SetSendMatchedAsNotesToMidiPort(bool on) {
  BAutolock hold(fLock);
  fSendMatchedAsNotesToMidiPort = on;
}

void ImageInterpreter::SetSendMatchedAsModwheelToMidiPort(bool on) {
  BAutolock hold(fLock);
  fSendMatchedAsModwheelToMidiPort = on;
}

void ImageInterpreter::SetMidiPort(const char* name) {
  const char* device = name ? name : "";
  status_t status;
  {
    BAutolock hold(fLock);
    fMidiPort.Stop();
    fMidiPort.Close();
    status = fMidiPort.Open(device);
  }
  // Shown without fLock, so that frames go on while the alert waits.
  if (status != B_OK) CantOpen(device, "sigh");
}

void ImageInterpreter::SetSmoothInputImages(bool on) {
  BAutolock hold(fLock);
  fSmoothInputImages = on;
}

void ImageInterpreter::SetBlendInputImages(bool on) {
  BAutolock hold(fLock);
  fBlendInputImages = on;
}

void ImageInterpreter::SetTemporalBlendingAmount(float amount) {
  BAutolock hold(fLock);
  fTemporalBlendingAmount.store(amount, std::memory_order_relaxed);
}

void ImageInterpreter::SetLCSSerialPort(const char* name) {
  if (name == nullptr) name = "";
  bool opened;
  {
    BAutolock hold(fLock);
    opened = OpenLCSPort(name);
  }
  // Not under fLock: the alert waits for the user, and frames must not wait with it.
  if (!opened) CantOpen(name, "sigh");
}

void ImageInterpreter::SetLCSSendPosition(bool on) {
  BAutolock hold(fLock);
  fLCSSendPosition = on;
  WriteLCS(bus1msg, kBus1MessageSize);
}

void ImageInterpreter::SetLCSZMapping(long mapping) {
  BAutolock hold(fLock);
  fLCSZMapping = int32(mapping);
}

int64 ImageInterpreter::CountLCSDroppedMessages() {
  BAutolock hold(fLock);
  return fLCSPort.DroppedWrites();
}

int32 ImageInterpreter::LastMatched() {
  BAutolock hold(fMatcherLock);
  return fLastMatched;
}

int32 ImageInterpreter::LastKeyFrame() {
  BAutolock hold(fKeyFrameLock);
  return fLastKeyFrame;
}

int32 ImageInterpreter::CountExamples() {
  BAutolock hold(fMatcherLock);
  return fMatcher->CountExamples();
}

int32 ImageInterpreter::CountKeyFrames() {
  BAutolock hold(fKeyFrameLock);
  return fInterpolator->NumKeyFrames();
}

// The outputs. Each runs in the frame thread with fLock held.

// Matched notes run from 32 to 127 and repeat every 96 examples; they are never ended.
void ImageInterpreter::SendMatchedNoteToSynth(int32 match) {
  if (fSynth) fSynth->NoteOn(1, uchar(match % 96 + 32), 64, MidiNow());
}

void ImageInterpreter::SendMatchedNoteToMidiPort(int32 match) {
  fMidiPort.NoteOn(1, uchar(match % 96 + 32), 64, MidiNow());
}

void ImageInterpreter::SendMatchedModwheelToMidiPort(int32 match) {
  fMidiPort.ControlChange(1, 1, uchar(match % 128), MidiNow());
}

void ImageInterpreter::SendMatchedMessage(int32 match) {
  if (fMatchedMessenger == nullptr) return;
  BMessage* message = MakeMatchedMessage(fMatchedBMessageCommand, match);
  fMatchedMessenger->SendMessage(message, nullptr, B_INFINITE_TIMEOUT);
  delete message;
}

void ImageInterpreter::SendPositionMessage() {
  if (fDestinationMessenger == nullptr) return;
  BMessage* message = MakePositionMessage(fBMessageCommand, fCurrentValues);
  fDestinationMessenger->SendMessage(message, nullptr, B_INFINITE_TIMEOUT);
  delete message;
}

// x, y and z on channels 3, 4 and 5, the buss id's low byte as the note, a millisecond apart.
void ImageInterpreter::SendPositionKeyPressure() {
  float values[3];
  GetCurrentValues(values);
  const uchar note = uchar(fKDXBussId & 0xFF);
  const uint32 now = MidiNow();
  for (int i = 0; i < 3; i++)
    fMidiPort.KeyPressure(uchar(3 + i), note, PositionPressure(values[i]), now + uint32(i));
}

void ImageInterpreter::WriteLCSPosition() {
  float values[3];
  GetCurrentValues(values);
  uint8 message[kLCSPositionMessageSize];
  MakeLCSPositionMessage(values, fLCSZMapping, message);
  WriteLCS(message, sizeof(message));
}

bool ImageInterpreter::OpenLCSPort(const char* name) {
  // A new choice replaces the line in use; keeping both would leak a descriptor per choice.
  fLCSPort.Close();
  fLCSPortOpen = name[0] != '\0' && fLCSPort.Open(name) > 0;
  if (!fLCSPortOpen) return false;
  fLCSPort.SetDataRate(B_38400_BPS);
  fLCSPort.SetFlowControl(B_HARDWARE_CONTROL);
  fLCSPort.SetWriteTimeout(kLCSWriteTimeout);
  fLCSPortName = name;
  fLCSStalled = false;
  WriteLCS(bus1msg, kBus1MessageSize);
  return true;
}

void ImageInterpreter::WriteLCS(const uint8* message, size_t size) {
  if (!fLCSPort.IsOpen()) return;  // the message goes nowhere, as on an unconnected line
  const bool sent = fLCSPort.Write(message, size) == ssize_t(size);
  if (!sent && !fLCSStalled)
    std::fprintf(stderr, "LCS line %s is not taking data; its messages are dropped\n", fLCSPortName.c_str());
  fLCSStalled = !sent;
}
