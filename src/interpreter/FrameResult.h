#pragma once
// What the analysis of one normal frame found: everything the views and the outputs need.

#include <memory>

#include "analysis/OrientationHistogram.h"
#include "platform/support/Status.h"

struct FrameResult {
  std::unique_ptr<OrientationHistogram> histogram;
  // The nearest example, or -1 when there is none to match.
  int32 matched = -1;
  // The matched index differs from the last frame that had a match: the matched outputs go.
  bool matchChanged = false;
  // The nearest key frame, or -1.
  int32 nearestKeyFrame = -1;
  // The position as published: the smoothed values when smoothing is on, else the raw ones.
  float position[3] = {0, 0, 0};
};
