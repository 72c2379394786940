#pragma once
// The main window: the live picture at the analysis size under a menu bar with the program's
// commands ("File") and the choice of MIDI output ("MIDI"). Closing it quits the program.

#include <QString>
#include <QWidget>
#include <memory>

#include "interface/Rect.h"

class BView;
class BWindow;
class CanvasLink;
class QMenu;
class QMenuBar;

class VideoWindow : public QWidget {
 public:
  // frame: the content rectangle on the screen (edges inclusive). Shows itself.
  VideoWindow(BRect frame, const char* title);
  ~VideoWindow() override;

  // The "Video View" the consumer draws every frame into.
  BView* VideoView() const { return fVideoView; }
  BWindow* CanvasWindow() const { return fWindow.get(); }
  QWidget* BackgroundView() const { return fBackgroundView; }
  QMenuBar* MenuBar() const { return fMenuBar; }

  // Lets the window close for good (the application is quitting).
  void AllowClose() { fMayClose = true; }

  // The title names the session and marks unsaved changes; path is its file, "" before the
  // first save or load ("Save Session" then asks for one).
  void ShowSession(const QString& name, const QString& path, bool changed);
  // The session file dialogs: opening one sends "load", saving one sends "save" with the
  // file chosen. They are window-modal and return at once.
  void OpenSessionDialog();
  void SaveSessionDialog();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMidiMenu();
  void BuildSessionItems(QMenu* file);

  std::unique_ptr<BWindow> fWindow;  // the canvas lock; outlives the link
  std::unique_ptr<CanvasLink> fLink;
  QMenuBar* fMenuBar = nullptr;
  QWidget* fBackgroundView = nullptr;
  BView* fVideoView = nullptr;
  bool fMayClose = false;
  QString fSessionPath;
};
