#include "app/Zanvel.h"

#include <cstdio>
#include <cstring>

#include "app/AppDefs.h"
#include "app/CommandText.h"
#include "app/Sizes.h"
#include "app/SessionKeeper.h"
#include "app/ZanvelWindows.h"
#include "capture/VideoConsumer.h"
#include "interface/Alert.h"
#include "interpreter/ImageInterpreter.h"
#include "media/MediaRoster.h"
#include "media/TimeSource.h"
#include "support/Time.h"

namespace {

// Posted by the session ticker to the application itself.
constexpr uint32 kSessionTick = FourCC("_SES");
// Autosaves of a changed session come at most this often.
constexpr bigtime_t kAutosavePeriod = 60000000;

constexpr const char kAboutText[] =
    "Zanvel 0.1.0\n"
    "by the Zanvel project developers\n"
    "https://zanvel.example.org";

// Prints why a command was not applied; commands come from other programs too, so a
// malformed one must say what it lacked.
void Refuse(uint32 code, const char* why) {
  std::fprintf(stderr, "Zanvel: command '%s' ignored: %s\n", CommandCodeText(code).c_str(), why);
}

}  // namespace

Zanvel::Zanvel(ZanvelWindows* windows, const ZanvelSettings& settings)
    : BApplication(settings.signature.c_str()),
      fColorSpace(B_RGB32),
      fMediaRoster(nullptr),
      fTimeSourceNode(media_node::null),
      fProducerNode(media_node::null),
      fVideoConsumer(nullptr),
      fVideoView(nullptr),
      fWindows(windows),
      fSession(fTuning, B_RGB32),
      fStartSession(settings.session),
      fAutosaves(settings.autosave) {
  int choice = settings.sizeChoice;
  if (choice < 0 || choice >= kSizeChoiceCount) {
    choice = (new BAlert("Select Resolution", "ZANVEL\nChoose a size for video capture and analysis.",
                         kSizeChoices[0].label, kSizeChoices[1].label, kSizeChoices[2].label,
                         B_WIDTH_AS_USUAL, B_INFO_ALERT))
                 ->Go();
  }
  SetAnalysisSize(choice);
  fColorSpace = B_RGB32;
}

Zanvel::~Zanvel() {
  StopSessionTicks();
  std::printf("Zanvel::~Zanvel\n");
  if (fVideoConsumer != nullptr) {
    fVideoConsumer->Release();
    fVideoConsumer = nullptr;
  }
  // No frame reaches the interpreter any more: its destruction silences the MIDI port,
  // closes the devices and stops the outputs' workers, in its own order.
  if (fInterpreter != nullptr && interpreter == fInterpreter) {
    delete interpreter;
    interpreter = nullptr;
  }
  fInterpreter = nullptr;
  std::printf("Zanvel::~Zanvel - EXIT\n");
  std::fflush(stdout);
}

void Zanvel::ReadyToRun() {
  const float x = float(WINDOW_SIZE_X);
  const float y = float(WINDOW_SIZE_Y);
  fWindows->ShowSplash(BRect(10, 300, 629, 355), waitString);
  fVideoView = fWindows->OpenVideoWindow(BRect(28, 28, x + 27, y + 27), "Zanvel");
  ControlViews views = fWindows->OpenControlWindow(BRect(x + 47, 28, x + 247, y + 27));
  fWindows->ActivateSplash();

  interpreter = fInterpreter = new ImageInterpreter(views.histo, views.keyframe, views.matched, fColorSpace);

  status_t status = SetUpNodes();
  if (status != B_OK)
    ErrorAlert("Error setting up nodes", status);
  else
    fWindows->CloseSplash();

  fSession.Start(*fInterpreter);
  fLastAutosave = system_time();
  if (!fStartSession.empty())
    LoadSession(fStartSession == "last" ? SessionKeeper::AutosavePath() : fStartSession);
  StartSessionTicks();
  SessionTick();
}

bool Zanvel::QuitRequested() {
  if (!AskBeforeQuit())
    return false;
  StopSessionTicks();
  TearDownNodes();
  snooze(100000);
  // Nothing the user made is lost, however the program is asked to quit.
  Autosave();
  return true;
}

