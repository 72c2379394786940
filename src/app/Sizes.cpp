#include "app/Sizes.h"

#include "Version.h"

int32 ANALYSIS_WIDTH = 0;
int32 ANALYSIS_HEIGHT = 0;
int32 KEYFRAME_WIDTH = 0;
int32 KEYFRAME_HEIGHT = 0;
int32 MATCHED_WIDTH = 0;
int32 MATCHED_HEIGHT = 0;
int32 WINDOW_SIZE_X = 0;
int32 WINDOW_SIZE_Y = 0;

ImageInterpreter* interpreter = nullptr;

char waitString[] = "Zanvel " ZANVEL_VERSION " loading....";

void SetAnalysisSize(int choice) {
  if (choice < 0 || choice >= kSizeChoiceCount)
    choice = 0;
  const SizeChoice& size = kSizeChoices[choice];
  ANALYSIS_WIDTH = KEYFRAME_WIDTH = MATCHED_WIDTH = size.width;
  ANALYSIS_HEIGHT = KEYFRAME_HEIGHT = MATCHED_HEIGHT = size.height;
  WINDOW_SIZE_X = ANALYSIS_WIDTH + 20;
  WINDOW_SIZE_Y = ANALYSIS_HEIGHT + 40;
}
