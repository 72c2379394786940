#include "platform/interface/BView.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/interface/BWindow.h"
#include "platform/support/Log.h"

namespace {
// Views larger than this per side are refused (an obviously wrong frame).
constexpr double kMaxCanvasSide = 16384;

uint32 Word(rgb_color c) {
  return 0xff000000u | (uint32(c.red) << 16) | (uint32(c.green) << 8) | uint32(c.blue);
}

int32 CanvasSide(float extent) {
  if (!std::isfinite(extent) || extent < 0) return 0;
  return int32(std::min(std::floor(double(extent)) + 1, kMaxCanvasSide));
}

// Nearest pixel of a coordinate, assumed already clipped to a sane range.
int32 PixelOf(double v) { return int32(std::floor(v + 0.5)); }

bool Finite(BPoint p) { return std::isfinite(p.x) && std::isfinite(p.y); }
}  // namespace

BView::BView(BRect frame, const char* name) : fName(name ? name : ""), fFrame(frame) {
  ResizeTo(frame.Width(), frame.Height());
}

BView::~BView() {
  if (fWindow) fWindow->RemoveChild(this);
}

void BView::ResizeTo(float width, float height) {
  fFrame.right = fFrame.left + width;
  fFrame.bottom = fFrame.top + height;
  fWidth = CanvasSide(width);
  fHeight = CanvasSide(height);
  fPixels.assign(size_t(fWidth) * size_t(fHeight), Word(fViewColor));
  ++fGeneration;
}

bool BView::IsHidden() const { return fHideLevel > 0 || (fWindow && fWindow->IsHidden()); }

void BView::Show() { --fHideLevel; }

void BView::Hide() { ++fHideLevel; }

bool BView::MayDraw(const char* operation) {
  if (fWindow == nullptr) return true;
  if (!fWindow->IsLocked()) {
    Log(LogLevel::kWarn, "BView::%s on \"%s\" without its window locked; ignored", operation,
                 fName.c_str());
    return false;
  }
  fWindow->MarkDirty();
  return true;
}

void BView::Record(const DrawOperation& operation) {
  if (fRecording) fOperations.push_back(operation);
}

rgb_color BView::PixelAt(int32 x, int32 y) const {
  if (x < 0 || y < 0 || x >= fWidth || y >= fHeight) return rgb_color{0, 0, 0, 0};
  const uint32 w = fPixels[size_t(y) * fWidth + x];
  return rgb_color{uint8(w >> 16), uint8(w >> 8), uint8(w), uint8(w >> 24)};
}

void BView::FillRect(BRect rect, const pattern& fill) {
  if (!MayDraw("FillRect")) return;
  Record({DrawOperation::kFillRect, {rect.LeftTop(), rect.RightBottom()}, fHighColor});
  if (!Finite(rect.LeftTop()) || !Finite(rect.RightBottom())) return;
  ++fGeneration;
  const int32 x0 = std::max(0, int32(std::ceil(std::max(double(rect.left), -1.0))));
  const int32 y0 = std::max(0, int32(std::ceil(std::max(double(rect.top), -1.0))));
  const int32 x1 = std::min(fWidth - 1, int32(std::floor(std::min(double(rect.right), double(fWidth)))));
  const int32 y1 = std::min(fHeight - 1, int32(std::floor(std::min(double(rect.bottom), double(fHeight)))));
  const uint32 high = Word(fHighColor), low = Word(fLowColor);
  const bool solid = fill == B_SOLID_HIGH;
  for (int32 y = y0; y <= y1; ++y) {
    uint32* row = &fPixels[size_t(y) * fWidth];
    const uint8 bits = fill.data[y & 7];
    for (int32 x = x0; x <= x1; ++x) row[x] = (solid || (bits & (0x80 >> (x & 7)))) ? high : low;
  }
}

void BView::StrokeLine(BPoint from, BPoint to) {
  if (!MayDraw("StrokeLine")) return;
  Record({DrawOperation::kLine, {from, to}, fHighColor});
  ++fGeneration;
  RasterizeLine(from, to, fHighColor);
}

void BView::BeginLineArray(int32 count) {
  fInLineArray = true;
  fLineCapacity = std::max(count, 0);
  fLines.clear();
  fLines.reserve(size_t(fLineCapacity));
}

void BView::AddLine(BPoint from, BPoint to, rgb_color color) {
  if (!fInLineArray || int32(fLines.size()) >= fLineCapacity) return;
  fLines.push_back({from, to, color});
}

void BView::EndLineArray() {
  if (!fInLineArray) return;
  fInLineArray = false;
  if (!MayDraw("EndLineArray")) {
    fLines.clear();
    return;
  }
  if (!fLines.empty()) ++fGeneration;
  for (const PendingLine& line : fLines) {
    Record({DrawOperation::kLine, {line.from, line.to}, line.color});
    RasterizeLine(line.from, line.to, line.color);
  }
  fLines.clear();
}

