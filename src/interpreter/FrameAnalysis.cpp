#include "interpreter/FrameAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "analysis/GrayscaleImage.h"
#include "analysis/RGBAImage.h"
#include "platform/interface/BBitmap.h"
#include "platform/support/Log.h"

namespace {
// Distances are only meaningful between histograms of one bin count.
bool SameBins(const OrientationHistogram& histogram, const TrainingSet& set) {
  return histogram.numBins == set.numBins;
}
}  // namespace

FrameAnalysis::FrameAnalysis(color_space colorSpace) : fColorSpace(colorSpace) {
  if (fColorSpace != B_GRAY8 && fColorSpace != B_RGB32)
    Log(LogLevel::kWarn, "ImageInterpreter: colour space %d is not supported; frames are not stored",
                 int(fColorSpace));
  fMatcher = new TrainingSet(fContrastThreshold, fNumBins);
  fInterpolator = new MultiInterpolator(fContrastThreshold, fNumBins, 3, 1.0f);
}

FrameAnalysis::~FrameAnalysis() {
  DeleteDisplayBitmaps(*fInterpolator);
  delete fInterpolator;
  DeleteDisplayBitmaps(*fMatcher);
  delete fMatcher;
  if (fPreviousImage) {
    fPreviousImage->FreePixels();
    delete fPreviousImage;
  }
}

void FrameAnalysis::DeleteDisplayBitmaps(TrainingSet& set) {
  BAutolock hold(set);
  for (Image* image : set.images) {
    delete image->displayBitmap;
    image->displayBitmap = nullptr;
  }
}

Image* FrameAnalysis::CopyFrame(const Image& frame) const {
  switch (fColorSpace) {
    case B_GRAY8:
      return new GrayscaleImage(frame);
    case B_RGB32:
      return new RGBAImage(frame);
    default:
      return nullptr;
  }
}

void FrameAnalysis::Prepare(Image* image) {
  if (fSmoothInputImages.load(std::memory_order_relaxed)) image->Smooth();
  if (!fBlendInputImages.load(std::memory_order_relaxed)) return;
  // A frame of another size (the video format changed) restarts the blend from itself;
  // blending would otherwise stop for good.
  if (fPreviousImage && !fPreviousImage->SameLayout(*image)) {
    fPreviousImage->FreePixels();
    delete fPreviousImage;
    fPreviousImage = nullptr;
  }
  if (!fPreviousImage) fPreviousImage = CopyFrame(*image);
  if (fPreviousImage) {
    image->Blend(*fPreviousImage, fTemporalBlendingAmount.load(std::memory_order_relaxed));
    *fPreviousImage = *image;
  }
}

OrientationHistogram* FrameAnalysis::MakeHistogram(Image& image) const {
  return new OrientationHistogram(image, fContrastThreshold.load(std::memory_order_relaxed),
                                  fNumBins.load(std::memory_order_relaxed));
}

void FrameAnalysis::NextKeyFrameValues(float values[3]) {
  int n;
  {
    BAutolock hold(fKeyFrameLock);
    n = fInterpolator->NumKeyFrames();
  }
  for (int i = 0; i < 3; ++i) values[i] = (n >> i) & 1 ? 1.0f : 0.0f;
}

