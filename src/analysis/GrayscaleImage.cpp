#include "analysis/GrayscaleImage.h"
#include "platform/support/Log.h"

#include <cstdlib>
#include <cstring>
#include <typeinfo>

GrayscaleImage::GrayscaleImage(void* pixels_, int width_, int height_, int bytesPerRow_)
    : Image(pixels_, 8, width_, height_, bytesPerRow_), grayPixels(static_cast<uint8*>(pixels_)) {}

GrayscaleImage::GrayscaleImage(const Image& other)
    : Image(dynamic_cast<const GrayscaleImage&>(other)), grayPixels(nullptr) {
  int64 bytes = int64(other.bytesPerRow) * other.height;
  pixels = AllocPixels(bytes);
  grayPixels = static_cast<uint8*>(pixels);
  if (bytes > 0) std::memcpy(pixels, other.pixels, static_cast<size_t>(bytes));
}

GrayscaleImage::GrayscaleImage(const GrayscaleImage& other)
    : GrayscaleImage(static_cast<const Image&>(other)) {}

GrayscaleImage::GrayscaleImage(const char* path) : Image(nullptr, 8, 0, 0, 0), grayPixels(nullptr) {
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) {
    Log(LogLevel::kWarn, "readpgm: cannot open %s", path);
    return;
  }
  ReadFile(file, path);
  std::fclose(file);
}

GrayscaleImage::GrayscaleImage(FILE* file, const char* name)
    : Image(nullptr, 8, 0, 0, 0), grayPixels(nullptr) {
  ReadFile(file, name);
}

GrayscaleImage::~GrayscaleImage() = default;

void GrayscaleImage::ReadFile(FILE* file, const char* name) {
  int32 w = 0;
  int32 h = 0;
  if (!ReadGrayMapHeader(file, name, w, h)) return;
  int64 count = int64(w) * h;
  // Zeroed up front, so the samples a short file lacks read as 0 without touching the pages.
  pixels = AllocPixels(count, true);
  grayPixels = static_cast<uint8*>(pixels);
  width = w;
  height = h;
  bytesPerRow = w;
  ReadGrayMapSamples(file, grayPixels, count);
}

uint32 GrayscaleImage::I_RGB(int x, int y) const {
  uint32 v = grayPixels[y * bytesPerRow + x];
  return v + 256 * v + 65536 * v;
}

Image* GrayscaleImage::operator-(const Image& other_) const {
  const GrayscaleImage& other = dynamic_cast<const GrayscaleImage&>(other_);
  // Rows of different padding would be addressed with the wrong stride, so they do not match.
  if (!SameLayout(other)) return nullptr;
  void* buffer = AllocPixels(int64(other.bytesPerRow) * other.height);
  auto* result = new GrayscaleImage(buffer, other.width, other.height, other.bytesPerRow);
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      int i = y * bytesPerRow + x;
      result->grayPixels[i] = static_cast<uint8>(std::abs(grayPixels[i] - other.grayPixels[i]));
    }
  }
  return result;
}

void GrayscaleImage::Subtract(const Image& other_) {
  const GrayscaleImage& other = dynamic_cast<const GrayscaleImage&>(other_);
  if (!SameLayout(other)) return;
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      int i = y * bytesPerRow + x;
      grayPixels[i] = static_cast<uint8>(std::abs(grayPixels[i] - other.grayPixels[i]));
    }
  }
}

Image& GrayscaleImage::operator=(const Image& other_) {
  const GrayscaleImage& other = dynamic_cast<const GrayscaleImage&>(other_);
  if (&other == this || !SameLayout(other)) return *this;
  int64 bytes = int64(bytesPerRow) * height;
  if (bytes > 0) std::memmove(pixels, other.pixels, static_cast<size_t>(bytes));
  return *this;
}

GrayscaleImage& GrayscaleImage::operator=(const GrayscaleImage& other) {
  operator=(static_cast<const Image&>(other));
  return *this;
}

void GrayscaleImage::Threshold(unsigned char t) {
  for (int y = 0; y < height; y++) {
    uint8* row = grayPixels + y * bytesPerRow;
    for (int x = 0; x < width; x++)
      if (row[x] < t) row[x] = 0;
  }
}

void GrayscaleImage::Smooth() { SmoothBytes(grayPixels, bytesPerRow, width, height, 1, false); }

void GrayscaleImage::Average(const Image& other_) {
  const GrayscaleImage& other = dynamic_cast<const GrayscaleImage&>(other_);
  if (!SameLayout(other)) return;
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      int i = y * bytesPerRow + x;
      grayPixels[i] = static_cast<uint8>((grayPixels[i] + other.grayPixels[i]) / 2);
    }
  }
}

void GrayscaleImage::Blend(const Image& other_, float alpha) {
  const GrayscaleImage& other = dynamic_cast<const GrayscaleImage&>(other_);
  if (alpha > 1.0f) alpha = 1.0f;
  if (alpha < 0.0f) alpha = 0.0f;
  if (!SameLayout(other)) return;
  if (const uint8* table = BlendTable(alpha, int64(width) * height)) {
    for (int y = 0; y < height; y++) {
      uint8* p = grayPixels + y * bytesPerRow;
      const uint8* q = other.grayPixels + y * bytesPerRow;
      for (int x = 0; x < width; x++) p[x] = table[p[x] * 256 + q[x]];
    }
    return;
  }
  const long double keep = 1.0L - alpha;
  const long double take = alpha;
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      int i = y * bytesPerRow + x;
      float mixed = static_cast<float>(keep * grayPixels[i] + take * other.grayPixels[i]);
      grayPixels[i] = static_cast<uint8>(mixed);
    }
  }
}
