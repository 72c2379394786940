#pragma once
// Session pictures as PNG: grey pictures as 8-bit grey, colour pictures as 8-bit RGB (the
// unused fourth byte is not stored and reads back as 0).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "session/Session.h"

bool EncodePng(const SessionPicture& picture, std::vector<uint8_t>* png, std::string* why);
// Decodes a PNG of at most maxSide pixels a side: grey files (with or without alpha) become
// grey pictures, every other one a colour picture; transparency is dropped.
bool DecodePng(const uint8_t* bytes, size_t size, int32_t maxSide, SessionPicture* picture, std::string* why);
