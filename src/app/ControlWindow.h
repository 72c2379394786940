#pragma once
// "Video Preferences": the video input's own parameters (the controls its camera or
// pipeline offers) in a generic editor. When the node's parameters change, the editor is
// rebuilt and the tab that was selected is selected again.
//
// Threads: GUI thread; web-change notifications from the media side arrive queued.

#include <QWidget>

#include "platform/interface/BRect.h"
#include "platform/media/MediaDefs.h"
#include "platform/support/Status.h"

class BParameterWeb;

class ControlWindow : public QWidget {
 public:
  // Takes ownership of view (the editor for node's parameters).
  ControlWindow(const BRect& frame, QWidget* view, media_node node);
  ~ControlWindow() override;

  // Asks the roster for the node's parameters and opens a window at (left, top) sized to
  // the editor, watching for changes. Null (and nothing opened) without parameters.
  static ControlWindow* Open(media_node node, float left, float top);

  // The parameters changed: rebuilds the editor (see above).
  void WebChanged();

  QWidget* View() const { return fView; }
  media_node Node() const { return fNode; }

 private:
  QWidget* fView;
  media_node fNode;
  int32 fWatch = -1;  // the roster watcher, removed with the window
};