bool Zanvel::AskBeforeQuit() {
  const BMessage* message = CurrentMessage();
  bool ask = false;
  if (interpreter == nullptr || message == nullptr || message->FindBool("ask", &ask) != B_OK || !ask ||
      !fSession.Changed(*interpreter))
    return true;
  const std::string text = "Save the changes to the session \"" + fSession.Name() + "\" before quitting?";
  const int32 choice =
      (new BAlert("Unsaved Changes", text.c_str(), "Cancel", "Discard", "Save", B_WIDTH_AS_USUAL, B_WARNING_ALERT))
          ->Go();
  if (choice == 1)
    return true;
  if (choice != 2)
    return false;
  std::string path = fSession.Path();
  if (path.empty())
    path = fWindows->AskSessionPath();
  return !path.empty() && SaveSessionTo(path);
}

void Zanvel::SaveSession(const BMessage* message) {
  std::string path;
  if (message->HasField("path") && message->FindString("path", &path) != B_OK) {
    Refuse(message->what, "\"path\" must be a string");
    return;
  }
  if (path.empty())
    path = fSession.Path();
  if (path.empty()) {
    Refuse(message->what, "no \"path\" and no session file yet");
    return;
  }
  SaveSessionTo(path);
}

bool Zanvel::SaveSessionTo(const std::string& path) {
  // An example or key frame asked for just before belongs in the file; the next frame takes
  // it. Without frames (video stopped) the save goes on without it.
  for (int i = 0; i < 100 && interpreter->TrainingRequestPending() && fVideoConsumer != nullptr; i++)
    snooze(10000);
  std::string why;
  if (!fSession.Save(*interpreter, path, &why)) {
    std::fprintf(stderr, "Zanvel: session not saved to \"%s\": %s\n", path.c_str(), why.c_str());
    return false;
  }
  std::fprintf(stderr, "Zanvel: session saved to \"%s\" (%d examples, %d key frames)\n", path.c_str(),
               int(interpreter->CountExamples()), int(interpreter->CountKeyFrames()));
  SessionTick();
  return true;
}

void Zanvel::LoadSession(const std::string& path) {
  std::string why;
  if (!fSession.Load(*interpreter, path, &why)) {
    std::fprintf(stderr, "Zanvel: session \"%s\" not loaded: %s\n", path.c_str(), why.c_str());
    return;
  }
  std::fprintf(stderr, "Zanvel: session \"%s\" loaded (%d examples, %d key frames)\n", path.c_str(),
               int(interpreter->CountExamples()), int(interpreter->CountKeyFrames()));
  if (fSession.LoadedWidth() != ANALYSIS_WIDTH || fSession.LoadedHeight() != ANALYSIS_HEIGHT)
    std::fprintf(stderr, "Zanvel: the session was trained at %dx%d; analysing at %dx%d\n",
                 int(fSession.LoadedWidth()), int(fSession.LoadedHeight()), int(ANALYSIS_WIDTH),
                 int(ANALYSIS_HEIGHT));
  fWindows->ShowSettings(fSession.Settings(*interpreter));
  SessionTick();
}

void Zanvel::Autosave() {
  if (interpreter == nullptr || !fAutosaves)
    return;
  std::string why;
  if (!fSession.Autosave(*interpreter, &why))
    std::fprintf(stderr, "Zanvel: autosave to \"%s\" failed: %s\n", SessionKeeper::AutosavePath().c_str(),
                 why.c_str());
  fLastAutosave = system_time();
}

void Zanvel::SessionTick() {
  if (interpreter == nullptr)
    return;
  NearRepeat repeat;
  if (interpreter->TakeNearRepeat(&repeat)) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "Key frame %d looks almost like key frame %d (they differ by %.1f%%) but has other "
                  "values: the position will jump between them on that pose.",
                  int(repeat.added + 1), int(repeat.like + 1), double(repeat.relative) * 100.0);
    std::fprintf(stderr, "Zanvel: %s\n", text);
    fWindows->ShowNotice("Similar Key Frames", text);
  }
  const bool changed = fSession.Changed(*interpreter);
  const std::string name = fSession.Path();
  if (name != fShownTitle || changed != fShownChanged) {
    fShownTitle = name;
    fShownChanged = changed;
    fWindows->ShowSession(fSession.Name().c_str(), fSession.Path().c_str(), changed);
  }
  if (system_time() - fLastAutosave >= kAutosavePeriod)
    Autosave();
}

