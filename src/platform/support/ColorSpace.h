#pragma once
// Pixel layouts of bitmaps and video frames.

enum color_space {
  B_NO_COLOR_SPACE = 0,
  B_GRAY8 = 2,
  B_RGB16 = 5,
  B_RGB32 = 8,  // bytes B, G, R, A in memory
  B_RGB15 = 16,
};
