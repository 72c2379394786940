// The video consumer's hooks, driven directly: formats, inputs, buffers and the frame path's
// timing rules, with a stand-in producer port that receives what the consumer sends it.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "CaptureFixture.h"
#include "capture/VideoConsumer.h"
#include "platform/media/BBuffer.h"
#include "platform/media/BBufferGroup.h"
#include "platform/media/MediaProtocol.h"
#include "platform/media/BMediaRoster.h"
#include "platform/media/BTimeSource.h"
#include "platform/support/Time.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using Q = BTimedEventQueue;

std::atomic<bigtime_t> gNow{5000000000};
bigtime_t TestClock() { return gNow.load(); }

media_format RawVideo(color_space space, uint32 width, uint32 height) {
  media_format format;
  format.type = B_MEDIA_RAW_VIDEO;
  format.u.raw_video = vid_format;
  format.u.raw_video.display = {space, width, height, width * 4, 0, 0, 0};
  return format;
}

class ConsumerHooksTest : public CaptureTest {
 protected:
  static constexpr uint32 kWidth = 32, kHeight = 24;

  void SetUp() override {
    MakeWindows(kWidth, kHeight);
    roster = BMediaRoster::Roster();
    consumer = new VideoConsumer("Zanvel", videoView, interpreter.get(), &tuning, nullptr, 0);
    ASSERT_EQ(roster->RegisterNode(consumer), B_OK);
    destination = {consumer->ControlPort(), 0};
    producerPort = create_port(16, "stand-in producer");
    producer = {producerPort, 0};
  }
  void TearDown() override {
    shared.reset();
    if (consumer) roster->ReleaseNode(consumer->Node());
    delete_port(producerPort);
    set_system_time_source(nullptr);
  }

  // Connects at kWidth × kHeight and takes the group the consumer offers, as a producer would.
  void Connect() {
    media_input input;
    ASSERT_EQ(consumer->Connected(producer, destination, RawVideo(B_RGB32, kWidth, kHeight), &input),
              B_OK);
    int32 code;
    media_protocol::SetBufferGroupRequest request;
    ASSERT_GT(read_port_etc(producerPort, &code, &request, sizeof(request), 5000000), 0);
    ASSERT_EQ(code, media_protocol::kProducerSetBufferGroup);
    ASSERT_EQ(request.count, 3);
    shared = std::make_unique<BBufferGroup>(request.count, request.buffers);
    ASSERT_EQ(shared->InitCheck(), B_OK);
  }
  // Starts the node on a clock that stands still at gNow.
  void StartOnTestClock() {
    set_system_time_source(&TestClock);
    ASSERT_EQ(roster->StartNode(consumer->Node(), gNow.load() - 1), B_OK);
    for (int i = 0; i < 500 && consumer->RunState() != B_STARTED; i++) snooze(2000);
    ASSERT_EQ(consumer->RunState(), B_STARTED);
  }
  BBuffer* Frame(BBufferGroup* group, bigtime_t start, uint32 word) {
    BBuffer* buffer = group->RequestBuffer(1, 0);
    if (buffer == nullptr) return nullptr;
    auto* pixels = static_cast<uint32*>(buffer->Data());
    for (size_t i = 0; i < buffer->SizeAvailable() / 4; i++) pixels[i] = word;
    buffer->Header()->start_time = start;
    buffer->SetSizeUsed(buffer->SizeAvailable());
    return buffer;
  }
  // Hands one frame to the frame path; returns what was printed.
  std::string Handle(BBuffer* buffer) {
    if (buffer == nullptr) {
      ADD_FAILURE() << "no free buffer";
      return "";
    }
    CaptureStdout();
    media_timed_event event(buffer->Header()->start_time, Q::B_HANDLE_BUFFER, buffer,
                            Q::B_RECYCLE_BUFFER);
    consumer->HandleEvent(&event, 0, false);
    return GetCapturedStdout();
  }
  bigtime_t Latency() {
    bigtime_t latency = -1;
    media_node_id timeSource;
    consumer->GetLatencyFor(destination, &latency, &timeSource);
    return latency;
  }
  uint32 LiveViewPixel(int32 x, int32 y) {
    videoWindow->Lock();
    rgb_color c = videoView->PixelAt(x, y);
    videoWindow->Unlock();
    return (uint32(c.red) << 16) | (uint32(c.green) << 8) | c.blue;
  }

