#pragma once
// Gaussian radial-basis interpolation of one output value over key histograms.
//
// Each key is a histogram and the address of the value wanted there; both are borrowed and
// must outlive the interpolator. Values are read through their addresses whenever the
// coefficients are solved, so an owner may change a value in place and solve again.
// No locking: the owner serialises every call.

#include <vector>

#include "analysis/OrientationHistogram.h"

class Interpolator {
 public:
  // Kernel exp(-d^2 / (2 width^2)), d the histogram distance.
  explicit Interpolator(float width);
  virtual ~Interpolator();

  // Appends a key and solves the coefficients again.
  void AddKey(OrientationHistogram* key, float* value);
  // Withdraws the first key with this histogram and value address; the coefficients are not
  // solved again (call ComputeCoefficients). False when there is no such key.
  bool RemoveKey(OrientationHistogram* key, float* value);
  // Solves kernel matrix x coefficients = values for the current keys.
  void ComputeCoefficients();
  // The interpolated value at the probe; 0 without keys.
  float Interpolate(OrientationHistogram* probe);

  float twoSigmaSquared;
  std::vector<float> coefficients;
  std::vector<OrientationHistogram*> keys;
  std::vector<float*> keyValues;

 private:
  double Kernel(const OrientationHistogram& a, const OrientationHistogram& b) const;
};
