#pragma once
// The session the application works in: saving everything the user trained and set into a
// session file, loading one back, telling whether anything changed since, and the autosave
// file ($XDG_STATE_HOME/zanvel/last.zanvel).
//
// Threads: every call on the application's thread. Saving copies the examples and key
// frames under the interpreter's locks (a copy, so frames are held up only by that) and
// writes the file on the calling thread; loading reads and checks the whole file before it
// touches anything.

#include <string>

#include "session/Session.h"
#include "platform/support/ColorSpace.h"

class ImageInterpreter;
struct Tuning;

class SessionKeeper {
 public:
  SessionKeeper(Tuning& tuning, color_space colorSpace);

  // The analysis size the running program uses, which sessions saved from now on record.
  void UseAnalysisSize(int32_t width, int32_t height) {
    fWidth = width;
    fHeight = height;
  }

  // Takes the interpreter's state at start as the one nothing changed from.
  void Start(ImageInterpreter& interpreter);

  // Writes the running state to path, which becomes the current session file. False, with
  // why, when the file could not be written (the old one, if any, is left as it was).
  bool Save(ImageInterpreter& interpreter, const std::string& path, std::string* why);
  // Reads and checks the whole file, then replaces the running state by it; false, with why
  // and nothing changed, when the file is refused. path becomes the current session file.
  bool Load(ImageInterpreter& interpreter, const std::string& path, std::string* why);
  // Saves to the autosave file when something changed since the last autosave (or since
  // start). The current session file and its unsaved-changes mark stay as they were.
  bool Autosave(ImageInterpreter& interpreter, std::string* why);

  // Something differs from the session file last saved or loaded (from the state at Start
  // before either).
  bool Changed(ImageInterpreter& interpreter) const;
  // The settings as they are now, as a session holds them.
  SessionSettings Settings(ImageInterpreter& interpreter) const { return CaptureSettings(interpreter); }
  // The current session file, "" before the first save or load.
  const std::string& Path() const { return fPath; }
  // The file's name without folder and ".zanvel", or "Untitled".
  std::string Name() const;
  // The last session loaded was trained at this analysis size (0 before any load).
  int32_t LoadedWidth() const { return fLoadedWidth; }
  int32_t LoadedHeight() const { return fLoadedHeight; }

  // Where autosaves go; "" when neither XDG_STATE_HOME nor HOME is set.
  static std::string AutosavePath();

 private:
  // What tells one state from another without copying pictures.
  struct Mark {
    SessionSettings settings;
    uint64_t trainingChanges = 0;
    bool operator==(const Mark&) const = default;
  };
  Mark Current(ImageInterpreter& interpreter) const;
  Session Capture(ImageInterpreter& interpreter) const;
  SessionSettings CaptureSettings(ImageInterpreter& interpreter) const;
  void ApplySettings(ImageInterpreter& interpreter, const SessionSettings& settings);

  Tuning& fTuning;
  const color_space fColorSpace;
  std::string fPath;
  Mark fSaved;
  Mark fAutosaved;
  int32_t fWidth = 0;
  int32_t fHeight = 0;
  int32_t fLoadedWidth = 0;
  int32_t fLoadedHeight = 0;
};
