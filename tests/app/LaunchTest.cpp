#include <gtest/gtest.h>

#include "platform/app/BMessenger.h"
#include "platform/app/BRoster.h"
#include "peers/LaunchableListener.h"

namespace {
LaunchableListener* gDesktop = nullptr;
}

class Launch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gDesktop = new LaunchableListener("application/x-vnd.zanvel-launchable"); }
  static void TearDownTestSuite() {
    delete gDesktop;
    gDesktop = nullptr;
  }
  void TearDown() override { gDesktop->Stop(); }
};

TEST_F(Launch, StartsTheApplicationThatDeclaresTheSignature) {
  const char* signature = gDesktop->Signature().c_str();
  EXPECT_FALSE(be_roster->IsRunning(signature));
  team_id team = -1;
  ASSERT_EQ(be_roster->Launch(signature, &team), B_OK);
  pid_t pid = gDesktop->Pid();
  ASSERT_GT(pid, 0);
  EXPECT_EQ(team, pid) << "the script execs the listener in place";

  BMessenger messenger;
  for (int i = 0; i < 500 && !messenger.IsValid(); i++) {
    snooze(10000);
    messenger = BMessenger(signature);
  }
  ASSERT_TRUE(messenger.IsValid());
  EXPECT_EQ(be_roster->Launch(signature), B_ALREADY_RUNNING);
  BMessage m(FourCC("M23d"));
  m.AddInt32("objectid", 0);
  ASSERT_EQ(messenger.SendMessage(&m), B_OK);
  EXPECT_EQ(gDesktop->Lines(1), std::vector<std::string>{"M23d objectid=0"});
}

TEST_F(Launch, ReportsWhatCannotBeLaunched) {
  EXPECT_EQ(be_roster->Launch("application/x-vnd.zanvel-nobody"), B_NAME_NOT_FOUND);
  EXPECT_EQ(be_roster->Launch("osc.udp://localhost:7000/x"), B_BAD_VALUE);
  EXPECT_EQ(be_roster->Launch(""), B_BAD_VALUE);
  EXPECT_FALSE(gDesktop->Launched());
}
