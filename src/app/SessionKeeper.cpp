#include "app/SessionKeeper.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "analysis/GrayscaleImage.h"
#include "analysis/MultiInterpolator.h"
#include "analysis/RGBAImage.h"
#include "app/Sizes.h"
#include "capture/Tuning.h"
#include "interpreter/ImageInterpreter.h"
#include "session/SessionFile.h"

namespace {

SessionPicture PictureOf(const Image& image) {
  SessionPicture picture;
  picture.width = image.width;
  picture.height = image.height;
  const auto* rows = static_cast<const uint8_t*>(image.pixels);
  if (rows == nullptr || image.width <= 0 || image.height <= 0) {
    picture.width = picture.height = 0;
    return picture;
  }
  picture.kind = image.bitsPerPixel == 8 ? SessionPicture::kGray : SessionPicture::kColor;
  const size_t rowBytes = size_t(image.width) * picture.BytesPerPixel();
  picture.pixels.resize(rowBytes * size_t(image.height));
  for (int32 y = 0; y < image.height; y++)
    std::memcpy(&picture.pixels[rowBytes * size_t(y)], rows + size_t(y) * size_t(image.bytesPerRow), rowBytes);
  if (picture.kind == SessionPicture::kColor)
    for (size_t i = 3; i < picture.pixels.size(); i += 4) picture.pixels[i] = 0;
  return picture;
}

// An image of the analysis's colour space owning a copy of the picture's pixels.
Image* ImageOf(const SessionPicture& picture, color_space colorSpace) {
  const size_t count = size_t(picture.width) * size_t(picture.height);
  const uint8_t* in = picture.pixels.data();
  if (colorSpace == B_GRAY8) {
    auto* out = static_cast<uint8_t*>(std::malloc(count));
    if (out == nullptr) return nullptr;
    for (size_t i = 0; i < count; i++)
      out[i] = picture.kind == SessionPicture::kGray
                   ? in[i]
                   : uint8_t((30 * in[4 * i + 2] + 59 * in[4 * i + 1] + 11 * in[4 * i] + 50) / 100);
    return new GrayscaleImage(out, picture.width, picture.height, picture.width);
  }
  auto* out = static_cast<uint8_t*>(std::malloc(count * 4));
  if (out == nullptr) return nullptr;
  if (picture.kind == SessionPicture::kColor) {
    std::memcpy(out, in, count * 4);
  } else {
    for (size_t i = 0; i < count; i++) {
      out[4 * i] = out[4 * i + 1] = out[4 * i + 2] = in[i];
      out[4 * i + 3] = 0;
    }
  }
  return new RGBAImage(out, picture.width, picture.height, picture.width * 4);
}

std::vector<float> BinsOf(const OrientationHistogram& histogram) {
  return std::vector<float>(histogram.bins, histogram.bins + histogram.numBins);
}

// Makes the folder and the ones above it, for the user only.
bool MakeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1); ; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

}  // namespace

SessionKeeper::SessionKeeper(Tuning& tuning, color_space colorSpace) : fTuning(tuning), fColorSpace(colorSpace) {}

void SessionKeeper::Start(ImageInterpreter& interpreter) { fSaved = fAutosaved = Current(interpreter); }

std::string SessionKeeper::AutosavePath() {
  std::string folder;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/')
    folder = state;
  else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
    folder = std::string(home) + "/.local/state";
  else
    return "";
  return folder + "/zanvel/last.zanvel";
}

