#include "interpreter/LCSMessage.h"

#include <cmath>
#include <limits>

const uint8 bus1msg[kBus1MessageSize] = {0xF0, 0x1F, 0x10, 0x7F, 0x09, 0x49, 0x01, 0x00, 0x01, 0xF7};

int32 LCSCoordinate(float value) {
  const double units = ((double(value) - 0.5) * 25.0 + 1000.0) * 1000.0;
  if (std::isnan(units)) return 1000000;
  // Converting an out-of-range double is undefined; a wild position pins to an end instead.
  if (units >= double(std::numeric_limits<int32>::max())) return std::numeric_limits<int32>::max();
  if (units <= double(std::numeric_limits<int32>::min())) return std::numeric_limits<int32>::min();
  return int32(units);
}

void MakeLCSPositionMessage(const float values[3], int32 zMapping, uint8 message[kLCSPositionMessageSize]) {
  static constexpr uint8 kHeader[7] = {0xF0, 0x1F, 0x7E, 0x12, 0x7F, 0x13, 0x00};
  for (size_t i = 0; i < sizeof(kHeader); i++) message[i] = kHeader[i];

  // >> on a negative int32 is an arithmetic shift, as the controller's encoding expects.
  int32 x = LCSCoordinate(values[0]);
  int32 y = LCSCoordinate(values[1]);
  for (int group = 0; group < 3; group++) {
    message[7 + group] = uint8(x & 0x7F);
    message[10 + group] = uint8(y & 0x7F);
    x >>= 7;
    y >>= 7;
  }

  // The negated low seven bits; negated in unsigned arithmetic so the lowest int32 is safe.
  const uint8 z = uint8((0u - uint32(LCSCoordinate(values[2]))) & 0x7F);
  message[13] = zMapping == kLCSZPan ? z : 0x3F;
  message[14] = zMapping == kLCSZDivergence ? z : 0x3F;
  message[15] = zMapping == kLCSZLevel ? z : 0x7F;
  message[16] = 0xF7;
}
