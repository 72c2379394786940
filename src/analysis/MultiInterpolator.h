#pragma once
// Key frames and their interpolation: each key frame ties an image and its histogram to a
// vector of output values; the set turns any histogram into a full output vector, one radial
// interpolator per output. As a training set it also finds the nearest key frame's image.
//
// Only the inherited operations take the set's lock. The owner serialises AddKeyFrame,
// MoveKeyFrame, DeleteKeyFrame and Interpolate with everything else.

#include <map>
#include <string>
#include <vector>

#include "analysis/Interpolator.h"
#include "analysis/TrainingSet.h"

class KeyFrame {
 public:
  KeyFrame();
  // Fills the fields, copying the values; takes ownership of the histogram.
  KeyFrame(Image* image, OrientationHistogram* histogram, const float* values, int numValues,
           const std::string& name = std::string());
  // Releases the histogram and the values; the image belongs to whoever holds it.
  virtual ~KeyFrame();
  KeyFrame(const KeyFrame&) = delete;
  KeyFrame& operator=(const KeyFrame&) = delete;

  int32 numValues = 0;
  Image* image = nullptr;
  float* values = nullptr;  // new[]-allocated, numValues long
  OrientationHistogram* histogram = nullptr;
  std::string name;
};

class MultiInterpolator : public TrainingSet {
 public:
  // Threshold and bin count of the matcher histograms; numOutputs interpolators of the given
  // kernel width.
  MultiInterpolator(float contrastThreshold, int numBins, int numOutputs, float width);
  // Destroys the interpolators and the key frames, then the images and matcher histograms.
  ~MultiInterpolator() override;

  // Takes ownership of the key frame; its image joins the matcher lists. A key frame with
  // fewer than numOutputs values gets the missing ones as 0. The name now finds this key
  // frame; an earlier one of the same name stays in the interpolation.
  virtual void AddKeyFrame(KeyFrame* keyFrame);
  // The same with the histogram its image is matched by, made earlier (ownership passes);
  // with null the set makes one.
  void AddSavedKeyFrame(KeyFrame* keyFrame, OrientationHistogram* imageHistogram);
  // Sets the outputs of the named key frame from numOutputs floats; false for an unknown name.
  virtual bool MoveKeyFrame(const std::string& name, float* newValues);
  // Removes the first key frame of that name from the interpolation; its image stays in the
  // matcher lists. False for an unknown name.
  virtual bool DeleteKeyFrame(const std::string& name);
  // Writes numOutputs interpolated values; all 0 without key frames.
  virtual void Interpolate(OrientationHistogram* probe, float* out);
  virtual int NumKeyFrames() const;

  // The key frame last added under a name, or null.
  KeyFrame* FindKeyFrame(const std::string& name) const;

  std::vector<Interpolator*> interpolators;
  std::vector<KeyFrame*> keyFrames;
  int32 numOutputs;
  int32 keyFrameCount;
  std::map<std::string, KeyFrame*> keyFramesByName;
};
