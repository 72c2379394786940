#include "interpreter/PositionToTarget.h"

#include <memory>

#include "interpreter/TargetMessages.h"

PositionToTarget::PositionToTarget()
    : TargetOutput("Position to Target App", "position out", kSpeakerReceiverSignature,
                   FourCC("M23d"), true) {}

void PositionToTarget::Offer(const float position[3]) {
  if (!IsOn()) return;
  const uint32 what = Command();
  const float x = position[0], y = position[1], z = position[2];
  const bool queued = Worker().PostLatest([this, what, x, y, z] {
    const float values[3] = {x, y, z};
    std::unique_ptr<BMessage> message(MakePositionMessage(what, values));
    Deliver(*message, true);
  });
  if (!queued) CountDropped();
}
