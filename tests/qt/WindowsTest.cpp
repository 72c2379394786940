// The windows under the offscreen platform: frames, labels and their order, what each
// control sends, the sliders' callbacks and the target-application windows.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>

#include "QtTestSupport.h"
#include "platform/app/AppDefs.h"
#include "platform/app/BApplication.h"
#include "app/ControlPanel.h"
#include "app/PropSlider.h"
#include "app/QtWindows.h"
#include "app/SetTargetAppWindow.h"
#include "app/Sizes.h"
#include "app/VideoWindow.h"
#include "capture/Tuning.h"
#include "platform/interface/RecordingAlertService.h"
#include "platform/interface/BView.h"
#include "platform/interface/BWindow.h"
#include "interpreter/ImageInterpreter.h"
#include "platform/qt/CanvasWidget.h"
#include "session/Session.h"

namespace {

// Keeps every command the windows post, in order.
class RecordingApp : public BApplication {
 public:
  RecordingApp() : BApplication(TestSignature("windows").c_str()) {}
  void MessageReceived(BMessage* message) override { received.push_back(*message); }
  bool QuitRequested() override {
    received.push_back(BMessage(B_QUIT_REQUESTED));
    return false;
  }
  // Handles what the windows posted so far.
  std::vector<BMessage> Take() {
    DispatchMessages();
    std::vector<BMessage> taken;
    taken.swap(received);
    return taken;
  }
  std::vector<BMessage> received;
};

std::vector<std::string> Codes(const std::vector<BMessage>& messages) {
  std::vector<std::string> codes;
  for (const BMessage& message : messages) {
    std::string code;
    for (int shift = 24; shift >= 0; shift -= 8)
      code += char((message.what >> shift) & 0xFF);
    codes.push_back(code);
  }
  return codes;
}

// Text of the labelled widgets of a tab, top to bottom, left to right.
std::vector<std::string> Labels(QWidget* tab) {
  std::vector<std::pair<QPoint, std::string>> found;
  for (QWidget* widget : tab->findChildren<QWidget*>()) {
    std::string text;
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
      text = button->text().toStdString();
    else if (auto* label = qobject_cast<QLabel*>(widget))
      text = label->text().toStdString();
    else if (auto* box = qobject_cast<QGroupBox*>(widget))
      text = box->title().toStdString();
    else if (dynamic_cast<CanvasWidget*>(widget) != nullptr || dynamic_cast<PropSlider*>(widget) != nullptr)
      text = "[" + widget->objectName().toStdString() + "]";
    if (!text.empty())
      // A frame counts from its title, above what it holds.
      found.push_back({widget->mapTo(tab, QPoint(0, qobject_cast<QGroupBox*>(widget) ? 0 : widget->height() / 2)), text});
  }
  // Top to bottom by the widgets' middles; widgets whose middles lie close form one row,
  // read left to right.
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first.y() < b.first.y(); });
  std::vector<std::string> labels;
  for (size_t start = 0; start < found.size();) {
    size_t end = start + 1;
    while (end < found.size() && found[end].first.y() - found[end - 1].first.y() <= 6)
      end++;
    std::stable_sort(found.begin() + long(start), found.begin() + long(end),
                     [](const auto& a, const auto& b) { return a.first.x() < b.first.x(); });
    for (size_t i = start; i < end; i++)
      labels.push_back(found[i].second);
    start = end;
  }
  return labels;
}

class WindowsTest : public ::testing::Test {
 protected:
  void SetUp() override { TestApplication(); }
  RecordingAlertService fAlerts;
  ScopedAlertService fScope{&fAlerts};
  RecordingApp fApp;
};

