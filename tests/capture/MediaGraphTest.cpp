// The whole graph on real GStreamer sources: the moving test pattern into the interpreter, a
// short video file played through, a missing input, an input already in use, and a source
// that fails while the graph runs.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "CaptureFixture.h"
#include "capture/MediaGraph.h"
#include "platform/media/BMediaRoster.h"
#include "platform/support/Time.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

class MediaGraphTest : public CaptureTest {
 protected:
  void SetUp() override {
    roster = BMediaRoster::Roster();
    graph.errorAlert = [this](const char* message, status_t status) {
      alerts.push_back(message);
      alertStatus = status;
    };
    roster->StartWatching(
        [this](int32 what, const media_node& node) {
          if (what == B_MEDIA_NODE_STOPPED && node.node == graph.fProducerNode.node) stopped++;
        },
        &watchToken);
  }
  void TearDown() override {
    graph.TearDownNodes();
    graph.ReleaseConsumer();  // one set-up made but could not register
    roster->StopWatching(watchToken);
    roster->SetVideoInputSetting(nullptr);
  }
  // Runs until `frames` were drawn or `timeout` µs passed; returns the frames drawn.
  size_t RunFor(size_t frames, bigtime_t timeout) {
    bigtime_t end = system_time() + timeout;
    while (FramesDrawn() < frames && system_time() < end) snooze(20000);
    return FramesDrawn();
  }

  BMediaRoster* roster = nullptr;
  MediaGraph graph;
  std::vector<std::string> alerts;
  status_t alertStatus = B_OK;
  std::atomic<int> stopped{0};
  int32 watchToken = 0;
};

TEST_F(MediaGraphTest, TestPatternFlowsIntoTheInterpreterAtTheSourceRate) {
  MakeWindows(160, 120);
  roster->SetVideoInputSetting("test");
  CaptureStdout();
  ASSERT_EQ(graph.SetUpNodes(videoView, interpreter.get(), &tuning, 160, 120), B_OK);
  // The connection the roster reports asks for what the graph asked.
  const media_raw_video_format& video = graph.fConsumerIn.format.u.raw_video;
  EXPECT_EQ(video.display.line_width, 160u);
  EXPECT_EQ(video.display.line_count, 120u);
  EXPECT_EQ(video.display.bytes_per_row, 640u);
  EXPECT_EQ(video.display.format, B_RGB32);
  EXPECT_EQ(video.last_active, 239u);

  bigtime_t began = system_time();
  snooze(3000000);
  size_t drawn = FramesDrawn();
  bigtime_t took = system_time() - began;
  graph.TearDownNodes();
  std::string out = GetCapturedStdout();
  EXPECT_TRUE(alerts.empty());
  EXPECT_NE(out.find("Latency = "), std::string::npos);
  EXPECT_NE(out.find("SetUpNodes OK!\n"), std::string::npos);
  EXPECT_NE(out.find("stopping nodes!\n"), std::string::npos);
  // The pattern runs at 30 frames a second; a loaded machine may lose some, not most.
  double rate = double(drawn) * 1e6 / double(took);
  EXPECT_GT(rate, 15.0) << drawn << " frames in " << took << " µs";
  size_t dropped = Count(out, "DROPPED FRAME");
  EXPECT_LT(double(dropped), 0.2 * double(drawn) + 2) << dropped << " dropped";
  EXPECT_GE(Count(out, " fps\n"), drawn);
  // Frames arrived in the consumer's own buffers.
  EXPECT_EQ(out.find("Not using our buffers!"), std::string::npos);

  // Tear-down destroyed the consumer (closing the video window) and released the input.
  EXPECT_TRUE(videoWindow->IsQuitting());
  EXPECT_EQ(graph.fVideoConsumer, nullptr);
  EXPECT_EQ(graph.fProducerNode, media_node::null);
  CaptureStdout();
  graph.TearDownNodes();
  EXPECT_EQ(GetCapturedStdout(), "");
}

