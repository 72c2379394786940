#pragma once
// The analysis size and the sizes derived from it. The application object chooses them once,
// in its constructor, and hands them to the windows and the media graph.

#include "platform/support/Status.h"

// Text of the splash window.
extern char waitString[];

struct SizeChoice {
  const char* label;
  int32 width;
  int32 height;
};

// The size chooser's buttons, left to right.
inline constexpr SizeChoice kSizeChoices[] = {
    {"320x240", 320, 240},
    {"160x120", 160, 120},
    {"80x60", 80, 60},
};
inline constexpr int kSizeChoiceCount = 3;

struct AnalysisSizes {
  int32 analysisWidth = 0;
  int32 analysisHeight = 0;
  int32 keyFrameWidth = 0;
  int32 keyFrameHeight = 0;
  int32 matchedWidth = 0;
  int32 matchedHeight = 0;
  int32 windowWidth = 0;   // content width of the video window
  int32 windowHeight = 0;  // content height of the video window
};

// The sizes of chooser button `choice` (the first for a choice out of range).
AnalysisSizes SizesForChoice(int choice);