void FrameAnalysis::Analyse(OrientationHistogram* histogram, FrameResult* result) {
  result->histogram.reset(histogram);
  {
    BAutolock hold(fMatcherLock);
    const int32 match = SameBins(*histogram, *fMatcher) ? fMatcher->Match(*histogram) : -1;
    result->matched = match;
    // A frame without a match leaves the last matched index as it was.
    if (match != -1 && match != fLastMatched) {
      result->matchChanged = true;
      fLastMatched = match;
      fMatchedChanges.fetch_add(1, std::memory_order_relaxed);
    }
  }
  {
    BAutolock hold(fKeyFrameLock);
    const int32 nearest = SameBins(*histogram, *fInterpolator) ? fInterpolator->Match(*histogram) : -1;
    result->nearestKeyFrame = nearest;
    if (nearest != -1) fLastKeyFrame = nearest;
    if (SameBins(*histogram, *fInterpolator))
      fInterpolator->Interpolate(histogram, fRawValues);
    else
      std::fill(std::begin(fRawValues), std::end(fRawValues), 0.0f);
  }
  // Every frame, so that switching smoothing on publishes an already settled value.
  const float a = fSmoothingAlpha.load(std::memory_order_relaxed);
  for (int i = 0; i < 3; ++i) fSmoothedValues[i] = a * fRawValues[i] + (1 - a) * fSmoothedValues[i];
  std::copy_n(fSmoothing.load(std::memory_order_relaxed) ? fSmoothedValues : fRawValues, 3,
              result->position);
}

void FrameAnalysis::AddExample(Image* image) {
  BAutolock hold(fMatcherLock);
  fMatcher->Add(image);
  fSetChanges.fetch_add(1, std::memory_order_relaxed);
}

void FrameAnalysis::AddKeyFrame(KeyFrame* keyFrame) {
  BAutolock hold(fKeyFrameLock);
  // A key frame made while the bin count changed would be compared with histograms of
  // another count; rebuild its histogram with the set's count.
  if (keyFrame->histogram == nullptr || keyFrame->histogram->numBins != fInterpolator->numBins) {
    delete keyFrame->histogram;
    keyFrame->histogram = new OrientationHistogram(
        *keyFrame->image, fContrastThreshold.load(std::memory_order_relaxed), fInterpolator->numBins);
  }
  // A cheap look over the stored key frames (a few dozen distances) for one that is nearly
  // the same picture with other values.
  NearRepeat nearest;
  float nearestDistance = kNearRepeatDistance;
  const double size = std::sqrt(std::inner_product(keyFrame->histogram->bins,
                                                   keyFrame->histogram->bins + keyFrame->histogram->numBins,
                                                   keyFrame->histogram->bins, 0.0));
  const std::vector<KeyFrame*>& stored = fInterpolator->keyFrames;
  for (size_t i = 0; i < stored.size(); i++) {
    const OrientationHistogram& other = *stored[i]->histogram;
    const double otherSize = std::sqrt(std::inner_product(other.bins, other.bins + other.numBins, other.bins, 0.0));
    const double scale = std::max(size, otherSize);
    if (!(scale > 0)) continue;
    const float relative = float(double(keyFrame->histogram->Distance(other)) / scale);
    bool sameValues = stored[i]->numValues == keyFrame->numValues;
    for (int32 v = 0; sameValues && v < keyFrame->numValues; v++)
      sameValues = stored[i]->values[v] == keyFrame->values[v];
    if (!sameValues && relative < nearestDistance) {
      nearestDistance = relative;
      nearest = {int32(stored.size()), int32(i), relative};
    }
  }
  fInterpolator->AddKeyFrame(keyFrame);
  fSetChanges.fetch_add(1, std::memory_order_relaxed);
  if (nearest.like >= 0) {
    std::lock_guard<std::mutex> repeatHold(fRepeatLock);
    fRepeat = nearest;
    fHasRepeat = true;
  }
}

bool FrameAnalysis::TakeNearRepeat(NearRepeat* repeat) {
  std::lock_guard<std::mutex> hold(fRepeatLock);
  if (!fHasRepeat) return false;
  *repeat = fRepeat;
  fHasRepeat = false;
  return true;
}

void FrameAnalysis::ClearExamples() {
  BAutolock hold(fMatcherLock);
  DeleteDisplayBitmaps(*fMatcher);
  fMatcher->Clear();
  fLastMatched = -1;
  fSetChanges.fetch_add(1, std::memory_order_relaxed);
}

