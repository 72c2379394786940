// The command table, driven without a display: every code reaches its operation with the
// value the message carries, malformed commands change nothing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "HeadlessWindows.h"
#include "peers/TempFolder.h"
#include "session/SessionFile.h"
#include "platform/app/AppDefs.h"
#include "app/Sizes.h"
#include "app/Zanvel.h"
#include "platform/interface/RecordingAlertService.h"
#include "interpreter/ImageInterpreter.h"

using ::testing::_;
using ::testing::StrEq;
using ::testing::StrictMock;

namespace {

std::string UniqueSignature() {
  static int counter = 0;
  return "application/x-vnd.zanvel-test-commands-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

class MockInterpreter : public ImageInterpreter {
 public:
  MockInterpreter(BView* histo, BView* keyframe, BView* matched)
      : ImageInterpreter(histo, keyframe, matched, B_RGB32) {}
  MOCK_METHOD(void, ClearMatcher, (), (override));
  MOCK_METHOD(void, ClearKeyframes, (), (override));
  MOCK_METHOD(void, SaveNextImageToMatcher, (), (override));
  MOCK_METHOD(void, SaveNextImageAsKeyframe, (), (override));
  MOCK_METHOD(void, SetSmoothing, (bool), (override));
  MOCK_METHOD(void, SetSendNotesToSynth, (bool), (override));
  MOCK_METHOD(void, SetSendNotesToMidiPort, (bool), (override));
  MOCK_METHOD(void, SetSendToKDX, (bool), (override));
  MOCK_METHOD(void, SetKDXBussId, (int), (override));
  MOCK_METHOD(void, SetDestinationAppSignature, (const char*), (override));
  MOCK_METHOD(void, SetBMessageCommand, (uint32), (override));
  MOCK_METHOD(void, SetMatchedAppSignature, (const char*), (override));
  MOCK_METHOD(void, SetMatchedBMessageCommand, (uint32), (override));
  MOCK_METHOD(void, SetSendBMessages, (bool), (override));
  MOCK_METHOD(void, SetSendMatchedAsBMessages, (bool), (override));
  MOCK_METHOD(void, SetSendMatchedAsNotesToSynth, (bool), (override));
  MOCK_METHOD(void, SetSendMatchedAsNotesToMidiPort, (bool), (override));
  MOCK_METHOD(void, SetSendMatchedAsModwheelToMidiPort, (bool), (override));
  MOCK_METHOD(void, SetMidiPort, (const char*), (override));
  MOCK_METHOD(void, SetSmoothInputImages, (bool), (override));
  MOCK_METHOD(void, SetBlendInputImages, (bool), (override));
  MOCK_METHOD(void, SetLCSSerialPort, (const char*), (override));
  MOCK_METHOD(void, SetLCSSendPosition, (bool), (override));
  MOCK_METHOD(void, SetLCSZMapping, (long), (override));
};

class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ZanvelSettings settings;
    settings.signature = UniqueSignature();
    settings.sizeChoice = 2;
    fApp = std::make_unique<Zanvel>(&fWindows, settings);
    ControlViews views = fWindows.OpenControlWindow(BRect(0, 0, 10, 10), fApp->Sizes());
    fInterpreter = new StrictMock<MockInterpreter>(views.histo, views.keyframe, views.matched);
    fApp->AdoptInterpreter(std::unique_ptr<ImageInterpreter>(fInterpreter));
  }
  // The application deletes the interpreter it adopted.
  void TearDown() override { fApp.reset(); }

  void Send(BMessage message) { fApp->MessageReceived(&message); }
  static BMessage WithState(uint32 what, bool on) {
    BMessage message(what);
    message.AddInt32("source", on ? 1 : 0);
    return message;
  }
  static BMessage WithText(uint32 what, const char* text) {
    BMessage message(what);
    message.AddString("source", text);
    return message;
  }

  RecordingAlertService fAlerts;
  ScopedAlertService fScope{&fAlerts};
  HeadlessWindows fWindows;
  std::unique_ptr<Zanvel> fApp;
  StrictMock<MockInterpreter>* fInterpreter = nullptr;
};

