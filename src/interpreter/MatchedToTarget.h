#pragma once
// "Matched to Target App": each change of the matched example as a message to the matched
// application. Changes are events: they queue (a bounded number) and are counted when the
// queue is full.

#include "interpreter/TargetOutput.h"

class MatchedToTarget : public TargetOutput {
 public:
  MatchedToTarget();
  // Frame thread, when the matched index changed; never waits.
  void Offer(int32 matched);
};
