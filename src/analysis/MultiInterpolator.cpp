#include "analysis/MultiInterpolator.h"

#include <algorithm>

KeyFrame::KeyFrame() = default;

KeyFrame::KeyFrame(Image* image_, OrientationHistogram* histogram_, const float* values_,
                   int numValues_, const std::string& name_)
    : numValues(numValues_ < 0 ? 0 : numValues_),
      image(image_),
      values(new float[static_cast<size_t>(numValues)]()),
      histogram(histogram_),
      name(name_) {
  if (values_ != nullptr) std::copy(values_, values_ + numValues, values);
}

KeyFrame::~KeyFrame() {
  delete histogram;
  delete[] values;
}

MultiInterpolator::MultiInterpolator(float contrastThreshold_, int numBins_, int numOutputs_,
                                     float width)
    : TrainingSet(contrastThreshold_, numBins_),
      numOutputs(numOutputs_ < 0 ? 0 : numOutputs_),
      keyFrameCount(0) {
  for (int i = 0; i < numOutputs; i++) interpolators.push_back(new Interpolator(width));
}

MultiInterpolator::~MultiInterpolator() {
  for (Interpolator* interpolator : interpolators) delete interpolator;
  interpolators.clear();
  for (KeyFrame* keyFrame : keyFrames) delete keyFrame;
  keyFrames.clear();
  keyFramesByName.clear();
}

void MultiInterpolator::AddKeyFrame(KeyFrame* keyFrame) { AddSavedKeyFrame(keyFrame, nullptr); }

void MultiInterpolator::AddSavedKeyFrame(KeyFrame* keyFrame, OrientationHistogram* imageHistogram) {
  // The interpolators keep the address of each output value, so the array must be long enough.
  if (keyFrame->numValues < numOutputs) {
    float* grown = new float[static_cast<size_t>(numOutputs)]();
    if (keyFrame->values != nullptr)
      std::copy(keyFrame->values, keyFrame->values + keyFrame->numValues, grown);
    delete[] keyFrame->values;
    keyFrame->values = grown;
    keyFrame->numValues = numOutputs;
  }

  if (imageHistogram != nullptr)
    Add(keyFrame->image, imageHistogram);
  else
    Add(keyFrame->image);
  keyFrames.push_back(keyFrame);
  keyFrameCount++;
  keyFramesByName[keyFrame->name] = keyFrame;
  for (int i = 0; i < numOutputs; i++)
    interpolators[i]->AddKey(keyFrame->histogram, &keyFrame->values[i]);
}

bool MultiInterpolator::MoveKeyFrame(const std::string& name, float* newValues) {
  KeyFrame* keyFrame = FindKeyFrame(name);
  if (keyFrame == nullptr) return false;
  std::copy(newValues, newValues + numOutputs, keyFrame->values);
  for (Interpolator* interpolator : interpolators) interpolator->ComputeCoefficients();
  return true;
}

bool MultiInterpolator::DeleteKeyFrame(const std::string& name) {
  auto named = keyFramesByName.find(name);
  if (named == keyFramesByName.end()) return false;
  keyFramesByName.erase(named);

  auto found = std::find_if(keyFrames.begin(), keyFrames.end(),
                            [&name](const KeyFrame* k) { return k->name == name; });
  if (found == keyFrames.end()) return false;
  KeyFrame* keyFrame = *found;
  keyFrames.erase(found);
  keyFrameCount--;

  for (int i = 0; i < numOutputs; i++)
    interpolators[i]->RemoveKey(keyFrame->histogram, &keyFrame->values[i]);
  delete keyFrame;
  for (Interpolator* interpolator : interpolators) interpolator->ComputeCoefficients();
  return true;
}

void MultiInterpolator::Interpolate(OrientationHistogram* probe, float* out) {
  for (int i = 0; i < numOutputs; i++) out[i] = interpolators[i]->Interpolate(probe);
}

int MultiInterpolator::NumKeyFrames() const { return static_cast<int>(keyFrames.size()); }

KeyFrame* MultiInterpolator::FindKeyFrame(const std::string& name) const {
  auto named = keyFramesByName.find(name);
  return named == keyFramesByName.end() ? nullptr : named->second;
}
