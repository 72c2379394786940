#include "app/QtWindows.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>
#include <QSignalBlocker>

#include "app/ControlPanel.h"
#include "app/ControlWindow.h"
#include "app/SetTargetAppWindow.h"
#include "app/SplashWindow.h"
#include "app/VideoWindow.h"
#include "app/PropSlider.h"
#include "capture/Tuning.h"
#include "session/Session.h"

QIcon ProgramIcon() {
  return QIcon(":/zanvel/zanvel.png");
}

QtWindows::QtWindows(Tuning* tuning) : fTuning(tuning) {
  // Every window of the program shows it, those opened on demand included.
  QApplication::setWindowIcon(ProgramIcon());
}

QtWindows::~QtWindows() {
  CloseAll();
}

void QtWindows::ShowSplash(BRect frame, const char* text) {
  fSplash = std::make_unique<SplashWindow>(frame, text);
  fSplash->show();
}

void QtWindows::ActivateSplash() {
  if (fSplash) {
    fSplash->raise();
    fSplash->activateWindow();
  }
}

void QtWindows::CloseSplash() {
  fSplash.reset();
}

BView* QtWindows::OpenVideoWindow(BRect frame, const char* title, const AnalysisSizes& sizes) {
  fVideo = std::make_unique<VideoWindow>(frame, title, sizes);
  return fVideo->VideoView();
}

ControlViews QtWindows::OpenControlWindow(BRect frame, const AnalysisSizes& sizes) {
  if (fTuning == nullptr) {
    fOwnTuning = std::make_unique<Tuning>();
    fTuning = fOwnTuning.get();
  }
  fControl = std::make_unique<ControlPanel>(frame, fTuning, sizes);
  return fControl->Views();
}

void QtWindows::OpenSetTargetAppWindow(BRect frame, ImageInterpreter* interpreter, bool matched) {
  fOnDemand.emplace_back(new SetTargetAppWindow(frame, interpreter, matched));
}

bool QtWindows::OpenVideoPreferences(media_node node, float left, float top) {
  ControlWindow* window = ControlWindow::Open(node, left, top);
  if (window == nullptr)
    return false;
  fOnDemand.emplace_back(window);
  return true;
}

std::vector<SetTargetAppWindow*> QtWindows::TargetAppWindows() const {
  std::vector<SetTargetAppWindow*> windows;
  for (const QPointer<QWidget>& widget : fOnDemand) {
    if (auto* window = dynamic_cast<SetTargetAppWindow*>(widget.data()))
      windows.push_back(window);
  }
  return windows;
}

std::vector<ControlWindow*> QtWindows::PreferenceWindows() const {
  std::vector<ControlWindow*> windows;
  for (const QPointer<QWidget>& widget : fOnDemand) {
    if (auto* window = dynamic_cast<ControlWindow*>(widget.data()))
      windows.push_back(window);
  }
  return windows;
}

void QtWindows::Follow(ImageInterpreter* interpreter) {
  if (fControl)
    fControl->Follow(interpreter);
  if (fVideo)
    fVideo->Follow(interpreter);
}

void QtWindows::ShowSession(const char* name, const char* path, bool changed) {
  if (fVideo)
    fVideo->ShowSession(QString::fromUtf8(name), QString::fromUtf8(path), changed);
}

std::string QtWindows::AskSessionPath() {
  QFileDialog dialog(fVideo.get(), "Save Session", QString(), "Zanvel sessions (*.zanvel);;All files (*)");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix("zanvel");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return "";
  return dialog.selectedFiles().first().toStdString();
}

void QtWindows::ShowNotice(const char* title, const char* text) {
  auto* box = new QMessageBox(QMessageBox::Warning, QString::fromUtf8(title), QString::fromUtf8(text),
                              QMessageBox::Ok, fVideo.get(), Qt::Dialog);
  box->setObjectName("notice");
  box->setModal(false);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->show();
  fOnDemand.emplace_back(box);
}

namespace {

// Marks the menu's entry of that name, if there is one; the menu sends nothing.
void MarkEntry(QMenu* menu, const std::string& name, bool retitle) {
  if (menu == nullptr)
    return;
  for (QAction* action : menu->actions()) {
    if (action->text() != QString::fromStdString(name))
      continue;
    const QSignalBlocker block(action);
    action->setChecked(true);
    if (retitle)
      menu->setTitle(action->text());
  }
}

}  // namespace

void QtWindows::ShowSettings(const SessionSettings& s) {
  if (fVideo)
    MarkEntry(fVideo->findChild<QMenu*>("MIDI"), s.midiPort, false);
  if (!fControl)
    return;
  MarkEntry(fControl->findChild<QMenu*>("LCS Serial Port"), s.lcsDevice, true);
  // Signals blocked: the values are in force already, nothing is to be sent again.
  const std::pair<const char*, bool> boxes[] = {
      {"Note to MIDI", s.matchedNoteToMidi},       {"Modwheel to MIDI", s.matchedModwheelToMidi},
      {"Matched to Target App", s.matched.on},     {"smooth output", s.smoothOutput},
      {"Notes to MIDI", s.notesToMidi},            {"Position to MIDI", s.positionToMidi},
      {"Position to Target App", s.position.on},   {"Smooth input images", s.smoothInputImages},
      {"blend input images", s.blendInputImages},  {"Position to LCS", s.positionToLcs},
  };
  for (const auto& [name, on] : boxes) {
    if (auto* box = fControl->findChild<QCheckBox*>(name)) {
      const QSignalBlocker block(box);
      box->setChecked(on);
    }
  }
  // Each slider at the position its callback turns into the value.
  const std::pair<const char*, double> sliders[] = {
      {"smoothing amount:", 1.0 - double(s.smoothingAmount)},
      {"edge contrast threshold:", double(s.edgeContrastThreshold) / 100.0},
      {"temporal blending:", double(s.temporalBlending)},
  };
  for (const auto& [name, position] : sliders) {
    if (auto* slider = fControl->findChild<PropSlider*>(name))
      slider->SetPosition(position);
  }
  if (auto* buss = fControl->findChild<QComboBox*>("buss:")) {
    const QSignalBlocker block(buss);
    buss->setCurrentIndex(s.buss - 1);
  }
  const char* const mappings[] = {"pan", "divergence", "level"};
  if (s.lcsZMapping >= 0 && s.lcsZMapping < 3) {
    if (auto* radio = fControl->findChild<QRadioButton*>(mappings[s.lcsZMapping])) {
      const QSignalBlocker block(radio);
      radio->setChecked(true);
    }
  }
}

void QtWindows::CloseAll() {
  for (QPointer<QWidget>& widget : fOnDemand) {
    if (widget)
      delete widget.data();
  }
  fOnDemand.clear();
  if (fControl)
    fControl->AllowClose();
  if (fVideo)
    fVideo->AllowClose();
  fControl.reset();
  fVideo.reset();
  fSplash.reset();
}
