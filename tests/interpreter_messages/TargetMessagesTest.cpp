#include <gtest/gtest.h>
#include <lo/lo.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/app/BMessenger.h"
#include "platform/app/MessageText.h"
#include "platform/interface/RecordingAlertService.h"
#include "interpreter/InterpreterFixture.h"
#include "interpreter/TargetMessages.h"
#include "peers/LaunchableListener.h"
#include "peers/ListenerProcess.h"
#include "device/PseudoTerminal.h"

using testing_support::InterpreterTest;
using testing_support::Pattern;
using testing_support::TestFrame;

namespace {

const char* const kReceiver = kSpeakerReceiverSignature;

const std::vector<std::string> kSpeakerLines = {
    "M23d objectid=-5 speaker=1 x=-63.0 y=-63.0 z=-63.0",
    "M23d objectid=-5 speaker=2 x=64.0 y=-63.0 z=-63.0",
    "M23d objectid=-5 speaker=3 x=-63.0 y=64.0 z=-63.0",
    "M23d objectid=-5 speaker=4 x=64.0 y=64.0 z=-63.0",
    "M23d objectid=-5 speaker=5 x=-63.0 y=-63.0 z=64.0",
    "M23d objectid=-5 speaker=6 x=64.0 y=-63.0 z=64.0",
    "M23d objectid=-5 speaker=7 x=-63.0 y=64.0 z=64.0",
    "M23d objectid=-5 speaker=8 x=64.0 y=64.0 z=64.0",
};

std::string Line(BMessage* message) {
  std::string line = message_to_line(*message);
  delete message;
  return line;
}

// One desktop set-up for the whole program (GIO reads it once): the speaker receiver's
// signature is declared by a .desktop file that starts zanvel-listen.
LaunchableListener& Desktop() {
  static LaunchableListener* desktop = new LaunchableListener(kReceiver);
  return *desktop;
}

// The interpreter with its views, alerts recorded, and a private desktop.
class TargetMessages : public InterpreterTest {
 protected:
  void SetUp() override {
    Desktop();
    InterpreterTest::SetUp();
  }
  void TearDown() override {
    InterpreterTest::TearDown();
    Desktop().Stop();
  }
  // The line the position message of the frame just analysed must print as.
  std::string ExpectedPosition(uint32 what) {
    std::vector<float> v = Position();
    return Line(MakePositionMessage(what, v.data()));
  }
  // Key frames on two pictures, so the position moves between frames.
  void AddTwoKeyFrames() {
    interpreter->SaveNextImageAsKeyframe();
    Run(Pattern::kVertical);
    interpreter->SaveNextImageAsKeyframe();
    Run(Pattern::kHorizontal);
  }
  std::vector<AlertRequest> LaunchAlerts() {
    std::vector<AlertRequest> found;
    for (const AlertRequest& a : alerts.Alerts())
      if (a.text.rfind("Problem launching", 0) == 0) found.push_back(a);
    return found;
  }

  RecordingAlertService alerts;
  ScopedAlertService installed{&alerts};
};

}  // namespace

TEST(TargetMessageFormat, PositionSpeakerAndMatchedFieldsInOrder) {
  const float position[3] = {0.25f, 0.5f, 1.0f};
  std::unique_ptr<BMessage> m(MakePositionMessage(FourCC("M23d"), position));
  ASSERT_EQ(m->CountFields(), 4);
  const char* names[] = {"objectid", "x", "y", "z"};
  const type_code types[] = {B_INT32_TYPE, B_FLOAT_TYPE, B_FLOAT_TYPE, B_FLOAT_TYPE};
  for (int32 i = 0; i < 4; i++) {
    const char* name;
    type_code type;
    m->GetInfo(i, &name, &type);
    EXPECT_STREQ(name, names[i]);
    EXPECT_EQ(type, types[i]);
  }
  float x, y, z;
  int32 id = -1;
  m->FindInt32("objectid", &id);
  m->FindFloat("x", &x);
  m->FindFloat("y", &y);
  m->FindFloat("z", &z);
  EXPECT_EQ(id, 0);
  EXPECT_EQ(x, -31.25f);
  EXPECT_EQ(y, 0.5f);
  EXPECT_EQ(z, 64.0f);
  const float ends[3] = {0.0f, 1.0f, 0.5f};
  EXPECT_EQ(Line(MakePositionMessage(0x61626364, ends)), "abcd objectid=0 x=-63.0 y=64.0 z=0.5");

  for (int32 s = 0; s < kSpeakerCount; s++) EXPECT_EQ(Line(MakeSpeakerMessage(s)), kSpeakerLines[size_t(s)]);
  EXPECT_EQ(Line(MakeMatchedMessage(FourCC("M2mm"), 0)), "M2mm index=0");
}