std::string SessionKeeper::Name() const {
  if (fPath.empty()) return "Untitled";
  std::string name = fPath.substr(fPath.rfind('/') + 1);
  const std::string extension = ".zanvel";
  if (name.size() > extension.size() && name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
    name.resize(name.size() - extension.size());
  return name;
}

SessionSettings SessionKeeper::CaptureSettings(ImageInterpreter& in) const {
  SessionSettings s;
  s.smoothingAmount = fTuning.fSmoothingAlpha.load(std::memory_order_relaxed);
  s.edgeContrastThreshold = fTuning.fContrastThreshold.load(std::memory_order_relaxed);
  s.temporalBlending = fTuning.fTemporalBlending.load(std::memory_order_relaxed);
  s.smoothInputImages = in.SmoothInputImages();
  s.blendInputImages = in.BlendInputImages();
  s.smoothOutput = in.Smoothing();
  char signature[256];
  in.GetDestinationAppSignature(signature, sizeof signature);
  s.position = {in.SendBMessages(), signature, in.GetBMessageCommand()};
  in.GetMatchedAppSignature(signature, sizeof signature);
  s.matched = {in.SendMatchedAsBMessages(), signature, in.GetMatchedBMessageCommand()};
  s.midiPort = in.ChosenMidiPort();
  s.matchedNoteToMidi = in.SendMatchedAsNotesToMidiPort();
  s.matchedModwheelToMidi = in.SendMatchedAsModwheelToMidiPort();
  s.matchedNoteToSynth = in.SendMatchedAsNotesToSynth();
  s.notesToMidi = in.SendNotesToMidiPort();
  s.notesToSynth = in.SendNotesToSynth();
  s.positionToMidi = in.SendToKDX();
  s.buss = in.KDXBussId();
  s.lcsDevice = in.ChosenLCSSerialPort();
  s.positionToLcs = in.LCSSendPosition();
  s.lcsZMapping = in.LCSZMapping();
  return s;
}

SessionKeeper::Mark SessionKeeper::Current(ImageInterpreter& interpreter) const {
  return {CaptureSettings(interpreter), interpreter.CountTrainingChanges()};
}

Session SessionKeeper::Capture(ImageInterpreter& interpreter) const {
  Session session;
  session.settings = CaptureSettings(interpreter);
  session.analysisWidth = fWidth;
  session.analysisHeight = fHeight;
  session.numBins = interpreter.NumBins();
  session.contrastThreshold = session.settings.edgeContrastThreshold;
  interpreter.VisitTraining(
      [&](const Image& image, const OrientationHistogram& histogram) {
        session.examples.push_back({PictureOf(image), BinsOf(histogram)});
      },
      [&](const KeyFrame& keyFrame) {
        SessionKeyFrame k;
        k.picture = PictureOf(*keyFrame.image);
        k.histogram = BinsOf(*keyFrame.histogram);
        for (int i = 0; i < 3 && i < keyFrame.numValues; i++) k.values[i] = keyFrame.values[i];
        k.name = keyFrame.name;
        session.keyFrames.push_back(std::move(k));
      });
  return session;
}

bool SessionKeeper::Save(ImageInterpreter& interpreter, const std::string& path, std::string* why) {
  const Mark mark = Current(interpreter);
  if (!SaveSessionFile(path, Capture(interpreter), why)) return false;
  fPath = path;
  fSaved = mark;
  return true;
}

bool SessionKeeper::Autosave(ImageInterpreter& interpreter, std::string* why) {
  const Mark mark = Current(interpreter);
  if (mark == fAutosaved) return true;
  const std::string path = AutosavePath();
  if (path.empty()) {
    *why = "neither XDG_STATE_HOME nor HOME is set";
    return false;
  }
  if (!MakeFolders(path.substr(0, path.rfind('/')))) {
    *why = std::string("cannot make its folder: ") + std::strerror(errno);
    return false;
  }
  if (!SaveSessionFile(path, Capture(interpreter), why)) return false;
  fAutosaved = mark;
  return true;
}

bool SessionKeeper::Changed(ImageInterpreter& interpreter) const { return !(Current(interpreter) == fSaved); }

bool SessionKeeper::Load(ImageInterpreter& interpreter, const std::string& path, std::string* why) {
  Session session;
  if (!LoadSessionFile(path, &session, why)) return false;

  // Everything is checked; build the new sets before anything changes.
  const float threshold = session.contrastThreshold;
  auto examples = std::make_unique<TrainingSet>(threshold, session.numBins);
  auto keyFrames = std::make_unique<MultiInterpolator>(threshold, session.numBins, 3, 1.0f);
  for (const SessionExample& e : session.examples) {
    Image* image = ImageOf(e.picture, fColorSpace);
    if (image == nullptr) {
      *why = "not enough memory for its pictures";
      return false;
    }
    examples->Add(image, new OrientationHistogram(e.histogram.data(), session.numBins));
  }
  for (const SessionKeyFrame& k : session.keyFrames) {
    Image* image = ImageOf(k.picture, fColorSpace);
    if (image == nullptr) {
      *why = "not enough memory for its pictures";
      return false;
    }
    auto* keyFrame = new KeyFrame(image, new OrientationHistogram(k.histogram.data(), session.numBins), k.values,
                                  3, k.name);
    keyFrames->AddSavedKeyFrame(keyFrame, new OrientationHistogram(k.histogram.data(), session.numBins));
  }

  interpreter.ReplaceTraining(examples.release(), keyFrames.release());
  ApplySettings(interpreter, session.settings);
  fPath = path;
  fLoadedWidth = session.analysisWidth;
  fLoadedHeight = session.analysisHeight;
  fSaved = Current(interpreter);
  return true;
}

void SessionKeeper::ApplySettings(ImageInterpreter& in, const SessionSettings& s) {
  const SessionSettings now = CaptureSettings(in);
  fTuning.fSmoothingAlpha.store(s.smoothingAmount, std::memory_order_relaxed);
  fTuning.fContrastThreshold.store(s.edgeContrastThreshold, std::memory_order_relaxed);
  fTuning.fTemporalBlending.store(s.temporalBlending, std::memory_order_relaxed);
  if (s.smoothInputImages != now.smoothInputImages) in.SetSmoothInputImages(s.smoothInputImages);
  if (s.blendInputImages != now.blendInputImages) in.SetBlendInputImages(s.blendInputImages);
  if (s.smoothOutput != now.smoothOutput) in.SetSmoothing(s.smoothOutput);

  // Where messages go before the outputs that send them; a target that moved is looked up
  // afresh by switching its output on again.
  if (s.position.code != now.position.code) in.SetBMessageCommand(s.position.code);
  if (s.position.signature != now.position.signature) in.SetDestinationAppSignature(s.position.signature.c_str());
  if (s.position.on != now.position.on || (s.position.on && s.position.signature != now.position.signature))
    in.SetSendBMessages(s.position.on);
  if (s.matched.code != now.matched.code) in.SetMatchedBMessageCommand(s.matched.code);
  if (s.matched.signature != now.matched.signature) in.SetMatchedAppSignature(s.matched.signature.c_str());
  if (s.matched.on != now.matched.on || (s.matched.on && s.matched.signature != now.matched.signature))
    in.SetSendMatchedAsBMessages(s.matched.on);

  // A device that is not there says so as a choice from the menu would; the rest goes on.
  if (s.midiPort != now.midiPort) in.SetMidiPort(s.midiPort.c_str());
  if (s.buss != now.buss) in.SetKDXBussId(s.buss);
  if (s.matchedNoteToMidi != now.matchedNoteToMidi) in.SetSendMatchedAsNotesToMidiPort(s.matchedNoteToMidi);
  if (s.matchedModwheelToMidi != now.matchedModwheelToMidi)
    in.SetSendMatchedAsModwheelToMidiPort(s.matchedModwheelToMidi);
  if (s.matchedNoteToSynth != now.matchedNoteToSynth) in.SetSendMatchedAsNotesToSynth(s.matchedNoteToSynth);
  if (s.notesToMidi != now.notesToMidi) in.SetSendNotesToMidiPort(s.notesToMidi);
  if (s.notesToSynth != now.notesToSynth) in.SetSendNotesToSynth(s.notesToSynth);
  if (s.positionToMidi != now.positionToMidi) in.SetSendToKDX(s.positionToMidi);

  if (s.lcsDevice != now.lcsDevice) in.SetLCSSerialPort(s.lcsDevice.c_str());
  if (s.lcsZMapping != now.lcsZMapping) in.SetLCSZMapping(s.lcsZMapping);
  if (s.positionToLcs != now.positionToLcs) in.SetLCSSendPosition(s.positionToLcs);
}