TEST_F(WindowsTest, VideoWindowFramesFollowTheAnalysisSize) {
  struct Case {
    int choice, width, height;
  };
  for (Case c : {Case{2, 80, 60}, Case{0, 320, 240}}) {
    SCOPED_TRACE(c.width);
    const AnalysisSizes sizes = SizesForChoice(c.choice);
    VideoWindow window(BRect(28, 28, sizes.windowWidth + 27, sizes.windowHeight + 27), "Zanvel", sizes);
    // The content at the frame's size, the status bar below it.
    auto* status = window.findChild<QStatusBar*>("status bar");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->geometry(), QRect(0, c.height + 40, c.width + 20, status->height()));
    EXPECT_EQ(window.geometry(), QRect(28, 28, c.width + 20, c.height + 40 + status->height()));
    EXPECT_EQ(window.windowTitle(), "Zanvel");
    BView* video = window.VideoView();
    EXPECT_STREQ(video->Name(), "Video View");
    EXPECT_EQ(video->CanvasWidth(), c.width);
    EXPECT_EQ(video->CanvasHeight(), c.height);
    auto* canvas = window.BackgroundView()->findChild<CanvasWidget*>("Video View");
    ASSERT_NE(canvas, nullptr);
    EXPECT_EQ(canvas->geometry(), QRect(10, 10, c.width, c.height));
    EXPECT_EQ(window.BackgroundView()->y(), window.MenuBar()->height() + 1);
    EXPECT_EQ(window.BackgroundView()->palette().color(QPalette::Window), QColor(216, 216, 216));
    EXPECT_EQ(window.minimumSize(), window.size());

    // Twice as large: the picture doubles, proportions kept, the status bar stays at the bottom.
    window.resize(window.width() * 2, window.height() * 2);
    QApplication::processEvents();
    EXPECT_EQ(status->geometry().bottom(), window.height() - 1);
    EXPECT_EQ(status->width(), window.width());
    const QRect picture = canvas->PictureRect().translated(canvas->pos());
    EXPECT_GE(picture.width(), 2 * c.width);
    EXPECT_NEAR(double(picture.width()) / picture.height(), double(c.width) / c.height, 0.05);
    EXPECT_LE(window.BackgroundView()->geometry().bottom(), status->y());
    window.AllowClose();
  }
}

TEST_F(WindowsTest, FileMenuItemsSendTheirCommandsAndHaveTheirShortcuts) {
  const AnalysisSizes sizes = SizesForChoice(1);
  VideoWindow window(BRect(28, 28, sizes.windowWidth + 27, sizes.windowHeight + 27), "Zanvel", sizes);
  QList<QAction*> menus = window.MenuBar()->actions();
  ASSERT_GE(menus.size(), 2);
  EXPECT_EQ(menus[0]->text(), "File");
  EXPECT_EQ(menus[1]->text(), "MIDI");
  std::vector<std::string> labels, keys;
  for (QAction* item : menus[0]->menu()->actions()) {
    labels.push_back(item->text().toStdString());
    keys.push_back(item->shortcut().toString().toStdString());
    // The session items open file dialogs; their own test follows.
    if (labels.size() > 4)
      item->trigger();
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"Open Session…", "Save Session", "Save Session As…", "",
                                              "Video Preferences", "About Zanvel", "Start Video", "Stop Video",
                                              "Quit"}));
  EXPECT_EQ(keys, (std::vector<std::string>{"Ctrl+O", "Ctrl+S", "Ctrl+Shift+S", "", "Ctrl+P", "Ctrl+B",
                                            "Ctrl+A", "Ctrl+Shift+O", "Ctrl+Q"}));
  // Ctrl+Q quits from every window of the program; the others belong to this window.
  for (QAction* item : menus[0]->menu()->actions())
    EXPECT_EQ(item->shortcutContext(), item->text() == "Quit" ? Qt::ApplicationShortcut : Qt::WindowShortcut)
        << item->text().toStdString();
  std::vector<BMessage> sent = fApp.Take();
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(Codes(sent), (std::vector<std::string>{"vdeo", "abut", "strt", "stop", "_QRQ"}));
  // The program's icon is every window's.
  EXPECT_FALSE(ProgramIcon().isNull());
  EXPECT_FALSE(ProgramIcon().pixmap(64, 64).isNull());
  // The MIDI menu marks its first entry, if there is one, without sending anything.
  QList<QAction*> ports = menus[1]->menu()->actions();
  if (!ports.isEmpty()) {
    EXPECT_TRUE(ports[0]->isChecked());
    ports.last()->trigger();
    sent = fApp.Take();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(Codes(sent)[0], "port");
    std::string port;
    ASSERT_EQ(sent[0].FindString("port", &port), B_OK);
    EXPECT_EQ(port, ports.last()->text().toStdString());
  }
  window.AllowClose();
}

