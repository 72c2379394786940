#pragma once
// A point in a view's coordinate system: x to the right, y downwards.

struct BPoint {
  float x = 0;
  float y = 0;

  constexpr BPoint() = default;
  constexpr BPoint(float ax, float ay) : x(ax), y(ay) {}

  void Set(float ax, float ay) {
    x = ax;
    y = ay;
  }
  constexpr BPoint operator+(const BPoint& o) const { return BPoint(x + o.x, y + o.y); }
  constexpr BPoint operator-(const BPoint& o) const { return BPoint(x - o.x, y - o.y); }
  constexpr bool operator==(const BPoint& o) const = default;
};