  BMediaRoster* roster = nullptr;
  VideoConsumer* consumer = nullptr;
  media_destination destination;
  port_id producerPort = -1;
  media_source producer;
  std::unique_ptr<BBufferGroup> shared;
};

TEST_F(ConsumerHooksTest, AcceptFormatTakesRawVideoInKnownColourSpaces) {
  struct Case {
    media_type type;
    color_space space;
    status_t status;
    const char* line;
  } cases[] = {
      {B_MEDIA_NO_TYPE, B_RGB32, B_OK, "VideoConsumer::AcceptFormat: raw video"},
      {B_MEDIA_RAW_VIDEO, B_NO_COLOR_SPACE, B_OK, "B_RGB16"},
      {B_MEDIA_RAW_VIDEO, B_GRAY8, B_OK, "B_GRAY8"},
      {B_MEDIA_RAW_AUDIO, B_RGB32, B_MEDIA_BAD_FORMAT, "VideoConsumer::AcceptFormat - BAD FORMAT\n"},
      {B_MEDIA_RAW_VIDEO, color_space(3), B_MEDIA_BAD_FORMAT,
       "AcceptFormat - not a format we know about!\n"},
  };
  for (const Case& c : cases) {
    media_format format = RawVideo(c.space, 320, 240);
    format.type = c.type;
    CaptureStdout();
    EXPECT_EQ(consumer->AcceptFormat(destination, &format), c.status) << c.line;
    std::string out = GetCapturedStdout();
    EXPECT_NE(out.find(c.line), std::string::npos) << out;
    if (c.status == B_OK) {
      EXPECT_EQ(format.type, B_MEDIA_RAW_VIDEO);
      EXPECT_NE(format.u.raw_video.display.format, B_NO_COLOR_SPACE);
      EXPECT_EQ(format.u.raw_video.display.line_width, 320u);  // nothing else is filled in
    }
  }
  media_format format = RawVideo(B_RGB32, 320, 240);
  CaptureStdout();
  EXPECT_EQ(consumer->AcceptFormat({consumer->ControlPort(), 7}, &format), B_MEDIA_BAD_DESTINATION);
  EXPECT_NE(GetCapturedStdout().find("BAD DESTINATION"), std::string::npos);
}

TEST_F(ConsumerHooksTest, GetNextInputWalksOneInput) {
  media_input input;
  int32 cookie = 0;
  EXPECT_EQ(consumer->GetNextInput(&cookie, &input), B_OK);
  EXPECT_EQ(cookie, 1);
  EXPECT_STREQ(input.name, "Video Consumer");
  EXPECT_EQ(input.node, consumer->Node());
  EXPECT_EQ(input.source, media_source::null);
  EXPECT_EQ(input.format.u.raw_video, vid_format);
  CaptureStdout();
  EXPECT_EQ(consumer->GetNextInput(&cookie, &input), B_MEDIA_BAD_DESTINATION);
  EXPECT_NE(GetCapturedStdout().find("VideoConsumer::GetNextInput - - BAD INDEX\n"),
            std::string::npos);
  cookie = -1;
  EXPECT_EQ(consumer->GetNextInput(&cookie, &input), B_OK);
  EXPECT_EQ(cookie, 0);
  EXPECT_EQ(input.destination.id, -1);
}

TEST_F(ConsumerHooksTest, ConnectedOffersThreeRingBuffersOfAFrameEach) {
  CaptureStdout();
  Connect();
  std::string out = GetCapturedStdout();
  EXPECT_EQ(Count(out, "SUCCESSFUL ADD BUFFER TO GROUP"), 3u);
  EXPECT_NE(out.find("VideoConsumer::CreateBuffers - Colorspace = 8\n"), std::string::npos);
  EXPECT_NE(out.find("VideoConsumer::Connected - EXIT\n"), std::string::npos);
  EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;
  BBuffer* list[3];
  ASSERT_EQ(shared->GetBufferList(3, list), B_OK);
  for (BBuffer* buffer : list) EXPECT_EQ(buffer->SizeAvailable(), kWidth * kHeight * 4);
  EXPECT_EQ(Latency(), 20000);
  CaptureStdout();
  consumer->RequestCompleted(media_request_info{media_request_info::B_SET_OUTPUT_BUFFERS_FOR, 1,
                                                B_ERROR, nullptr, nullptr, producer, destination,
                                                media_format()});
  EXPECT_NE(GetCapturedStdout().find("Not using our buffers!"), std::string::npos);
}

