#pragma once
// A raster image: 8-bit grey samples or 32-bit colour words, rows top to bottom.
//
// An image either wraps pixel memory that somebody else owns (every video frame) or owns a
// buffer of its own (copies, images read from files). The destructor never frees the pixels:
// the owner of an owning image calls FreePixels() before deleting it.
//
// Two-image operations require both images to be of the same class; mixing classes throws
// std::bad_cast. A size or depth mismatch makes them do nothing. Images have no locks: one
// thread at a time.

#include <cstddef>
#include <cstdio>

#include "platform/support/Status.h"

class BBitmap;

class Image {
 public:
  Image(void* pixels, int bitsPerPixel, int width, int height, int bytesPerRow);
  // Copies the geometry only; the subclass provides the pixels.
  Image(const Image& other);
  virtual ~Image();

  // Intensity the edge detector works on.
  virtual float I(int x, int y) const = 0;
  // Luminance.
  virtual float I_Y(int x, int y) const = 0;
  // Packed colour: blue in bits 0-7, green 8-15, red 16-23.
  virtual uint32 I_RGB(int x, int y) const = 0;
  // New image holding |this - other| with a buffer of its own (the caller owns both), or null
  // when the two differ in size, depth or row layout.
  virtual Image* operator-(const Image& other) const = 0;
  // this = |this - other|.
  virtual void Subtract(const Image& other) = 0;
  // Copies the pixel buffer of a compatible image.
  virtual Image& operator=(const Image& other) = 0;
  // Clears dark pixels (see the subclasses for what "dark" means).
  virtual void Threshold(unsigned char t) = 0;
  // 5-tap binomial smoothing, horizontal then vertical; two-pixel borders get one pass only.
  virtual void Smooth() = 0;
  // this = (this + other) / 2, rounding down.
  virtual void Average(const Image& other) = 0;
  // this = (1 - alpha) * this + alpha * other, alpha clamped to [0, 1], truncated.
  virtual void Blend(const Image& other, float alpha) = 0;

  // Releases an owned pixel buffer (malloc'd). Only for images that own their pixels; the
  // subclass's typed pointer is cleared with it.
  void FreePixels();

  // True when the other image has the same width, height, row layout and depth.
  bool SameLayout(const Image& other) const;

  int32 bitsPerPixel;
  int32 width;
  int32 height;
  int32 bytesPerRow;
  void* pixels;
  // Display copy filled by the frame interpreter; never freed by the image.
  BBitmap* displayBitmap = nullptr;

  // Largest number of samples a grey-map file may declare (4096 x 4096).
  static constexpr int64 kMaxGrayMapSamples = int64(4096) * 4096;

 protected:
  // Allocates an owned buffer, zero-filled when asked; a failure ends the process, as a frame
  // copy cannot go on.
  static void* AllocPixels(int64 bytes, bool zeroed = false);
  // Reads the grey-map header from the file (named in messages). On success fills width and
  // height and leaves the file at the first sample. A missing, malformed or unusable size
  // writes one line to standard error and returns false.
  static bool ReadGrayMapHeader(FILE* file, const char* name, int32& width, int32& height);
  // The 5-tap binomial smoothing of both classes on rows of bytes: samples are step bytes
  // apart (1 for grey, 4 for colour words), every byte is filtered on its own, and with
  // clearAlpha each word written gets byte 3 as 0. rowBytes is the distance between rows.
  static void SmoothBytes(uint8* pixels, ptrdiff_t rowBytes, int width, int height, int step,
                          bool clearAlpha);
  // This thread's table of Blend results for one weight (already clamped): entry a * 256 + b
  // is sample a blended with b, by the per-sample expression itself. Null when the weight is
  // not a number, or when building a new table costs more than blending `samples` samples.
  static const uint8* BlendTable(float alpha, int64 samples);
  // Reads up to count samples into a buffer and returns how many the file held.
  static int64 ReadGrayMapSamples(FILE* file, uint8* samples, int64 count);
};
