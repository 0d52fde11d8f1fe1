// Rectangles (right and bottom exclusive), their intersection, and the clip
// window through which a caller restricts a drawing operation. Values and
// pure functions: any thread.
#pragma once

#include <algorithm>
#include <cstdint>

namespace zelvor {

struct Rect {
  std::int32_t left;
  std::int32_t top;
  std::int32_t right;
  std::int32_t bottom;

  friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

// Only equality counts: a rectangle with left > right is not empty.
constexpr bool isEmpty(const Rect& r) { return r.left == r.right || r.top == r.bottom; }

// An empty operand yields the other one; disjoint operands yield {0, 0, 0, 0}.
constexpr Rect intersectRect(const Rect& a, const Rect& b) {
  if (isEmpty(a)) return b;
  if (isEmpty(b)) return a;
  if (a.left > b.right || b.left > a.right || a.top > b.bottom || b.top > a.bottom) return {0, 0, 0, 0};
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

// The area of the destination that may change, and an offset added to the
// drawing rectangle first (the caller's coordinates to the destination's).
struct ClipWindow {
  Rect rect;
  std::int32_t offsetX;
  std::int32_t offsetY;
};

}  // namespace zelvor
