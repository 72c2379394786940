#include "analysis/Interpolator.h"

#include <cmath>

#include "analysis/Matrix.h"

Interpolator::Interpolator(float width) : twoSigmaSquared((width + width) * width) {}

Interpolator::~Interpolator() = default;

double Interpolator::Kernel(const OrientationHistogram& a, const OrientationHistogram& b) const {
  return std::exp(-static_cast<double>(a.DistanceSquared(b)) / static_cast<double>(twoSigmaSquared));
}

void Interpolator::AddKey(OrientationHistogram* key, float* value) {
  keys.push_back(key);
  keyValues.push_back(value);
  ComputeCoefficients();
}

bool Interpolator::RemoveKey(OrientationHistogram* key, float* value) {
  for (size_t i = 0; i < keys.size(); i++) {
    if (keys[i] == key && keyValues[i] == value) {
      keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(i));
      keyValues.erase(keyValues.begin() + static_cast<std::ptrdiff_t>(i));
      return true;
    }
  }
  return false;
}

void Interpolator::ComputeCoefficients() {
  const int n = static_cast<int>(keys.size());
  Matrix kernel(n, n);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < n; j++) kernel.SetAt(i, j, static_cast<float>(Kernel(*keys[i], *keys[j])));
  Matrix inverse(n, n);
  kernel.Invert(&inverse);

  coefficients.clear();
  for (int i = 0; i < n; i++) {
    float c = 0.0f;
    for (int j = 0; j < n; j++) c += inverse.GetAt(i, j) * *keyValues[j];
    coefficients.push_back(c);
  }
}

float Interpolator::Interpolate(OrientationHistogram* probe) {
  float sum = 0.0f;
  // Coefficients may lag behind keys only between RemoveKey and ComputeCoefficients.
  const size_t n = keys.size() < coefficients.size() ? keys.size() : coefficients.size();
  for (size_t i = 0; i < n; i++)
    sum = static_cast<float>(Kernel(*probe, *keys[i]) * coefficients[i] + sum);
  return sum;
}
