#include "analysis/TrainingSet.h"

#include <algorithm>
#include <limits>
#include <typeinfo>

#include "analysis/GrayscaleImage.h"
#include "analysis/KernelTargets.h"

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

void TrainingSet::Add(Image* image, OrientationHistogram* histogram) {
  BAutolock hold(this);
  histograms.push_back(histogram);
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

namespace {


// Squared distance of two bin arrays in double, in any order of summation: an estimate within
// a relative (n + 1) 2^-53 of the exact value, which the exact sum is within (n + 1) 2^-64 of.
inline double EstimateSquared(const float* a, const float* b, int n) {
  double lanes[8] = {};
  int i = 0;
  for (; i + 8 <= n; i += 8)
    for (int k = 0; k < 8; k++) {
      double d = static_cast<double>(a[i + k]) - static_cast<double>(b[i + k]);
      lanes[k] += d * d;
    }
  for (int k = 0; i < n; i++, k++) {
    double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
    lanes[k] += d * d;
  }
  return ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) + ((lanes[4] + lanes[5]) + (lanes[6] + lanes[7]));
}

// The estimate for every example, NaN for one of another bin count; returns the smallest.
ZANVEL_KERNEL double EstimateAll(const OrientationHistogram& probe,
                                 OrientationHistogram* const* examples, size_t count, double* out) {
  double smallest = std::numeric_limits<double>::infinity();
  for (size_t i = 0; i < count; i++) {
    // Examples live scattered on the heap: ask early for the ones a few steps ahead.
    if (i + 8 < count) __builtin_prefetch(examples[i + 8]);
    if (i + 4 < count) __builtin_prefetch(examples[i + 4]->bins);
    const OrientationHistogram& h = *examples[i];
    double e = h.numBins == probe.numBins ? EstimateSquared(probe.bins, h.bins, probe.numBins)
                                          : std::numeric_limits<double>::quiet_NaN();
    out[i] = e;
    if (e < smallest) smallest = e;
  }
  return smallest;
}

// Up to this many bins the estimate's error stays below 2^-30 relative.
constexpr int kMaxEstimatedBins = 1 << 20;

}  // namespace

int TrainingSet::MatchEach(const OrientationHistogram& probe, const std::vector<size_t>* only) {
  float best = std::numeric_limits<float>::infinity();
  int index = -1;
  const size_t count = only != nullptr ? only->size() : histograms.size();
  for (size_t k = 0; k < count; k++) {
    const size_t i = only != nullptr ? (*only)[k] : k;
    float d = probe.Distance(*histograms[i]);
    if (d < best) {
      best = d;
      index = static_cast<int>(i);
    }
  }
  return index;
}

int TrainingSet::Match(const OrientationHistogram& probe) {
  BAutolock hold(this);
  // A subclass may measure distance its own way; then every example is asked.
  if (typeid(probe) != typeid(OrientationHistogram) || probe.numBins > kMaxEstimatedBins)
    return MatchEach(probe, nullptr);

  // Screen every example with a fast estimate, then measure exactly only those that can be
  // nearest. Outside a relative 2^-18 of the smallest estimate (and above 2^-90, below which
  // float rounding stops being relative), an example's exact distance, once rounded to float,
  // is provably greater than that of the example with the smallest estimate; so the exact
  // loop over the rest, in order, picks the same first nearest example as over all of them.
  // Estimates that are not finite (infinite or NaN bins) or of another bin count belong to
  // distances that never win.
  thread_local std::vector<double> estimates;
  thread_local std::vector<size_t> candidates;
  const size_t count = histograms.size();
  estimates.resize(count);
  const double smallest = EstimateAll(probe, histograms.data(), count, estimates.data());
  if (!(smallest < std::numeric_limits<double>::infinity())) return -1;
  const double limit = std::max(smallest * (1.0 + 0x1p-18), 0x1p-90);
  candidates.clear();
  for (size_t i = 0; i < count; i++)
    if (estimates[i] <= limit) candidates.push_back(i);
  return MatchEach(probe, &candidates);
}
