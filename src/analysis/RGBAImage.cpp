#include "analysis/RGBAImage.h"
#include "platform/support/Log.h"

#include <cstdlib>
#include <cstring>
#include <typeinfo>

namespace {

inline uint32 Channel(uint32 word, int shift) { return (word >> shift) & 0xff; }

// Applies op to blue, green and red of two words; byte 3 of the result is 0.
template <typename Op>
inline uint32 PerChannel(uint32 a, uint32 b, Op op) {
  return op(Channel(a, 0), Channel(b, 0)) | (op(Channel(a, 8), Channel(b, 8)) << 8) |
         (op(Channel(a, 16), Channel(b, 16)) << 16);
}

inline uint32 AbsDiff(uint32 a, uint32 b) { return a > b ? a - b : b - a; }

}  // namespace

RGBAImage::RGBAImage(void* pixels_, int width_, int height_, int bytesPerRow_)
    : Image(pixels_, 32, width_, height_, bytesPerRow_), rgbaPixels(static_cast<uint32*>(pixels_)) {}

RGBAImage::RGBAImage(const Image& other)
    : Image(dynamic_cast<const RGBAImage&>(other)), rgbaPixels(nullptr) {
  int64 bytes = int64(other.bytesPerRow) * other.height;
  pixels = AllocPixels(bytes);
  rgbaPixels = static_cast<uint32*>(pixels);
  if (bytes > 0) std::memcpy(pixels, other.pixels, static_cast<size_t>(bytes));
}

RGBAImage::RGBAImage(const RGBAImage& other) : RGBAImage(static_cast<const Image&>(other)) {}

RGBAImage::RGBAImage(const char* path) : Image(nullptr, 32, 0, 0, 0), rgbaPixels(nullptr) {
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) {
    Log(LogLevel::kWarn, "readpgm: cannot open %s", path);
    return;
  }
  ReadFile(file, path);
  std::fclose(file);
}

RGBAImage::RGBAImage(FILE* file, const char* name) : Image(nullptr, 32, 0, 0, 0), rgbaPixels(nullptr) {
  ReadFile(file, name);
}

RGBAImage::~RGBAImage() = default;

void RGBAImage::ReadFile(FILE* file, const char* name) {
  int32 w = 0;
  int32 h = 0;
  if (!ReadGrayMapHeader(file, name, w, h)) return;
  int64 count = int64(w) * h;
  // Zeroed up front, so the samples a short file lacks read as 0 without touching the pages.
  pixels = AllocPixels(count * 4, true);
  rgbaPixels = static_cast<uint32*>(pixels);
  width = w;
  height = h;
  bytesPerRow = 4 * w;
  uint8 chunk[4096];
  for (int64 done = 0; done < count;) {
    int64 want = count - done < int64(sizeof chunk) ? count - done : int64(sizeof chunk);
    int64 got = ReadGrayMapSamples(file, chunk, want);
    for (int64 i = 0; i < got; i++) {
      uint32 v = chunk[i];
      rgbaPixels[done + i] = v + 256 * v + 65536 * v;
    }
    done += got;
    if (got < want) break;
  }
}

float RGBAImage::I_Y(int x, int y) const {
  uint32 word = rgbaPixels[y * (bytesPerRow / 4) + x];
  return static_cast<float>(0.3L * Channel(word, 16) + 0.59L * Channel(word, 8) +
                            0.11L * Channel(word, 0));
}

Image* RGBAImage::operator-(const Image& other_) const {
  const RGBAImage& other = dynamic_cast<const RGBAImage&>(other_);
  // Rows of different padding would be addressed with the wrong stride, so they do not match.
  if (!SameLayout(other)) return nullptr;
  void* buffer = AllocPixels(int64(other.bytesPerRow) * other.height);
  auto* result = new RGBAImage(buffer, other.width, other.height, other.bytesPerRow);
  const int stride = bytesPerRow / 4;
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      int i = y * stride + x;
      result->rgbaPixels[i] = PerChannel(rgbaPixels[i], other.rgbaPixels[i], AbsDiff);
    }
  }
  return result;
}

void RGBAImage::Subtract(const Image& other_) {
  const RGBAImage& other = dynamic_cast<const RGBAImage&>(other_);
  if (!SameLayout(other)) return;
  const int stride = bytesPerRow / 4;
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      int i = y * stride + x;
      rgbaPixels[i] = PerChannel(rgbaPixels[i], other.rgbaPixels[i], AbsDiff);
    }
  }
}

Image& RGBAImage::operator=(const Image& other_) {
  const RGBAImage& other = dynamic_cast<const RGBAImage&>(other_);
  if (&other == this || !SameLayout(other)) return *this;
  int64 bytes = int64(bytesPerRow) * height;
  if (bytes > 0) std::memmove(pixels, other.pixels, static_cast<size_t>(bytes));
  return *this;
}

RGBAImage& RGBAImage::operator=(const RGBAImage& other) {
  operator=(static_cast<const Image&>(other));
  return *this;
}

void RGBAImage::Threshold(unsigned char t) {
  const int stride = bytesPerRow / 4;
  for (int y = 0; y < height; y++) {
    uint32* row = rgbaPixels + y * stride;
    for (int x = 0; x < width; x++) {
      uint32 w = row[x];
      if (Channel(w, 0) <= t && Channel(w, 8) <= t && Channel(w, 16) <= t) row[x] = 0;
    }
  }
}

void RGBAImage::Smooth() {
  SmoothBytes(reinterpret_cast<uint8*>(rgbaPixels), ptrdiff_t(4) * (bytesPerRow / 4), width, height,
              4, true);
}

void RGBAImage::Average(const Image& other_) {
  const RGBAImage& other = dynamic_cast<const RGBAImage&>(other_);
  if (!SameLayout(other)) return;
  const int stride = bytesPerRow / 4;
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      int i = y * stride + x;
      rgbaPixels[i] = PerChannel(rgbaPixels[i], other.rgbaPixels[i],
                                 [](uint32 a, uint32 b) { return (a + b) / 2; });
    }
  }
}

void RGBAImage::Blend(const Image& other_, float alpha) {
  const RGBAImage& other = dynamic_cast<const RGBAImage&>(other_);
  if (alpha > 1.0f) alpha = 1.0f;
  if (alpha < 0.0f) alpha = 0.0f;
  if (!SameLayout(other)) return;
  const int stride = bytesPerRow / 4;
  if (const uint8* table = BlendTable(alpha, int64(width) * height * 3)) {
    for (int y = 0; y < height; y++) {
      uint32* p = rgbaPixels + y * stride;
      const uint32* q = other.rgbaPixels + y * stride;
      for (int x = 0; x < width; x++) {
        const uint32 a = p[x], b = q[x];
        p[x] = uint32(table[Channel(a, 0) * 256 + Channel(b, 0)]) |
               (uint32(table[Channel(a, 8) * 256 + Channel(b, 8)]) << 8) |
               (uint32(table[Channel(a, 16) * 256 + Channel(b, 16)]) << 16);
      }
    }
    return;
  }
  const long double keep = 1.0L - alpha;
  const long double take = alpha;
  auto mix = [keep, take](uint32 a, uint32 b) {
    return static_cast<uint32>(static_cast<uint8>(static_cast<float>(keep * a + take * b)));
  };
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      int i = y * stride + x;
      rgbaPixels[i] = PerChannel(rgbaPixels[i], other.rgbaPixels[i], mix);
    }
  }
}
