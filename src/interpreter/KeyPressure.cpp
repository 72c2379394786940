#include "interpreter/KeyPressure.h"

#include <cmath>

#include "platform/support/Time.h"

KeyPressure::KeyPressure(BMidiPort& port) : Output("Position to MIDI"), fPort(port) {}

uchar KeyPressure::Pressure(float value) {
  const double p = 127.0 * double(value);
  if (!(p >= 0) || !std::isfinite(p)) return 0;
  return uchar(std::fmod(std::trunc(p), 128.0));
}

void KeyPressure::Offer(const float position[3]) {
  if (!IsOn()) return;
  const uchar note = uchar(fBussId.load(std::memory_order_relaxed) & 0xFF);
  const uint32 now = uint32(system_time() / 1000);
  for (int i = 0; i < 3; i++) {
    Count(fPort.Post(uint8(0xA0 | (2 + i)), note, Pressure(position[i]), now + uint32(i)),
          "MIDI port not open");
  }
}
