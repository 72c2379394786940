#include "analysis/TrainingSet.h"

#include <limits>

#include "analysis/GrayscaleImage.h"

TrainingSet::TrainingSet(float contrastThreshold_, int numBins_)
    : contrastThreshold(contrastThreshold_), numBins(numBins_) {}

TrainingSet::TrainingSet(const std::vector<char*>& fileNames, float contrastThreshold_, int numBins_)
    : TrainingSet(contrastThreshold_, numBins_) {
  for (const char* name : fileNames) Add(new GrayscaleImage(name));
}

TrainingSet::~TrainingSet() { DeleteExamples(); }

void TrainingSet::DeleteExamples() {
  for (Image* image : images) {
    image->FreePixels();
    delete image;
  }
  images.clear();
  for (OrientationHistogram* histogram : histograms) delete histogram;
  histograms.clear();
}

void TrainingSet::Add(Image* image) {
  BAutolock hold(this);
  histograms.push_back(new OrientationHistogram(*image, contrastThreshold, numBins));
  images.push_back(image);
}

void TrainingSet::Clear() {
  BAutolock hold(this);
  DeleteExamples();
}

void TrainingSet::SetContrastThreshold(float threshold) {
  BAutolock hold(this);
  contrastThreshold = threshold;
}

int TrainingSet::Match(const OrientationHistogram& probe) {
  BAutolock hold(this);
  float best = std::numeric_limits<float>::infinity();
  int index = -1;
  for (size_t i = 0; i < histograms.size(); i++) {
    float d = probe.Distance(*histograms[i]);
    if (d < best) {
      best = d;
      index = static_cast<int>(i);
    }
  }
  return index;
}
