#pragma once
// The feature vector of one image: how many strong edges it has in each direction, blurred
// around the circle of directions and scaled so that its largest bin is 1.
//
// Bin k collects the directions nearest to the angle 2 pi k / numBins. Histograms are not
// copied; each has one owner.
//
// Histograms of different bin counts describe different things and are never compared bin by
// bin: their distance is +infinity, so a matcher never picks such an example and an
// interpolation kernel gives it weight 0.

#include "analysis/Image.h"

class OrientationHistogram {
 public:
  // Counts the edge blocks of the image whose contrast is above the threshold, then blurs and
  // scales. A bin count below 1 is taken as 1.
  OrientationHistogram(Image& image, float contrastThreshold, int numBins);
  // A histogram made earlier, from its bins as they were (a saved session's).
  OrientationHistogram(const float* bins, int numBins);
  virtual ~OrientationHistogram();
  OrientationHistogram(const OrientationHistogram&) = delete;
  OrientationHistogram& operator=(const OrientationHistogram&) = delete;

  // Does nothing: the constructor already leaves the bins scaled.
  virtual void Normalize();
  // Circular blur, then scale to a peak of 1 (an all-zero histogram stays zero).
  virtual void BlurAndScale();
  // Circular 1-4-6-4-1 blur only.
  virtual void Blur();
  // Euclidean distance; +infinity when the bin counts differ.
  virtual float Distance(const OrientationHistogram& other) const;
  // Squared Euclidean distance, summed in extended precision; +infinity when the bin counts
  // differ.
  virtual float DistanceSquared(const OrientationHistogram& other) const;
  // Writes the bins and their sum to standard output.
  virtual void Print() const;
  // Centre angle (radians) of the first largest bin, or -1 when no bin is above 0.
  virtual float FindPeak() const;
  // Adds the upper half of the bins onto the lower half and clears the upper half.
  virtual void Fold();

  float* bins;
  int32 numBins;

 private:
  // Counts edge blocks into the bins with a virtual I() per pixel read; any image class.
  void CountGeneric(const Image& image, float contrastThreshold);
  // The same counts read straight from the pixels of a grey or colour image through a table
  // of bins; false when the image or bin count is not one it handles.
  bool CountFast(const Image& image, float contrastThreshold);
  // Blurs into scratch, which holds numBins floats.
  void BlurInto(float* scratch) const;
};