TEST_F(WindowsTest, SessionItemsChooseFilesAndTheTitleFollowsTheSession) {
  const AnalysisSizes sizes = SizesForChoice(2);
  VideoWindow window(BRect(28, 28, sizes.windowWidth + 27, sizes.windowHeight + 27), "Zanvel", sizes);
  QList<QAction*> items = window.MenuBar()->actions()[0]->menu()->actions();
  auto item = [&](const char* label) {
    for (QAction* action : items)
      if (action->text() == label) return action;
    return static_cast<QAction*>(nullptr);
  };
  // A dialog chooses the file; the command carries it.
  auto choose = [&](const char* label, const char* dialogName, const QString& file) {
    item(label)->trigger();
    auto* dialog = window.findChild<QFileDialog*>(dialogName);
    if (dialog == nullptr) return std::vector<BMessage>();
    dialog->selectFile(file);
    QMetaObject::invokeMethod(dialog, "accept");
    return fApp.Take();
  };
  const QString folder = QDir::tempPath();
  const QString named = folder + "/été 1.zanvel";
  QFile(named).open(QIODevice::WriteOnly);

  std::vector<BMessage> sent = choose("Open Session…", "Open Session", named);
  ASSERT_EQ(Codes(sent), std::vector<std::string>{"load"});
  std::string path;
  EXPECT_EQ(sent[0].FindString("path", &path), B_OK);
  EXPECT_EQ(QString::fromStdString(path), named);

  // Without a session file, "Save Session" asks for one; a name without extension gets one.
  sent = choose("Save Session", "Save Session", folder + "/neu");
  ASSERT_EQ(Codes(sent), std::vector<std::string>{"save"});
  EXPECT_EQ(sent[0].FindString("path", &path), B_OK);
  EXPECT_EQ(QString::fromStdString(path), folder + "/neu.zanvel");

  // With one, it saves there.
  window.ShowSession("été 1", named, true);
  EXPECT_EQ(window.windowTitle(), "été 1[*] — Zanvel");
  EXPECT_TRUE(window.isWindowModified());
  item("Save Session")->trigger();
  sent = fApp.Take();
  ASSERT_EQ(Codes(sent), std::vector<std::string>{"save"});
  EXPECT_FALSE(sent[0].HasField("path"));
  window.ShowSession("été 1", named, false);
  EXPECT_FALSE(window.isWindowModified());
  QFile::remove(named);
  window.AllowClose();
}

TEST_F(WindowsTest, TheCloseBoxAsksTheApplicationToQuitAndTheWindowStays) {
  const AnalysisSizes sizes = SizesForChoice(2);
  VideoWindow window(BRect(28, 28, sizes.windowWidth + 27, sizes.windowHeight + 27), "Zanvel", sizes);
  EXPECT_FALSE(window.close());
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(Codes(fApp.Take()), std::vector<std::string>{"_QRQ"});
  // Quitting the canvas window (the consumer going away) takes the window down.
  window.CanvasWindow()->Lock();
  window.CanvasWindow()->Quit();
  EXPECT_TRUE(WaitFor([&] { return !window.isVisible(); }));
}

class ControlPanelTest : public WindowsTest {
 protected:
  std::unique_ptr<ControlPanel> Build(int choice) {
    const AnalysisSizes sizes = SizesForChoice(choice);
    return std::make_unique<ControlPanel>(BRect(sizes.windowWidth + 47, 28, sizes.windowWidth + 247, sizes.windowHeight + 27),
                                          &fTuning, sizes);
  }
  PropSlider* Slider(ControlPanel& panel, const char* name) { return panel.findChild<PropSlider*>(name); }
  Tuning fTuning;
};

