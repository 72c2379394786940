#include "app/VideoWindow.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <algorithm>

#include "platform/app/AppDefs.h"
#include "app/AppTarget.h"
#include "platform/app/BMessage.h"
#include "app/Sizes.h"
#include "platform/interface/BView.h"
#include "platform/interface/BWindow.h"
#include "interpreter/ImageInterpreter.h"
#include "platform/media/BMediaRoster.h"
#include "platform/midi/BMidiPort.h"
#include "platform/qt/CanvasLink.h"
#include "platform/qt/CanvasWidget.h"

namespace {

const QColor kViewGray(216, 216, 216, 255);

struct FileItem {
  const char* label;
  uint32 what;
  Qt::Key key;
  bool shift = false;
};

// Ctrl+O opens a session, as everywhere on the desktop; stopping the video takes Shift too.
constexpr FileItem kFileItems[] = {
    {"Video Preferences", FourCC("vdeo"), Qt::Key_P},
    {"About Zanvel", FourCC("abut"), Qt::Key_B},
    {"Start Video", FourCC("strt"), Qt::Key_A},
    {"Stop Video", FourCC("stop"), Qt::Key_O, true},
    {"Quit", B_QUIT_REQUESTED, Qt::Key_Q},
};

const char kSessionFilter[] = "Zanvel sessions (*.zanvel);;All files (*)";

// The window's quit: unsaved changes are asked about first.
BMessage QuitMessage() {
  BMessage message(B_QUIT_REQUESTED);
  message.AddBool("ask", true);
  return message;
}

}  // namespace

VideoWindow::VideoWindow(BRect frame, const char* title, const AnalysisSizes& sizes)
    : fWindow(std::make_unique<BWindow>(frame, title)) {
  setObjectName("VideoWindow");
  setWindowTitle(QString::fromUtf8(title));
  // Titled. It opens with the content exactly the window size of `sizes` and the status
  // bar below it, and that is also its smallest size; made larger, the picture grows with it.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowMaximizeButtonHint | Qt::CustomizeWindowHint);
  const int width = int(frame.Width()) + 1;
  const int height = int(frame.Height()) + 1;

  fStatusBar = new QStatusBar(this);
  fStatusBar->setObjectName("status bar");
  fStatusBar->setSizeGripEnabled(false);
  fStatus = new QLabel;
  fStatus->setObjectName("video status");
  fStatusBar->addWidget(fStatus, 1);
  const int statusHeight = fStatusBar->sizeHint().height();
  setGeometry(int(frame.left), int(frame.top), width, height + statusHeight);
  setMinimumSize(width, height + statusHeight);

  fMenuBar = new QMenuBar(this);
  fMenuBar->setObjectName("menu bar");
  fMenuBar->setNativeMenuBar(false);

  QMenu* file = fMenuBar->addMenu("File");
  file->setObjectName("File");
  BuildSessionItems(file);
  for (const FileItem& item : kFileItems) {
    QAction* action = file->addAction(item.label);
    action->setShortcut(QKeySequence(item.shift ? Qt::CTRL | Qt::SHIFT | item.key : Qt::CTRL | item.key));
    // The menu bar's window only: text fields elsewhere keep Ctrl+A and friends. Quitting is
    // the exception: Ctrl+Q quits from any of the program's windows.
    action->setShortcutContext(item.what == B_QUIT_REQUESTED ? Qt::ApplicationShortcut : Qt::WindowShortcut);
    const uint32 what = item.what;
    connect(action, &QAction::triggered, this,
            [what] { PostToApplication(what == B_QUIT_REQUESTED ? QuitMessage() : BMessage(what)); });
  }

  BuildMidiMenu();

  // F11 shows the picture on the whole screen and back; Escape leaves full screen.
  auto* fullScreen = new QAction("Full Screen", this);
  fullScreen->setObjectName("Full Screen");
  fullScreen->setShortcuts({QKeySequence(QKeySequence::FullScreen), QKeySequence(Qt::Key_F11)});
  connect(fullScreen, &QAction::triggered, this, [this] { setWindowState(windowState() ^ Qt::WindowFullScreen); });
  addAction(fullScreen);
  auto* leave = new QAction("Leave Full Screen", this);
  leave->setShortcut(QKeySequence(Qt::Key_Escape));
  connect(leave, &QAction::triggered, this, [this] { setWindowState(windowState() & ~Qt::WindowFullScreen); });
  addAction(leave);

  // The menu bar sizes itself to its items; the background starts one pixel below it.
  fMenuHeight = fMenuBar->sizeHint().height();
  fBackgroundView = new QWidget(this);
  fBackgroundView->setObjectName("Background View");
  fBackgroundView->setAutoFillBackground(true);
  QPalette palette = fBackgroundView->palette();
  palette.setColor(QPalette::Window, kViewGray);
  fBackgroundView->setPalette(palette);

  const int32 w = sizes.analysisWidth;
  const int32 h = sizes.analysisHeight;
  BRect videoFrame(0, 0, float(w - 1), float(h - 1));
  videoFrame.OffsetBy(float((sizes.windowWidth - w) / 2), 10);
  fVideoView = new BView(videoFrame, "Video View");
  fWindow->AddChild(fVideoView);
  fLink = std::make_unique<CanvasLink>(fWindow.get());
  fCanvas = new CanvasWidget(fVideoView, fLink.get(), fBackgroundView);
  fCanvas->SetScalable(true);
  // The picture keeps the margins it has at the smallest size.
  const int backgroundHeight = height - fMenuHeight - 1;
  fPictureMargins = QMargins(int(videoFrame.left), int(videoFrame.top), width - int(videoFrame.right) - 1,
                             std::max(0, backgroundHeight - int(videoFrame.bottom) - 1));
  LayOut();
  // Releasing the consumer quits the canvas window: the picture goes with it.
  fLink->SetQuitCallback([this] {
    fMayClose = true;
    hide();
  });

  connect(&fTimer, &QTimer::timeout, this, [this] { Refresh(); });
  fTimer.start(500);
  Refresh();

  fWindow->Show();
  show();
}