void Zanvel::StartSessionTicks() {
  if (fTicks.joinable())
    return;
  fTicks = std::thread([this] {
    std::unique_lock<std::mutex> hold(fTickLock);
    while (!fTickWake.wait_for(hold, std::chrono::seconds(1), [this] { return fTicksStop; })) {
      hold.unlock();
      PostMessage(kSessionTick);
      hold.lock();
    }
  });
}

void Zanvel::StopSessionTicks() {
  {
    std::lock_guard<std::mutex> hold(fTickLock);
    fTicksStop = true;
  }
  fTickWake.notify_all();
  if (fTicks.joinable())
    fTicks.join();
}

void Zanvel::ShowSetTargetAppWindow(bool matched) {
  fWindows->OpenSetTargetAppWindow(BRect(100, 100, 400, 200), interpreter, matched);
}

bool Zanvel::ControlState(const BMessage* message, bool* on) const {
  // A control's state travels in "source": a bool, or an int32 that counts as on when
  // non-zero (the form every sender, OSC included, can produce).
  if (!message->HasField("source")) {
    Refuse(message->what, "no \"source\" (the check box state)");
    return false;
  }
  bool flag = false;
  int32 value = 0;
  if (message->FindBool("source", &flag) == B_OK) {
    *on = flag;
    return true;
  }
  if (message->FindInt32("source", &value) == B_OK) {
    *on = value != 0;
    return true;
  }
  Refuse(message->what, "\"source\" must be a bool or an int32");
  return false;
}

bool Zanvel::ControlText(const BMessage* message, std::string* text) const {
  if (!message->HasField("source")) {
    Refuse(message->what, "no \"source\" (the field's text)");
    return false;
  }
  if (message->FindString("source", text) != B_OK) {
    Refuse(message->what, "\"source\" must be a string");
    return false;
  }
  return true;
}

