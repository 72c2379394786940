#pragma once
// A list of example images, each with its orientation histogram, and a nearest-example
// matcher over them. The set is its own lock: Add, Clear, Match and SetContrastThreshold each
// hold it for their whole run. Callers that read `images` or `histograms` directly hold it too.

#include <vector>

#include "analysis/Image.h"
#include "analysis/OrientationHistogram.h"
#include "analysis/vlLocker.h"

class TrainingSet : public vlLocker {
 public:
  TrainingSet(float contrastThreshold, int numBins);
  // Reads each grey-map file in order and adds it; an unreadable file still adds an empty
  // example (its reader says why on standard error).
  TrainingSet(const std::vector<char*>& fileNames, float contrastThreshold, int numBins);
  // Frees every example image with its pixels and every histogram. Takes no lock.
  ~TrainingSet() override;

  // Forgets every example; the threshold and bin count stay.
  virtual void Clear();
  // Index of the nearest example by histogram distance (the first of equals), or -1.
  virtual int Match(const OrientationHistogram& probe);
  // Applies to examples added from now on; stored histograms are not rebuilt.
  virtual void SetContrastThreshold(float threshold);

  // Takes ownership of the image and its pixels and stores it with a new histogram.
  void Add(Image* image);
  // The same with the image's histogram made earlier (ownership of both passes).
  void Add(Image* image, OrientationHistogram* histogram);
  // Number of examples.
  int CountExamples() const { return static_cast<int>(images.size()); }

  float contrastThreshold;
  int32 numBins;
  // Parallel lists: entry i of each belongs to example i, in insertion order.
  std::vector<Image*> images;
  std::vector<OrientationHistogram*> histograms;

 private:
  void DeleteExamples();
  // Index of the first nearest example by probe.Distance, over every example or only over
  // the listed ones (ascending); -1 when none is nearer than infinity.
  int MatchEach(const OrientationHistogram& probe, const std::vector<size_t>* only);
};