// Each check-box code, switched on with an int32 state and off with a bool one.
#define EXPECT_SWITCH(code, Setter)                        \
  do {                                                     \
    SCOPED_TRACE(code);                                    \
    ::testing::InSequence order;                           \
    EXPECT_CALL(*fInterpreter, Setter(true));              \
    EXPECT_CALL(*fInterpreter, Setter(false));             \
    Send(WithState(FourCC(code), true));                   \
    BMessage off(FourCC(code));                            \
    off.AddBool("source", false);                          \
    Send(off);                                             \
    ::testing::Mock::VerifyAndClearExpectations(fInterpreter); \
  } while (0)

TEST_F(CommandTest, CheckBoxesSwitchTheirOutputWithTheControlsState) {
  EXPECT_SWITCH("blii", SetBlendInputImages);
  EXPECT_SWITCH("lcss", SetLCSSendPosition);
  EXPECT_SWITCH("mm2m", SetSendMatchedAsModwheelToMidiPort);
  EXPECT_SWITCH("mn2m", SetSendMatchedAsNotesToMidiPort);
  EXPECT_SWITCH("mn2s", SetSendMatchedAsNotesToSynth);
  EXPECT_SWITCH("mtta", SetSendMatchedAsBMessages);
  EXPECT_SWITCH("ntom", SetSendNotesToMidiPort);
  EXPECT_SWITCH("ntos", SetSendNotesToSynth);
  EXPECT_SWITCH("pkdx", SetSendToKDX);
  EXPECT_SWITCH("ptta", SetSendBMessages);
  EXPECT_SWITCH("smii", SetSmoothInputImages);
  EXPECT_SWITCH("smoo", SetSmoothing);
}

// Another program's switches show in the controls: each setting command hands the windows the
// settings as they now are; buttons and queries do not.
TEST_F(CommandTest, SettingCommandsShowTheirNewStateInTheControls) {
  EXPECT_CALL(*fInterpreter, SetSmoothing(true)).WillOnce([this](bool on) {
    fInterpreter->ImageInterpreter::SetSmoothing(on);
  });
  Send(WithState(FourCC("smoo"), true));
  ASSERT_EQ(fWindows.ShownSettings().size(), 1u);
  EXPECT_TRUE(fWindows.ShownSettings().back().smoothOutput);

  EXPECT_CALL(*fInterpreter, SetKDXBussId(6)).WillOnce([this](int32 id) {
    fInterpreter->ImageInterpreter::SetKDXBussId(id);
  });
  BMessage buss(FourCC("bkdx"));
  buss.AddInt32("index", 5);
  Send(buss);
  ASSERT_EQ(fWindows.ShownSettings().size(), 2u);
  EXPECT_EQ(fWindows.ShownSettings().back().buss, 6);

  EXPECT_CALL(*fInterpreter, SaveNextImageToMatcher());
  Send(BMessage(FourCC("addi")));
  EXPECT_EQ(fWindows.ShownSettings().size(), 2u) << "a button has nothing to show";
}

TEST_F(CommandTest, ANonZeroStateCountsAsOn) {
  EXPECT_CALL(*fInterpreter, SetSmoothing(true));
  BMessage message(FourCC("smoo"));
  message.AddInt32("source", -7);
  Send(message);
}

TEST_F(CommandTest, ACheckBoxCommandWithoutAUsableStateChangesNothing) {
  // The strict mock fails on any call.
  Send(BMessage(FourCC("ptta")));
  Send(WithText(FourCC("mn2m"), "on"));
  BMessage asFloat(FourCC("smoo"));
  asFloat.AddFloat("source", 1.0f);
  Send(asFloat);
  BMessage otherName(FourCC("lcss"));
  otherName.AddBool("on", true);
  Send(otherName);
}

