#include <gtest/gtest.h>

#include <thread>

#include "platform/interface/BAlert.h"
#include "platform/interface/AlertService.h"
#include "platform/interface/RecordingAlertService.h"

TEST(Alert, GoAsksTheInstalledServiceAndReturnsTheScriptedButton) {
  RecordingAlertService service;
  ScopedAlertService installed(&service);
  service.QueueAnswer(2);
  service.QueueAnswer(1);
  EXPECT_EQ((new BAlert("Select", "pick one", "a", "b", "c"))->Go(), 2);
  EXPECT_EQ((new BAlert("", "can't open x", "ug", nullptr, nullptr, B_WIDTH_AS_USUAL,
                        B_INFO_ALERT))->Go(),
            0)
      << "a scripted answer beyond the buttons falls back to the last button";
  EXPECT_EQ((new BAlert("t", "x", "one", "two", nullptr, B_WIDTH_AS_USUAL, B_STOP_ALERT))->Go(), 0)
      << "the default answer once the script is used up";

  const auto alerts = service.Alerts();
  ASSERT_EQ(alerts.size(), 3u);
  EXPECT_EQ(alerts[0].title, "Select");
  EXPECT_EQ(alerts[0].buttons, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(alerts[1].title, "");
  EXPECT_EQ(alerts[1].text, "can't open x");
  EXPECT_EQ(alerts[1].buttons, std::vector<std::string>{"ug"});
  EXPECT_EQ(alerts[1].type, B_INFO_ALERT);
  EXPECT_EQ(alerts[2].type, B_STOP_ALERT);
}

TEST(Alert, InsideANoWaitScopeGoOnlyNotifiesAndAnswersTheDefaultButton) {
  // A service whose Show would wait for ever, as a person who never clicks.
  struct NeverAnswers : AlertService {
    int32 Show(const AlertRequest&) override {
      ADD_FAILURE() << "an alert waited inside a no-wait scope";
      return 0;
    }
    void Notify(const AlertRequest& request) override { notified.push_back(request); }
    std::vector<AlertRequest> notified;
  } service;
  ScopedAlertService installed(&service);
  {
    ScopedNoWaitAlerts outer;
    ScopedNoWaitAlerts inactive(false);
    EXPECT_EQ((new BAlert("t", "first line\nsecond", "a", "b", "c"))->Go(), 2);
    {
      ScopedNoWaitAlerts nested;
    }
    EXPECT_TRUE(ScopedNoWaitAlerts::Active()) << "scopes nest";
    std::thread other([] { EXPECT_FALSE(ScopedNoWaitAlerts::Active()) << "the scope is the thread's own"; });
    other.join();
  }
  EXPECT_FALSE(ScopedNoWaitAlerts::Active());
  ASSERT_EQ(service.notified.size(), 1u);
  // One line for standard error, whatever the text holds.
  EXPECT_EQ(AlertLine(service.notified[0]), "alert \"t\": first line / second [a | b | c*]");
}

TEST(Alert, ButtonListEndsAtTheFirstMissingLabel) {
  RecordingAlertService service(5);
  ScopedAlertService installed(&service);
  EXPECT_EQ((new BAlert("t", "x", "one", nullptr, "three"))->Go(), 0);
  EXPECT_EQ(service.Alerts()[0].buttons.size(), 1u);
}

TEST(Alert, ScopedServiceRestoresThePreviousOne) {
  RecordingAlertService outer, inner;
  ScopedAlertService a(&outer);
  {
    ScopedAlertService b(&inner);
    EXPECT_EQ(AlertService::Current(), &inner);
  }
  EXPECT_EQ(AlertService::Current(), &outer);
  AlertService::Install(nullptr);
  EXPECT_NE(AlertService::Current(), nullptr) << "the console back end stands in";
  testing::internal::CaptureStderr();
  EXPECT_EQ((new BAlert("t", "console", "no", "yes"))->Go(), 1) << "console answers the default";
  EXPECT_NE(testing::internal::GetCapturedStderr().find("console"), std::string::npos);
  AlertService::Install(&outer);
}

TEST(Alert, AlertsFromAnotherThreadAreRecordedAndAwaitable) {
  RecordingAlertService service(1);
  ScopedAlertService installed(&service);
  int32 answer = -1;
  std::thread shower([&] { answer = (new BAlert("", "from afar", "x", "y"))->Go(); });
  EXPECT_TRUE(service.WaitForAlerts(1, 5000000));
  shower.join();
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(service.CountAlerts(), 1u);
  EXPECT_FALSE(service.WaitForAlerts(2, 1000));
}