TEST_F(ControlPanelTest, SitsRightOfTheVideoWindowWithFourTabsInOrder) {
  auto panel = Build(2);
  EXPECT_EQ(panel->geometry().topLeft(), QPoint(147, 28));
  EXPECT_EQ(panel->windowTitle(), "Control Window");
  EXPECT_FALSE(panel->windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(panel->close());
  QTabWidget* tabs = panel->Tabs();
  ASSERT_EQ(tabs->count(), 4);
  EXPECT_EQ(tabs->tabText(0), "Matcher");
  EXPECT_EQ(tabs->tabText(1), "Interpolator");
  EXPECT_EQ(tabs->tabText(2), "Input");
  EXPECT_EQ(tabs->tabText(3), "LCS");
  ControlViews views = panel->Views();
  EXPECT_EQ(views.histo->CanvasWidth(), 61);
  EXPECT_EQ(views.histo->CanvasHeight(), 61);
  EXPECT_EQ(views.keyframe->CanvasWidth(), 80);
  EXPECT_EQ(views.matched->CanvasHeight(), 60);
  EXPECT_EQ(views.histo->Window(), views.matched->Window());
  panel->AllowClose();

  auto large = Build(0);
  EXPECT_EQ(large->geometry().topLeft(), QPoint(387, 28));
  EXPECT_EQ(large->Views().keyframe->CanvasWidth(), 320);
  large->AllowClose();
}

TEST_F(ControlPanelTest, EveryTabListsItsControlsInOrder) {
  auto panel = Build(2);
  QTabWidget* tabs = panel->Tabs();
  // Lays out every tab the way it shows.
  auto labelsOf = [&](int index) {
    tabs->setCurrentIndex(index);
    QApplication::processEvents();
    return Labels(tabs->widget(index));
  };
  EXPECT_EQ(labelsOf(0),
            (std::vector<std::string>{"matched: none", "stored: 0", "[matched]", "Add to matcher", "Clear matcher", "Note to MIDI",
                                      "Modwheel to MIDI", "Matched to Target App", "Set Target App"}));
  EXPECT_EQ(labelsOf(1),
            (std::vector<std::string>{"nearest: none", "[keyframe]", "stored: 0", "Add current as next keyframe",
                                      "Clear keyframes", "smooth output", "smoothing amount:",
                                      "[smoothing amount:]", "0.30",
                                      "Notes to MIDI", "Position to MIDI", "buss:", "Position to Target App",
                                      "Set Target App"}));
  EXPECT_EQ(labelsOf(2),
            (std::vector<std::string>{"edge contrast threshold:", "[edge contrast threshold:]", "20.0",
                                      "Smooth input images", "blend input images", "temporal blending:",
                                      "[temporal blending:]", "0.70"}));
  EXPECT_EQ(labelsOf(3),
            (std::vector<std::string>{"Position to LCS", "Serial Port", "Z mapping", "pan", "divergence", "level"}));
  auto* buss = panel->findChild<QComboBox*>("buss:");
  ASSERT_NE(buss, nullptr);
  ASSERT_EQ(buss->count(), 16);
  EXPECT_EQ(buss->itemText(0), "1");
  EXPECT_EQ(buss->itemText(15), "16");
  panel->AllowClose();
}

TEST_F(ControlPanelTest, ControlsSendTheirCodesAndValues) {
  auto panel = Build(2);
  panel->findChild<QPushButton*>("Add to matcher")->click();
  panel->findChild<QCheckBox*>("Note to MIDI")->click();
  panel->findChild<QCheckBox*>("Note to MIDI")->click();
  panel->findChild<QPushButton*>("Clear keyframes")->click();
  auto* buss = panel->findChild<QComboBox*>("buss:");
  emit buss->activated(15);
  panel->findChild<QRadioButton*>("level")->click();
  std::vector<BMessage> sent = fApp.Take();
  EXPECT_EQ(Codes(sent), (std::vector<std::string>{"addi", "mn2m", "mn2m", "clkf", "bkdx", "lcsz"}));
  ASSERT_EQ(sent.size(), 6u);
  int32 value = -1;
  EXPECT_EQ(sent[1].FindInt32("source", &value), B_OK);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(sent[2].FindInt32("source", &value), B_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(sent[4].FindInt32("index", &value), B_OK);
  EXPECT_EQ(value, 15);
  EXPECT_EQ(sent[5].FindInt32("index", &value), B_OK);
  EXPECT_EQ(value, 2);
  panel->AllowClose();
}

TEST_F(ControlPanelTest, SlidersStartFromTheTuningAndTheirCallbacksStoreIt) {
  auto panel = Build(2);
  PropSlider* alpha = Slider(*panel, "smoothing amount:");
  PropSlider* contrast = Slider(*panel, "edge contrast threshold:");
  PropSlider* blending = Slider(*panel, "temporal blending:");
  ASSERT_TRUE(alpha && contrast && blending);
  EXPECT_DOUBLE_EQ(alpha->Position(), 0.7);
  EXPECT_DOUBLE_EQ(contrast->Position(), 0.5);
  EXPECT_DOUBLE_EQ(blending->Position(), 0.7);
  // Building the window does not touch the values.
  EXPECT_FLOAT_EQ(fTuning.fSmoothingAlpha.load(), 0.7f);
  EXPECT_FLOAT_EQ(fTuning.fContrastThreshold.load(), 20.0f);

  alpha->setValue(alpha->maximum() / 4);
  contrast->setValue(contrast->maximum() * 35 / 100);
  blending->setValue(blending->maximum() * 35 / 100);
  EXPECT_FLOAT_EQ(fTuning.fSmoothingAlpha.load(), 0.75f);
  EXPECT_FLOAT_EQ(fTuning.fContrastThreshold.load(), 35.0f);
  EXPECT_FLOAT_EQ(fTuning.fTemporalBlending.load(), 0.35f);
  // The sliders send no messages.
  EXPECT_TRUE(fApp.Take().empty());
  panel->AllowClose();
}

TEST_F(ControlPanelTest, ALoadedSessionShowsInTheControlsWithoutSendingAnything) {
  const AnalysisSizes sizes = SizesForChoice(2);
  QtWindows windows(&fTuning);
  windows.OpenControlWindow(BRect(sizes.windowWidth + 47, 28, sizes.windowWidth + 247, sizes.windowHeight + 27), sizes);
  ControlPanel& panel = *windows.Control();
  SessionSettings settings;
  settings.matched.on = true;
  settings.positionToLcs = true;
  settings.blendInputImages = true;
  settings.smoothingAmount = 0.25f;
  settings.edgeContrastThreshold = 35.0f;
  settings.temporalBlending = 0.35f;
  settings.buss = 16;
  settings.lcsZMapping = 1;
  windows.ShowSettings(settings);
  EXPECT_TRUE(panel.findChild<QCheckBox*>("Matched to Target App")->isChecked());
  EXPECT_TRUE(panel.findChild<QCheckBox*>("Position to LCS")->isChecked());
  EXPECT_TRUE(panel.findChild<QCheckBox*>("blend input images")->isChecked());
  EXPECT_FALSE(panel.findChild<QCheckBox*>("Note to MIDI")->isChecked());
  EXPECT_EQ(panel.findChild<QComboBox*>("buss:")->currentIndex(), 15);
  EXPECT_TRUE(panel.findChild<QRadioButton*>("divergence")->isChecked());
  // Each slider where moving it would give the loaded value.
  EXPECT_DOUBLE_EQ(Slider(panel, "smoothing amount:")->Position(), 0.75);
  EXPECT_DOUBLE_EQ(Slider(panel, "edge contrast threshold:")->Position(), 0.35);
  EXPECT_DOUBLE_EQ(Slider(panel, "temporal blending:")->Position(), 0.35);
  // The serial-port menu marks the session's line when it is there.
  auto* ports = panel.findChild<QMenu*>("LCS Serial Port");
  if (ports != nullptr && !ports->actions().isEmpty()) {
    settings.lcsDevice = ports->actions().first()->text().toStdString();
    windows.ShowSettings(settings);
    EXPECT_TRUE(ports->actions().first()->isChecked());
    EXPECT_EQ(ports->title(), ports->actions().first()->text());
  }
  EXPECT_TRUE(fApp.Take().empty());
  windows.CloseAll();
}

TEST_F(ControlPanelTest, SerialPortMenuMarksTheSecondOfSeveralPorts) {
  auto panel = Build(2);
  auto* menu = panel->findChild<QMenu*>("LCS Serial Port");
  ASSERT_NE(menu, nullptr);
  QList<QAction*> ports = menu->actions();
  for (int i = 0; i < ports.size(); i++)
    EXPECT_EQ(ports[i]->isChecked(), i == 1 && ports.size() >= 2);
  EXPECT_TRUE(fApp.Take().empty());
  if (!ports.isEmpty()) {
    ports[0]->trigger();
    std::vector<BMessage> sent = fApp.Take();
    ASSERT_EQ(Codes(sent), std::vector<std::string>{"lcsp"});
    std::string port;
    EXPECT_EQ(sent[0].FindString("port", &port), B_OK);
    EXPECT_EQ(port, ports[0]->text().toStdString());
    EXPECT_EQ(menu->title(), ports[0]->text());
  }
  panel->AllowClose();
}

class TargetAppWindowTest : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    fWindow = std::make_unique<BWindow>(BRect(0, 0, 99, 99), "views");
    auto* histo = new BView(BRect(0, 0, 60, 60), "histo");
    auto* keyframe = new BView(BRect(0, 0, 79, 59), "keyframe");
    auto* matched = new BView(BRect(0, 0, 79, 59), "matched");
    fWindow->AddChild(histo);
    fWindow->AddChild(keyframe);
    fWindow->AddChild(matched);
    fInterpreter = std::make_unique<ImageInterpreter>(histo, keyframe, matched, B_RGB32);
  }
  void TearDown() override {
    fInterpreter.reset();
    fWindow.reset();
  }
  static std::string Text(const BMessage& message) {
    std::string text;
    message.FindString("source", &text);
    return text;
  }
  std::unique_ptr<BWindow> fWindow;
  std::unique_ptr<ImageInterpreter> fInterpreter;
};

