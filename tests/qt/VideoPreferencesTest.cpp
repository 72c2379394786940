// The video-preferences window: a generic editor of a node's parameters, rebuilt when the
// node's parameters change, keeping the selected tab.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QSlider>
#include <QTabWidget>
#include <mutex>

#include "QtTestSupport.h"
#include "app/ControlWindow.h"
#include "app/QtWindows.h"
#include "platform/media/BControllable.h"
#include "platform/media/BMediaEventLooper.h"
#include "platform/media/BMediaRoster.h"

namespace {

// A node with groups of parameters that records what the editor sets.
class PictureNode : public BMediaEventLooper, public BControllable {
 public:
  PictureNode() : BMediaNode("picture controls") {}

  void Publish(int groups) {
    auto* web = new BParameterWeb;
    for (int g = 0; g < groups; g++) {
      BParameterGroup* group = web->MakeGroup(("group " + std::to_string(g)).c_str());
      group->MakeContinuousParameter(g * 10, "brightness", "%", 0, 100, 1);
      BDiscreteParameter* mode = group->MakeDiscreteParameter(g * 10 + 1, "mode");
      mode->AddItem(0, "off");
      mode->AddItem(7, "auto");
    }
    SetParameterWeb(web);
  }
  std::vector<std::pair<int32, float>> Changes() {
    std::lock_guard<std::mutex> lock(fLock);
    return fChanges;
  }

  BMediaAddOn* AddOn(int32*) const override { return nullptr; }
  status_t HandleMessage(int32 code, const void* data, size_t size) override {
    if (BControllable::HandleMessage(code, data, size) == B_OK)
      return B_OK;
    return BMediaNode::HandleMessage(code, data, size);
  }

 protected:
  void HandleEvent(const media_timed_event*, bigtime_t, bool) override {}
  status_t GetParameterValue(int32 id, bigtime_t* lastChange, void* value, size_t* ioSize) override {
    if (lastChange != nullptr)
      *lastChange = 0;
    if (id % 10 == 0) {
      float v = 40;
      memcpy(value, &v, sizeof v);
      *ioSize = sizeof v;
    } else {
      int32 v = 7;
      memcpy(value, &v, sizeof v);
      *ioSize = sizeof v;
    }
    return B_OK;
  }
  void SetParameterValue(int32 id, bigtime_t, const void* value, size_t size) override {
    float v = 0;
    if (id % 10 == 0 && size == sizeof(float))
      memcpy(&v, value, sizeof v);
    else if (size == sizeof(int32)) {
      int32 i = 0;
      memcpy(&i, value, sizeof i);
      v = float(i);
    }
    std::lock_guard<std::mutex> lock(fLock);
    fChanges.push_back({id, v});
  }

 private:
  std::mutex fLock;
  std::vector<std::pair<int32, float>> fChanges;
};

class VideoPreferencesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApplication();
    fRoster = BMediaRoster::Roster();
    fNode = new PictureNode;
    ASSERT_EQ(fRoster->RegisterNode(fNode), B_OK);
  }
  void TearDown() override { fRoster->ReleaseNode(fNode->Node()); }
  BMediaRoster* fRoster = nullptr;
  PictureNode* fNode = nullptr;
};

TEST_F(VideoPreferencesTest, EditsTheParametersAndSendsChangesToTheNode) {
  fNode->Publish(1);
  ControlWindow* window = ControlWindow::Open(fNode->Node(), 236, 28);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), "Video Preferences");
  EXPECT_EQ(window->geometry().topLeft(), QPoint(236, 28));
  // One group: a plain panel with the node's current values.
  EXPECT_EQ(qobject_cast<QTabWidget*>(window->View()), nullptr);
  auto* brightness = window->findChild<QSlider*>("brightness");
  auto* mode = window->findChild<QComboBox*>("mode");
  ASSERT_TRUE(brightness && mode);
  EXPECT_EQ(brightness->value(), 40);
  EXPECT_EQ(mode->currentText(), "auto");
  brightness->setValue(75);
  emit mode->activated(0);
  ASSERT_TRUE(WaitFor([&] { return fNode->Changes().size() >= 2; }));
  std::vector<std::pair<int32, float>> changes = fNode->Changes();
  EXPECT_EQ(changes[0], (std::pair<int32, float>{0, 75.0f}));
  EXPECT_EQ(changes[1], (std::pair<int32, float>{1, 0.0f}));
  delete window;
}

TEST_F(VideoPreferencesTest, AChangedWebRebuildsTheEditorOnTheSelectedTab) {
  fNode->Publish(3);
  QPointer<ControlWindow> window = ControlWindow::Open(fNode->Node(), 236, 28);
  ASSERT_NE(window, nullptr);
  auto* tabs = qobject_cast<QTabWidget*>(window->View());
  ASSERT_NE(tabs, nullptr);
  ASSERT_EQ(tabs->count(), 3);
  EXPECT_EQ(tabs->tabText(2), "group 2");
  tabs->setCurrentIndex(2);
  QPointer<QWidget> old = tabs;
  fNode->Publish(4);  // the node announces new parameters
  ASSERT_TRUE(WaitFor([&] { return old.isNull(); })) << "the editor was not rebuilt";
  auto* rebuilt = qobject_cast<QTabWidget*>(window->View());
  ASSERT_NE(rebuilt, nullptr);
  EXPECT_EQ(rebuilt->count(), 4);
  EXPECT_EQ(rebuilt->currentIndex(), 2);
  delete window;
}

TEST_F(VideoPreferencesTest, EveryRequestOpensAnotherWindowAndANodeWithoutParametersNone) {
  fNode->Publish(2);
  QtWindows windows;
  EXPECT_TRUE(windows.OpenVideoPreferences(fNode->Node(), 236, 28));
  EXPECT_TRUE(windows.OpenVideoPreferences(fNode->Node(), 236, 28));
  EXPECT_EQ(windows.PreferenceWindows().size(), 2u);
  EXPECT_FALSE(windows.OpenVideoPreferences(media_node::null, 236, 28));
  EXPECT_EQ(windows.PreferenceWindows().size(), 2u);
}

}  // namespace
