#include "app/ControlPanel.h"

#include <QActionGroup>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/AppTarget.h"
#include "platform/app/BMessage.h"
#include "app/OutputStatusView.h"
#include "app/PositionPlot.h"
#include "app/Sizes.h"
#include "app/SteadyLabel.h"
#include "capture/Tuning.h"
#include "platform/device/BSerialPort.h"
#include "platform/interface/BView.h"
#include "platform/interface/BWindow.h"
#include "interpreter/ImageInterpreter.h"
#include "platform/qt/CanvasLink.h"
#include "platform/qt/CanvasWidget.h"

namespace {

// The application's tuning values, which the slider callbacks write (their user data is
// unused). Set when the control window is built.
Tuning* sTuning = nullptr;

Tuning* ApplicationTuning() {
  return sTuning;
}

void Post(uint32 what) {
  PostToApplication(BMessage(what));
}

QPushButton* Button(const char* label, uint32 what) {
  auto* button = new QPushButton(label);
  button->setObjectName(label);
  button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  QObject::connect(button, &QPushButton::clicked, [what] { Post(what); });
  return button;
}

// A check box sends its state with every toggle; the state travels in "source".
QCheckBox* CheckBox(const char* label, uint32 what) {
  auto* box = new QCheckBox(label);
  box->setObjectName(label);
  QObject::connect(box, &QCheckBox::toggled, [what](bool on) {
    BMessage message(what);
    message.AddInt32("source", on ? 1 : 0);
    PostToApplication(message);
  });
  return box;
}

QWidget* Row(QWidget* left, QWidget* right) {
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(left);
  layout->addWidget(right);
  return row;
}

// A picture that grows with the window, with the labels that describe it to its right.
QWidget* Beside(CanvasWidget* picture, std::initializer_list<QLabel*> labels) {
  picture->SetScalable(true);
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(picture, 1);
  auto* column = new QVBoxLayout;
  for (QLabel* label : labels)
    column->addWidget(label);
  column->addStretch(1);
  layout->addLayout(column);
  return row;
}

QLabel* ValueLabel(const char* name) {
  auto* label = new QLabel;
  label->setObjectName(name);
  return label;
}

void SetText(QLabel* label, const QString& text) { SetSteadyText(label, text); }

QString IndexText(int32 index) {
  return index < 0 ? QString("none") : QString::number(index);
}

QWidget* Tab(std::initializer_list<QWidget*> items) {
  auto* tab = new QWidget;
  auto* layout = new QVBoxLayout(tab);
  for (QWidget* item : items) {
    if (item == nullptr)
      layout->addStretch(1);
    else
      layout->addWidget(item);
  }
  return tab;
}

}  // namespace

void alphaCallback(PropSlider*, void*, double x, double) {
  if (Tuning* tuning = ApplicationTuning())
    tuning->fSmoothingAlpha.store(float(1.0 - x), std::memory_order_relaxed);
}

void contrastCallback(PropSlider*, void*, double x, double) {
  if (Tuning* tuning = ApplicationTuning())
    tuning->fContrastThreshold.store(float(x * 100.0), std::memory_order_relaxed);
}

void temporalBlendingCallback(PropSlider*, void*, double x, double) {
  if (Tuning* tuning = ApplicationTuning())
    tuning->fTemporalBlending.store(float(x), std::memory_order_relaxed);
}