TEST_F(CommandTest, ButtonsRequestTheirOperation) {
  ::testing::InSequence order;
  EXPECT_CALL(*fInterpreter, SaveNextImageToMatcher());
  EXPECT_CALL(*fInterpreter, SaveNextImageAsKeyframe());
  EXPECT_CALL(*fInterpreter, ClearMatcher());
  EXPECT_CALL(*fInterpreter, ClearKeyframes()).Times(2);
  Send(BMessage(FourCC("addi")));
  Send(BMessage(FourCC("addk")));
  Send(BMessage(FourCC("clma")));
  Send(BMessage(FourCC("clkf")));
  Send(BMessage(FourCC("cl2k")));
}

TEST_F(CommandTest, BussEntriesGiveBussIdsOneToSixteen) {
  ::testing::InSequence order;
  EXPECT_CALL(*fInterpreter, SetKDXBussId(1));
  EXPECT_CALL(*fInterpreter, SetKDXBussId(16));
  for (int32 index : {0, 15}) {
    BMessage message(FourCC("bkdx"));
    message.AddInt32("index", index);
    Send(message);
  }
  // Missing, wrong-typed or outside the sixteen entries: nothing.
  Send(BMessage(FourCC("bkdx")));
  BMessage text(FourCC("bkdx"));
  text.AddString("index", "3");
  Send(text);
  for (int32 index : {-1, 16, 200}) {
    BMessage message(FourCC("bkdx"));
    message.AddInt32("index", index);
    Send(message);
  }
}

TEST_F(CommandTest, ZMappingTakesTheIndexOrFallsBackToPan) {
  ::testing::InSequence order;
  EXPECT_CALL(*fInterpreter, SetLCSZMapping(2));
  EXPECT_CALL(*fInterpreter, SetLCSZMapping(0));
  BMessage level(FourCC("lcsz"));
  level.AddInt32("index", 2);
  Send(level);
  Send(BMessage(FourCC("lcsz")));
  BMessage beyond(FourCC("lcsz"));
  beyond.AddInt32("index", 3);
  Send(beyond);
}

TEST_F(CommandTest, PortMenusNameTheDevice) {
  ::testing::InSequence order;
  EXPECT_CALL(*fInterpreter, SetMidiPort(StrEq("Midi Through:0")));
  EXPECT_CALL(*fInterpreter, SetLCSSerialPort(StrEq("ttyUSB0")));
  BMessage midi(FourCC("port"));
  midi.AddString("port", "Midi Through:0");
  Send(midi);
  BMessage serial(FourCC("lcsp"));
  serial.AddString("port", "ttyUSB0");
  Send(serial);
  // Without the port nothing is opened.
  Send(BMessage(FourCC("port")));
  Send(BMessage(FourCC("lcsp")));
  BMessage number(FourCC("port"));
  number.AddInt32("port", 1);
  Send(number);
}

TEST_F(CommandTest, CodesAreTypedAsTextAndPackedMostSignificantFirst) {
  ::testing::InSequence order;
  EXPECT_CALL(*fInterpreter, SetBMessageCommand(0x61626364u));
  EXPECT_CALL(*fInterpreter, SetBMessageCommand(0x61620000u));
  // A byte above 7F fills only its own byte, without spilling into the others.
  EXPECT_CALL(*fInterpreter, SetMatchedBMessageCommand(0x61E96300u));
  EXPECT_CALL(*fInterpreter, SetMatchedBMessageCommand(0x4D326D6Du));
  Send(WithText(FourCC("stac"), "abcd"));
  Send(WithText(FourCC("stac"), "ab"));
  Send(WithText(FourCC("smac"), "a\xE9" "c"));
  Send(WithText(FourCC("smac"), "M2mmextra"));
  Send(BMessage(FourCC("stac")));
}

TEST_F(CommandTest, SignaturesAreTakenAsTyped) {
  ::testing::InSequence order;
  EXPECT_CALL(*fInterpreter, SetDestinationAppSignature(StrEq("application/x-vnd.test-receiver")));
  EXPECT_CALL(*fInterpreter, SetMatchedAppSignature(StrEq("osc.udp://localhost:9000/zanvel")));
  Send(WithText(FourCC("stas"), "application/x-vnd.test-receiver"));
  Send(WithText(FourCC("smas"), "osc.udp://localhost:9000/zanvel"));
  Send(BMessage(FourCC("smas")));
  BMessage number(FourCC("stas"));
  number.AddInt32("source", 5);
  Send(number);
}