TEST_F(TargetMessages, TheReceiverGetsTheSpeakersThenEveryFramesPosition) {
  ListenerProcess receiver(kReceiver);
  ASSERT_TRUE(receiver.Ready());
  AddTwoKeyFrames();

  interpreter->SetSendBMessages(true);
  std::vector<std::string> expected = kSpeakerLines;
  const Pattern frames[] = {Pattern::kVertical, Pattern::kHorizontal, Pattern::kDiagonal,
                            Pattern::kDiagonal, Pattern::kChecker};
  for (Pattern p : frames) {
    EXPECT_NE(Run(p).find(" fps\n"), std::string::npos);
    expected.push_back(ExpectedPosition(FourCC("M23d")));  // also when it did not move
  }
  EXPECT_EQ(receiver.Lines(expected.size()), expected);
  EXPECT_TRUE(LaunchAlerts().empty());

  // The exact scaling, through the same messenger path: (0.25, 0.5, 1.0).
  const float position[3] = {0.25f, 0.5f, 1.0f};
  std::unique_ptr<BMessage> m(MakePositionMessage(FourCC("M23d"), position));
  ASSERT_EQ(BMessenger(kReceiver).SendMessage(m.get()), B_OK);
  EXPECT_EQ(receiver.Lines(expected.size() + 1).back(), "M23d objectid=0 x=-31.25 y=0.5 z=64.0");
}

TEST_F(TargetMessages, SpeakersOnlyForExactlyThatReceiversSignature) {
  // Socket names ignore case, so this reaches the same listener; the speaker placement,
  // compared byte for byte, is not sent.
  ListenerProcess receiver(kReceiver);
  ASSERT_TRUE(receiver.Ready());
  interpreter->SetDestinationAppSignature("application/x-vnd.KDX-3dReceiver");
  interpreter->SetSendBMessages(true);
  Run(Pattern::kVertical);
  std::vector<std::string> lines = receiver.Lines(1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], ExpectedPosition(FourCC("M23d")));
  EXPECT_EQ(receiver.Lines(2, 200000).size(), 1u);
}

TEST_F(TargetMessages, OffAndOnAgainSendsTheSpeakersAgainAndACodeChangeOnlyMovesPositions) {
  ListenerProcess receiver(kReceiver);
  ASSERT_TRUE(receiver.Ready());
  std::vector<std::string> expected;
  interpreter->SetSendBMessages(true);
  expected.insert(expected.end(), kSpeakerLines.begin(), kSpeakerLines.end());
  Run(Pattern::kVertical);
  expected.push_back(ExpectedPosition(FourCC("M23d")));

  interpreter->SetBMessageCommand(0x61626364);
  EXPECT_EQ(interpreter->GetBMessageCommand(), 0x61626364u);
  Run(Pattern::kVertical);
  expected.push_back(ExpectedPosition(0x61626364));

  interpreter->SetSendBMessages(false);
  Run(Pattern::kVertical);  // sends nothing
  interpreter->SetSendBMessages(true);
  expected.insert(expected.end(), kSpeakerLines.begin(), kSpeakerLines.end());
  Run(Pattern::kHorizontal);
  expected.push_back(ExpectedPosition(0x61626364));

  EXPECT_EQ(receiver.Lines(expected.size()), expected);
  EXPECT_EQ(receiver.Lines(expected.size() + 1, 200000).size(), expected.size());
}

TEST_F(TargetMessages, ANewSignatureTakesEffectTheNextTimeTheOutputIsSwitchedOn) {
  ListenerProcess first("application/x-vnd.zanvel-first");
  ListenerProcess second("application/x-vnd.zanvel-second");
  ASSERT_TRUE(first.Ready() && second.Ready());
  interpreter->SetDestinationAppSignature("application/x-vnd.zanvel-first");
  interpreter->SetSendBMessages(true);
  interpreter->SetDestinationAppSignature("application/x-vnd.zanvel-second");
  char shown[256];
  interpreter->GetDestinationAppSignature(shown, sizeof(shown));
  EXPECT_STREQ(shown, "application/x-vnd.zanvel-second");
  Run(Pattern::kVertical);
  EXPECT_EQ(first.Lines(1).size(), 1u);
  interpreter->SetSendBMessages(false);
  interpreter->SetSendBMessages(true);
  Run(Pattern::kVertical);
  EXPECT_EQ(second.Lines(1).size(), 1u);
  EXPECT_EQ(first.Lines(2, 200000).size(), 1u);
}

