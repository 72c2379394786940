#pragma once
// An image of 8-bit grey samples; sample (x, y) is the byte at y * bytesPerRow + x.

#include "analysis/Image.h"

class GrayscaleImage : public Image {
 public:
  // Wraps existing memory; nothing is copied or allocated.
  GrayscaleImage(void* pixels, int width, int height, int bytesPerRow);
  // Deep copy of another grey image (std::bad_cast for any other class).
  explicit GrayscaleImage(const Image& other);
  GrayscaleImage(const GrayscaleImage& other);
  // Reads a grey-map file. A missing or malformed file leaves an empty 0 x 0 image and says why
  // on standard error.
  explicit GrayscaleImage(const char* path);
  // The same from an open file; name is used in messages. The file stays open.
  GrayscaleImage(FILE* file, const char* name);
  ~GrayscaleImage() override;

  float I(int x, int y) const override { return grayPixels[y * bytesPerRow + x]; }
  float I_Y(int x, int y) const override { return grayPixels[y * bytesPerRow + x]; }
  uint32 I_RGB(int x, int y) const override;
  Image* operator-(const Image& other) const override;
  void Subtract(const Image& other) override;
  Image& operator=(const Image& other) override;
  GrayscaleImage& operator=(const GrayscaleImage& other);
  // Samples below t become 0; samples at or above t stay.
  void Threshold(unsigned char t) override;
  void Smooth() override;
  void Average(const Image& other) override;
  void Blend(const Image& other, float alpha) override;

  uint8* grayPixels;

 private:
  void ReadFile(FILE* file, const char* name);
};