ControlPanel::ControlPanel(BRect frame, Tuning* tuning, const AnalysisSizes& sizes)
    : fWindow(std::make_unique<BWindow>(frame, "Control Window")), fTuning(tuning) {
  sTuning = tuning;
  setObjectName("ControlWindow");
  setWindowTitle("Control Window");
  // Titled, without a close box.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint | Qt::CustomizeWindowHint);

  fViews.histo = new BView(BRect(0, 0, 60, 60), "histo");
  fViews.keyframe = new BView(BRect(0, 0, float(sizes.keyFrameWidth - 1), float(sizes.keyFrameHeight - 1)), "keyframe");
  fViews.matched = new BView(BRect(0, 0, float(sizes.matchedWidth - 1), float(sizes.matchedHeight - 1)), "matched");
  const QColor group = palette().color(QPalette::Window);
  fViews.histo->SetViewColor(rgb_color{uint8(group.red()), uint8(group.green()), uint8(group.blue()), 255});
  fWindow->AddChild(fViews.histo);
  fWindow->AddChild(fViews.keyframe);
  fWindow->AddChild(fViews.matched);
  fLink = std::make_unique<CanvasLink>(fWindow.get());

  auto* histoRow = new QHBoxLayout;
  histoRow->addWidget(Canvas(fViews.histo), 0, Qt::AlignTop);
  histoRow->addWidget(BuildPositionBox(), 1);

  fTabs = new QTabWidget;
  fTabs->setObjectName("tabs");
  fTabs->addTab(BuildMatcherTab(), "Matcher");
  fTabs->addTab(BuildInterpolatorTab(*tuning), "Interpolator");
  fTabs->addTab(BuildInputTab(*tuning), "Input");
  fTabs->addTab(BuildLCSTab(), "LCS");

  fOutputs = new OutputStatusView;

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(histoRow);
  layout->addWidget(fTabs, 1);
  layout->addWidget(fOutputs);

  RefreshSliderValues();
  Refresh();
  // The counters are read, not watched: a few times a second is enough, and their rows are
  // the costliest part of the window to repaint.
  connect(&fTimer, &QTimer::timeout, this, [this] { Refresh(fTicks++ % kOutputsEvery == 0); });
  fTimer.start(1000 / kRefreshRate);

  setGeometry(int(frame.left), int(frame.top), int(frame.Width()) + 1, int(frame.Height()) + 1);
  fWindow->Show();
  show();
}

QWidget* ControlPanel::BuildPositionBox() {
  auto* box = new QWidget;
  box->setObjectName("Position");
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  auto* numbers = new QHBoxLayout;
  const char* const names[3] = {"x", "y", "z"};
  for (int i = 0; i < 3; i++) {
    fPosition[i] = ValueLabel(names[i]);
    QPalette colors = fPosition[i]->palette();
    colors.setColor(QPalette::WindowText, PositionPlot::kColors[i]);
    fPosition[i]->setPalette(colors);
    fPosition[i]->setToolTip(QString("published %1 value").arg(names[i]));
    // Room for a sign and three decimals: the numbers do not push each other about.
    fPosition[i]->setMinimumWidth(fPosition[i]->fontMetrics().horizontalAdvance(QString("%1 -0.000").arg(names[i])) + 4);
    numbers->addWidget(fPosition[i]);
  }
  numbers->addStretch(1);
  layout->addLayout(numbers);
  fPlot = new PositionPlot(kRefreshRate * kPlotSeconds);
  fPlot->setToolTip(QString("the last %1 seconds of the position").arg(kPlotSeconds));
  layout->addWidget(fPlot, 1);
  return box;
}

QWidget* ControlPanel::SliderRow(const char* label, SliderCallback callback, double start, const char* tip,
                                 QLabel** value) {
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* text = new QLabel(label);
  text->setObjectName(label);
  text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto* slider = new PropSlider(label, callback, nullptr);
  slider->SetPosition(start);
  *value = ValueLabel((std::string(label) + " value").c_str());
  (*value)->setToolTip(tip);
  // Room for the widest value, so that the slider does not shift as it changes.
  (*value)->setMinimumWidth((*value)->fontMetrics().horizontalAdvance("100.0") + 4);
  (*value)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  layout->addWidget(text);
  layout->addWidget(slider, 1);
  layout->addWidget(*value);
  // After the slider's own callback, which stores the value shown.
  connect(slider, &QScrollBar::valueChanged, this, [this] { RefreshSliderValues(); });
  return row;
}