TEST_F(TargetMessages, AReceiverThatExitsMakesSendsFailQuietlyWhileFramesGoOn) {
  auto receiver = std::make_unique<ListenerProcess>(kReceiver);
  ASSERT_TRUE(receiver->Ready());
  interpreter->SetSendBMessages(true);
  Run(Pattern::kVertical);
  EXPECT_EQ(receiver->Lines(9).size(), 9u);
  receiver.reset();  // the receiver quits
  for (int i = 0; i < 20; i++) EXPECT_NE(Run(Pattern::kVertical).find(" fps\n"), std::string::npos);
  // A receiver that comes back is not found by the old messenger.
  ListenerProcess again(kReceiver);
  ASSERT_TRUE(again.Ready());
  Run(Pattern::kVertical);
  EXPECT_TRUE(again.Lines(1, 300000).empty());
  EXPECT_TRUE(LaunchAlerts().empty());
}

TEST_F(TargetMessages, SwitchingOnLaunchesTheApplicationThatDeclaresTheSignature) {
  ASSERT_FALSE(BMessenger(kReceiver).IsValid());
  interpreter->SetSendBMessages(true);  // launches, waits 2.5 s, finds it
  ASSERT_TRUE(interpreter->WaitForOutputs());
  EXPECT_TRUE(Desktop().Launched());
  Run(Pattern::kVertical);
  std::vector<std::string> expected = kSpeakerLines;
  expected.push_back(ExpectedPosition(FourCC("M23d")));
  EXPECT_EQ(Desktop().Lines(expected.size()), expected);
  EXPECT_TRUE(LaunchAlerts().empty());
}

TEST_F(TargetMessages, NothingToLaunchGivesOneAlertAndSendsNothingButTheOutputIsOn) {
  const char* nobody = "application/x-vnd.zanvel-nobody";
  interpreter->SetDestinationAppSignature(nobody);
  interpreter->SetSendBMessages(true);
  ASSERT_TRUE(interpreter->WaitForOutputs());
  std::vector<AlertRequest> shown = LaunchAlerts();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, "");
  EXPECT_EQ(shown[0].text,
            "Problem launching target app with signature = \napplication/x-vnd.zanvel-nobody\n"
            "Start it manually, then try the checkbox again.");
  EXPECT_EQ(shown[0].buttons, std::vector<std::string>{"uh, ok."});
  EXPECT_EQ(shown[0].type, B_INFO_ALERT);

  // Started by hand afterwards, it hears nothing until the checkbox is tried again.
  ListenerProcess late(nobody);
  ASSERT_TRUE(late.Ready());
  for (int i = 0; i < 3; i++) EXPECT_NE(Run(Pattern::kVertical).find(" fps\n"), std::string::npos);
  EXPECT_TRUE(late.Lines(1, 300000).empty());
  EXPECT_EQ(LaunchAlerts().size(), 1u);
  interpreter->SetSendBMessages(false);
  interpreter->SetSendBMessages(true);
  Run(Pattern::kVertical);
  EXPECT_EQ(late.Lines(1).size(), 1u);
  EXPECT_EQ(LaunchAlerts().size(), 1u);
}

TEST_F(TargetMessages, FramesAndCommandsGoOnWhileASwitchedOnTargetIsLaunchedAndLookedFor) {
  interpreter->SetDestinationAppSignature("application/x-vnd.zanvel-nobody");
  const int64_t start = MonotonicMicroseconds();
  interpreter->SetSendBMessages(true);  // launches nothing, waits 2.5 s, then alerts
  EXPECT_LT(MonotonicMicroseconds() - start, 500000) << "the switch waited for the launch";
  int frames = 0;
  TestFrame frame(Pattern::kVertical);
  ::testing::internal::CaptureStdout();
  while (MonotonicMicroseconds() - start < 2000000) {
    const int64_t before = MonotonicMicroseconds();
    interpreter->Interpret(frame.image());
    EXPECT_LT(MonotonicMicroseconds() - before, 500000) << "a frame waited for the launch";
    frames++;
  }
  interpreter->SetBMessageCommand(FourCC("abcd"));
  ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(LaunchAlerts().empty()) << "the alert comes after the wait";
  EXPECT_GT(frames, 10);
  EXPECT_EQ(interpreter->GetBMessageCommand(), FourCC("abcd"));
  ASSERT_TRUE(interpreter->WaitForOutputs());
  EXPECT_EQ(LaunchAlerts().size(), 1u);
}

