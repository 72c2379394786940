#include "interpreter/MatchedToTarget.h"

#include <memory>

#include "interpreter/TargetMessages.h"

MatchedToTarget::MatchedToTarget()
    : TargetOutput("Matched to Target App", "matched out", "application/foobar", FourCC("M2mm"),
                   false) {}

void MatchedToTarget::Offer(int32 matched) {
  if (!IsOn()) return;
  const uint32 what = Command();
  const bool queued = Worker().PostEvent([this, what, matched] {
    std::unique_ptr<BMessage> message(MakeMatchedMessage(what, matched));
    Deliver(*message, false);
  });
  if (!queued) CountDropped();
}