void Zanvel::MessageReceived(BMessage* message) {
  const uint32 code = message->what;
  if (interpreter == nullptr) {
    // Commands can arrive from other programs before start-up has built the interpreter.
    switch (code) {
      case FourCC("abut"):
        ShowAbout();
        return;
      default:
        if (code != B_QUIT_REQUESTED && code != B_READY_TO_RUN)
          Refuse(code, "Zanvel is still starting");
        BApplication::MessageReceived(message);
        return;
    }
  }

  bool on = false;
  std::string text;
  int32 index = 0;
  switch (code) {
    case FourCC("abut"):
      ShowAbout();
      break;
    case FourCC("save"):
      SaveSession(message);
      break;
    case FourCC("load"): {
      if (message->FindString("path", &text) != B_OK || text.empty()) {
        Refuse(code, message->HasField("path") ? "\"path\" must be a non-empty string"
                                               : "no \"path\" (the session file)");
        break;
      }
      LoadSession(text);
      break;
    }
    case kSessionTick:
      SessionTick();
      break;
    case FourCC("addi"):
      interpreter->SaveNextImageToMatcher();
      break;
    case FourCC("addk"):
      interpreter->SaveNextImageAsKeyframe();
      break;
    case FourCC("bkdx"): {
      status_t status = message->FindInt32("index", &index);
      if (status != B_OK) {
        Refuse(code, message->HasField("index") ? "\"index\" must be an int32"
                                                : "no \"index\" (the buss entry, 0 to 15)");
        break;
      }
      // Buss ids become MIDI note numbers: only the sixteen entries of the pop-up exist.
      if (index < 0 || index > 15) {
        Refuse(code, "\"index\" must be 0 to 15 (busses 1 to 16)");
        break;
      }
      interpreter->SetKDXBussId(index + 1);
      break;
    }
    case FourCC("blii"):
      if (ControlState(message, &on))
        interpreter->SetBlendInputImages(on);
      break;
    case FourCC("cl2k"):
    case FourCC("clkf"):
      interpreter->ClearKeyframes();
      break;
    case FourCC("clma"):
      interpreter->ClearMatcher();
      break;
    case FourCC("lcsp"):
    case FourCC("port"): {
      if (message->FindString("port", &text) != B_OK) {
        Refuse(code, message->HasField("port") ? "\"port\" must be a string"
                                               : "no \"port\" (the device name)");
        break;
      }
      if (code == FourCC("port"))
        interpreter->SetMidiPort(text.c_str());
      else
        interpreter->SetLCSSerialPort(text.c_str());
      break;
    }
    case FourCC("lcss"):
      if (ControlState(message, &on))
        interpreter->SetLCSSendPosition(on);
      break;
    case FourCC("lcsz"): {
      // Without an index the mapping goes back to the first entry, "pan".
      if (message->HasField("index") && message->FindInt32("index", &index) != B_OK) {
        Refuse(code, "\"index\" must be an int32");
        break;
      }
      if (index < 0 || index > 2) {
        Refuse(code, "\"index\" must be 0 (pan), 1 (divergence) or 2 (level)");
        break;
      }
      interpreter->SetLCSZMapping(index);
      break;
    }
    case FourCC("mm2m"):
      if (ControlState(message, &on))
        interpreter->SetSendMatchedAsModwheelToMidiPort(on);
      break;
    case FourCC("mn2m"):
      if (ControlState(message, &on))
        interpreter->SetSendMatchedAsNotesToMidiPort(on);
      break;
    case FourCC("mn2s"):
      if (ControlState(message, &on))
        interpreter->SetSendMatchedAsNotesToSynth(on);
      break;
    case FourCC("mtta"):
      if (ControlState(message, &on))
        interpreter->SetSendMatchedAsBMessages(on);
      break;
    case FourCC("ntom"):
      if (ControlState(message, &on))
        interpreter->SetSendNotesToMidiPort(on);
      break;
    case FourCC("ntos"):
      if (ControlState(message, &on))
        interpreter->SetSendNotesToSynth(on);
      break;
    case FourCC("pkdx"):
      if (ControlState(message, &on))
        interpreter->SetSendToKDX(on);
      break;
    case FourCC("ptta"):
      if (ControlState(message, &on))
        interpreter->SetSendBMessages(on);
      break;
    case FourCC("smac"):
      if (ControlText(message, &text))
        interpreter->SetMatchedBMessageCommand(PackCommandCode(text.c_str()));
      break;
    case FourCC("stac"):
      if (ControlText(message, &text))
        interpreter->SetBMessageCommand(PackCommandCode(text.c_str()));
      break;
    case FourCC("smas"):
    case FourCC("stas"):
      if (ControlText(message, &text)) {
        if (code == FourCC("smas"))
          interpreter->SetMatchedAppSignature(text.c_str());
        else
          interpreter->SetDestinationAppSignature(text.c_str());
      }
      break;
    case FourCC("smap"):
      ShowSetTargetAppWindow(true);
      break;
    case FourCC("stap"):
      ShowSetTargetAppWindow(false);
      break;
    case FourCC("smii"):
      if (ControlState(message, &on))
        interpreter->SetSmoothInputImages(on);
      break;
    case FourCC("smoo"):
      if (ControlState(message, &on))
        interpreter->SetSmoothing(on);
      break;
    case FourCC("stop"):
      StopProducer();
      break;
    case FourCC("strt"):
      StartProducer();
      break;
    case FourCC("vdeo"):
      OpenVideoPreferences();
      break;
    default:
      BApplication::MessageReceived(message);
      break;
  }
}

void Zanvel::ShowAbout() {
  (new BAlert("About Zanvel", kAboutText, "wow", nullptr, nullptr, B_WIDTH_AS_USUAL, B_INFO_ALERT))->Go();
}

void Zanvel::OpenVideoPreferences() {
  if (fMediaRoster == nullptr || fProducerNode == media_node::null)
    return;
  fWindows->OpenVideoPreferences(fProducerNode, float(WINDOW_SIZE_X + 56), 28);
}