TEST_F(TargetAppWindowTest, ShowsTheCurrentTargetAndSendsSignatureThenCodeOnClose) {
  fInterpreter->SetBMessageCommand(FourCC("abcd"));
  auto* window = new SetTargetAppWindow(BRect(100, 100, 400, 200), fInterpreter.get(), false);
  EXPECT_EQ(window->windowTitle(), "Set Target Application");
  EXPECT_EQ(window->geometry(), QRect(100, 100, 301, 101));
  EXPECT_EQ(window->WhatControl()->text(), "abcd");
  EXPECT_EQ(window->SignatureControl()->text(), "application/x-vnd.kdx-3dReceiver");
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  // Typed but not confirmed: closing applies both, signature first.
  window->SignatureControl()->setText("application/x-vnd.test-receiver");
  window->WhatControl()->setText("ab");
  QPointer<SetTargetAppWindow> alive(window);
  EXPECT_TRUE(window->close());
  EXPECT_TRUE(WaitFor([&] { return alive.isNull(); }));
  std::vector<BMessage> sent = fApp.Take();
  ASSERT_EQ(Codes(sent), (std::vector<std::string>{"stas", "stac"}));
  EXPECT_EQ(Text(sent[0]), "application/x-vnd.test-receiver");
  EXPECT_EQ(Text(sent[1]), "ab");
}

