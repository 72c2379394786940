#pragma once
// A software synthesizer, as a MIDI consumer. The program ships none and makes none; the
// interpreter's synth outputs address one only when it is present.

#include "platform/midi/BMidi.h"

class BMidiSynth : public BMidi {};
