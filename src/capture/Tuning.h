#pragma once
// The three values the control window's sliders set and the video consumer hands to the
// interpreter before every frame. Owned by the application.
//
// Threads: written by the GUI thread (slider callbacks), read by the consumer's thread.
// Relaxed atomics: a frame sees the old or the new value, never a torn one.

#include <atomic>

struct Tuning {
  std::atomic<float> smoothingAlpha{0.7f};
  std::atomic<float> contrastThreshold{20.0f};
  std::atomic<float> temporalBlending{0.7f};
};