void VideoWindow::LayOut() {
  if (fCanvas == nullptr)
    return;  // still being built
  const int statusHeight = fStatusBar->sizeHint().height();
  fMenuBar->setGeometry(0, 0, width(), fMenuHeight);
  fStatusBar->setGeometry(0, height() - statusHeight, width(), statusHeight);
  fBackgroundView->setGeometry(0, fMenuHeight + 1, width(), height() - statusHeight - fMenuHeight - 1);
  // Never smaller than the picture: at the smallest size the picture sits where it always did.
  fCanvas->setGeometry(QRect(QPoint(0, 0), fBackgroundView->size()).marginsRemoved(fPictureMargins));
}

void VideoWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
  // The status line is cut to the width.
  fStatusLine.clear();
  Refresh();
}

void VideoWindow::Follow(ImageInterpreter* interpreter) {
  fInterpreter = interpreter;
  fSinceFrame.invalidate();
  Refresh();
}

void VideoWindow::Refresh() {
  QStringList parts;
  BMediaRoster::VideoInputStatus input;
  BMediaRoster* roster = BMediaRoster::CurrentRoster();
  const bool haveInput = roster != nullptr && roster->GetVideoInputStatus(&input);
  if (!haveInput)
    parts << "no video input";
  else if (!input.capturing)
    parts << "stopped";
  else if (fInterpreter != nullptr) {
    // The rate is an average over the frames that came; when they stop coming, it would stay.
    const FrameSnapshot frame = fInterpreter->LastFrame();
    if (frame.frames != fFramesSeen || !fSinceFrame.isValid()) {
      fFramesSeen = frame.frames;
      fSinceFrame.start();
    }
    if (frame.frames == 0 || fSinceFrame.elapsed() > kNoFramesAfter)
      parts << "no frames";
    else
      parts << QString("%1 fps").arg(double(frame.frameRate), 0, 'f', 1);
  }
  if (haveInput) {
    parts << QString("%1 dropped").arg(input.dropped);
    parts << QString::fromStdString(input.source);
  }
  const QString line = parts.join(" · ");
  if (line == fStatusLine)
    return;
  fStatusLine = line;
  // A small picture makes a narrow window: the source's name is cut, the tooltip has it all.
  const int room = std::max(20, width() - 12);
  fStatus->setText(fStatus->fontMetrics().elidedText(line, Qt::ElideRight, room));
  fStatus->setToolTip(haveInput ? QString("%1\nvideo input: %2\n%3 frames handed on, %4 dropped")
                                      .arg(line, QString::fromStdString(input.source))
                                      .arg(input.sent)
                                      .arg(input.dropped)
                                : line);
}

