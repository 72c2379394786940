#include "analysis/Image.h"

#include <cerrno>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "analysis/GrayscaleImage.h"
#include "analysis/KernelTargets.h"
#include "analysis/RGBAImage.h"
#include "platform/support/Log.h"

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
    Log(LogLevel::kError, "Can't alloc bitmap!");
    std::exit(1);
  }
  return buffer;
}

namespace {


// out[i] = (a + 4 b + 6 c + 4 d + e) >> 4 per byte; the sum fits 16 bits.
ZANVEL_KERNEL void Binomial(const uint8* __restrict a, const uint8* __restrict b, const uint8* __restrict c,
              const uint8* __restrict d, const uint8* __restrict e, uint8* __restrict out, int n) {
  for (int i = 0; i < n; i++) {
    uint16_t sum = static_cast<uint16_t>(a[i] + 4 * b[i] + 6 * c[i] + 4 * d[i] + e[i]);
    out[i] = static_cast<uint8>(sum >> 4);
  }
}

// Clears byte 3 of count colour words (as values, so it is the alpha byte on any byte order).
ZANVEL_KERNEL void ClearAlpha(uint8* bytes, int count) {
  for (int i = 0; i < count; i++) {
    uint32 word;
    std::memcpy(&word, bytes + 4 * i, 4);
    word &= 0x00FFFFFFu;
    std::memcpy(bytes + 4 * i, &word, 4);
  }
}

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
    Log(LogLevel::kWarn, "readpgm: %s: empty file", name);
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
    Log(LogLevel::kWarn, "readpgm: %s: no image size in the header", name);
    return false;
  }
  if (w <= 0 || h <= 0) {
    Log(LogLevel::kWarn, "readpgm: %s: bad image size %lld x %lld", name,
                 static_cast<long long>(w), static_cast<long long>(h));
    return false;
  }
  // Both are positive here, so the division cannot trap and the product cannot overflow
  // once it is known to stay under the limit.
  if (w > kMaxGrayMapSamples || h > kMaxGrayMapSamples / w) {
    Log(LogLevel::kWarn, "readpgm: %s: image size %lld x %lld is too large (at most %lld samples)",
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

void Image::SmoothBytes(uint8* pixels, ptrdiff_t rowBytes, int width, int height, int step,
                        bool clearAlpha) {
  if (width <= 0 || height <= 0) return;
  const int length = width * step;  // bytes of one row
  const int first = 2 * step;       // bytes of the two columns each side the row pass keeps
  auto row = [pixels, rowBytes](int y) { return pixels + y * rowBytes; };
  // Grows once per thread and is kept, so smoothing each frame allocates nothing.
  thread_local std::vector<uint8> scratch;
  if (scratch.size() < size_t(5) * length) scratch.resize(size_t(5) * length);

  // The row pass of row y into out: columns 2 .. width - 3 filtered, the others as they are.
  auto horizontal = [&](int y, uint8* out) {
    const uint8* p = row(y);
    if (width < 5) {
      std::memcpy(out, p, static_cast<size_t>(length));
      return;
    }
    std::memcpy(out, p, static_cast<size_t>(first));
    std::memcpy(out + length - first, p + length - first, static_cast<size_t>(first));
    const uint8* c = p + first;
    Binomial(c - 2 * step, c - step, c, c + step, c + 2 * step, out + first, length - 2 * first);
  };
  // A row that only gets the row pass goes back as it is.
  auto store = [&](int y, uint8* filtered) {
    if (width >= 5 && clearAlpha) ClearAlpha(filtered + first, width - 4);
    std::memcpy(row(y), filtered, static_cast<size_t>(length));
  };

  if (height < 5) {
    for (int y = 0; y < height; y++) {
      horizontal(y, scratch.data());
      store(y, scratch.data());
    }
    return;
  }
  // One sweep: the row pass of each row goes into a ring of five, and as soon as rows
  // y - 2 .. y + 2 are there, the column pass writes row y. The image row is read once and
  // written once.
  uint8* const rows = scratch.data();
  auto ring = [rows, length](int y) { return rows + (y % 5) * length; };
  for (int y = 0; y < height; y++) {
    horizontal(y, ring(y));
    if (y < 2) store(y, ring(y));
    if (y >= 4) {
      const int out = y - 2;
      Binomial(ring(out - 2), ring(out - 1), ring(out), ring(out + 1), ring(out + 2), row(out), length);
      if (clearAlpha) ClearAlpha(row(out), width);
    }
  }
  store(height - 2, ring(height - 2));
  store(height - 1, ring(height - 1));
}

const uint8* Image::BlendTable(float alpha, int64 samples) {
  struct Table {
    uint32 weight;  // bits of the float weight, so -0 and 0 are told apart like any two
    uint8 blended[256 * 256];
  };
  // Blending runs on the frame thread with a weight that rarely changes, so one table per
  // thread, made on first use, serves frame after frame.
  thread_local std::unique_ptr<Table> table;
  if (std::isnan(alpha)) return nullptr;
  uint32 weight;
  std::memcpy(&weight, &alpha, sizeof weight);
  if (table != nullptr && table->weight == weight) return table->blended;
  if (samples < 256 * 256) return nullptr;
  if (table == nullptr) table = std::make_unique<Table>();
  const long double keep = 1.0L - alpha;
  const long double take = alpha;
  for (uint32 a = 0; a < 256; a++)
    for (uint32 b = 0; b < 256; b++)
      table->blended[a * 256 + b] = static_cast<uint8>(static_cast<float>(keep * a + take * b));
  table->weight = weight;
  return table->blended;
}