TEST_F(ConsumerHooksTest, AConnectionInAColourSpaceWithoutAnalysisFails) {
  media_input input;
  CaptureStdout();
  EXPECT_EQ(consumer->Connected(producer, destination, RawVideo(B_RGB16, kWidth, kHeight), &input),
            B_ERROR);
  std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("VideoConsumer::CreateBuffers BAD COLOR_SPACE\n"), std::string::npos);
  EXPECT_NE(out.find("VideoConsumer::Connected - COULDN'T CREATE BUFFERS\n"), std::string::npos);
}

TEST_F(ConsumerHooksTest, TheLatenessWindowIsStrictOnBothSides) {
  Connect();
  StartOnTestClock();
  const bigtime_t now = gNow.load();
  struct Case {
    bigtime_t offset;
    bool processed;
  } cases[] = {{-20000, false}, {-19999, true}, {19999, true}, {20000, false}};
  for (const Case& c : cases) {
    size_t drawn = FramesDrawn();
    BBuffer* buffer = Frame(shared.get(), now + c.offset, 0x00405060);
    ASSERT_NE(buffer, nullptr);
    std::string out = Handle(buffer);
    EXPECT_EQ(out.find("VidConsumer::HandleEvent - DROPPED FRAME\n") == std::string::npos,
              c.processed)
        << c.offset << ": " << out;
    EXPECT_EQ(FramesDrawn(), drawn + (c.processed ? 1 : 0)) << c.offset;
    EXPECT_EQ(shared->CountFreeBuffers(), 3) << "every frame goes back to its group";
  }
  EXPECT_EQ(LiveViewPixel(0, 0), 0x405060u);
  // Only the late frame was reported, by how late it was.
  int32 code;
  media_protocol::LateNoticeRequest notice;
  ASSERT_GT(read_port_etc(producerPort, &code, &notice, sizeof(notice), 1000000), 0);
  EXPECT_EQ(code, media_protocol::kProducerLateNotice);
  EXPECT_EQ(notice.how_much, 20000);
  EXPECT_EQ(port_count(producerPort), 0);
}

TEST_F(ConsumerHooksTest, OfflineFramesHoursLateAreStillAnalysed) {
  Connect();
  StartOnTestClock();
  ASSERT_EQ(roster->SetRunModeNode(consumer->Node(), B_OFFLINE), B_OK);
  BBuffer* buffer = Frame(shared.get(), gNow.load() - 3LL * 3600 * 1000000, 0x00102030);
  std::string out = Handle(buffer);
  EXPECT_EQ(out.find("DROPPED"), std::string::npos) << out;
  EXPECT_EQ(Count(out, " fps\n"), 1u);
}

TEST_F(ConsumerHooksTest, AForeignBufferIsCopiedIntoTheFirstRingBitmapNoFurtherThanItsEnd) {
  Connect();
  StartOnTestClock();
  // Two rows' worth of a short buffer from the producer's own memory.
  BBufferGroup foreign(kWidth * 4 * 2, 1);
  BBuffer* first = Frame(shared.get(), gNow.load(), 0x00111111);
  Handle(first);
  EXPECT_EQ(LiveViewPixel(0, 5), 0x111111u);
  BBuffer* buffer = Frame(&foreign, gNow.load(), 0x00AA5500);
  ASSERT_NE(buffer, nullptr);
  std::string out = Handle(buffer);
  EXPECT_EQ(out.find("DROPPED"), std::string::npos);
  EXPECT_EQ(LiveViewPixel(0, 0), 0xAA5500u);
  EXPECT_EQ(LiveViewPixel(int32(kWidth) - 1, 1), 0xAA5500u);
  EXPECT_EQ(foreign.CountFreeBuffers(), 1);
}

