#include "app/VideoWindow.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

#include "app/AppDefs.h"
#include "app/AppTarget.h"
#include "app/BMessage.h"
#include "app/Sizes.h"
#include "interface/View.h"
#include "interface/Window.h"
#include "midi/BMidiPort.h"
#include "qt/CanvasLink.h"
#include "qt/CanvasWidget.h"

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

VideoWindow::VideoWindow(BRect frame, const char* title)
    : fWindow(std::make_unique<BWindow>(frame, title)) {
  setObjectName("VideoWindow");
  setWindowTitle(QString::fromUtf8(title));
  // Titled, not resizable: the content is exactly WINDOW_SIZE_X by WINDOW_SIZE_Y.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::WindowMinimizeButtonHint | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint);
  const int width = int(frame.Width()) + 1;
  const int height = int(frame.Height()) + 1;
  setGeometry(int(frame.left), int(frame.top), width, height);
  setFixedSize(width, height);

  fMenuBar = new QMenuBar(this);
  fMenuBar->setObjectName("menu bar");
  fMenuBar->setNativeMenuBar(false);

  QMenu* file = fMenuBar->addMenu("File");
  file->setObjectName("File");
  BuildSessionItems(file);
  for (const FileItem& item : kFileItems) {
    QAction* action = file->addAction(item.label);
    action->setShortcut(QKeySequence(item.shift ? Qt::CTRL | Qt::SHIFT | item.key : Qt::CTRL | item.key));
    // The menu bar's window only: text fields elsewhere keep Ctrl+A and friends.
    action->setShortcutContext(Qt::WindowShortcut);
    const uint32 what = item.what;
    connect(action, &QAction::triggered, this,
            [what] { PostToApplication(what == B_QUIT_REQUESTED ? QuitMessage() : BMessage(what)); });
  }

  BuildMidiMenu();

  // The menu bar sizes itself to its items; the background starts one pixel below it.
  const int menuHeight = fMenuBar->sizeHint().height();
  fMenuBar->setGeometry(0, 0, width, menuHeight);
  fBackgroundView = new QWidget(this);
  fBackgroundView->setObjectName("Background View");
  fBackgroundView->setGeometry(0, menuHeight + 1, width, height - menuHeight - 1);
  fBackgroundView->setAutoFillBackground(true);
  QPalette palette = fBackgroundView->palette();
  palette.setColor(QPalette::Window, kViewGray);
  fBackgroundView->setPalette(palette);

  const int32 w = ANALYSIS_WIDTH;
  const int32 h = ANALYSIS_HEIGHT;
  BRect videoFrame(0, 0, float(w - 1), float(h - 1));
  videoFrame.OffsetBy(float((WINDOW_SIZE_X - w) / 2), 10);
  fVideoView = new BView(videoFrame, "Video View");
  fWindow->AddChild(fVideoView);
  fLink = std::make_unique<CanvasLink>(fWindow.get());
  auto* canvas = new CanvasWidget(fVideoView, fLink.get(), fBackgroundView);
  canvas->move(int(videoFrame.left), int(videoFrame.top));
  // Releasing the consumer quits the canvas window: the picture goes with it.
  fLink->SetQuitCallback([this] {
    fMayClose = true;
    hide();
  });

  fWindow->Show();
  show();
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
