// The size chooser, the fatal-error alert and the command line.

#include <gtest/gtest.h>

#include <unistd.h>

#include "HeadlessWindows.h"
#include "platform/app/AppDefs.h"
#include "app/CommandLine.h"
#include "app/CommandText.h"
#include "app/Sizes.h"
#include "app/Zanvel.h"
#include "platform/interface/RecordingAlertService.h"

namespace {

ZanvelSettings TestSettings(int sizeChoice = -1) {
  static int counter = 0;
  ZanvelSettings settings;
  settings.signature = "application/x-vnd.zanvel-test-start-" + std::to_string(getpid()) + "-" +
                       std::to_string(counter++);
  settings.sizeChoice = sizeChoice;
  return settings;
}

TEST(SizeChooserTest, AsksWithThreeButtonsAndFixesEverySizeFromTheAnswer) {
  struct Case {
    int32 answer, width, height, windowX, windowY;
  };
  for (Case c : {Case{0, 320, 240, 340, 280}, Case{1, 160, 120, 180, 160}, Case{2, 80, 60, 100, 100}}) {
    SCOPED_TRACE(c.answer);
    RecordingAlertService alerts(c.answer);
    ScopedAlertService scope(&alerts);
    HeadlessWindows windows;
    Zanvel app(&windows, TestSettings());
    ASSERT_EQ(alerts.CountAlerts(), 1u);
    AlertRequest chooser = alerts.Alerts()[0];
    EXPECT_EQ(chooser.title, "Select Resolution");
    EXPECT_EQ(chooser.text, "ZANVEL\nChoose a size for video capture and analysis.");
    EXPECT_EQ(chooser.buttons, (std::vector<std::string>{"320x240", "160x120", "80x60"}));
    EXPECT_EQ(app.Sizes().analysisWidth, c.width);
    EXPECT_EQ(app.Sizes().keyFrameWidth, c.width);
    EXPECT_EQ(app.Sizes().matchedWidth, c.width);
    EXPECT_EQ(app.Sizes().analysisHeight, c.height);
    EXPECT_EQ(app.Sizes().keyFrameHeight, c.height);
    EXPECT_EQ(app.Sizes().matchedHeight, c.height);
    EXPECT_EQ(app.Sizes().windowWidth, c.windowX);
    EXPECT_EQ(app.Sizes().windowHeight, c.windowY);
    EXPECT_EQ(app.ColorSpace(), B_RGB32);
  }
}

TEST(SizeChooserTest, ASizeGivenInAdvanceIsNotAskedAgain) {
  RecordingAlertService alerts;
  ScopedAlertService scope(&alerts);
  HeadlessWindows windows;
  Zanvel app(&windows, TestSettings(SizeChoiceFor(160, 120)));
  EXPECT_EQ(alerts.CountAlerts(), 0u);
  EXPECT_EQ(app.Sizes().analysisWidth, 160);
  EXPECT_EQ(app.Sizes().windowHeight, 160);
}

TEST(SizeChooserTest, TheTuningValuesStartAtTheirDefaults) {
  RecordingAlertService alerts;
  ScopedAlertService scope(&alerts);
  HeadlessWindows windows;
  Zanvel app(&windows, TestSettings(0));
  EXPECT_FLOAT_EQ(app.fTuning.fSmoothingAlpha.load(), 0.7f);
  EXPECT_FLOAT_EQ(app.fTuning.fContrastThreshold.load(), 20.0f);
  EXPECT_FLOAT_EQ(app.fTuning.fTemporalBlending.load(), 0.7f);
}

// Quits as soon as it is asked, so Run() shows whether ErrorAlert asked.
class QuitRecorder : public Zanvel {
 public:
  using Zanvel::Zanvel;
  void ReadyToRun() override {}
  bool QuitRequested() override {
    quitRequested = true;
    return true;
  }
  bool quitRequested = false;
};

TEST(ErrorAlertTest, ShowsTheMessageTheStatusTextAndItsCodeThenQuits) {
  RecordingAlertService alerts;
  ScopedAlertService scope(&alerts);
  HeadlessWindows windows;
  QuitRecorder app(&windows, TestSettings(2));
  ErrorAlert("Error setting up nodes", B_ERROR);
  ASSERT_EQ(alerts.CountAlerts(), 1u);
  AlertRequest alert = alerts.Alerts()[0];
  EXPECT_EQ(alert.title, "");
  EXPECT_EQ(alert.text, std::string("Error setting up nodes\n") + StatusText(B_ERROR) + " [ffffffff]");
  EXPECT_EQ(alert.buttons, std::vector<std::string>{"Quit"});
  app.Run();  // returns only because the alert posted the quit request
  EXPECT_TRUE(app.quitRequested);
}

TEST(ErrorAlertTest, MediaCodesPrintAsUnsignedHexAndLongTextsAreCut) {
  RecordingAlertService alerts;
  ScopedAlertService scope(&alerts);
  ErrorAlert("could not find a video input!", B_MEDIA_BAD_NODE);
  std::string longMessage(400, 'x');
  ErrorAlert(longMessage.c_str(), B_OK);
  ASSERT_EQ(alerts.CountAlerts(), 2u);
  EXPECT_NE(alerts.Alerts()[0].text.find("[80004104]"), std::string::npos);
  EXPECT_EQ(alerts.Alerts()[1].text.size(), 255u);
}

TEST(CommandTextTest, PacksAndShowsCodes) {
  EXPECT_EQ(PackCommandCode("abcd"), 0x61626364u);
  EXPECT_EQ(PackCommandCode("ab"), 0x61620000u);
  EXPECT_EQ(PackCommandCode(""), 0u);
  EXPECT_EQ(PackCommandCode("\xFF"), 0xFF000000u);
  EXPECT_EQ(CommandCodeText(FourCC("M23d")), "M23d");
  EXPECT_EQ(CommandCodeText(0x61620000u), "ab");
  EXPECT_EQ(CommandCodeText(0), "");
  // A zero byte ends the text even when later bytes are set.
  EXPECT_EQ(CommandCodeText(0x61006364u), "a");
}

CommandLine Parse(std::initializer_list<const char*> args) {
  const char* argv[8] = {"zanvel"};
  int argc = 1;
  for (const char* arg : args)
    argv[argc++] = arg;
  return ParseCommandLine(argc, argv);
}

TEST(CommandLineTest, AcceptsTheThreeSizesAndAVideoSource) {
  CommandLine options = Parse({"--size", "160x120", "--video", "test"});
  EXPECT_TRUE(options.error.empty());
  EXPECT_EQ(SizeChoiceFor(options.width, options.height), 1);
  EXPECT_EQ(options.video, "test");
  options = Parse({"--size=80x60", "--video=pipeline:videotestsrc pattern=ball"});
  EXPECT_EQ(SizeChoiceFor(options.width, options.height), 2);
  EXPECT_EQ(options.video, "pipeline:videotestsrc pattern=ball");
  options = Parse({});
  EXPECT_TRUE(options.error.empty());
  EXPECT_EQ(SizeChoiceFor(options.width, options.height), -1);
  EXPECT_TRUE(Parse({"--help"}).help);
}

TEST(CommandLineTest, RefusesWhatItCannotUseWithAReason) {
  EXPECT_NE(Parse({"--size", "640x480"}).error.find("320x240"), std::string::npos);
  EXPECT_FALSE(Parse({"--size", "160x120x"}).error.empty());
  EXPECT_FALSE(Parse({"--size"}).error.empty());
  EXPECT_FALSE(Parse({"--video", ""}).error.empty());
  EXPECT_FALSE(Parse({"--session", ""}).error.empty());
  EXPECT_NE(Parse({"--fullscreen"}).error.find("--fullscreen"), std::string::npos);
  EXPECT_NE(CommandLineUsage("zanvel").find("--video"), std::string::npos);
}

TEST(CommandLineTest, OscListensOnlyWhenAskedAndOnLoopbackUnlessTold) {
  CommandLine options = Parse({"--headless"});
  EXPECT_TRUE(options.headless);
  EXPECT_EQ(options.oscPort, 0);
  options = Parse({"--headless", "--osc-port", "9001"});
  EXPECT_TRUE(options.error.empty()) << options.error;
  EXPECT_EQ(options.oscPort, 9001);
  EXPECT_EQ(options.oscBind, "127.0.0.1");
  options = Parse({"--osc-port=9001", "--osc-bind=0.0.0.0"});
  EXPECT_EQ(options.oscBind, "0.0.0.0");
  for (const char* port : {"0", "65536", "90x", ""})
    EXPECT_NE(Parse({"--osc-port", port}).error.find("--osc-port"), std::string::npos) << port;
  // A bind address alone would suggest a server that does not run.
  EXPECT_NE(Parse({"--osc-bind", "0.0.0.0"}).error.find("--osc-port"), std::string::npos);
  EXPECT_FALSE(Parse({"--headless=yes"}).error.empty());
}

}  // namespace
