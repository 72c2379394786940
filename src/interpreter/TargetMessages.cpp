#include "interpreter/TargetMessages.h"

BMessage* MakePositionMessage(uint32 what, const float values[3]) {
  BMessage* message = new BMessage(what);
  message->AddInt32("objectid", 0);
  message->AddFloat("x", TargetScale(values[0]));
  message->AddFloat("y", TargetScale(values[1]));
  message->AddFloat("z", TargetScale(values[2]));
  return message;
}

BMessage* MakeSpeakerMessage(int32 speaker) {
  BMessage* message = new BMessage(kSpeakerPlacementCommand);
  message->AddInt32("objectid", -5);
  message->AddInt32("speaker", speaker + 1);
  message->AddFloat("x", TargetScale(float(speaker & 1)));
  message->AddFloat("y", TargetScale(float((speaker >> 1) & 1)));
  message->AddFloat("z", TargetScale(float((speaker >> 2) & 1)));
  return message;
}

BMessage* MakeMatchedMessage(uint32 what, int32 index) {
  BMessage* message = new BMessage(what);
  message->AddInt32("index", index);
  return message;
}
