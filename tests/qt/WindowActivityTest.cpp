// What the control window shows of a running analysis: the published position as numbers
// and as a plot, the stored and matched indices, the sliders' values and the counters of the
// outputs that are on, read by the window itself on the GUI thread.

#include <gtest/gtest.h>

#include <QLabel>
#include <QPixmap>

#include "QtTestSupport.h"
#include "app/ControlPanel.h"
#include "app/OutputStatusView.h"
#include "app/PositionPlot.h"
#include "app/PropSlider.h"
#include "app/RuntimeFolder.h"
#include "app/Sizes.h"
#include "capture/Tuning.h"
#include "platform/interface/RecordingAlertService.h"
#include "interpreter/ImageInterpreter.h"
#include "interpreter/InterpreterFixture.h"
#include "peers/ListenerProcess.h"

namespace {

using testing_support::Pattern;
using testing_support::TestFrame;

class WindowActivityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApplication();
    const AnalysisSizes sizes = SizesForChoice(2);  // 80x60
    fPanel = std::make_unique<ControlPanel>(BRect(sizes.windowWidth + 47, 28, sizes.windowWidth + 247, sizes.windowHeight + 27),
                                            &fTuning, sizes);
    ControlViews views = fPanel->Views();
    fInterpreter = std::make_unique<ImageInterpreter>(views.histo, views.keyframe, views.matched, B_RGB32);
    fPanel->Follow(fInterpreter.get());
  }
  void TearDown() override {
    fPanel->Follow(nullptr);
    fInterpreter.reset();
    fPanel->AllowClose();
    fPanel.reset();
  }

  std::string Text(const char* name) {
    auto* label = fPanel->findChild<QLabel*>(name);
    return label != nullptr ? label->text().toStdString() : std::string("(no label) ") + name;
  }
  QImage Plot() { return fPanel->findChild<PositionPlot*>("position plot")->grab().toImage(); }

  // A frame of each pattern, 80x60 like the views.
  TestFrame fVertical{Pattern::kVertical, 80, 60};
  TestFrame fHorizontal{Pattern::kHorizontal, 80, 60};
  TestFrame fDiagonal{Pattern::kDiagonal, 80, 60};

  RecordingAlertService fAlerts;
  ScopedAlertService fScope{&fAlerts};
  Tuning fTuning;
  std::unique_ptr<ControlPanel> fPanel;
  std::unique_ptr<ImageInterpreter> fInterpreter;
};

TEST_F(WindowActivityTest, NumbersAndIndicesAreThoseOfTheLastPublishedFrame) {
  fPanel->Refresh();
  EXPECT_EQ(Text("matched index"), "matched: none");
  EXPECT_EQ(Text("examples stored"), "stored: 0");

  // Key frames (0,0,0) from the vertical edge and (1,0,0) from the horizontal one; the
  // examples in the other order, so that the two indices differ.
  for (TestFrame* frame : {&fVertical, &fHorizontal}) {
    fInterpreter->SaveNextImageAsKeyframe();
    fInterpreter->Interpret(frame->image());
  }
  for (TestFrame* frame : {&fHorizontal, &fVertical}) {
    fInterpreter->SaveNextImageToMatcher();
    fInterpreter->Interpret(frame->image());
  }
  fPanel->Refresh();
  EXPECT_EQ(Text("examples stored"), "stored: 2");
  EXPECT_EQ(Text("key frames stored"), "stored: 2");

  float seen[2][3];
  TestFrame* frames[2] = {&fHorizontal, &fVertical};
  for (int f = 0; f < 2; f++) {
    SCOPED_TRACE(f);
    fInterpreter->Interpret(frames[f]->image());
    fPanel->Refresh();
    fInterpreter->GetCurrentValues(seen[f]);
    const char* const names[3] = {"x", "y", "z"};
    for (int i = 0; i < 3; i++)
      EXPECT_EQ(Text(names[i]), QString("%1 %2").arg(names[i]).arg(double(seen[f][i]), 0, 'f', 3).toStdString());
    EXPECT_EQ(Text("matched index"), "matched: " + std::to_string(fInterpreter->LastMatched()));
    EXPECT_EQ(Text("nearest key frame index"), "nearest: " + std::to_string(fInterpreter->LastKeyFrame()));
  }
  // The frames really moved the position and the indices.
  EXPECT_NEAR(seen[0][0], 1.0f, 0.05f);
  EXPECT_NEAR(seen[1][0], 0.0f, 0.05f);
  EXPECT_EQ(Text("matched index"), "matched: 1");
  EXPECT_EQ(Text("nearest key frame index"), "nearest: 0");

  fInterpreter->ClearMatcher();
  fPanel->Refresh();
  EXPECT_EQ(Text("examples stored"), "stored: 0");
}

