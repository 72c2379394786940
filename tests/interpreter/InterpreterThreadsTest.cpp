#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "InterpreterFixture.h"

using namespace testing_support;

// Commands, a display and a note generator work on the interpreter while frames flow. Run
// under ThreadSanitizer this proves the locking; in any build it must end (no deadlock) and
// leave the interpreter consistent.
TEST_F(InterpreterTest, CommandsFromOtherThreadsWhileFramesFlow) {
  std::atomic<bool> stop{false};
  std::atomic<int> frames{0}, commands{0}, repaints{0};
  std::atomic<bool> badValue{false};

  window->SetUpdateHook([&] { repaints.fetch_add(1, std::memory_order_relaxed); });
  ::testing::internal::CaptureStdout();

  std::thread frameThread([&] {
    const Pattern patterns[] = {Pattern::kVertical, Pattern::kHorizontal, Pattern::kDiagonal, Pattern::kChecker};
    TestFrame frame(Pattern::kBlank);
    while (!stop.load()) {
      frame.Fill(patterns[frames.load() % 4]);
      interpreter->SetSmoothingAlpha(0.5f);
      interpreter->SetContrastThreshold(frames.load() % 2 ? 20.0f : 25.0f);
      interpreter->SetTemporalBlendingAmount(0.6f);
      gNow += 40000;
      interpreter->Interpret(frame.image());
      frames.fetch_add(1);
    }
  });

  // A loaded session: both sets replaced at once while frames are matched and drawn.
  auto replaceTraining = [&] {
    TestFrame pattern(Pattern::kChecker);
    auto* examples = new TrainingSet(20.0f, 36);
    examples->Add(new RGBAImage(*pattern.image()));
    auto* keyFrames = new MultiInterpolator(20.0f, 36, 3, 1.0f);
    Image* image = new RGBAImage(*pattern.image());
    const float values[3] = {1, 0, 0};
    keyFrames->AddKeyFrame(new KeyFrame(image, new OrientationHistogram(*image, 20.0f, 36), values, 3));
    interpreter->ReplaceTraining(examples, keyFrames);
  };

  std::thread commandThread([&] {
    char buffer[64];
    for (int i = 0; i < 400; ++i) {
      switch (i % 10) {
        case 0: interpreter->SaveNextImageToMatcher(); break;
        case 1: interpreter->SaveNextImageAsKeyframe(); break;
        case 2: interpreter->SetSmoothing(i % 20 == 2); break;
        case 3: interpreter->SetBlendInputImages(i % 30 == 3); break;
        case 4: interpreter->SetSmoothInputImages(i % 40 == 4); break;
        case 5: interpreter->SetDestinationAppSignature(i % 20 == 5 ? "application/a" : "application/bb"); break;
        case 6: interpreter->GetDestinationAppSignature(buffer, sizeof buffer); break;
        case 7: if (i % 50 == 7) interpreter->ClearMatcher(); break;
        case 8:
          if (i % 70 == 8) interpreter->ClearKeyframes();
          else if (i % 20 == 18) replaceTraining();
          break;
        case 9: interpreter->SetNumBins(i % 20 == 9 ? 36 : 24); break;  // refused while stored
      }
      interpreter->SetSendToKDX(i % 2 == 0);
      interpreter->SetLCSZMapping(i % 3);
      // A session saved meanwhile reads every stored picture.
      if (i % 25 == 0) {
        volatile uint32 sum = 0;
        interpreter->VisitTraining(
            [&](const Image& image, const OrientationHistogram&) { sum = sum + image.I_RGB(0, 0); },
            [&](const KeyFrame& k) { sum = sum + k.image->I_RGB(0, 0); });
      }
      commands.fetch_add(1);
      std::this_thread::yield();
    }
  });

  std::thread noteThread([&] {
    while (!stop.load()) {
      float v[3];
      interpreter->GetCurrentValues(v);
      for (float x : v)
        if (!std::isfinite(x)) badValue = true;
      std::this_thread::yield();
    }
  });

  std::thread displayThread([&] {
    while (!stop.load()) {
      if (!window->Lock()) break;
      volatile uint32 sum = 0;
      for (BView* v : {histo, keyframe, matched}) sum = sum + v->CanvasBits()[0];
      histo->ClearOperations();
      matched->ClearOperations();
      keyframe->ClearOperations();
      window->Unlock();
      std::this_thread::yield();
    }
  });

  commandThread.join();
  while (frames.load() < 200) std::this_thread::yield();
  stop = true;
  frameThread.join();
  noteThread.join();
  displayThread.join();
  ::testing::internal::GetCapturedStdout();
  window->SetUpdateHook(nullptr);

  EXPECT_EQ(commands.load(), 400);
  EXPECT_FALSE(badValue.load()) << "published positions are always numbers";
  EXPECT_GT(repaints.load(), 0);

  // Still consistent: a request after the storm is consumed by exactly one frame. Two frames
  // first use up whatever requests the storm left pending.
  Run(Pattern::kBlank);
  Run(Pattern::kBlank);
  interpreter->ClearMatcher();
  interpreter->ClearKeyframes();
  interpreter->SaveNextImageToMatcher();
  Run(Pattern::kVertical);
  Run(Pattern::kVertical);
  EXPECT_EQ(interpreter->CountExamples(), 1);
  EXPECT_EQ(interpreter->LastMatched(), 0);
}