void ControlPanel::RefreshSliderValues() {
  if (fTuning == nullptr)
    return;
  // What the analysis uses: the amount of smoothing is the weight of the past, 1 - alpha.
  const float alpha = fTuning->fSmoothingAlpha.load(std::memory_order_relaxed);
  SetText(fSmoothingValue, QString::number(double(1.0f - alpha), 'f', 2));
  SetText(fContrastValue, QString::number(double(fTuning->fContrastThreshold.load(std::memory_order_relaxed)), 'f', 1));
  SetText(fBlendingValue, QString::number(double(fTuning->fTemporalBlending.load(std::memory_order_relaxed)), 'f', 2));
}

void ControlPanel::Follow(ImageInterpreter* interpreter) {
  fInterpreter = interpreter;
  fTicks = 0;
  fPlot->Clear();
  Refresh();
}

void ControlPanel::Refresh(bool withOutputs) {
  RefreshSliderValues();
  if (fInterpreter == nullptr) {
    for (QLabel* label : fPosition)
      SetText(label, QString("%1 -").arg(label->objectName()));
    SetText(fMatchedIndex, "matched: none");
    SetText(fNearestIndex, "nearest: none");
    SetText(fExamples, "stored: 0");
    SetText(fKeyFrames, "stored: 0");
    fOutputs->Show({});
    return;
  }
  const FrameSnapshot frame = fInterpreter->LastFrame();
  for (int i = 0; i < 3; i++)
    SetText(fPosition[i], QString("%1 %2").arg(fPosition[i]->objectName(), QString::number(double(frame.position[i]), 'f', 3)));
  if (frame.frames > 0)
    fPlot->AddSample(frame.position);
  SetText(fMatchedIndex, "matched: " + IndexText(frame.matched));
  SetText(fNearestIndex, "nearest: " + IndexText(frame.nearestKeyFrame));
  SetText(fExamples, QString("stored: %1").arg(fInterpreter->CountExamples()));
  SetText(fKeyFrames, QString("stored: %1").arg(fInterpreter->CountKeyFrames()));
  if (withOutputs)
    fOutputs->Show(fInterpreter->OutputStatuses());
}

ControlPanel::~ControlPanel() {
  fLink.reset();
  fWindow->Quit();
}

CanvasWidget* ControlPanel::Canvas(BView* view) {
  return new CanvasWidget(view, fLink.get());
}

QWidget* ControlPanel::BuildMatcherTab() {
  fMatchedIndex = ValueLabel("matched index");
  fMatchedIndex->setToolTip("the example nearest to the last frame");
  fExamples = ValueLabel("examples stored");
  fExamples->setToolTip("examples stored in the matcher");
  return Tab({
      Beside(Canvas(fViews.matched), {fMatchedIndex, fExamples}),
      Button("Add to matcher", FourCC("addi")),
      Button("Clear matcher", FourCC("clma")),
      CheckBox("Note to MIDI", FourCC("mn2m")),
      CheckBox("Modwheel to MIDI", FourCC("mm2m")),
      Row(CheckBox("Matched to Target App", FourCC("mtta")), Button("Set Target App", FourCC("smap"))),
  });
}

QWidget* ControlPanel::BuildInterpolatorTab(const Tuning& tuning) {

  auto* buss = new QComboBox;
  buss->setObjectName("buss:");
  for (int i = 1; i <= 16; i++)
    buss->addItem(QString::number(i));
  // Only a choice by the user sends: the entry shown at first is not applied.
  connect(buss, QOverload<int>::of(&QComboBox::activated), buss, [](int index) {
    BMessage message(FourCC("bkdx"));
    message.AddInt32("index", index);
    PostToApplication(message);
  });
  auto* bussField = new QWidget;
  auto* bussLayout = new QHBoxLayout(bussField);
  bussLayout->setContentsMargins(0, 0, 0, 0);
  auto* bussLabel = new QLabel("buss:");
  bussLabel->setObjectName("buss label");
  bussLayout->addWidget(bussLabel);
  bussLayout->addWidget(buss);

  fNearestIndex = ValueLabel("nearest key frame index");
  fNearestIndex->setToolTip("the key frame nearest to the last frame");
  fKeyFrames = ValueLabel("key frames stored");
  fKeyFrames->setToolTip("key frames stored in the interpolator");
  return Tab({
      Beside(Canvas(fViews.keyframe), {fNearestIndex, fKeyFrames}),
      Button("Add current as next keyframe", FourCC("addk")),
      Button("Clear keyframes", FourCC("clkf")),
      CheckBox("smooth output", FourCC("smoo")),
      SliderRow("smoothing amount:", alphaCallback, tuning.fSmoothingAlpha.load(),
                "the weight of the past in the smoothed position (1 - alpha)", &fSmoothingValue),
      CheckBox("Notes to MIDI", FourCC("ntom")),
      Row(CheckBox("Position to MIDI", FourCC("pkdx")), bussField),
      Row(CheckBox("Position to Target App", FourCC("ptta")), Button("Set Target App", FourCC("stap"))),
  });
}