TEST_F(ConsumerHooksTest, StopDiscardsEveryQueuedFrameWhateverItsStamp) {
  Connect();
  StartOnTestClock();
  const bigtime_t now = gNow.load();
  consumer->BufferReceived(Frame(shared.get(), now + 500000, 1));
  consumer->BufferReceived(Frame(shared.get(), now + 900000, 2));
  EXPECT_EQ(shared->CountFreeBuffers(), 1);
  size_t drawn = FramesDrawn();
  media_timed_event stop(now + 1000000, Q::B_STOP);
  CaptureStdout();
  consumer->HandleEvent(&stop, 0, false);
  EXPECT_NE(GetCapturedStdout().find("VideoConsumer::HandleEvent - STOP\n"), std::string::npos);
  EXPECT_EQ(shared->CountFreeBuffers(), 3);
  EXPECT_EQ(FramesDrawn(), drawn);
  media_timed_event strange(now, Q::B_TIMER);
  CaptureStdout();
  consumer->HandleEvent(&strange, 0, false);
  EXPECT_NE(GetCapturedStdout().find("VideoConsumer::HandleEvent - BAD EVENT\n"), std::string::npos);
}

TEST_F(ConsumerHooksTest, FramesWhileStoppedOrDisconnectedAreRecycledUntouched) {
  Connect();
  // Registered but not started: BufferReceived recycles at once.
  consumer->BufferReceived(Frame(shared.get(), 0, 1));
  EXPECT_EQ(shared->CountFreeBuffers(), 3);
  // A frame that reaches the frame path of a stopped node neither counts nor shows.
  std::string out = Handle(Frame(shared.get(), 0, 1));
  EXPECT_EQ(out.find("DROPPED"), std::string::npos);
  EXPECT_EQ(Latency(), 20000);
  EXPECT_EQ(FramesDrawn(), 0u);
  StartOnTestClock();
  // Wrong source: still connected, the frame is analysed.
  consumer->Disconnected({producerPort, 5}, destination);
  Handle(Frame(shared.get(), gNow.load(), 1));
  EXPECT_EQ(FramesDrawn(), 1u);
  bigtime_t latency = Latency();
  consumer->Disconnected(producer, destination);
  Handle(Frame(shared.get(), gNow.load(), 1));
  EXPECT_EQ(FramesDrawn(), 1u);
  EXPECT_EQ(Latency(), latency);
  EXPECT_EQ(shared->CountFreeBuffers(), 3);
}

TEST_F(ConsumerHooksTest, FormatChangedChecksBothEndsBeforeRebuilding) {
  Connect();
  media_format bigger = RawVideo(B_RGB32, 64, 48);
  CaptureStdout();
  EXPECT_EQ(consumer->FormatChanged(producer, {consumer->ControlPort(), 3}, 1, bigger),
            B_MEDIA_BAD_DESTINATION);
  EXPECT_EQ(consumer->FormatChanged({producerPort, 9}, destination, 1, bigger), B_MEDIA_BAD_SOURCE);
  EXPECT_EQ(GetCapturedStdout().find("CreateBuffers"), std::string::npos);
  EXPECT_TRUE(shared->IsAlive());  // the offered buffers are still the node's
  EXPECT_EQ(consumer->FormatChanged(producer, destination, 1, bigger), B_OK);
  EXPECT_FALSE(shared->IsAlive());
}

TEST(LatencyEstimateTest, SinglePrecisionWeightAndTruncation) {
  EXPECT_EQ(VideoConsumer::NextLatency(20000, 10000), 16999);
  EXPECT_EQ(VideoConsumer::NextLatency(20000, 20000), 20000);
  EXPECT_EQ(VideoConsumer::NextLatency(0, 0), 0);
  EXPECT_EQ(VideoConsumer::NextLatency(20000, 30000), 23000);
}

TEST_F(ConsumerHooksTest, DestructionClosesTheLiveWindowUnlessItIsGone) {
  CaptureStdout();
  roster->ReleaseNode(consumer->Node());
  consumer = nullptr;
  std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("VideoConsumer::~VideoConsumer\nLocking the window\nClosing the window\n"),
            std::string::npos)
      << out;
  EXPECT_TRUE(videoWindow->IsQuitting());

  // A second node on the closed window: destruction goes on without closing it.
  auto* late = new VideoConsumer("Zanvel", videoView, interpreter.get(), &tuning, nullptr, 0);
  ASSERT_EQ(roster->RegisterNode(late), B_OK);
  CaptureStdout();
  roster->ReleaseNode(late->Node());
  out = GetCapturedStdout();
  EXPECT_NE(out.find("Locking the window\n"), std::string::npos);
  EXPECT_EQ(out.find("Closing the window\n"), std::string::npos);
}

}  // namespace
