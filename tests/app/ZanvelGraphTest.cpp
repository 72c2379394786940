// Start-up and shutdown with the real media graph: the windows in order, the graph from the
// video input to the analysis, the alerts when it cannot be built, and the tear-down.

#include <gtest/gtest.h>

#include <thread>
#include <unistd.h>

#include "HeadlessWindows.h"
#include "platform/app/AppDefs.h"
#include "app/Sizes.h"
#include "app/Zanvel.h"
#include "capture/VideoConsumer.h"
#include "platform/interface/RecordingAlertService.h"
#include "interpreter/ImageInterpreter.h"
#include "platform/media/BMediaRoster.h"

namespace {

ZanvelSettings GraphSettings() {
  ZanvelSettings settings;
  settings.signature = "application/x-vnd.zanvel-test-graph-" + std::to_string(getpid());
  settings.sizeChoice = 1;  // 160x120
  return settings;
}

class GraphTest : public ::testing::Test {
 protected:
  // The alerts of start-up, without the interpreter's own about devices it cannot open
  // (this machine may have no MIDI service or serial lines).
  std::vector<AlertRequest> StartAlerts() const {
    std::vector<AlertRequest> alerts;
    for (const AlertRequest& alert : fAlerts.Alerts())
      if (alert.text.rfind("can't open", 0) != 0)
        alerts.push_back(alert);
    return alerts;
  }
  // Asks the application to quit from another thread once `condition` holds.
  std::thread QuitWhen(Zanvel& app, std::function<bool()> condition) {
    return std::thread([&app, condition] {
      for (int i = 0; i < 1000 && !condition(); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      app.PostMessage(B_QUIT_REQUESTED);
    });
  }
  RecordingAlertService fAlerts;
  ScopedAlertService fScope{&fAlerts};
  HeadlessWindows fWindows;
};

TEST_F(GraphTest, StartsWindowsInterpreterAndGraphInOrderAndTearsDownOnQuit) {
  BMediaRoster::Roster()->SetVideoInputSetting("test");
  Zanvel app(&fWindows, GraphSettings());
  // Quits once a frame has reached the live video view (the pattern's background is not the
  // view's white).
  std::atomic<bool> framesShown{false};
  std::thread quitter = QuitWhen(app, [&] {
    BWindow* window = fWindows.VideoWindow();
    if (window == nullptr || !window->Lock())
      return false;
    // The window may exist before its view has been added.
    BView* view = window->FindView("Video View");
    if (view == nullptr) {
      window->Unlock();
      return false;
    }
    rgb_color corner = view->PixelAt(0, 0);
    window->Unlock();
    framesShown = !(corner.red == 255 && corner.green == 255 && corner.blue == 255);
    return framesShown.load();
  });
  ::testing::internal::CaptureStdout();
  app.Run();
  quitter.join();
  std::string out = ::testing::internal::GetCapturedStdout();

  const float x = float(app.Sizes().windowWidth);
  const float y = float(app.Sizes().windowHeight);
  const auto& log = fWindows.Log();
  ASSERT_EQ(fWindows.Names(), (std::vector<std::string>{"splash", "video", "control", "activate splash", "close splash"}));
  EXPECT_EQ(log[0].frame, BRect(10, 300, 629, 355));
  EXPECT_EQ(log[1].frame, BRect(28, 28, x + 27, y + 27));
  EXPECT_EQ(log[2].frame, BRect(x + 47, 28, x + 247, y + 27));
  EXPECT_TRUE(StartAlerts().empty());
  EXPECT_TRUE(framesShown.load()) << "no frame reached the video view";
  ASSERT_NE(app.Interpreter(), nullptr);

  EXPECT_NE(out.find("SetUpNodes OK!\n"), std::string::npos);
  size_t stopping = out.find("stopping nodes!\n");
  ASSERT_NE(stopping, std::string::npos);
  EXPECT_LT(out.find("SetUpNodes OK!\n"), stopping);
  // The consumer went with the graph, and took the live video window with it.
  EXPECT_EQ(app.Consumer(), nullptr);
  EXPECT_EQ(app.ProducerNode(), media_node::null);
  EXPECT_TRUE(fWindows.VideoWindow()->IsQuitting());

  // A second tear-down does nothing and says nothing; start and stop find no producer.
  ::testing::internal::CaptureStdout();
  app.TearDownNodes();
  BMessage start(FourCC("strt"));
  app.MessageReceived(&start);
  BMessage stop(FourCC("stop"));
  app.MessageReceived(&stop);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

TEST_F(GraphTest, WithoutAVideoInputTheUserSeesBothAlertsAndTheProgramQuits) {
  BMediaRoster::Roster()->SetVideoInputSetting("/nonexistent/zanvel-no-such-video.avi");
  Zanvel app(&fWindows, GraphSettings());
  ::testing::internal::CaptureStdout();
  app.Run();  // returns because the alerts asked to quit
  std::string out = ::testing::internal::GetCapturedStdout();

  std::vector<AlertRequest> alerts = StartAlerts();
  ASSERT_EQ(alerts.size(), 2u);
  EXPECT_EQ(alerts[0].text.rfind("could not find a video input!\n", 0), 0u) << alerts[0].text;
  EXPECT_EQ(alerts[1].text.rfind("Error setting up nodes\n", 0), 0u) << alerts[1].text;
  EXPECT_EQ(alerts[1].buttons, std::vector<std::string>{"Quit"});
  // The splash stays behind the alerts; no consumer was made, so there is nothing to stop.
  EXPECT_EQ(fWindows.Names(), (std::vector<std::string>{"splash", "video", "control", "activate splash"}));
  EXPECT_EQ(app.Consumer(), nullptr);
  EXPECT_EQ(out.find("stopping nodes!"), std::string::npos);
}

}  // namespace
