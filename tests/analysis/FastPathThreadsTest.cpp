// Frames of different threads may build the first histogram of a bin count at once; the
// shared table of bins for that count is made once and read by all.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "ReferenceAnalysis.h"

namespace {

TEST(FastHistogramThreads, FirstUseOfABinCountFromManyThreads) {
  const int w = 64, h = 48;
  std::vector<uint8> pixels(static_cast<size_t>(w) * h);
  uint32 state = 1;
  for (uint8& p : pixels) p = static_cast<uint8>((state = state * 1664525u + 1013904223u) >> 24);
  GrayscaleImage image(pixels.data(), w, h, w);
  // Counts no other test in this program uses, so the tables are built here.
  const int counts[] = {200, 201, 202};
  std::vector<std::vector<float>> expected;
  for (int bins : counts) expected.push_back(reference::HistogramBins(image, 20.0f, bins));

  std::atomic<int> go{0}, mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; t++) {
    threads.emplace_back([&, t] {
      while (go.load() == 0) std::this_thread::yield();
      for (int round = 0; round < 3; round++) {
        const int which = (t + round) % 3;
        OrientationHistogram histogram(image, 20.0f, counts[which]);
        if (std::memcmp(histogram.bins, expected[which].data(), expected[which].size() * sizeof(float)) != 0)
          mismatches++;
      }
    });
  }
  go = 1;
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
