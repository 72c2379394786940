#pragma once
// The application object: asks for the analysis size, opens the windows, builds the media
// graph from the default video input to the analysis, and turns every command (from its own
// windows or from any other program, by signature) into one operation.
//
// Threads: the constructor runs on main's thread before the loop exists; ReadyToRun,
// MessageReceived, QuitRequested, SetUpNodes and TearDownNodes run on the application's
// thread (the GUI thread in the program). The tuning values are written by the sliders on the
// GUI thread and read by the consumer's thread for every frame.

#include <condition_variable>
#include <mutex>
#include <memory>
#include <string>
#include <thread>

#include "platform/app/AppDefs.h"
#include "platform/app/BApplication.h"
#include "app/ErrorAlert.h"
#include "app/SessionKeeper.h"
#include "app/Sizes.h"
#include "capture/MediaGraph.h"
#include "capture/Tuning.h"
#include "platform/interface/InterfaceDefs.h"
#include "platform/media/MediaDefs.h"
#include "platform/support/ColorSpace.h"

class BMediaRoster;
class BView;
class ImageInterpreter;
class VideoConsumer;
class ZanvelWindows;

// The application's signature: other programs send commands here.
inline constexpr const char kZanvelSignature[] = "application/x-vnd.morl-Zanvel";
// The code of the answer to "stat".
inline constexpr uint32 kStatusReply = FourCC("STAT");

struct ZanvelSettings {
  std::string signature = kZanvelSignature;
  // Size-chooser button chosen in advance (--size); -1 asks the user.
  int sizeChoice = -1;
  // Session file loaded once the media graph is up (--session); "last" is the autosave.
  std::string session;
  // Autosaving (off for runs that are not the user's own, such as the screenshot script).
  bool autosave = true;
};

class Zanvel : public BApplication {
 public:
  // windows: where the application opens its windows; not owned, outlives the object.
  explicit Zanvel(ZanvelWindows* windows, const ZanvelSettings& settings = ZanvelSettings());
  ~Zanvel() override;

  void ReadyToRun() override;
  bool QuitRequested() override;
  void MessageReceived(BMessage* message) override;

  status_t SetUpNodes();
  void TearDownNodes();
  void ShowSetTargetAppWindow(bool matched);
  // What "stat" answers: counts, frame rate, analysis size, every output's switch and
  // counters, the devices in use (field names in docs/commands.md). After ReadyToRun.
  BMessage StatusMessage() const;

  // The slider values (smoothing alpha, edge contrast threshold, temporal blending), handed to
  // the consumer. Start values 0.7, 20.0 and 0.7.
  Tuning fTuning;

  // The session: its file, unsaved changes, the autosave.
  SessionKeeper& Session() { return fSession; }

  // Read-only views for tests and diagnostics.
  color_space ColorSpace() const { return fColorSpace; }
  const AnalysisSizes& Sizes() const { return fSizes; }
  // The one interpreter: made by ReadyToRun, deleted with the application object; null before.
  ImageInterpreter* Interpreter() const { return fInterpreter.get(); }
  // Makes `interpreter` the one the commands and the windows use (ReadyToRun's, or a test's).
  void AdoptInterpreter(std::unique_ptr<ImageInterpreter> interpreter);
  BMediaRoster* MediaRoster() const { return fGraph.fMediaRoster; }
  VideoConsumer* Consumer() const { return fGraph.fVideoConsumer; }
  const media_node& ProducerNode() const { return fGraph.fProducerNode; }
  // How building the media graph at start went; B_OK before ReadyToRun.
  status_t SetUpStatus() const { return fSetUpStatus; }

 private:
  // Commands whose value is the sending control's state or text. Both print why a message
  // without a usable value is ignored.
  bool ControlState(const BMessage* message, bool* on) const;
  bool ControlText(const BMessage* message, std::string* text) const;
  // Answers "stat" to its sender (standard output when the program asked itself).
  void ReplyStatus(const BMessage* message);
  void OpenVideoPreferences();
  void ShowAbout();
  // The session commands; both say on standard error what became of them.
  void SaveSession(const BMessage* message);
  bool SaveSessionTo(const std::string& path);
  void LoadSession(const std::string& path);
  void Autosave();
  // Once a second: the window title follows the session, and a changed session is
  // autosaved at most once a minute.
  void SessionTick();
  void StartSessionTicks();
  void StopSessionTicks();
  // A quit from the window with unsaved changes asks first; false cancels the quit.
  bool AskBeforeQuit();

  color_space fColorSpace;
  MediaGraph fGraph;
  BView* fVideoView;  // the video window's "Video View"
  AnalysisSizes fSizes;
  // The interpreter ReadyToRun made; deleted with the
  // application object.
  std::unique_ptr<ImageInterpreter> fInterpreter;

  ZanvelWindows* fWindows;
  status_t fSetUpStatus = B_OK;

  SessionKeeper fSession;
  std::string fStartSession;
  const bool fAutosaves;
  bigtime_t fLastAutosave = 0;
  std::string fShownTitle;  // the session file the windows show
  bool fShownChanged = false;
  std::mutex fTickLock;
  std::condition_variable fTickWake;
  bool fTicksStop = false;  // under fTickLock
  std::thread fTicks;
};
