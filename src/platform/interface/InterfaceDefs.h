#pragma once
// Colours, fill patterns and drawing modes shared by views and bitmaps.

#include "platform/support/Status.h"

struct rgb_color {
  uint8 red;
  uint8 green;
  uint8 blue;
  uint8 alpha;

  rgb_color& set_to(uint8 r, uint8 g, uint8 b, uint8 a = 255) {
    red = r;
    green = g;
    blue = b;
    alpha = a;
    return *this;
  }
  bool operator==(const rgb_color& other) const = default;
};

inline rgb_color make_color(uint8 red, uint8 green, uint8 blue, uint8 alpha = 255) {
  return rgb_color{red, green, blue, alpha};
}

// An 8 × 8 two-colour pattern: a set bit paints the high colour, a clear bit the low colour.
// Row y of the pattern is data[y % 8], its most significant bit is column 0.
struct pattern {
  uint8 data[8];
  bool operator==(const pattern& other) const = default;
};

inline constexpr pattern B_SOLID_HIGH = {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}};
inline constexpr pattern B_MIXED_COLORS = {{0xaa, 0x55, 0xaa, 0x55, 0xaa, 0x55, 0xaa, 0x55}};
inline constexpr pattern B_SOLID_LOW = {{0, 0, 0, 0, 0, 0, 0, 0}};

// How drawn pixels combine with the canvas. Views draw in B_OP_COPY: the colour replaces
// the pixel (alpha is not blended).
enum drawing_mode {
  B_OP_COPY = 0,
  B_OP_OVER,
};
