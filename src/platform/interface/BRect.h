#pragma once
// A rectangle whose edges are pixel centres, both included: BRect(0, 0, 9, 4) covers
// 10 × 5 pixels, and Width() is right − left (9), not the pixel count.

#include <algorithm>
#include <cmath>

#include "platform/interface/BPoint.h"
#include "platform/support/Status.h"

struct BRect {
  float left = 0;
  float top = 0;
  float right = -1;
  float bottom = -1;

  // An invalid rectangle (right < left).
  constexpr BRect() = default;
  constexpr BRect(float l, float t, float r, float b) : left(l), top(t), right(r), bottom(b) {}
  constexpr BRect(BPoint leftTop, BPoint rightBottom)
      : left(leftTop.x), top(leftTop.y), right(rightBottom.x), bottom(rightBottom.y) {}

  void Set(float l, float t, float r, float b) {
    left = l;
    top = t;
    right = r;
    bottom = b;
  }
  constexpr float Width() const { return right - left; }
  constexpr float Height() const { return bottom - top; }
  int32 IntegerWidth() const { return int32(std::ceil(right - left)); }
  int32 IntegerHeight() const { return int32(std::ceil(bottom - top)); }
  constexpr bool IsValid() const { return left <= right && top <= bottom; }
  constexpr BPoint LeftTop() const { return BPoint(left, top); }
  constexpr BPoint RightBottom() const { return BPoint(right, bottom); }
  constexpr bool Contains(BPoint p) const {
    return p.x >= left && p.x <= right && p.y >= top && p.y <= bottom;
  }
  BRect& OffsetBy(float dx, float dy) {
    left += dx;
    right += dx;
    top += dy;
    bottom += dy;
    return *this;
  }
  BRect& OffsetTo(float x, float y) { return OffsetBy(x - left, y - top); }
  BRect& InsetBy(float dx, float dy) {
    left += dx;
    right -= dx;
    top += dy;
    bottom -= dy;
    return *this;
  }
  // Intersection; invalid when the rectangles do not overlap.
  BRect operator&(const BRect& o) const {
    return BRect(std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
                 std::min(bottom, o.bottom));
  }
  // The smallest rectangle holding both.
  BRect operator|(const BRect& o) const {
    return BRect(std::min(left, o.left), std::min(top, o.top), std::max(right, o.right),
                 std::max(bottom, o.bottom));
  }
  constexpr bool operator==(const BRect& o) const = default;
};
