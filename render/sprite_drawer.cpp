// SpriteDrawer: dirty bands, frame snapshot and band drawing; see
// sprite_drawer.h for which thread calls what.
#include "render/sprite_drawer.h"

#include "pixels/blend.h"
#include "render/sprite_manager.h"

#include <algorithm>
#include <utility>

namespace zelvor {

namespace {

bool hasPixels(std::int32_t width, std::int32_t height) { return width > 0 && height > 0; }

std::uint32_t chooseBandRows(std::int32_t height, std::uint32_t limit) {
  // At least one row, so that the band arithmetic never divides by zero
  // (a limit of 0 comes from a screen wider than 8192 pixels).
  return std::max(1u, std::min(limit, static_cast<std::uint32_t>(std::max(height, 1))));
}

// A rectangle stored with left > right or top > bottom is not empty by
// isEmpty, yet covers no pixel: the pixel operations draw nothing for it, and
// presenting it would hand the window a negative size.
bool isInverted(const Rect& r) { return r.left > r.right || r.top > r.bottom; }

}  // namespace

SpriteDrawer::SpriteDrawer(std::int32_t width, std::int32_t height, std::uint32_t bandRowsLimit,
                           std::weak_ptr<SpriteManager> manager)
    : manager(std::move(manager)), width(width), height(height), bandRows(chooseBandRows(height, bandRowsLimit)) {
  if (hasPixels(width, height)) {
    std::uint32_t const rows = static_cast<std::uint32_t>(height);
    bandRects.assign((rows + bandRows - 1) / bandRows, Rect{0, 0, 0, 0});
  }
  // Sized once: a frame only rewrites them.
  binStart.assign(bandRects.size() + 1, 0);
  binFill.assign(bandRects.size(), 0);
}

Rect SpriteDrawer::bandArea(std::uint32_t band) const {
  std::uint32_t const top = band * bandRows;
  std::uint32_t const bottom = std::min(static_cast<std::uint32_t>(height), top + bandRows);
  return {0, static_cast<std::int32_t>(top), width, static_cast<std::int32_t>(bottom)};
}

void SpriteDrawer::invalidate(const Rect& rect) {
  // Without bands the screen rectangle is empty, and intersectRect would
  // return rect unclipped.
  if (bandRects.empty()) return;
  Rect const clipped = intersectRect(rect, {0, 0, width, height});
  // Neither edge of clipped is negative: intersectRect gives {0, 0, 0, 0}
  // for anything wholly above the screen, so the unsigned band arithmetic is
  // exact.
  std::uint32_t const bandCount = static_cast<std::uint32_t>(bandRects.size());
  std::uint32_t const firstBand = static_cast<std::uint32_t>(clipped.top) / bandRows;
  std::uint32_t const endBand =
      std::min(bandCount, (static_cast<std::uint32_t>(clipped.bottom) + bandRows - 1) / bandRows);
  for (std::uint32_t band = firstBand; band < endBand; ++band) {
    Rect const part = intersectRect(clipped, bandArea(band));
    if (isEmpty(part) || isInverted(part)) continue;
    bandRects[band] = unionRect(part, bandRects[band]);
  }
  if (!isEmpty(clipped)) dirty = true;
}

SpriteDrawer::BandSpan SpriteDrawer::bandsOf(const Rect& rect) const {
  // A rectangle without area, or beside or beyond the screen, reaches no band
  // (the drawing operations draw nothing for it).
  if (rect.left >= rect.right || rect.top >= rect.bottom) return {0, 0};
  if (rect.right <= 0 || rect.left >= width || rect.bottom <= 0 || rect.top >= height) return {0, 0};
  // Now 0 <= max(top, 0) < height and 0 < min(bottom, height) <= height, so
  // the unsigned divisions are exact.
  auto const firstRow = static_cast<std::uint32_t>(std::max(rect.top, 0));
  auto const lastRow = static_cast<std::uint32_t>(std::min(rect.bottom, height)) - 1;
  return {firstRow / bandRows, lastRow / bandRows + 1};
}

void SpriteDrawer::clearBins() {
  binnedRecords.clear();
  std::fill(binStart.begin(), binStart.end(), 0u);
}

// A counting sort of record positions by band: count, make room, then place.
// Records are placed in ascending position, so every band keeps the drawing
// order. Only binnedRecords may grow (and throw); binStart is written after
// it, so a failure leaves every band list empty.
void SpriteDrawer::binRecords() {
  std::fill(binFill.begin(), binFill.end(), 0u);
  std::size_t total = 0;
  for (const DrawRecord& record : records) {
    BandSpan const span = bandsOf(record.rect);
    for (std::uint32_t band = span.first; band < span.end; ++band) ++binFill[band];
    total += span.end - span.first;
  }
  binnedRecords.resize(total);
  for (std::size_t band = 0; band < binFill.size(); ++band) {
    binStart[band + 1] = binStart[band] + binFill[band];
    binFill[band] = binStart[band];
  }
  for (std::uint32_t position = 0; position < records.size(); ++position) {
    BandSpan const span = bandsOf(records[position].rect);
    for (std::uint32_t band = span.first; band < span.end; ++band) binnedRecords[binFill[band]++] = position;
  }
}

void SpriteDrawer::beginFrame() {
  // Outside a frame both are empty; clearing again keeps a frame whose
  // beginFrame failed halfway from drawing its records twice next time.
  records.clear();
  clearBins();
  auto const strongManager = manager.lock();
  if (!strongManager || !dirty) return;
  strongManager->sortIfNeeded();
  const auto& entries = strongManager->getEntries();
  records.reserve(entries.size());
  for (const SpriteEntry& entry : entries) {
    if (entry.sprite->isVisible()) records.push_back(entry.sprite->getDrawRecord());
  }
  binRecords();
}

void SpriteDrawer::drawBand(std::int32_t index, IImage& bandImage) const {
  if (!dirty || index < 0 || index >= getBandCount()) return;
  Rect const r = bandRects[static_cast<std::size_t>(index)];
  // An empty clip rectangle would not restrict drawing at all (intersectRect
  // yields the other operand), so a clean band must not get that far.
  if (isEmpty(r) || isInverted(r)) return;
  std::int32_t const bandTop = static_cast<std::int32_t>(static_cast<std::uint32_t>(index) * bandRows);
  ClipWindow const clip{{r.left, r.top - bandTop, r.right, r.bottom - bandTop}, 0, -bandTop};
  forEachRecordInBand(index, [&](const DrawRecord& record) {
    switch (record.kind) {
      case DrawKind::FillRect:
        fillRect(record.colour, &clip, bandImage, record.blendMode, record.rect, record.opacity);
        break;
      case DrawKind::Image:
        drawImage(record.origin, &clip, *record.image, bandImage, record.blendMode, record.rect, record.opacity);
        break;
      default: break;
    }
  });
}

void SpriteDrawer::endFrame() {
  if (!dirty) return;
  records.clear();
  // The band lists would otherwise point past the emptied records.
  clearBins();
  std::fill(bandRects.begin(), bandRects.end(), Rect{0, 0, 0, 0});
  dirty = false;
}

}  // namespace zelvor