QWidget* ControlPanel::BuildInputTab(const Tuning& tuning) {
  return Tab({
      SliderRow("edge contrast threshold:", contrastCallback, 10.0 / tuning.fContrastThreshold.load(),
                "the edge contrast below which a pixel adds nothing to the histogram", &fContrastValue),
      CheckBox("Smooth input images", FourCC("smii")),
      CheckBox("blend input images", FourCC("blii")),
      SliderRow("temporal blending:", temporalBlendingCallback, tuning.fTemporalBlending.load(),
                "the weight of the past when input images are blended", &fBlendingValue),
      nullptr,
  });
}

QWidget* ControlPanel::BuildLCSTab() {
  // Serial port: a one-menu bar whose title follows the marked entry.
  auto* portFrame = new QGroupBox("Serial Port");
  portFrame->setObjectName("Serial Port");
  auto* portLayout = new QVBoxLayout(portFrame);
  auto* bar = new QMenuBar;
  bar->setObjectName("LCS Serial Port menubar");
  bar->setNativeMenuBar(false);
  bar->setFixedSize(150, 30);
  QMenu* menu = bar->addMenu("LCS Serial Port");
  menu->setObjectName("LCS Serial Port");
  auto* group = new QActionGroup(menu);
  group->setExclusive(true);
  BSerialPort serial;
  const int32 count = serial.CountDevices();
  for (int32 i = 0; i < count; i++) {
    char name[32] = {};
    if (serial.GetDeviceName(i, name, sizeof name) != B_OK)
      continue;
    QAction* action = menu->addAction(QString::fromUtf8(name));
    action->setCheckable(true);
    group->addAction(action);
    const std::string port = name;
    connect(action, &QAction::triggered, menu, [menu, action, port] {
      menu->setTitle(action->text());
      BMessage message(FourCC("lcsp"));
      message.AddString("port", port);
      PostToApplication(message);
    });
  }
  // The second entry is marked, as the interpreter opens the second device; marking sends
  // nothing.
  if (group->actions().size() >= 2) {
    QAction* second = group->actions().at(1);
    second->setChecked(true);
    menu->setTitle(second->text());
  }
  portLayout->addWidget(bar);

  auto* mappingFrame = new QGroupBox("Z mapping");
  mappingFrame->setObjectName("Z mapping");
  auto* mappingLayout = new QVBoxLayout(mappingFrame);
  auto* mapping = new QButtonGroup(mappingFrame);
  const char* const entries[] = {"pan", "divergence", "level"};
  for (int i = 0; i < 3; i++) {
    auto* radio = new QRadioButton(entries[i]);
    radio->setObjectName(entries[i]);
    mapping->addButton(radio, i);
    mappingLayout->addWidget(radio);
  }
  connect(mapping, &QButtonGroup::idClicked, mappingFrame, [](int index) {
    BMessage message(FourCC("lcsz"));
    message.AddInt32("index", index);
    PostToApplication(message);
  });

  return Tab({
      nullptr,
      CheckBox("Position to LCS", FourCC("lcss")),
      nullptr,
      portFrame,
      mappingFrame,
  });
}

void ControlPanel::closeEvent(QCloseEvent* event) {
  if (fMayClose)
    event->accept();
  else
    event->ignore();
}
