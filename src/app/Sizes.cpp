#include "app/Sizes.h"

#include "Version.h"

char waitString[] = "Zanvel " ZANVEL_VERSION " loading....";

AnalysisSizes SizesForChoice(int choice) {
  if (choice < 0 || choice >= kSizeChoiceCount)
    choice = 0;
  const SizeChoice& size = kSizeChoices[choice];
  AnalysisSizes sizes;
  sizes.analysisWidth = sizes.keyFrameWidth = sizes.matchedWidth = size.width;
  sizes.analysisHeight = sizes.keyFrameHeight = sizes.matchedHeight = size.height;
  sizes.windowWidth = size.width + 20;
  sizes.windowHeight = size.height + 40;
  return sizes;
}