TEST_F(MediaGraphTest, AShortVideoFilePlaysThroughAndEnds) {
  char path[] = "/tmp/zanvel-clip-XXXXXX.avi";
  int fd = mkstemps(path, 4);
  ASSERT_GE(fd, 0);
  close(fd);
  std::string command = std::string("gst-launch-1.0 -q videotestsrc num-buffers=40 pattern=ball ! "
                                    "video/x-raw,width=160,height=120,framerate=20/1 ! jpegenc ! "
                                    "avimux ! filesink location=") + path;
  ASSERT_EQ(std::system(command.c_str()), 0);

  MakeWindows(80, 60);
  roster->SetVideoInputSetting(path);
  ASSERT_EQ(graph.SetUpNodes(videoView, interpreter.get(), &tuning, 80, 60), B_OK);
  for (int i = 0; i < 200 && stopped.load() == 0; i++) snooze(50000);
  EXPECT_EQ(stopped.load(), 1) << "the end of the file stops the input once";
  size_t drawn = FramesDrawn();
  EXPECT_GE(drawn, 25u);
  EXPECT_LE(drawn, 40u);
  // The live view shows the clip, scaled to the analysis size: not the blank canvas.
  videoWindow->Lock();
  bool painted = false;
  for (int32 y = 0; y < 60 && !painted; y++)
    for (int32 x = 0; x < 80 && !painted; x++) {
      rgb_color c = videoView->PixelAt(x, y);
      painted = c.red != 255 || c.green != 255 || c.blue != 255;
    }
  videoWindow->Unlock();
  EXPECT_TRUE(painted);
  unlink(path);
}

TEST_F(MediaGraphTest, AMissingInputFailsTheFirstStepsAndTearsDownToNothing) {
  MakeWindows(80, 60);
  roster->SetVideoInputSetting("/nonexistent/camera.avi");
  EXPECT_EQ(graph.SetUpNodes(videoView, interpreter.get(), &tuning, 80, 60), B_NAME_NOT_FOUND);
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0], "could not find a video input!");
  EXPECT_EQ(alertStatus, B_NAME_NOT_FOUND);
  EXPECT_EQ(graph.fVideoConsumer, nullptr);
  CaptureStdout();
  graph.TearDownNodes();
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_FALSE(videoWindow->IsQuitting());
}

TEST_F(MediaGraphTest, AnInputInUseHasNoFreeOutput) {
  MakeWindows(80, 60);
  roster->SetVideoInputSetting("test");
  ASSERT_EQ(graph.SetUpNodes(videoView, interpreter.get(), &tuning, 80, 60), B_OK);
  MediaGraph second;
  std::string message;
  status_t status = B_ERROR;
  second.errorAlert = [&](const char* text, status_t s) {
    message = text;
    status = s;
  };
  BWindow otherWindow(BRect(0, 0, 99, 99), "other");
  auto* otherView = new BView(BRect(0, 0, 79, 59), "Video View");
  otherWindow.AddChild(otherView);
  EXPECT_EQ(second.SetUpNodes(otherView, interpreter.get(), &tuning, 80, 60), B_ERROR);
  EXPECT_EQ(message, "could not find output for video producer");
  EXPECT_EQ(status, B_OK);
  second.TearDownNodes();
  EXPECT_TRUE(otherWindow.IsQuitting());
  // The first graph still runs.
  size_t drawn = FramesDrawn();
  EXPECT_GT(RunFor(drawn + 5, 5000000), drawn + 4);
}

TEST_F(MediaGraphTest, AnInputThatFailsWhileRunningLeavesTheProgramUp) {
  MakeWindows(80, 60);
  roster->SetVideoInputSetting("pipeline:videotestsrc is-live=true ! identity error-after=15");
  ASSERT_EQ(graph.SetUpNodes(videoView, interpreter.get(), &tuning, 80, 60), B_OK);
  for (int i = 0; i < 200 && stopped.load() == 0; i++) snooze(50000);
  EXPECT_EQ(stopped.load(), 1);
  size_t drawn = FramesDrawn();
  EXPECT_GE(drawn, 5u);
  // Frames already on their way may still be shown; nothing after them.
  snooze(300000);
  size_t settled = FramesDrawn();
  EXPECT_LE(settled, drawn + 3);
  snooze(300000);
  EXPECT_EQ(FramesDrawn(), settled);
  // The consumer still answers, and the graph comes down in order.
  bigtime_t latency = -1;
  EXPECT_EQ(roster->GetLatencyFor(graph.fProducerNode, &latency), B_OK);
  EXPECT_GT(latency, 0);
  CaptureStdout();
  graph.TearDownNodes();
  std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("VideoConsumer::~VideoConsumer\n"), std::string::npos);
  EXPECT_TRUE(videoWindow->IsQuitting());
}

}  // namespace