// Clips the segment to the canvas (Liang-Barsky, on pixel edges) and walks it with
// Bresenham's algorithm, both end pixels included.
void BView::RasterizeLine(BPoint from, BPoint to, rgb_color color) {
  if (!Finite(from) || !Finite(to) || fWidth == 0 || fHeight == 0) return;
  double xa = from.x, ya = from.y, xb = to.x, yb = to.y;
  const double dx = xb - xa, dy = yb - ya;
  double t0 = 0, t1 = 1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {xa + 0.5, fWidth - 0.5 - xa, ya + 0.5, fHeight - 0.5 - ya};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return;
      continue;
    }
    const double r = q[i] / p[i];
    if (p[i] < 0) {
      if (r > t1) return;
      t0 = std::max(t0, r);
    } else {
      if (r < t0) return;
      t1 = std::min(t1, r);
    }
  }
  int32 x0 = PixelOf(xa + t0 * dx), y0 = PixelOf(ya + t0 * dy);
  const int32 x1 = PixelOf(xa + t1 * dx), y1 = PixelOf(ya + t1 * dy);
  const uint32 word = Word(color);
  const int32 sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  const int32 ex = std::abs(x1 - x0), ey = -std::abs(y1 - y0);
  int32 err = ex + ey;
  for (;;) {
    Plot(x0, y0, word);
    if (x0 == x1 && y0 == y1) break;
    const int32 e2 = 2 * err;
    if (e2 >= ey) {
      err += ey;
      x0 += sx;
    }
    if (e2 <= ex) {
      err += ex;
      y0 += sy;
    }
  }
}

void BView::DrawBitmap(const BBitmap* bitmap) { DrawBitmap(bitmap, fPen); }

void BView::DrawBitmap(const BBitmap* bitmap, BPoint where) {
  if (bitmap == nullptr || !bitmap->IsValid() || !MayDraw("DrawBitmap")) return;
  DrawOperation op{DrawOperation::kBitmap, {where, bitmap->Bounds().RightBottom()}, {}};
  op.bitmap = bitmap;
  Record(op);
  if (!Finite(where)) return;
  if (bitmap->IsFrozen() && bitmap->Serial() == fLastBitmapSerial && where == fLastBitmapWhere &&
      fGeneration == fGenerationAfterBitmap)
    return;  // those very pixels are there already
  ++fGeneration;
  fLastBitmapSerial = bitmap->Serial();
  fLastBitmapWhere = where;
  fGenerationAfterBitmap = fGeneration;
  const double ox = std::floor(double(where.x) + 0.5), oy = std::floor(double(where.y) + 0.5);
  if (std::fabs(ox) > kMaxCanvasSide * 4 || std::fabs(oy) > kMaxCanvasSide * 4) return;
  const int32 left = int32(ox), top = int32(oy);
  const int32 w = bitmap->PixelWidth(), h = bitmap->PixelHeight();
  // Source rows and columns that land on the canvas.
  const int32 sx0 = int32(std::clamp(-ox, 0.0, double(w))), sy0 = int32(std::clamp(-oy, 0.0, double(h)));
  const int32 sx1 = int32(std::clamp(double(fWidth) - ox, 0.0, double(w)));
  const int32 sy1 = int32(std::clamp(double(fHeight) - oy, 0.0, double(h)));
  const auto* bits = static_cast<const uint8*>(bitmap->Bits());
  const int32 bpr = bitmap->BytesPerRow();
  const color_space space = bitmap->ColorSpace();
  for (int32 sy = sy0; sy < sy1; ++sy) {
    const uint8* src = bits + size_t(sy) * size_t(bpr);
    uint32* dst = &fPixels[size_t(top + sy) * size_t(fWidth)] + left;
    // One loop per colour space, so the per-pixel work is only the conversion.
    switch (space) {
      case B_RGB32:
        if constexpr (std::endian::native == std::endian::little) {
          // Bytes B, G, R, A read as one word already hold the canvas's layout.
          for (int32 sx = sx0; sx < sx1; ++sx) {
            uint32 word;
            std::memcpy(&word, src + 4 * sx, 4);
            dst[sx] = 0xff000000u | word;
          }
        } else {
          for (int32 sx = sx0; sx < sx1; ++sx) {
            const uint8* px = src + 4 * sx;
            dst[sx] = 0xff000000u | (uint32(px[2]) << 16) | (uint32(px[1]) << 8) | px[0];
          }
        }
        break;
      case B_GRAY8:
        for (int32 sx = sx0; sx < sx1; ++sx) dst[sx] = 0xff000000u | (uint32(src[sx]) * 0x010101u);
        break;
      case B_RGB16:
        for (int32 sx = sx0; sx < sx1; ++sx) {
          const uint32 v = uint32(src[2 * sx]) | (uint32(src[2 * sx + 1]) << 8);
          const uint32 r = ((v >> 11) & 31) * 255 / 31, g = ((v >> 5) & 63) * 255 / 63, b = (v & 31) * 255 / 31;
          dst[sx] = 0xff000000u | (r << 16) | (g << 8) | b;
        }
        break;
      default:  // B_RGB15
        for (int32 sx = sx0; sx < sx1; ++sx) {
          const uint32 v = uint32(src[2 * sx]) | (uint32(src[2 * sx + 1]) << 8);
          const uint32 r = ((v >> 10) & 31) * 255 / 31, g = ((v >> 5) & 31) * 255 / 31, b = (v & 31) * 255 / 31;
          dst[sx] = 0xff000000u | (r << 16) | (g << 8) | b;
        }
        break;
    }
  }
}

void BView::Flush() {
  if (fWindow == nullptr) return;
  if (!fWindow->IsLocked()) {
    Log(LogLevel::kWarn, "BView::Flush on \"%s\" without its window locked; ignored", fName.c_str());
    return;
  }
  Record({DrawOperation::kFlush, {}, {}});
  fWindow->fDirty.store(false, std::memory_order_relaxed);
  fWindow->NotifyUpdate();
}
