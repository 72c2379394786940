#pragma once
// Four-character message codes typed by the user.

#include <string>

#include "platform/support/Status.h"

// Packs the first four characters of `text` into a code, the first in the most significant
// byte; each character is taken as an unsigned byte and a shorter text is padded with zero
// bytes: "abcd" gives 0x61626364, "ab" 0x61620000.
uint32 PackCommandCode(const char* text);

// The code as text, most significant byte first; a zero byte ends the text early.
std::string CommandCodeText(uint32 code);
