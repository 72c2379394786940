#pragma once
// The analysis size and the sizes derived from it. Set once by the application's
// constructor, before any window or media node exists, and only read afterwards.

#include "platform/support/Status.h"

class ImageInterpreter;

extern int32 ANALYSIS_WIDTH;
extern int32 ANALYSIS_HEIGHT;
extern int32 KEYFRAME_WIDTH;
extern int32 KEYFRAME_HEIGHT;
extern int32 MATCHED_WIDTH;
extern int32 MATCHED_HEIGHT;
extern int32 WINDOW_SIZE_X;  // content width of the video window
extern int32 WINDOW_SIZE_Y;  // content height of the video window

// The one interpreter; null until start-up creates it and again once the application object
// that made it is gone.
extern ImageInterpreter* interpreter;

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

// Fixes all six size globals and the window size from chooser button `choice`.
void SetAnalysisSize(int choice);