TEST_F(CommandTest, SetTargetAppButtonsOpenANewWindowForTheirOutputEachTime) {
  Send(BMessage(FourCC("stap")));
  Send(BMessage(FourCC("smap")));
  Send(BMessage(FourCC("smap")));
  std::vector<HeadlessWindows::Opened> opened(fWindows.Log().begin() + 1, fWindows.Log().end());
  ASSERT_EQ(opened.size(), 3u);
  EXPECT_EQ(opened[0].what, "target positions");
  EXPECT_EQ(opened[1].what, "target matched");
  EXPECT_EQ(opened[2].what, "target matched");
  EXPECT_EQ(opened[0].frame, BRect(100, 100, 400, 200));
}

TEST_F(CommandTest, AboutShowsItsAlertAndWaits) {
  fAlerts.Clear();
  Send(BMessage(FourCC("abut")));
  ASSERT_EQ(fAlerts.CountAlerts(), 1u);
  AlertRequest about = fAlerts.Alerts()[0];
  EXPECT_EQ(about.title, "About Zanvel");
  EXPECT_EQ(std::count(about.text.begin(), about.text.end(), '\n'), 2);
  EXPECT_NE(about.text.find("Zanvel project"), std::string::npos);
  EXPECT_EQ(about.buttons, std::vector<std::string>{"wow"});
}

TEST_F(CommandTest, VideoCommandsWithoutAGraphDoNothing) {
  // The graph was never built: starting, stopping and preferences must not touch it.
  Send(BMessage(FourCC("strt")));
  Send(BMessage(FourCC("stop")));
  Send(BMessage(FourCC("vdeo")));
  EXPECT_EQ(fWindows.Names(), std::vector<std::string>{"control"});
}

TEST_F(CommandTest, UnknownCodesChangeNothing) {
  fAlerts.Clear();
  for (uint32 code : {FourCC("M23d"), FourCC("xxxx"), uint32(0), FourCC("SMOO")}) {
    BMessage message(code);
    message.AddInt32("source", 1);
    message.AddInt32("index", 1);
    message.AddString("port", "ttyS0");
    Send(message);
  }
  EXPECT_EQ(fAlerts.CountAlerts(), 0u);
  EXPECT_EQ(fWindows.Names(), std::vector<std::string>{"control"});
}

TEST_F(CommandTest, AQuitFromTheWindowAsksAboutUnsavedChangesAndEveryQuitAutosaves) {
  TempFolder state;
  setenv("XDG_STATE_HOME", state.Path().c_str(), 1);
  fApp->Session().Start(*fInterpreter);
  fApp->fTuning.fSmoothingAlpha.store(0.25f);
  BMessage quit(B_QUIT_REQUESTED);
  quit.AddBool("ask", true);

  // Cancel: nothing is saved and the program goes on.
  fAlerts.Clear();
  fAlerts.QueueAnswer(0);
  ASSERT_EQ(fApp->PostMessage(&quit), B_OK);
  fApp->DispatchMessages();
  ASSERT_EQ(fAlerts.CountAlerts(), 1u);
  EXPECT_EQ(fAlerts.Alerts()[0].buttons, (std::vector<std::string>{"Cancel", "Discard", "Save"}));
  EXPECT_NE(fAlerts.Alerts()[0].text.find("\"Untitled\""), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(state / "zanvel/last.zanvel"));
  EXPECT_EQ(fApp->PostMessage(&quit), B_OK) << "the program quit although the user cancelled";

  // Discard: the program quits, and the autosave still keeps what changed.
  fAlerts.QueueAnswer(1);
  fApp->DispatchMessages();
  Session saved;
  std::string why;
  ASSERT_TRUE(LoadSessionFile(state / "zanvel/last.zanvel", &saved, &why)) << why;
  EXPECT_FLOAT_EQ(saved.settings.smoothingAmount, 0.25f);
  EXPECT_EQ(fApp->PostMessage(&quit), B_NOT_ALLOWED);
  unsetenv("XDG_STATE_HOME");
}

}  // namespace
