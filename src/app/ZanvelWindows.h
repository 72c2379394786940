#pragma once
// The windows the application object opens. The Qt windows implement this; the application
// object itself never includes Qt, so its command table runs just as well with windows that
// are never shown (the tests' headless set).
//
// Threads: every call is made on the application's thread.

#include <string>

#include "platform/interface/BRect.h"
#include "platform/media/MediaDefs.h"

struct AnalysisSizes;
class BView;
class ImageInterpreter;
struct SessionSettings;

// The control window's three drawing views.
struct ControlViews {
  BView* histo = nullptr;
  BView* keyframe = nullptr;
  BView* matched = nullptr;
};

class ZanvelWindows {
 public:
  virtual ~ZanvelWindows() = default;

  // The borderless splash showing `text`, and bringing it to the front or closing it.
  virtual void ShowSplash(BRect frame, const char* text) = 0;
  virtual void ActivateSplash() = 0;
  virtual void CloseSplash() = 0;

  // Opens the video window and returns its "Video View" (the analysis size).
  virtual BView* OpenVideoWindow(BRect frame, const char* title, const AnalysisSizes& sizes) = 0;
  // Opens the control window; its sliders start from the application's tuning values.
  virtual ControlViews OpenControlWindow(BRect frame, const AnalysisSizes& sizes) = 0;
  // A new "Set Target Application" window for positions (false) or the matched output.
  virtual void OpenSetTargetAppWindow(BRect frame, ImageInterpreter* interpreter, bool matched) = 0;
  // A new "Video Preferences" window editing the node's parameters, its top-left corner at
  // (left, top); false when the node offers no parameters.
  virtual bool OpenVideoPreferences(media_node node, float left, float top) = 0;

  // From now on the windows show what the interpreter publishes and sends (position, counts,
  // outputs, frame rate), read at their own pace; null before the interpreter goes.
  virtual void Follow(ImageInterpreter* /*interpreter*/) {}

  // Closes every window (after the application's loop ended).
  virtual void CloseAll() = 0;

  // The session's name in the titles, marked while it has unsaved changes; path is its file
  // ("" before the first save or load).
  virtual void ShowSession(const char* /*name*/, const char* /*path*/, bool /*changed*/) {}
  // A warning in a window of its own that holds up nothing (no modal loop, no waiting).
  virtual void ShowNotice(const char* /*title*/, const char* /*text*/) {}
  // A session was loaded: the controls show its settings, sending nothing.
  virtual void ShowSettings(const SessionSettings& /*settings*/) {}
  // Asks the user for a session file to save to; "" when cancelled or when there is nobody
  // to ask. Returns when the user has answered.
  virtual std::string AskSessionPath() { return ""; }
};
