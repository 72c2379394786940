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
#include <string>
#include <thread>

#include "app/BApplication.h"
#include "app/ErrorAlert.h"
#include "app/SessionKeeper.h"
#include "capture/Tuning.h"
#include "interface/InterfaceDefs.h"
#include "media/MediaDefs.h"
#include "support/ColorSpace.h"

class BMediaRoster;
class BView;
class VideoConsumer;
class ZanvelWindows;

// The application's signature: other programs send commands here.
inline constexpr const char kZanvelSignature[] = "application/x-vnd.morl-Zanvel";

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

  // The slider values (smoothing alpha, edge contrast threshold, temporal blending), handed to
  // the consumer. Start values 0.7, 20.0 and 0.7.
  Tuning fTuning;

  // The session: its file, unsaved changes, the autosave.
  SessionKeeper& Session() { return fSession; }

  // Read-only views for tests and diagnostics.
  color_space ColorSpace() const { return fColorSpace; }
  BMediaRoster* MediaRoster() const { return fMediaRoster; }
  VideoConsumer* Consumer() const { return fVideoConsumer; }
  const media_node& ProducerNode() const { return fProducerNode; }

 private:
  // Commands whose value is the sending control's state or text. Both print why a message
  // without a usable value is ignored.
  bool ControlState(const BMessage* message, bool* on) const;
  bool ControlText(const BMessage* message, std::string* text) const;
  void StartProducer();
  void StopProducer();
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
  BMediaRoster* fMediaRoster;
  media_node fTimeSourceNode;
  media_node fProducerNode;
  VideoConsumer* fVideoConsumer;
  media_output fProducerOut;
  media_input fConsumerIn;
  BView* fVideoView;  // the video window's "Video View"
  // The interpreter ReadyToRun made (also the global `interpreter`); deleted with the
  // application object.
  class ImageInterpreter* fInterpreter = nullptr;

  ZanvelWindows* fWindows;

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
