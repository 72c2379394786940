#pragma once
// Small builders shared by the analysis tests.

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "analysis/GrayscaleImage.h"
#include "analysis/OrientationHistogram.h"
#include "analysis/RGBAImage.h"

namespace analysis_test {

// A grey image that owns a malloc'd buffer, as the reader and the copies do.
inline GrayscaleImage* OwnedGray(int width, int height, uint8 fill, int bytesPerRow = 0) {
  if (bytesPerRow == 0) bytesPerRow = width;
  void* buffer = std::malloc(static_cast<size_t>(bytesPerRow) * static_cast<size_t>(height));
  std::memset(buffer, fill, static_cast<size_t>(bytesPerRow) * static_cast<size_t>(height));
  return new GrayscaleImage(buffer, width, height, bytesPerRow);
}

// Frees the pixels of an owning image before deleting it.
struct ImageDeleter {
  void operator()(Image* image) const {
    image->FreePixels();
    delete image;
  }
};
using OwnedImage = std::unique_ptr<Image, ImageDeleter>;

// A histogram with exactly the given bins (built from a blank image, then overwritten).
inline OrientationHistogram* HistogramOf(std::initializer_list<float> values) {
  uint8 sample = 0;
  GrayscaleImage blank(&sample, 1, 1, 1);
  auto* histogram = new OrientationHistogram(blank, 20.0f, static_cast<int>(values.size()));
  int i = 0;
  for (float v : values) histogram->bins[i++] = v;
  return histogram;
}

inline std::vector<float> BinsOf(const OrientationHistogram& histogram) {
  return std::vector<float>(histogram.bins, histogram.bins + histogram.numBins);
}

}  // namespace analysis_test
