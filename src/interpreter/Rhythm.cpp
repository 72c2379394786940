#include "interpreter/Rhythm.h"

#include <algorithm>

#include "interpreter/ImageInterpreter.h"
#include "platform/support/Time.h"

namespace {
double NowMs() { return double(system_time() / 1000); }

// Truncates to the millisecond stamp; the stamp wraps with the platform's clock.
uint32 Stamp(double ms) { return uint32(uint64_t(ms)); }
}  // namespace

Rhythm::Rhythm(float tempo, ImageInterpreter* interpreter)
    : fNextTime(0), fPeriod(60000.0 / tempo), fInterpreter(interpreter) {
  fPeriod *= 0.25;
  fNextTime = NowMs() + fPeriod;
}

Rhythm::~Rhythm() { Stop(); }

uint32 Rhythm::Draw() { return (fRandom() >> 16) & 255; }

void Rhythm::Run() {
  float position[3] = {0, 0, 0};
  fNextTime = NowMs() + fPeriod;
  while (KeepRunning()) {
    SnoozeUntil(Stamp(fNextTime));
    if (!KeepRunning()) break;

    // About 98 steps in 256 are rests.
    bool stopped = false;
    while (Draw() / 255.0 > 0.618) {
      fNextTime += fPeriod;
      SnoozeUntil(Stamp(fNextTime));
      if (!KeepRunning()) {
        stopped = true;
        break;
      }
    }
    if (stopped) break;

    fInterpreter->GetCurrentValues(position);
    const float c = position[2] * 15.0f + 1.0f;
    const uchar channel = c > 16 ? 16 : c > 1 ? uchar(c) : 1;
    const float p = position[0] * 127.0f;
    const uchar note = p > 127 ? 127 : p > 0 ? uchar(p) : 0;
    const uchar velocity = uchar(fRandom() % 100 + 27);

    SprayNoteOn(channel, note, velocity, Stamp(fNextTime));
    // A note lasts 100 ms, or one step when the steps are shorter.
    const double end = std::min(fNextTime + 100.0, fNextTime + fPeriod);
    SprayNoteOn(channel, note, 0, Stamp(end));
    fSent.fetch_add(2, std::memory_order_relaxed);
    fNextTime += fPeriod;
  }
}
