#include "app/Zanvel.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

#include "platform/app/AppDefs.h"
#include "app/CommandText.h"
#include "platform/app/MessageText.h"
#include "app/Sizes.h"
#include "app/SessionKeeper.h"
#include "app/ZanvelWindows.h"
#include "capture/VideoConsumer.h"
#include "platform/interface/BAlert.h"
#include "platform/interface/AlertService.h"
#include "interpreter/ImageInterpreter.h"
#include "platform/media/BMediaRoster.h"
#include "platform/media/BTimeSource.h"
#include "platform/support/Time.h"
#include "Version.h"
#include "platform/support/Log.h"

namespace {

// Posted by the session ticker to the application itself.
constexpr uint32 kSessionTick = FourCC("_SES");
// Autosaves of a changed session come at most this often.
constexpr bigtime_t kAutosavePeriod = 60000000;

constexpr const char kAboutText[] =
    "Zanvel " ZANVEL_VERSION "\n"
    "by the Zanvel project developers\n"
    ZANVEL_DOCUMENTATION;

// Prints why a command was not applied; commands come from other programs too, so a
// malformed one must say what it lacked.
void Refuse(uint32 code, const char* why) {
  Log(LogLevel::kWarn, "Zanvel: command '%s' ignored: %s", CommandCodeText(code).c_str(), why);
}

// The commands whose value a control of the control window or a menu shows.
bool ShowsInControls(uint32 code) {
  switch (code) {
    case FourCC("bkdx"): case FourCC("blii"): case FourCC("lcsp"): case FourCC("port"):
    case FourCC("lcss"): case FourCC("lcsz"): case FourCC("mm2m"): case FourCC("mn2m"):
    case FourCC("mtta"): case FourCC("ntom"): case FourCC("pkdx"): case FourCC("ptta"):
    case FourCC("smii"): case FourCC("smoo"):
      return true;
    default:
      return false;
  }
}

}  // namespace

Zanvel::Zanvel(ZanvelWindows* windows, const ZanvelSettings& settings)
    : BApplication(settings.signature.c_str()),
      fColorSpace(B_RGB32),
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
  fSizes = SizesForChoice(choice);
  fSession.UseAnalysisSize(fSizes.analysisWidth, fSizes.analysisHeight);
  fColorSpace = B_RGB32;
}

Zanvel::~Zanvel() {
  StopSessionTicks();
  std::printf("Zanvel::~Zanvel\n");
  // A consumer that set-up made but could not register goes before the interpreter it knows.
  fGraph.ReleaseConsumer();
  // No frame reaches the interpreter any more: its destruction silences the MIDI port,
  // closes the devices and stops the outputs' workers, in its own order.
  if (fInterpreter != nullptr) {
    fWindows->Follow(nullptr);
    fInterpreter.reset();
  }
  std::printf("Zanvel::~Zanvel - EXIT\n");
  std::fflush(stdout);
}

void Zanvel::AdoptInterpreter(std::unique_ptr<ImageInterpreter> interpreter) {
  if (fInterpreter != nullptr)
    fWindows->Follow(nullptr);
  fInterpreter = std::move(interpreter);
  fWindows->Follow(fInterpreter.get());
}

void Zanvel::ReadyToRun() {
  const float x = float(fSizes.windowWidth);
  const float y = float(fSizes.windowHeight);
  fWindows->ShowSplash(BRect(10, 300, 629, 355), waitString);
  fVideoView = fWindows->OpenVideoWindow(BRect(28, 28, x + 27, y + 27), "Zanvel", fSizes);
  ControlViews views = fWindows->OpenControlWindow(BRect(x + 47, 28, x + 247, y + 27), fSizes);
  fWindows->ActivateSplash();

  AdoptInterpreter(std::make_unique<ImageInterpreter>(views.histo, views.keyframe, views.matched, fColorSpace));

  status_t status = SetUpNodes();
  fSetUpStatus = status;
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
  if (fInterpreter == nullptr || message == nullptr || message->FindBool("ask", &ask) != B_OK || !ask ||
      !fSession.Changed(*fInterpreter))
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
  for (int i = 0; i < 100 && fInterpreter->TrainingRequestPending() && fGraph.fVideoConsumer != nullptr; i++)
    snooze(10000);
  std::string why;
  if (!fSession.Save(*fInterpreter, path, &why)) {
    Log(LogLevel::kWarn, "Zanvel: session not saved to \"%s\": %s", path.c_str(), why.c_str());
    return false;
  }
  Log(LogLevel::kWarn, "Zanvel: session saved to \"%s\" (%d examples, %d key frames)", path.c_str(),
               int(fInterpreter->CountExamples()), int(fInterpreter->CountKeyFrames()));
  SessionTick();
  return true;
}

