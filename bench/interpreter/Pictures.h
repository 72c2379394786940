#pragma once
// What the interpreter benchmarks share: striped pictures and a standard output kept quiet.

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <vector>

#include "platform/support/Status.h"

namespace bench_pictures {

// Stripes at an angle and period of their own, so that every picture has its own histogram.
inline void FillStripes(std::vector<uint32>& pixels, int width, int height, double angle, double period) {
  const double c = std::cos(angle), s = std::sin(angle);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32 v = uint32(128 + 100 * std::sin((x * c + y * s) * 2 * M_PI / period));
      pixels[size_t(y) * width + x] = (v << 16) | (v << 8) | v;
    }
}

// The frame-rate line goes to standard output, which the benchmark's report also uses.
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    std::cout.flush();
    fSaved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    dup2(fSaved, 1);
    close(fSaved);
  }
  QuietStdout(const QuietStdout&) = delete;
  QuietStdout& operator=(const QuietStdout&) = delete;

 private:
  int fSaved;
};

}  // namespace bench_pictures
