// SpriteDrawer: decides what to redraw and draws it band by band.
//
// The screen is cut into horizontal bands of bandRows rows; each band keeps
// one dirty rectangle, the bounding box of everything reported in it since
// the last frame. beginFrame snapshots the visible sprites as records and
// sorts them into per-band lists, so that a band is offered only the records
// that reach its dirty rectangle, still in drawing order.
//
// invalidate, beginFrame and endFrame run only under the Screen's frame lock
// (sprite reports, invalidateAll, the render thread). drawBand runs on several
// render workers at once without a lock: while the render thread holds the
// frame lock and waits for the workers, nobody changes the band rectangles,
// the records or their band lists, and each worker writes only its own band
// image.
#pragma once

#include "image/image.h"
#include "pixels/rect.h"
#include "sprites/draw_record.h"

#include <cstdint>
#include <memory>
#include <span>
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

  // Snapshots every visible sprite, in drawing order, when anything is dirty,
  // and lists for every band the records whose rectangle reaches it.
  void beginFrame();
  // Draws every record that overlaps the band's dirty rectangle, clipped to
  // it, into the band image, whose row 0 is screen row index × bandRows.
  // Records that overlap it not at all would draw nothing and are not
  // offered. Pixels of the rectangle that no record covers keep what the
  // band image held.
  void drawBand(std::int32_t index, IImage& bandImage) const;
  // Calls visit(record) for every record drawBand(index) draws, in drawing
  // order; nothing outside a frame, for a clean band or an index out of range.
  template <class Visitor>
  void forEachRecordInBand(std::int32_t index, Visitor&& visit) const;
  // Forgets the records and band lists (keeping their capacity) and cleans
  // every band.
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
  struct BandSpan {
    std::uint32_t first;
    std::uint32_t end;
  };

  Rect bandArea(std::uint32_t band) const;
  // The bands a record's rectangle reaches, empty when it covers no pixel of
  // the screen.
  BandSpan bandsOf(const Rect& rect) const;
  void binRecords();
  void clearBins();
  std::span<const std::uint32_t> recordsOfBand(std::uint32_t band) const {
    return {binnedRecords.data() + binStart[band], binnedRecords.data() + binStart[band + 1]};
  }

  std::weak_ptr<SpriteManager> manager;
  std::int32_t width;
  std::int32_t height;
  std::uint32_t bandRows;
  std::vector<Rect> bandRects;  // {0, 0, 0, 0} when clean
  bool dirty = false;
  std::vector<DrawRecord> records;
  // The records of band b are binnedRecords[binStart[b], binStart[b + 1]),
  // as positions in records, ascending. binStart has one entry per band plus
  // one and never changes size; all zero outside a frame.
  std::vector<std::uint32_t> binStart;
  std::vector<std::uint32_t> binnedRecords;
  std::vector<std::uint32_t> binFill;  // per band: a count, then a write position
};

template <class Visitor>
void SpriteDrawer::forEachRecordInBand(std::int32_t index, Visitor&& visit) const {
  if (!dirty || index < 0 || index >= getBandCount()) return;
  Rect const r = bandRects[static_cast<std::size_t>(index)];
  // Clean, or stored inverted (which covers no pixel).
  if (r.left >= r.right || r.top >= r.bottom) return;
  for (std::uint32_t const position : recordsOfBand(static_cast<std::uint32_t>(index))) {
    const DrawRecord& record = records[position];
    // The band list holds every record that reaches the band's rows; the
    // dirty rectangle may be narrower. These are exactly the cases in which
    // the clipped drawing operation would find nothing left to draw.
    if (record.rect.right <= r.left || record.rect.left >= r.right || record.rect.bottom <= r.top ||
        record.rect.top >= r.bottom) {
      continue;
    }
    visit(record);
  }
}

}  // namespace zelvor
