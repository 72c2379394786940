#pragma once
// An image of 32-bit colour words (bytes B, G, R, A in memory). Pixel (x, y) is the word at
// y * (bytesPerRow / 4) + x. Operations that compute colour write byte 3 as 0.

#include "analysis/Image.h"

class RGBAImage : public Image {
 public:
  // Wraps existing memory; nothing is copied or allocated. bytesPerRow is a multiple of 4.
  RGBAImage(void* pixels, int width, int height, int bytesPerRow);
  // Deep copy of another colour image (std::bad_cast for any other class).
  explicit RGBAImage(const Image& other);
  RGBAImage(const RGBAImage& other);
  // Reads a grey-map file into grey colour words. A missing or malformed file leaves an empty
  // 0 x 0 image and says why on standard error.
  explicit RGBAImage(const char* path);
  // The same from an open file; name is used in messages. The file stays open.
  RGBAImage(FILE* file, const char* name);
  ~RGBAImage() override;

  // The green byte: cheap, and close enough to brightness for edges.
  float I(int x, int y) const override {
    return static_cast<float>((rgbaPixels[y * (bytesPerRow / 4) + x] >> 8) & 0xff);
  }
  float I_Y(int x, int y) const override;
  uint32 I_RGB(int x, int y) const override { return rgbaPixels[y * (bytesPerRow / 4) + x]; }
  Image* operator-(const Image& other) const override;
  void Subtract(const Image& other) override;
  Image& operator=(const Image& other) override;
  RGBAImage& operator=(const RGBAImage& other);
  // A pixel whose blue, green and red are all at most t becomes 0 (alpha included).
  void Threshold(unsigned char t) override;
  void Smooth() override;
  void Average(const Image& other) override;
  void Blend(const Image& other, float alpha) override;

  uint32* rgbaPixels;

 private:
  void ReadFile(FILE* file, const char* name);
};