TEST_F(TargetMessages, AReceiverThatStopsReadingCostsOnlyItsOwnMessagesAndSaysSoTwice) {
  ListenerProcess receiver(kReceiver);
  ListenerProcess matchedReceiver("application/foobar");
  ASSERT_TRUE(receiver.Ready() && matchedReceiver.Ready());
  interpreter->SaveNextImageToMatcher();
  Run(Pattern::kVertical);
  interpreter->SaveNextImageToMatcher();
  Run(Pattern::kHorizontal);
  interpreter->SetSendBMessages(true);
  interpreter->SetSendMatchedAsBMessages(true);
  Run(Pattern::kVertical);
  ASSERT_EQ(receiver.Lines(9).size(), 9u);

  ::testing::internal::CaptureStderr();
  receiver.Pause();
  // Far more positions than the receiver's queue holds, and matches changing all along.
  TestFrame vertical(Pattern::kVertical), horizontal(Pattern::kHorizontal);
  ::testing::internal::CaptureStdout();
  const int64_t start = MonotonicMicroseconds();
  int frames = 0;
  while (MonotonicMicroseconds() - start < 1500000) {
    const int64_t before = MonotonicMicroseconds();
    interpreter->Interpret((frames % 2 ? horizontal : vertical).image());
    EXPECT_LT(MonotonicMicroseconds() - before, 500000) << "frame " << frames << " waited";
    frames++;
    std::this_thread::sleep_for(std::chrono::microseconds(200));  // a fast camera, not a flood
  }
  ::testing::internal::GetCapturedStdout();
  EXPECT_GT(frames, 1000);
  // The other receiver heard every change while this one was stopped: the first frame
  // matched as the one before it, each later one changed the match.
  EXPECT_EQ(matchedReceiver.Lines(size_t(frames), 5000000).size(), size_t(frames));
  EXPECT_EQ(interpreter->OutputStatuses()[1].dropped, 0u);
  const OutputStatus held = interpreter->OutputStatuses()[0];
  EXPECT_GT(held.dropped, 0u);
  EXPECT_EQ(held.lastFailure, "receiver not reading");

  // Reading again, it gets the newest positions by itself.
  receiver.Resume();
  const size_t before = receiver.Lines(9).size();
  for (int i = 0; i < 5; i++) Run(Pattern::kDiagonal);
  const std::vector<std::string> lines = receiver.Lines(before + 300, 1000000);
  ASSERT_GT(lines.size(), before);
  EXPECT_EQ(lines.back(), ExpectedPosition(FourCC("M23d")));
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(said.find("Position to Target App: receiver not reading; its messages are dropped\n"),
            said.rfind("Position to Target App: receiver not reading")) << said;
  EXPECT_NE(said.find("Position to Target App: receiver not reading; its messages are dropped\n"),
            std::string::npos) << said;
  EXPECT_NE(said.find("Position to Target App: messages go out again; "), std::string::npos) << said;
  EXPECT_EQ(said.find("Matched to Target App"), std::string::npos) << said;
}

TEST_F(TargetMessages, TheMatchedReceiverHearsEachChangeOfTheMatchedExample) {
  ListenerProcess receiver("application/foobar");
  ASSERT_TRUE(receiver.Ready());
  interpreter->SaveNextImageToMatcher();
  Run(Pattern::kVertical);
  interpreter->SaveNextImageToMatcher();
  Run(Pattern::kHorizontal);
  interpreter->SetSendMatchedAsBMessages(true);
  Run(Pattern::kVertical);
  Run(Pattern::kVertical);  // same match: nothing
  Run(Pattern::kHorizontal);
  interpreter->SetMatchedBMessageCommand(FourCC("next"));
  Run(Pattern::kVertical);
  const std::vector<std::string> expected = {"M2mm index=0", "M2mm index=1", "next index=0"};
  EXPECT_EQ(receiver.Lines(3), expected);
  EXPECT_EQ(receiver.Lines(4, 200000), expected) << "no speakers, no positions";

  interpreter->SetMatchedAppSignature("application/x-vnd.zanvel-nobody");
  interpreter->SetSendMatchedAsBMessages(false);
  interpreter->SetSendMatchedAsBMessages(true);
  ASSERT_TRUE(interpreter->WaitForOutputs());
  ASSERT_EQ(LaunchAlerts().size(), 1u);
  EXPECT_NE(LaunchAlerts()[0].text.find("\napplication/x-vnd.zanvel-nobody\n"), std::string::npos);
}