TEST_F(TargetAppWindowTest, TwoWindowsEachSendOnlyTheirOwnCodes) {
  auto* positions = new SetTargetAppWindow(BRect(100, 100, 400, 200), fInterpreter.get(), false);
  auto* matched = new SetTargetAppWindow(BRect(100, 100, 400, 200), fInterpreter.get(), true);
  EXPECT_EQ(matched->SignatureControl()->text(), "application/foobar");
  EXPECT_EQ(matched->WhatControl()->text(), "M2mm");
  emit matched->WhatControl()->returnPressed();
  EXPECT_EQ(Codes(fApp.Take()), std::vector<std::string>{"smac"});
  matched->close();
  EXPECT_EQ(Codes(fApp.Take()), (std::vector<std::string>{"smas", "smac"}));
  emit positions->SignatureControl()->returnPressed();
  positions->close();
  EXPECT_EQ(Codes(fApp.Take()), (std::vector<std::string>{"stas", "stas", "stac"}));
}

TEST_F(TargetAppWindowTest, AZeroCodeShowsAsAnEmptyField) {
  fInterpreter->SetMatchedBMessageCommand(0);
  auto* window = new SetTargetAppWindow(BRect(100, 100, 400, 200), fInterpreter.get(), true);
  EXPECT_EQ(window->WhatControl()->text(), "");
  window->close();
  fApp.Take();
}

}  // namespace
