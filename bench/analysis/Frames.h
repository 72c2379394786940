#pragma once
// Deterministic synthetic video frames (B_RGB32 words, packed rows) for benchmarks.
//
// NaturalFrame looks roughly like a camera picture: smooth lighting gradients, a few solid
// shapes with sharp outlines, and mild sensor noise, so only a fraction of the 2 x 2 blocks
// are edges. EdgeFrame is the worst case for the edge detector: every block is an edge, in
// varying directions.

#include <cmath>
#include <cstdint>
#include <vector>

namespace bench_frames {

// Small fixed-seed generator so every run sees the same pixels.
class Lcg {
 public:
  explicit Lcg(uint32_t seed) : fState(seed) {}
  uint32_t Next() {
    fState = fState * 1664525u + 1013904223u;
    return fState >> 8;
  }
  // Uniform in [0, 1).
  float Unit() { return static_cast<float>(Next() & 0xFFFFFF) / 16777216.0f; }

 private:
  uint32_t fState;
};

inline uint32_t Grey(uint32_t v) { return v | (v << 8) | (v << 16) | 0xFF000000u; }

inline uint32_t Colour(int r, int g, int b) {
  auto clamp = [](int v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
  return clamp(b) | (clamp(g) << 8) | (clamp(r) << 16) | 0xFF000000u;
}

inline std::vector<uint32_t> NaturalFrame(int width, int height, uint32_t seed = 1) {
  std::vector<uint32_t> frame(static_cast<size_t>(width) * height);
  Lcg rng(seed);
  const float cx = width * 0.35f, cy = height * 0.45f, radius = height * 0.22f;
  const int rx0 = width * 6 / 10, rx1 = width * 9 / 10, ry0 = height / 5, ry1 = height * 3 / 5;
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      float fx = static_cast<float>(x) / width, fy = static_cast<float>(y) / height;
      // Lighting: a diagonal ramp with a slow wave.
      float base = 60.0f + 90.0f * fx * (1.0f - 0.5f * fy) + 20.0f * std::sin(6.0f * fy + 3.0f * fx);
      int r = static_cast<int>(base * 0.9f), g = static_cast<int>(base), b = static_cast<int>(base * 0.8f);
      float dx = x - cx, dy = y - cy;
      if (dx * dx + dy * dy < radius * radius) {  // a bright round object
        r = 220, g = 190, b = 150;
      } else if (x >= rx0 && x < rx1 && y >= ry0 && y < ry1) {  // a dark box
        r = 30, g = 40, b = 70;
      } else if (y > height * 4 / 5 && ((x / 8) % 2) == 0) {  // a striped floor
        r -= 40, g -= 40, b -= 40;
      }
      int noise = static_cast<int>(rng.Next() % 7) - 3;
      frame[static_cast<size_t>(y) * width + x] = Colour(r + noise, g + noise, b + noise);
    }
  }
  return frame;
}

inline std::vector<uint32_t> EdgeFrame(int width, int height) {
  std::vector<uint32_t> frame(static_cast<size_t>(width) * height);
  // Odd columns bright, even columns a dim value that changes down the rows: every Roberts
  // cross sees a contrast of at least 2 x 192.
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++)
      frame[static_cast<size_t>(y) * width + x] = Grey(x % 2 ? 255u : static_cast<uint32_t>((y * 37) % 64));
  return frame;
}

}  // namespace bench_frames
