// Feeds arbitrary bytes to the grey-map reader through an in-memory file and checks that the
// result is either a consistent image or the empty one.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "analysis/GrayscaleImage.h"
#include "analysis/OrientationHistogram.h"
#include "analysis/RGBAImage.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

template <typename ImageType>
void ReadAndUse(std::vector<char>& bytes, int bytesPerSample) {
  FILE* file = fmemopen(bytes.data(), bytes.size(), "r");
  if (file == nullptr) return;
  ImageType image(file, "fuzz input");
  std::fclose(file);

  if (image.pixels == nullptr) {
    Check(image.width == 0 && image.height == 0);
    return;
  }
  Check(image.width > 0 && image.height > 0);
  Check(image.bytesPerRow == image.width * bytesPerSample);
  Check(int64_t(image.width) * image.height <= Image::kMaxGrayMapSamples);
  // Touch every sample so a short buffer shows up under the address sanitizer.
  if (int64_t(image.width) * image.height <= 64 * 1024) {
    OrientationHistogram histogram(image, 20.0f, 36);
    image.Smooth();
    float sum = 0.0f;
    for (int y = 0; y < image.height; y++)
      for (int x = 0; x < image.width; x++) sum += image.I(x, y);
    Check(sum >= 0.0f);
  }
  image.FreePixels();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // fmemopen refuses an empty buffer; an empty file is covered by the unit tests.
  if (size == 0) return 0;
  std::vector<char> bytes(data, data + size);
  ReadAndUse<GrayscaleImage>(bytes, 1);
  ReadAndUse<RGBAImage>(bytes, 4);
  return 0;
}
