#include "analysis/Image.h"

#include <cerrno>
#include <cstdlib>

#include "analysis/GrayscaleImage.h"
#include "analysis/RGBAImage.h"

Image::Image(void* pixels_, int bitsPerPixel_, int width_, int height_, int bytesPerRow_)
    : bitsPerPixel(bitsPerPixel_),
      width(width_),
      height(height_),
      bytesPerRow(bytesPerRow_),
      pixels(pixels_) {}

Image::Image(const Image& other)
    : bitsPerPixel(other.bitsPerPixel),
      width(other.width),
      height(other.height),
      bytesPerRow(other.bytesPerRow),
      pixels(nullptr) {}

Image::~Image() = default;

void Image::FreePixels() {
  std::free(pixels);
  pixels = nullptr;
  if (auto* grey = dynamic_cast<GrayscaleImage*>(this)) grey->grayPixels = nullptr;
  if (auto* colour = dynamic_cast<RGBAImage*>(this)) colour->rgbaPixels = nullptr;
}

bool Image::SameLayout(const Image& other) const {
  return bytesPerRow == other.bytesPerRow && height == other.height && width == other.width &&
         bitsPerPixel == other.bitsPerPixel;
}

void* Image::AllocPixels(int64 bytes, bool zeroed) {
  if (bytes <= 0) return nullptr;
  void* buffer = zeroed ? std::calloc(static_cast<size_t>(bytes), 1) : std::malloc(static_cast<size_t>(bytes));
  if (buffer == nullptr) {
    std::fputs("Can't alloc bitmap!\n", stderr);
    std::exit(1);
  }
  return buffer;
}

namespace {

constexpr int kLineLength = 128;

// Parses one decimal integer like "%d" would, but refuses values outside int32 instead of
// leaving them undefined. Returns the position after the number, or null.
const char* ParseInt(const char* text, int64& value) {
  while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n' || *text == '\v' ||
         *text == '\f')
    ++text;
  char* end = nullptr;
  errno = 0;
  long long parsed = std::strtoll(text, &end, 10);
  if (end == text) return nullptr;
  if (errno == ERANGE) parsed = parsed < 0 ? INT64_MIN : INT64_MAX;
  value = parsed;
  return end;
}

}  // namespace

bool Image::ReadGrayMapHeader(FILE* file, const char* name, int32& outWidth, int32& outHeight) {
  outWidth = 0;
  outHeight = 0;
  char line[kLineLength];

  // The magic number line is not examined.
  if (std::fgets(line, sizeof line, file) == nullptr) {
    std::fprintf(stderr, "readpgm: %s: empty file\n", name);
    return false;
  }
  // Comments are recognised only straight after the first line.
  for (;;) {
    int c = std::fgetc(file);
    if (c == EOF) break;
    std::ungetc(c, file);
    if (c != '#') break;
    if (std::fgets(line, sizeof line, file) == nullptr) break;
  }

  int64 w = 0;
  int64 h = 0;
  const char* rest = nullptr;
  if (std::fgets(line, sizeof line, file) != nullptr) rest = ParseInt(line, w);
  if (rest != nullptr) rest = ParseInt(rest, h);
  if (rest == nullptr) {
    std::fprintf(stderr, "readpgm: %s: no image size in the header\n", name);
    return false;
  }
  if (w <= 0 || h <= 0) {
    std::fprintf(stderr, "readpgm: %s: bad image size %lld x %lld\n", name,
                 static_cast<long long>(w), static_cast<long long>(h));
    return false;
  }
  // Both are positive here, so the division cannot trap and the product cannot overflow
  // once it is known to stay under the limit.
  if (w > kMaxGrayMapSamples || h > kMaxGrayMapSamples / w) {
    std::fprintf(stderr, "readpgm: %s: image size %lld x %lld is too large (at most %lld samples)\n",
                 name, static_cast<long long>(w), static_cast<long long>(h),
                 static_cast<long long>(kMaxGrayMapSamples));
    return false;
  }

  // The maximum grey value is read past but not used: samples are not rescaled.
  if (std::fgets(line, sizeof line, file) == nullptr) line[0] = '\0';

  outWidth = static_cast<int32>(w);
  outHeight = static_cast<int32>(h);
  return true;
}

int64 Image::ReadGrayMapSamples(FILE* file, uint8* samples, int64 count) {
  return static_cast<int64>(std::fread(samples, 1, static_cast<size_t>(count), file));
}
