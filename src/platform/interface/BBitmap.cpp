#include "platform/interface/BBitmap.h"

#include <atomic>
#include <cmath>
#include <limits>
#include <new>

namespace {
// Larger bitmaps are refused rather than overflowing BitsLength().
constexpr int64 kMaxBitsLength = std::numeric_limits<int32>::max();
std::atomic<uint64_t> gNextSerial{1};
}  // namespace

int32 BBitmap::BytesPerPixel(color_space space) {
  switch (space) {
    case B_GRAY8:
      return 1;
    case B_RGB15:
    case B_RGB16:
      return 2;
    case B_RGB32:
      return 4;
    default:
      return 0;
  }
}

BBitmap::BBitmap(BRect bounds, color_space space, bool acceptsViews, bool needContiguous)
    : fBounds(bounds), fColorSpace(space), fSerial(gNextSerial.fetch_add(1, std::memory_order_relaxed)) {
  const int32 bytesPerPixel = BytesPerPixel(space);
  if (acceptsViews || bytesPerPixel == 0 || !std::isfinite(bounds.Width()) ||
      !std::isfinite(bounds.Height()) || !bounds.IsValid()) {
    fInitStatus = B_BAD_VALUE;
    return;
  }
  const double width = std::floor(double(bounds.right) - double(bounds.left)) + 1;
  const double height = std::floor(double(bounds.bottom) - double(bounds.top)) + 1;
  const double rowBytes = std::ceil(width * bytesPerPixel / 4.0) * 4.0;
  if (rowBytes * height > double(kMaxBitsLength)) {
    fInitStatus = B_BAD_VALUE;
    return;
  }
  fWidth = int32(width);
  fHeight = int32(height);
  fBytesPerRow = int32(rowBytes);
  fBitsLength = fBytesPerRow * fHeight;
  if (needContiguous) {
    void* address = nullptr;
    fArea = create_area("bitmap", &address, size_t(fBitsLength));  // zero-filled
    fAreaBits = fArea >= 0 ? static_cast<uint8*>(address) : nullptr;
  } else {
    fBits.reset(new (std::nothrow) uint8[size_t(fBitsLength)]());
  }
  fInitStatus = Bits() ? B_OK : B_NO_MEMORY;
  if (!Bits()) fBitsLength = fBytesPerRow = fWidth = fHeight = 0;
}

BBitmap::~BBitmap() {
  if (fArea >= 0) delete_area(fArea);
}