void FrameAnalysis::ClearKeyFrames() {
  BAutolock hold(fKeyFrameLock);
  DeleteDisplayBitmaps(*fInterpolator);
  delete fInterpolator;
  fInterpolator = new MultiInterpolator(fContrastThreshold, fNumBins, 3, 1.0f);
  fLastKeyFrame = -1;
  fSetChanges.fetch_add(1, std::memory_order_relaxed);
}

void FrameAnalysis::SetContrastThreshold(float threshold) {
  fContrastThreshold.store(threshold, std::memory_order_relaxed);
  {
    BAutolock hold(fKeyFrameLock);
    fInterpolator->SetContrastThreshold(threshold);
  }
  fMatcher->SetContrastThreshold(threshold);
}

void FrameAnalysis::SetNumBins(int numBins) {
  if (numBins == fNumBins.load(std::memory_order_relaxed)) return;
  if (numBins < 1 || numBins > kMaxBins) {
    Log(LogLevel::kWarn, "SetNumBins: %d bins refused; the count must lie between 1 and %d", numBins,
                 kMaxBins);
    return;
  }
  BAutolock matcherHold(fMatcherLock);
  BAutolock keyFrameHold(fKeyFrameLock);
  const int examples = fMatcher->CountExamples();
  const int keyFrames = fInterpolator->NumKeyFrames();
  if (examples > 0 || keyFrames > 0) {
    Log(LogLevel::kWarn,
        "SetNumBins: %d bins refused while %d examples and %d key frames are stored; clear them first",
        numBins, examples, keyFrames);
    return;
  }
  // Both sets are empty, so no stored histogram keeps the old count.
  {
    BAutolock setHold(*fMatcher);
    fMatcher->numBins = numBins;
  }
  const float threshold = fContrastThreshold.load(std::memory_order_relaxed);
  delete fInterpolator;
  fInterpolator = new MultiInterpolator(threshold, numBins, 3, 1.0f);
  fNumBins.store(numBins, std::memory_order_relaxed);
}

void FrameAnalysis::ReplaceSets(TrainingSet* examples, MultiInterpolator* keyFrames) {
  {
    BAutolock matcherHold(fMatcherLock);
    BAutolock keyFrameHold(fKeyFrameLock);
    // The matcher object stays (the frame thread sets its threshold without our locks); its
    // contents change places with the new set's.
    {
      BAutolock setHold(*fMatcher);
      BAutolock newHold(*examples);
      std::swap(fMatcher->images, examples->images);
      std::swap(fMatcher->histograms, examples->histograms);
      std::swap(fMatcher->numBins, examples->numBins);
      std::swap(fMatcher->contrastThreshold, examples->contrastThreshold);
    }
    std::swap(fInterpolator, keyFrames);
    fNumBins.store(fMatcher->numBins, std::memory_order_relaxed);
    fLastMatched = -1;
    fLastKeyFrame = -1;
    fSetChanges.fetch_add(1, std::memory_order_relaxed);
  }
  // The old sets, out of every frame's reach now.
  DeleteDisplayBitmaps(*examples);
  delete examples;
  DeleteDisplayBitmaps(*keyFrames);
  delete keyFrames;
}

void FrameAnalysis::SetSmoothingAlpha(float alpha) {
  fSmoothingAlpha.store(alpha > 1 ? 1.0f : (alpha < 0 ? 0.0f : alpha), std::memory_order_relaxed);
}

int32 FrameAnalysis::LastMatched() {
  BAutolock hold(fMatcherLock);
  return fLastMatched;
}

int32 FrameAnalysis::LastKeyFrame() {
  BAutolock hold(fKeyFrameLock);
  return fLastKeyFrame;
}

int32 FrameAnalysis::CountExamples() {
  BAutolock hold(fMatcherLock);
  return fMatcher->CountExamples();
}

int32 FrameAnalysis::CountKeyFrames() {
  BAutolock hold(fKeyFrameLock);
  return fInterpolator->NumKeyFrames();
}