TEST_F(WindowActivityTest, ThePlotMovesWithThePositionAndOnlyThen) {
  fInterpreter->SaveNextImageAsKeyframe();
  fInterpreter->Interpret(fVertical.image());
  fInterpreter->SaveNextImageAsKeyframe();
  fInterpreter->Interpret(fHorizontal.image());

  // Away from (0,0,0), where an empty history would also lie.
  fInterpreter->Interpret(fHorizontal.image());
  fPanel->Refresh();
  const QImage still = Plot();
  // The same position, frame after frame and tick after tick: the same picture.
  for (int tick = 0; tick < 5; tick++) {
    fInterpreter->Interpret(fHorizontal.image());
    fPanel->Refresh();
  }
  EXPECT_TRUE(Plot() == still) << "a still position redrew the plot";

  fInterpreter->Interpret(fVertical.image());
  fPanel->Refresh();
  const QImage moved = Plot();
  EXPECT_TRUE(moved != still) << "a new position left the plot as it was";
  // What moved scrolls on while the position stays.
  fInterpreter->Interpret(fVertical.image());
  fPanel->Refresh();
  EXPECT_TRUE(Plot() != moved) << "the plot did not scroll";
}

TEST_F(WindowActivityTest, SlidersShowTheValuesTheTuningHolds) {
  fPanel->Refresh();
  EXPECT_EQ(Text("smoothing amount: value"), "0.30");  // 1 - alpha
  EXPECT_EQ(Text("edge contrast threshold: value"), "20.0");
  EXPECT_EQ(Text("temporal blending: value"), "0.70");

  // Moving a knob shows its value at once.
  auto* contrast = fPanel->findChild<PropSlider*>("edge contrast threshold:");
  contrast->setValue(contrast->maximum() * 35 / 100);
  EXPECT_EQ(Text("edge contrast threshold: value"),
            QString::number(double(fTuning.fContrastThreshold.load()), 'f', 1).toStdString());
  EXPECT_EQ(Text("edge contrast threshold: value"), "35.0");
  auto* alpha = fPanel->findChild<PropSlider*>("smoothing amount:");
  alpha->setValue(alpha->maximum() / 4);
  EXPECT_EQ(Text("smoothing amount: value"), "0.25");

  // A value set elsewhere shows on the next tick.
  fTuning.fTemporalBlending.store(0.4f);
  fPanel->Refresh();
  EXPECT_EQ(Text("temporal blending: value"), "0.40");
}

TEST_F(WindowActivityTest, OutputCountersAreTheOutputsOwnAfterTheReceiverStops) {
  PrivateRuntimeFolder runtime;
  const std::string signature = TestSignature("activity");
  ListenerProcess listener(signature);
  ASSERT_TRUE(listener.Ready());

  auto statusOf = [this](const char* name) {
    for (const OutputStatus& status : fInterpreter->OutputStatuses())
      if (status.name == name)
        return status;
    return OutputStatus{};
  };
  auto* outputs = fPanel->findChild<OutputStatusView*>("Outputs");
  ASSERT_NE(outputs, nullptr);
  fPanel->Refresh();
  EXPECT_TRUE(outputs->findChild<QLabel*>("no output")->isVisibleTo(outputs));

  fInterpreter->SetDestinationAppSignature(signature.c_str());
  fInterpreter->SetSendBMessages(true);
  TestFrame* frames[3] = {&fVertical, &fHorizontal, &fDiagonal};
  auto run = [&](int count) {
    for (int i = 0; i < count; i++) {
      fInterpreter->Interpret(frames[i % 3]->image());
      ASSERT_TRUE(fInterpreter->WaitForOutputs());
    }
  };
  run(3);
  fPanel->Refresh();
  QWidget* row = outputs->findChild<QWidget*>("Position to Target App");
  ASSERT_NE(row, nullptr);
  EXPECT_TRUE(row->isVisibleTo(outputs));
  EXPECT_FALSE(outputs->findChild<QLabel*>("no output")->isVisibleTo(outputs));
  // Only the outputs that are on have a row on show.
  for (QWidget* other : outputs->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (other != row && other->objectName() != "no output") {
      EXPECT_FALSE(other->isVisibleTo(outputs)) << other->objectName().toStdString();
    }
  }
  EXPECT_EQ(row->findChild<QLabel*>("light")->property("state").toString(), OutputStatusView::kSending);

  listener.Stop();
  run(3);
  fPanel->Refresh();
  const OutputStatus status = statusOf("Position to Target App");
  EXPECT_GT(status.sent, 0u);
  EXPECT_GT(status.failed, 0u);
  EXPECT_EQ(row->findChild<QLabel*>("counts")->text().toStdString(),
            QString("sent %1 · dropped %2 · failed %3").arg(status.sent).arg(status.dropped).arg(status.failed).toStdString());
  EXPECT_EQ(row->findChild<QLabel*>("light")->property("state").toString(), OutputStatusView::kFailing);
  ASSERT_FALSE(status.lastFailure.empty());
  EXPECT_EQ(row->toolTip().toStdString(), status.lastFailure);

  // The light stays red a while after the last failure, then goes grey; the counts stay.
  for (int look = 1; look < OutputStatusView::kHoldLooks; look++)
    fPanel->Refresh();
  EXPECT_EQ(row->findChild<QLabel*>("light")->property("state").toString(), OutputStatusView::kFailing);
  fPanel->Refresh();
  EXPECT_EQ(row->findChild<QLabel*>("light")->property("state").toString(), OutputStatusView::kIdle);
  EXPECT_EQ(statusOf("Position to Target App").failed, status.failed);

  fInterpreter->SetSendBMessages(false);
  fPanel->Refresh();
  EXPECT_FALSE(row->isVisibleTo(outputs));
}

}  // namespace
