#pragma once
// The three tuning values that the control window's sliders set and the video consumer hands
// to the interpreter before every frame. The application owns the object; any thread may
// write a value at any time and a reader sees the old or the new one.

#include <atomic>

struct Tuning {
  std::atomic<float> fSmoothingAlpha{0.7f};
  std::atomic<float> fContrastThreshold{20.0f};
  std::atomic<float> fTemporalBlending{0.7f};

  static_assert(std::atomic<float>::is_always_lock_free, "tuning values must not take locks");
};