void Zanvel::LoadSession(const std::string& path) {
  std::string why;
  if (!fSession.Load(*fInterpreter, path, &why)) {
    Log(LogLevel::kWarn, "Zanvel: session \"%s\" not loaded: %s", path.c_str(), why.c_str());
    return;
  }
  Log(LogLevel::kWarn, "Zanvel: session \"%s\" loaded (%d examples, %d key frames)", path.c_str(),
               int(fInterpreter->CountExamples()), int(fInterpreter->CountKeyFrames()));
  if (fSession.LoadedWidth() != fSizes.analysisWidth || fSession.LoadedHeight() != fSizes.analysisHeight)
    Log(LogLevel::kWarn, "Zanvel: the session was trained at %dx%d; analysing at %dx%d",
                 int(fSession.LoadedWidth()), int(fSession.LoadedHeight()), int(fSizes.analysisWidth),
                 int(fSizes.analysisHeight));
  fWindows->ShowSettings(fSession.Settings(*fInterpreter));
  SessionTick();
}

void Zanvel::Autosave() {
  if (fInterpreter == nullptr || !fAutosaves)
    return;
  std::string why;
  if (!fSession.Autosave(*fInterpreter, &why))
    Log(LogLevel::kWarn, "Zanvel: autosave to \"%s\" failed: %s", SessionKeeper::AutosavePath().c_str(),
                 why.c_str());
  fLastAutosave = system_time();
}

void Zanvel::SessionTick() {
  if (fInterpreter == nullptr)
    return;
  NearRepeat repeat;
  if (fInterpreter->TakeNearRepeat(&repeat)) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "Key frame %d looks almost like key frame %d (they differ by %.1f%%) but has other "
                  "values: the position will jump between them on that pose.",
                  int(repeat.added + 1), int(repeat.like + 1), double(repeat.relative) * 100.0);
    Log(LogLevel::kWarn, "Zanvel: %s", text);
    fWindows->ShowNotice("Similar Key Frames", text);
  }
  const bool changed = fSession.Changed(*fInterpreter);
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
  fWindows->OpenSetTargetAppWindow(BRect(100, 100, 400, 200), fInterpreter.get(), matched);
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
  // Another program must not wait for a person: its commands' alerts never hold the queue.
  ScopedNoWaitAlerts noWait(message->IsSourceRemote());
  if (fInterpreter == nullptr) {
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
      fInterpreter->SaveNextImageToMatcher();
      break;
    case FourCC("addk"):
      fInterpreter->SaveNextImageAsKeyframe();
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
      fInterpreter->SetKDXBussId(index + 1);
      break;
    }
    case FourCC("blii"):
      if (ControlState(message, &on))
        fInterpreter->SetBlendInputImages(on);
      break;
    case FourCC("cl2k"):
    case FourCC("clkf"):
      fInterpreter->ClearKeyframes();
      break;
    case FourCC("clma"):
      fInterpreter->ClearMatcher();
      break;
    case FourCC("lcsp"):
    case FourCC("port"): {
      if (message->FindString("port", &text) != B_OK) {
        Refuse(code, message->HasField("port") ? "\"port\" must be a string"
                                               : "no \"port\" (the device name)");
        break;
      }
      if (code == FourCC("port"))
        fInterpreter->SetMidiPort(text.c_str());
      else
        fInterpreter->SetLCSSerialPort(text.c_str());
      break;
    }
    case FourCC("lcss"):
      if (ControlState(message, &on))
        fInterpreter->SetLCSSendPosition(on);
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
      fInterpreter->SetLCSZMapping(index);
      break;
    }
    case FourCC("mm2m"):
      if (ControlState(message, &on))
        fInterpreter->SetSendMatchedAsModwheelToMidiPort(on);
      break;
    case FourCC("mn2m"):
      if (ControlState(message, &on))
        fInterpreter->SetSendMatchedAsNotesToMidiPort(on);
      break;
    case FourCC("mn2s"):
      if (ControlState(message, &on))
        fInterpreter->SetSendMatchedAsNotesToSynth(on);
      break;
    case FourCC("mtta"):
      if (ControlState(message, &on))
        fInterpreter->SetSendMatchedAsBMessages(on);
      break;
    case FourCC("ntom"):
      if (ControlState(message, &on))
        fInterpreter->SetSendNotesToMidiPort(on);
      break;
    case FourCC("ntos"):
      if (ControlState(message, &on))
        fInterpreter->SetSendNotesToSynth(on);
      break;
    case FourCC("pkdx"):
      if (ControlState(message, &on))
        fInterpreter->SetSendToKDX(on);
      break;
    case FourCC("ptta"):
      if (ControlState(message, &on))
        fInterpreter->SetSendBMessages(on);
      break;
    case FourCC("smac"):
      if (ControlText(message, &text))
        fInterpreter->SetMatchedBMessageCommand(PackCommandCode(text.c_str()));
      break;
    case FourCC("stac"):
      if (ControlText(message, &text))
        fInterpreter->SetBMessageCommand(PackCommandCode(text.c_str()));
      break;
    case FourCC("smas"):
    case FourCC("stas"):
      if (ControlText(message, &text)) {
        if (code == FourCC("smas"))
          fInterpreter->SetMatchedAppSignature(text.c_str());
        else
          fInterpreter->SetDestinationAppSignature(text.c_str());
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
        fInterpreter->SetSmoothInputImages(on);
      break;
    case FourCC("smoo"):
      if (ControlState(message, &on))
        fInterpreter->SetSmoothing(on);
      break;
    case FourCC("stat"):
      ReplyStatus(message);
      break;
    case FourCC("stop"):
      fGraph.StopProducer();
      break;
    case FourCC("strt"):
      fGraph.StartProducer();
      break;
    case FourCC("vdeo"):
      OpenVideoPreferences();
      break;
    default:
      BApplication::MessageReceived(message);
      break;
  }
  // A switch, choice or device another program set shows in the window as if clicked there
  // (nothing is sent again); for the window's own clicks the controls already show it.
  if (ShowsInControls(code))
    fWindows->ShowSettings(fSession.Settings(*fInterpreter));
}

