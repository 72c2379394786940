#pragma once
// The messages the interpreter sends to target applications. Receivers depend on the field
// names, types, order and scaling below; change none of them.
//
//   position  what = the chosen code; "objectid" int32 0, "x" "y" "z" float 127 v - 63
//   speaker   what = 'M23d' always; "objectid" int32 -5, "speaker" int32 1..8,
//             "x" "y" "z" float: bit 0, 1, 2 of (speaker - 1) as 64, else -63
//   matched   what = the chosen code; "index" int32, 0 for the first example

#include "platform/app/BMessage.h"

// Only this receiver is told where the eight speakers stand (compared byte for byte).
inline constexpr char kSpeakerReceiverSignature[] = "application/x-vnd.kdx-3dReceiver";
inline constexpr uint32 kSpeakerPlacementCommand = FourCC("M23d");
inline constexpr int32 kSpeakerCount = 8;

// A position value, nominally 0..1, on the receivers' scale: 0 gives -63, 1 gives 64.
inline float TargetScale(float value) { return float(127.0 * value - 63.0); }

// Each returns a new message for the caller to send and delete.
BMessage* MakePositionMessage(uint32 what, const float values[3]);
// speaker is 0..7 (sent as 1..8).
BMessage* MakeSpeakerMessage(int32 speaker);
BMessage* MakeMatchedMessage(uint32 what, int32 index);
