// SpriteDrawer: decides what to redraw and draws it band by band.
//
// The screen is cut into horizontal bands of bandRows rows; each band keeps
// one dirty rectangle, the bounding box of everything reported in it since
// the last frame. invalidate, beginFrame and endFrame run only under the
// Screen's frame lock (sprite reports, invalidateAll, the render thread).
// drawBand runs on several render workers at once without a lock: while the
// render thread holds the frame lock and waits for the workers, nobody
// changes the band rectangles or the records, and each worker writes only its
// own band image.
#pragma once

#include "image/image.h"
#include "pixels/rect.h"
#include "sprites/draw_record.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zelvor {

class SpriteManager;

// Bounding box of two rectangles; an empty operand yields the other one.
constexpr Rect unionRect(const Rect& a, const Rect& b) {
  if (isEmpty(a)) return b;
  if (isEmpty(b)) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

class SpriteDrawer {
 public:
  // bandRows = the smaller of the limit and the height, and at least 1. A
  // screen without pixels (width or height below 1) has no bands and never
  // becomes dirty.
  SpriteDrawer(std::int32_t width, std::int32_t height, std::uint32_t bandRowsLimit,
               std::weak_ptr<SpriteManager> manager);
  virtual ~SpriteDrawer() = default;
  SpriteDrawer(const SpriteDrawer&) = delete;
  SpriteDrawer& operator=(const SpriteDrawer&) = delete;

  // Adds an area in screen coordinates. It is clipped to the screen with
  // intersectRect, whose empty-operand rule makes an empty rect mark the
  // whole screen.
  void invalidate(const Rect& rect);

  // Snapshots every visible sprite, in drawing order, when anything is dirty.
  void beginFrame();
  // Draws every record clipped to the band's dirty rectangle into the band
  // image, whose row 0 is screen row index × bandRows. Pixels of the
  // rectangle that no record covers keep what the band image held.
  void drawBand(std::int32_t index, IImage& bandImage) const;
  // Forgets the records (keeping their capacity) and cleans every band.
  void endFrame();

  bool isDirty() const { return dirty; }
  std::int32_t getWidth() const { return width; }
  std::int32_t getHeight() const { return height; }
  std::uint32_t getBandRows() const { return bandRows; }
  std::int32_t getBandCount() const { return static_cast<std::int32_t>(bandRects.size()); }
  Rect getBandRect(std::int32_t index) const { return bandRects[static_cast<std::size_t>(index)]; }
  // The records of the frame in progress; empty outside a frame.
  const std::vector<DrawRecord>& getRecords() const { return records; }

 private:
  Rect bandArea(std::uint32_t band) const;

  std::weak_ptr<SpriteManager> manager;
  std::int32_t width;
  std::int32_t height;
  std::uint32_t bandRows;
  std::vector<Rect> bandRects;  // {0, 0, 0, 0} when clean
  bool dirty = false;
  std::vector<DrawRecord> records;
};

}  // namespace zelvor
