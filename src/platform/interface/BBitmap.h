#pragma once
// A block of pixel memory in one colour space. Rows are padded to a multiple of four bytes
// (as the video hardware and the display expect), so BytesPerRow() may exceed the packed
// row size for 8- and 16-bit colour spaces.

#include <cstddef>
#include <memory>

#include "platform/interface/BRect.h"
#include "platform/support/Area.h"
#include "platform/support/ColorSpace.h"
#include "platform/support/Status.h"

class BBitmap {
 public:
  // bounds (0, 0, w − 1, h − 1) gives a w × h bitmap. The pixel memory is always one
  // contiguous block; with needContiguous it is also a shareable area of its own (area_for
  // finds it), so that media buffers can be made over it. Views cannot draw into bitmaps, so
  // acceptsViews must be false or the bitmap is not valid.
  BBitmap(BRect bounds, color_space space, bool acceptsViews = false, bool needContiguous = false);
  virtual ~BBitmap();
  BBitmap(const BBitmap&) = delete;
  BBitmap& operator=(const BBitmap&) = delete;

  // B_OK when the bitmap has pixel memory; B_BAD_VALUE for an unsupported colour space,
  // an invalid or oversized rectangle; B_NO_MEMORY when the allocation failed.
  status_t InitCheck() const { return fInitStatus; }
  bool IsValid() const { return fInitStatus == B_OK; }

  BRect Bounds() const { return fBounds; }
  color_space ColorSpace() const { return fColorSpace; }
  // Pixel memory, rows top to bottom, BytesPerRow() apart; null when not valid.
  void* Bits() const { return fArea >= 0 ? fAreaBits : fBits.get(); }
  int32 BitsLength() const { return fBitsLength; }
  int32 BytesPerRow() const { return fBytesPerRow; }
  // Pixel counts: bounds (0, 0, 319, 239) gives 320 and 240.
  int32 PixelWidth() const { return fWidth; }
  int32 PixelHeight() const { return fHeight; }

  // Bytes each pixel occupies in the colour space, 0 when unsupported.
  static int32 BytesPerPixel(color_space space);

  // A number no other bitmap of this run has, so that a new bitmap at the address of a
  // deleted one is never taken for it.
  uint64_t Serial() const { return fSerial; }
  // A frozen bitmap's pixels no longer change (the caller's promise): a view that shows it
  // already need not copy it again.
  void Freeze() { fFrozen = true; }
  bool IsFrozen() const { return fFrozen; }

 private:
  BRect fBounds;
  color_space fColorSpace;
  status_t fInitStatus = B_ERROR;
  int32 fWidth = 0;
  int32 fHeight = 0;
  int32 fBytesPerRow = 0;
  int32 fBitsLength = 0;
  std::unique_ptr<uint8[]> fBits;
  area_id fArea = -1;  // pixels of a needContiguous bitmap
  uint8* fAreaBits = nullptr;
  uint64_t fSerial;
  bool fFrozen = false;
};
