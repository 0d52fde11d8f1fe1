// Rectangles: the emptiness test counts only equality, and an empty operand
// of intersectRect yields the other one.
#include "pixels/rect.h"

#include <gtest/gtest.h>

namespace {

using zelvor::Rect;

TEST(IsEmpty, OnlyEqualEdgesCount) {
  struct Case {
    Rect r;
    bool empty;
  };
  Case const cases[] = {
      {{0, 0, 0, 0}, true},  {{3, 1, 3, 9}, true},  {{1, 4, 9, 4}, true},
      {{0, 0, 1, 1}, false}, {{5, 1, 3, 4}, false},  // left > right is not empty by this test
      {{1, 5, 3, 4}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(zelvor::isEmpty(c.r), c.empty) << c.r.left << " " << c.r.top << " " << c.r.right << " " << c.r.bottom;
  }
}

TEST(IntersectRect, Cases) {
  struct Case {
    Rect a;
    Rect b;
    Rect result;
  };
  Case const cases[] = {
      {{0, 0, 0, 5}, {1, 1, 4, 4}, {1, 1, 4, 4}},       // empty a yields b
      {{1, 1, 4, 4}, {2, 2, 2, 7}, {1, 1, 4, 4}},       // empty b yields a
      {{1, 1, 4, 4}, {5, 0, 9, 9}, {0, 0, 0, 0}},       // disjoint
      {{1, 1, 4, 4}, {4, 0, 9, 9}, {4, 1, 4, 4}},       // touching: zero width
      {{1, 1, 4, 4}, {0, 4, 9, 9}, {1, 4, 4, 4}},       // touching: zero height
      {{2, 3, 10, 8}, {0, 0, 800, 10}, {2, 3, 10, 8}},  // inside
      {{0, 0, 800, 10}, {2, 3, 10, 8}, {2, 3, 10, 8}},  // the other order
      {{-5, -5, 5, 5}, {0, 0, 10, 10}, {0, 0, 5, 5}},   // negative coordinates
      {{-10, 0, -5, 5}, {0, 0, 10, 10}, {0, 0, 0, 0}},  // wholly to the left
      {{0, 20, 10, 30}, {0, 0, 10, 10}, {0, 0, 0, 0}},  // wholly below
  };
  for (const Case& c : cases) {
    EXPECT_EQ(zelvor::intersectRect(c.a, c.b), c.result)
        << "{" << c.a.left << ", " << c.a.top << ", " << c.a.right << ", " << c.a.bottom << "} and {" << c.b.left
        << ", " << c.b.top << ", " << c.b.right << ", " << c.b.bottom << "}";
  }
}

}  // namespace
