// The GStreamer video input as a node: choosing the source, connecting at a size, frames
// written into the consumer's buffers, a refused group, a source that ends or fails while
// running, and its picture controls.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "TestSink.h"
#include "platform/media/BMediaRoster.h"
#include "platform/media/BParameterWeb.h"
#include "platform/media/VideoInputNode.h"
#include "platform/support/Time.h"

namespace {

class VideoInputTest : public ::testing::Test {
 protected:
  void SetUp() override { roster = BMediaRoster::Roster(); }
  void TearDown() override {
    if (connected) roster->Disconnect(output.node.node, output.source, input.node.node, input.destination);
    if (producer.node > 0) roster->ReleaseNode(producer);
    if (sink) roster->ReleaseNode(sink->Node());
    roster->SetVideoInputSetting(nullptr);
  }

  // Opens the input `setting` names and connects it to a new sink at width × height.
  void Connect(const char* setting, uint32 width, uint32 height, size_t sinkBuffers) {
    roster->SetVideoInputSetting(setting);
    ASSERT_EQ(roster->GetVideoInput(&producer), B_OK);
    sink = new TestSink(sinkBuffers);
    ASSERT_EQ(roster->RegisterNode(sink), B_OK);
    int32 count = 0;
    ASSERT_EQ(roster->GetFreeOutputsFor(producer, &output, 1, &count, B_MEDIA_RAW_VIDEO), B_OK);
    ASSERT_EQ(count, 1);
    ASSERT_EQ(roster->GetFreeInputsFor(sink->Node(), &input, 1, &count, B_MEDIA_RAW_VIDEO), B_OK);
    ASSERT_EQ(count, 1);
    media_format format;
    format.type = B_MEDIA_RAW_VIDEO;
    format.u.raw_video.display = {B_RGB32, width, height, width * 4, 0, 0, 0};
    ASSERT_EQ(roster->Connect(output.source, input.destination, &format, &output, &input), B_OK);
    connected = true;
    EXPECT_EQ(format.u.raw_video.display.line_width, width);
  }
  void Start() {
    bigtime_t now = roster->SystemTimeSource()->Now() + 10000;
    ASSERT_EQ(roster->StartNode(producer, now), B_OK);
  }
  BMediaRoster* roster = nullptr;
  media_node producer = media_node::null;
  TestSink* sink = nullptr;
  media_output output;
  media_input input;
  bool connected = false;
};

TEST_F(VideoInputTest, SettingsThatNameNoInputFailClearly) {
  struct Case {
    const char* setting;
    status_t status;
  } cases[] = {
      {"/nonexistent/clip.avi", B_NAME_NOT_FOUND},
      {"/dev/video-none", B_NAME_NOT_FOUND},
      {"test:no-such-pattern", B_BAD_VALUE},
      {"pipeline:videotestsrc ! ! nonsense", B_BAD_VALUE},
      {"pipeline:fakesink", B_BAD_VALUE},  // nothing to take video from
  };
  for (const Case& c : cases) {
    roster->SetVideoInputSetting(c.setting);
    media_node node = media_node::null;
    EXPECT_EQ(roster->GetVideoInput(&node), c.status) << c.setting;
    EXPECT_EQ(node.node, -1) << c.setting;
  }
}

TEST_F(VideoInputTest, SettingComesFromTheEnvironmentUnlessGiven) {
  setenv("ZANVEL_VIDEO", "test:smpte", 1);
  roster->SetVideoInputSetting(nullptr);
  EXPECT_EQ(roster->VideoInputSetting(), "");  // given, though empty: the first camera
  unsetenv("ZANVEL_VIDEO");
}

TEST_F(VideoInputTest, TestPatternFillsTheConsumersBuffersAtTheConnectionsSize) {
  Connect("test", 160, 120, 160 * 120 * 4);
  auto completions = sink->Completions();
  ASSERT_FALSE(completions.empty());
  EXPECT_EQ(completions[0].what, media_request_info::B_SET_OUTPUT_BUFFERS_FOR);
  EXPECT_EQ(completions[0].status, B_OK);
  Start();
  ASSERT_GE(sink->WaitForFrames(20, 10000000), 20u);
  auto frames = sink->Frames();
  for (size_t i = 0; i < frames.size(); i++) {
    EXPECT_TRUE(frames[i].ours) << i;
    EXPECT_EQ(frames[i].sizeUsed, 160u * 120 * 4);
    if (i > 0) {
      EXPECT_GT(frames[i].startTime, frames[i - 1].startTime);
    }
    // Stamped with the performance time of capture: close to when it arrived.
    EXPECT_LT(std::llabs(frames[i].arrival - frames[i].startTime), 1000000);
  }
  // Stop, and no more frames come.
  ASSERT_EQ(roster->StopNode(producer, 0, true), B_OK);
  snooze(300000);
  size_t stopped = sink->Frames().size();
  snooze(300000);
  EXPECT_LE(sink->Frames().size(), stopped + 1);
  // Start again, and they do.
  Start();
  EXPECT_GT(sink->WaitForFrames(stopped + 5, 10000000), stopped + 4);
}

TEST_F(VideoInputTest, ARefusedGroupMeansFramesInTheProducersOwnBuffers) {
  Connect("test", 80, 60, 100);  // buffers far too small for a frame
  auto completions = sink->Completions();
  ASSERT_FALSE(completions.empty());
  EXPECT_NE(completions[0].status, B_OK);
  Start();
  ASSERT_GE(sink->WaitForFrames(5, 10000000), 5u);
  for (const auto& frame : sink->Frames()) {
    EXPECT_FALSE(frame.ours);
    EXPECT_EQ(frame.sizeUsed, 80u * 60 * 4);
  }
}

TEST_F(VideoInputTest, TheProducerReportsItsLatencyAndTakesARunModeDelay) {
  Connect("test", 80, 60, 80 * 60 * 4);
  bigtime_t latency = 0;
  ASSERT_EQ(roster->GetLatencyFor(producer, &latency), B_OK);
  EXPECT_GE(latency, 15000);  // at least what the sink reports
  ASSERT_EQ(roster->SetProducerRunModeDelay(producer, 200000, B_RECORDING), B_OK);
  Start();
  ASSERT_GE(sink->WaitForFrames(3, 10000000), 3u);
  for (const auto& frame : sink->Frames()) EXPECT_GT(frame.startTime - frame.arrival, 100000);
}

TEST_F(VideoInputTest, ASourceThatEndsIsReportedOnceAndCanStartAgain) {
  std::atomic<int> stopped{0};
  int32 token;
  roster->StartWatching(
      [&](int32 what, const media_node& node) {
        if (what == B_MEDIA_NODE_STOPPED && node.node == producer.node) stopped++;
      },
      &token);
  Connect("pipeline:videotestsrc is-live=true num-buffers=10", 80, 60, 80 * 60 * 4);
  Start();
  for (int i = 0; i < 100 && stopped.load() == 0; i++) snooze(50000);
  EXPECT_EQ(stopped.load(), 1);
  snooze(200000);
  EXPECT_EQ(stopped.load(), 1);
  size_t first = sink->Frames().size();
  EXPECT_GE(first, 5u);
  // Starting again reopens the source from its beginning.
  Start();
  for (int i = 0; i < 100 && stopped.load() < 2; i++) snooze(50000);
  EXPECT_EQ(stopped.load(), 2);
  EXPECT_GT(sink->Frames().size(), first);
  roster->StopWatching(token);
}

TEST_F(VideoInputTest, APipelineErrorStopsTheInputAndNothingElse) {
  std::atomic<int> stopped{0};
  int32 token;
  roster->StartWatching(
      [&](int32 what, const media_node&) {
        if (what == B_MEDIA_NODE_STOPPED) stopped++;
      },
      &token);
  Connect("pipeline:videotestsrc is-live=true ! identity error-after=8", 80, 60, 80 * 60 * 4);
  Start();
  for (int i = 0; i < 100 && stopped.load() == 0; i++) snooze(50000);
  EXPECT_EQ(stopped.load(), 1);
  size_t frames = sink->Frames().size();
  EXPECT_GE(frames, 3u);
  snooze(300000);
  EXPECT_EQ(sink->Frames().size(), frames);
  // The roster and the sink still answer.
  media_input free;
  int32 count = -1;
  EXPECT_EQ(roster->GetFreeInputsFor(sink->Node(), &free, 1, &count), B_OK);
  roster->StopWatching(token);
}

TEST_F(VideoInputTest, TestPatternOffersPictureControlsThatTakeNewValues) {
  Connect("test", 80, 60, 80 * 60 * 4);
  BParameterWeb* web = nullptr;
  ASSERT_EQ(roster->GetParameterWebFor(producer, &web), B_OK);
  ASSERT_NE(web, nullptr);
  ASSERT_GE(web->CountParameters(), 3);
  BParameter* parameter = nullptr;
  for (int32 i = 0; i < web->CountParameters(); i++)
    if (std::string(web->ParameterAt(i)->Name()).find("RIGHT") != std::string::npos ||
        std::string(web->ParameterAt(i)->Name()).find("right") != std::string::npos)
      parameter = web->ParameterAt(i);
  if (parameter == nullptr) parameter = web->ParameterAt(0);
  ASSERT_EQ(parameter->Type(), BParameter::B_CONTINUOUS_PARAMETER);
  auto* continuous = static_cast<BContinuousParameter*>(parameter);
  EXPECT_LT(continuous->MinValue(), continuous->MaxValue());
  float wanted = continuous->MaxValue();
  ASSERT_EQ(parameter->SetValue(&wanted, sizeof(wanted), 0), B_OK);
  float value = 0;
  for (int i = 0; i < 50; i++) {
    size_t size = sizeof(value);
    ASSERT_EQ(parameter->GetValue(&value, &size, nullptr), B_OK);
    if (value == wanted) break;
    snooze(20000);
  }
  EXPECT_EQ(value, wanted);
  // The copy outlives the node and then says so.
  connected = false;
  roster->Disconnect(output.node.node, output.source, input.node.node, input.destination);
  roster->ReleaseNode(producer);
  producer = media_node::null;
  size_t size = sizeof(value);
  EXPECT_EQ(parameter->GetValue(&value, &size, nullptr), B_MEDIA_BAD_NODE);
  delete web;
}

}  // namespace