namespace {

class OscServer {
 public:
  OscServer() {
    fServer = lo_server_thread_new(nullptr, nullptr);
    lo_server_thread_add_method(fServer, nullptr, nullptr, &OscServer::Handle, this);
    lo_server_thread_start(fServer);
  }
  ~OscServer() { lo_server_thread_free(fServer); }
  std::string Url(const char* prefix) const {
    return "osc.udp://127.0.0.1:" + std::to_string(lo_server_thread_get_port(fServer)) + prefix;
  }
  // "path types values..." per message.
  std::vector<std::string> WaitFor(size_t count) {
    for (int i = 0; i < 300; i++) {
      {
        std::lock_guard<std::mutex> lock(fMutex);
        if (fReceived.size() >= count) break;
      }
      snooze(10000);
    }
    std::lock_guard<std::mutex> lock(fMutex);
    return fReceived;
  }

 private:
  static int Handle(const char* path, const char* types, lo_arg** argv, int argc, lo_message,
                    void* data) {
    std::string text = std::string(path) + " " + types;
    for (int i = 0; i < argc; i++) {
      char value[32];
      if (types[i] == 'i') snprintf(value, sizeof(value), " %d", argv[i]->i);
      else if (types[i] == 'f') snprintf(value, sizeof(value), " %.9g", double(argv[i]->f));
      else snprintf(value, sizeof(value), " ?");
      text += value;
    }
    auto* self = static_cast<OscServer*>(data);
    std::lock_guard<std::mutex> lock(self->fMutex);
    self->fReceived.push_back(text);
    return 0;
  }
  lo_server_thread fServer;
  std::mutex fMutex;
  std::vector<std::string> fReceived;
};

std::string OscLine(const char* path, const std::vector<float>& v) {
  char text[160];
  snprintf(text, sizeof(text), "%s ifff 0 %.9g %.9g %.9g", path, double(TargetScale(v[0])),
           double(TargetScale(v[1])), double(TargetScale(v[2])));
  return text;
}

}  // namespace

TEST_F(TargetMessages, AnOscServerGetsPositionsAndMatchesAtTheirAddresses) {
  OscServer server;
  AddTwoKeyFrames();
  interpreter->SaveNextImageToMatcher();
  Run(Pattern::kVertical);
  const std::string url = server.Url("/zanvel");
  interpreter->SetDestinationAppSignature(url.c_str());
  interpreter->SetMatchedAppSignature(url.c_str());
  interpreter->SetSendBMessages(true);
  interpreter->SetSendMatchedAsBMessages(true);
  std::vector<std::string> expected;
  Run(Pattern::kVertical);
  expected.push_back("/zanvel/M2mm i 0");
  expected.push_back(OscLine("/zanvel/M23d", Position()));
  Run(Pattern::kHorizontal);
  expected.push_back(OscLine("/zanvel/M23d", Position()));
  // Each output keeps its own order; the two outputs send side by side.
  const std::vector<std::string> received = server.WaitFor(expected.size());
  auto at = [](const std::vector<std::string>& lines, const std::string& address) {
    std::vector<std::string> picked;
    for (const std::string& line : lines)
      if (line.rfind(address + " ", 0) == 0) picked.push_back(line);
    return picked;
  };
  EXPECT_EQ(received.size(), expected.size());
  for (const char* address : {"/zanvel/M2mm", "/zanvel/M23d"})
    EXPECT_EQ(at(received, address), at(expected, address)) << address;
  EXPECT_TRUE(LaunchAlerts().empty()) << "an OSC address is always there";
}

TEST_F(TargetMessages, SignatureGettersStayInsideTheirBuffer) {
  const std::string longSignature(300, 's');
  interpreter->SetDestinationAppSignature(longSignature.c_str());
  interpreter->SetMatchedAppSignature(longSignature.c_str());
  char buffer[260];
  memset(buffer, '#', sizeof(buffer));
  interpreter->GetDestinationAppSignature(buffer, 256);
  EXPECT_EQ(std::string(buffer), std::string(255, 's'));
  EXPECT_EQ(buffer[256], '#');
  memset(buffer, '#', sizeof(buffer));
  interpreter->GetMatchedAppSignature(buffer, 8);
  EXPECT_STREQ(buffer, "sssssss");
  EXPECT_EQ(buffer[8], '#');
}
