#include "app/CommandText.h"

uint32 PackCommandCode(const char* text) {
  uint32 code = 0;
  bool ended = text == nullptr;
  for (int i = 0; i < 4; i++) {
    uint32 byte = 0;
    if (!ended) {
      byte = static_cast<unsigned char>(text[i]);
      ended = byte == 0;
    }
    code |= byte << (8 * (3 - i));
  }
  return code;
}

std::string CommandCodeText(uint32 code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char c = static_cast<char>((code >> shift) & 0xFF);
    if (c == '\0')
      break;
    text += c;
  }
  return text;
}
