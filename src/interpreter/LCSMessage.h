#pragma once
// The system-exclusive messages the LCS audio-matrix controller understands.

#include <cstddef>

#include "platform/support/Status.h"

// Selects the controller's first bus; sent when the line opens and when the position output
// is switched.
constexpr size_t kBus1MessageSize = 10;
extern const uint8 bus1msg[kBus1MessageSize];

constexpr size_t kLCSPositionMessageSize = 17;

// Which source parameter receives the third value.
enum lcs_z_mapping { kLCSZPan = 0, kLCSZDivergence = 1, kLCSZLevel = 2 };

// A position value (nominally 0 to 1) in controller units: 25000 units span the range around
// the centre 1000000, truncated toward zero. Values beyond the 32-bit range saturate and NaN
// gives the centre.
int32 LCSCoordinate(float value);

// The position message for x, y, z: x and y as 21-bit coordinates in 7-bit groups, least
// significant first, and z in the parameter the mapping names (no parameter for any other
// mapping).
void MakeLCSPositionMessage(const float values[3], int32 zMapping, uint8 message[kLCSPositionMessageSize]);