VideoWindow::~VideoWindow() {
  fLink.reset();
  fWindow->Quit();
}

void VideoWindow::BuildSessionItems(QMenu* file) {
  QAction* open = file->addAction("Open Session…");
  open->setShortcut(QKeySequence::Open);
  connect(open, &QAction::triggered, this, [this] { OpenSessionDialog(); });
  QAction* save = file->addAction("Save Session");
  save->setShortcut(QKeySequence::Save);
  connect(save, &QAction::triggered, this, [this] {
    if (fSessionPath.isEmpty())
      SaveSessionDialog();
    else
      PostToApplication(BMessage(FourCC("save")));
  });
  QAction* saveAs = file->addAction("Save Session As…");
  saveAs->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  connect(saveAs, &QAction::triggered, this, [this] { SaveSessionDialog(); });
  for (QAction* action : {open, save, saveAs})
    action->setShortcutContext(Qt::WindowShortcut);
  file->addSeparator();
}

void VideoWindow::ShowSession(const QString& name, const QString& path, bool changed) {
  fSessionPath = path;
  setWindowTitle(name + "[*] — Zanvel");
  setWindowModified(changed);
}

void VideoWindow::OpenSessionDialog() {
  auto* dialog = new QFileDialog(this, "Open Session", QFileInfo(fSessionPath).path(), kSessionFilter);
  dialog->setObjectName("Open Session");
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setFileMode(QFileDialog::ExistingFile);
  connect(dialog, &QFileDialog::fileSelected, this, [](const QString& file) {
    BMessage message(FourCC("load"));
    message.AddString("path", file.toStdString());
    PostToApplication(message);
  });
  dialog->open();
}

void VideoWindow::SaveSessionDialog() {
  auto* dialog = new QFileDialog(this, "Save Session", fSessionPath, kSessionFilter);
  dialog->setObjectName("Save Session");
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setDefaultSuffix("zanvel");
  connect(dialog, &QFileDialog::fileSelected, this, [](const QString& file) {
    BMessage message(FourCC("save"));
    message.AddString("path", file.toStdString());
    PostToApplication(message);
  });
  dialog->open();
}

void VideoWindow::BuildMidiMenu() {
  QMenu* midi = fMenuBar->addMenu("MIDI");
  midi->setObjectName("MIDI");
  auto* group = new QActionGroup(midi);
  group->setExclusive(true);
  BMidiPort ports;
  const int32 count = ports.CountDevices();
  for (int32 i = 0; i < count; i++) {
    char name[32] = {};
    if (ports.GetDeviceName(i, name, sizeof name) != B_OK)
      continue;
    QAction* action = midi->addAction(QString::fromUtf8(name));
    action->setCheckable(true);
    group->addAction(action);
    // Checking the first entry sends nothing: the port is set when the user chooses.
    if (group->actions().size() == 1)
      action->setChecked(true);
    const std::string port = name;
    connect(action, &QAction::triggered, this, [port] {
      BMessage message(FourCC("port"));
      message.AddString("port", port);
      PostToApplication(message);
    });
  }
}

void VideoWindow::closeEvent(QCloseEvent* event) {
  if (fMayClose) {
    event->accept();
    return;
  }
  // The close box quits the whole program; the window goes when the graph is down.
  PostToApplication(QuitMessage());
  event->ignore();
}
