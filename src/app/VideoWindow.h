#pragma once
// The main window: the live picture at the analysis size under a menu bar with the program's
// commands ("File") and the choice of MIDI output ("MIDI"), and a status bar with the frame
// rate, the frames the video input dropped and where the frames come from. Closing it quits
// the program.
//
// Threads: GUI thread only. The status bar is read from a timer (the interpreter's LastFrame
// and the roster's video-input counters); the frame thread only draws into the video view.
// The bar says "no frames" when none was analysed for a second and a half while the input
// is capturing, "stopped" when it is not.

#include <QString>
#include <QElapsedTimer>
#include <QMargins>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "app/Sizes.h"
#include "platform/interface/BRect.h"

class BView;
class BWindow;
class CanvasLink;
class CanvasWidget;
class ImageInterpreter;
class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;

class VideoWindow : public QWidget {
 public:
  // frame: the content rectangle on the screen (edges inclusive). Shows itself.
  // The video view has the analysis size of `sizes`.
  VideoWindow(BRect frame, const char* title, const AnalysisSizes& sizes);
  ~VideoWindow() override;

  // The "Video View" the consumer draws every frame into.
  BView* VideoView() const { return fVideoView; }
  BWindow* CanvasWindow() const { return fWindow.get(); }
  QWidget* BackgroundView() const { return fBackgroundView; }
  QMenuBar* MenuBar() const { return fMenuBar; }

  // The status bar's whole line; the bar shows as much of it as fits.
  QString StatusLine() const { return fStatusLine; }

  // Lets the window close for good (the application is quitting).
  void AllowClose() { fMayClose = true; }

  // Shows the interpreter's frame rate from now on; null shows none (it is going).
  void Follow(ImageInterpreter* interpreter);
  // Reads the frame rate and the video input's counters once; the timer calls it twice a second.
  void Refresh();
  // The title names the session and marks unsaved changes; path is its file, "" before the
  // first save or load ("Save Session" then asks for one).
  void ShowSession(const QString& name, const QString& path, bool changed);
  // The session file dialogs: opening one sends "load", saving one sends "save" with the
  // file chosen. They are window-modal and return at once.
  void OpenSessionDialog();
  void SaveSessionDialog();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildMidiMenu();
  // Places the menu bar, the background with the picture and the status bar in the window.
  void LayOut();
  void BuildSessionItems(QMenu* file);

  std::unique_ptr<BWindow> fWindow;  // the canvas lock; outlives the link
  std::unique_ptr<CanvasLink> fLink;
  QMenuBar* fMenuBar = nullptr;
  QWidget* fBackgroundView = nullptr;
  BView* fVideoView = nullptr;
  CanvasWidget* fCanvas = nullptr;
  QStatusBar* fStatusBar = nullptr;
  QLabel* fStatus = nullptr;
  int fMenuHeight = 0;
  QMargins fPictureMargins;
  QString fStatusLine;
  ImageInterpreter* fInterpreter = nullptr;
  QTimer fTimer;
  // The analysed frames last counted and since when that count stands.
  uint64_t fFramesSeen = 0;
  QElapsedTimer fSinceFrame;
  static constexpr qint64 kNoFramesAfter = 1500;  // ms
  bool fMayClose = false;
  QString fSessionPath;
};