status_t Zanvel::SetUpNodes() {
  fGraph.errorAlert = [](const char* message, status_t status) { ErrorAlert(message, status); };
  return fGraph.SetUpNodes(fVideoView, fInterpreter.get(), &fTuning, fSizes.analysisWidth, fSizes.analysisHeight);
}

void Zanvel::TearDownNodes() { fGraph.TearDownNodes(); }

BMessage Zanvel::StatusMessage() const {
  // The key of each output is the command code of its switch, in the order of
  // ImageInterpreter::OutputStatuses.
  static constexpr const char* kOutputKeys[] = {"ptta", "mtta", "mn2m", "pkdx", "ntom", "lcss"};
  auto count = [](uint64_t n) { return int32(std::min<uint64_t>(n, uint64_t(INT32_MAX))); };
  BMessage reply(kStatusReply);
  reply.AddInt32("examples", fInterpreter->CountExamples());
  reply.AddInt32("keyframes", fInterpreter->CountKeyFrames());
  reply.AddFloat("fps", fInterpreter->FrameRate());
  reply.AddInt32("width", fSizes.analysisWidth);
  reply.AddInt32("height", fSizes.analysisHeight);
  const std::vector<OutputStatus> outputs = fInterpreter->OutputStatuses();
  for (size_t i = 0; i < outputs.size() && i < std::size(kOutputKeys); i++) {
    const std::string key = kOutputKeys[i];
    reply.AddBool(key.c_str(), outputs[i].on);
    reply.AddInt32((key + "_sent").c_str(), count(outputs[i].sent));
    reply.AddInt32((key + "_dropped").c_str(), count(outputs[i].dropped));
    reply.AddInt32((key + "_failed").c_str(), count(outputs[i].failed));
  }
  reply.AddString("midi", fInterpreter->MidiDeviceName());
  reply.AddString("serial", fInterpreter->LCSDeviceName());
  // The session file in use; empty before the first save or load.
  reply.AddString("session", fSession.Path());
  return reply;
}

void Zanvel::ReplyStatus(const BMessage* message) {
  BMessage reply = StatusMessage();
  if (!message->IsSourceRemote()) {
    // Asked from within the program: the terminal is the only one to tell.
    std::printf("%s\n", message_to_line(reply).c_str());
    std::fflush(stdout);
    return;
  }
  status_t status = message->SendReply(&reply);
  if (status != B_OK)
    Log(LogLevel::kWarn, "Zanvel: status reply not sent: %s",
                 status == B_WOULD_BLOCK ? "the sender is not reading" : "the sender has gone");
}

void Zanvel::ShowAbout() {
  (new BAlert("About Zanvel", kAboutText, "wow", nullptr, nullptr, B_WIDTH_AS_USUAL, B_INFO_ALERT))->Go();
}

void Zanvel::OpenVideoPreferences() {
  if (fGraph.fMediaRoster == nullptr || fGraph.fProducerNode == media_node::null)
    return;
  fWindows->OpenVideoPreferences(fGraph.fProducerNode, float(fSizes.windowWidth + 56), 28);
}
