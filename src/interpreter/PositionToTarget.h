#pragma once
// "Position to Target App": the published position on every normal frame as a message to
// the destination application, after the speaker placement when that is the 3D receiver.
// Only the newest position matters: one that has not gone out when the next comes is dropped.

#include "interpreter/TargetOutput.h"

class PositionToTarget : public TargetOutput {
 public:
  PositionToTarget();
  // Frame thread; never waits.
  void Offer(const float position[3]);
};
