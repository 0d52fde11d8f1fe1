// The StretchDIBits row mapping shared by the backends (see gdi_blit.h for
// the convention). Pure arithmetic on the caller's thread.
//
// Every bound is computed in 64 bits: the arguments are untrusted ints, and
// ySrc + srcHeight or xDest + destWidth may overflow 32 bits.
#include "platform/gdi_blit.h"

#include <algorithm>
#include <cstdint>

namespace zelvor::platform {
namespace {

// The range [first, last) of k for which low <= base + step * k < high, with
// step = ±1, intersected with [0, count).
struct Span {
  std::int64_t first;
  std::int64_t last;
};

Span keepInside(std::int64_t base, int step, std::int64_t low, std::int64_t high, std::int64_t count) {
  std::int64_t first = 0;
  std::int64_t last = count;
  if (step > 0) {
    first = std::max(first, low - base);
    last = std::min(last, high - base);
  } else {
    // base - k in [low, high)  <=>  k in (base - high, base - low]
    first = std::max(first, base - high + 1);
    last = std::min(last, base - low + 1);
  }
  return {first, std::max(first, last)};
}

}  // namespace

std::optional<DibCopy> planDibCopy(int clientWidth, int clientHeight, int xDest, int yDest, int destWidth,
                                   int destHeight, int xSrc, int ySrc, int srcWidth, int srcHeight,
                                   const BITMAPINFO* info, UINT usage, DWORD rop) {
  if (info == nullptr || usage != DIB_RGB_COLORS || rop != SRCCOPY) return std::nullopt;
  const BITMAPINFOHEADER& header = info->bmiHeader;
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1 || header.biBitCount != 32 ||
      header.biCompression != BI_RGB || header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT32_MIN) {
    return std::nullopt;
  }
  if (destWidth <= 0 || destHeight <= 0 || srcWidth != destWidth) return std::nullopt;
  if (srcHeight != destHeight && srcHeight != -static_cast<std::int64_t>(destHeight)) return std::nullopt;

  const bool bottomUp = header.biHeight > 0;
  const std::int64_t bitmapHeight = bottomUp ? header.biHeight : -static_cast<std::int64_t>(header.biHeight);
  const std::int64_t n = destHeight;

  // Memory row of destination row k is base + step * k.
  std::int64_t base = 0;
  int step = 1;
  if (srcHeight > 0) {
    // Rows ySrc .. ySrc+n-1; bottom-up shows the highest at the top.
    base = bottomUp ? std::int64_t{ySrc} + n - 1 : ySrc;
    step = bottomUp ? -1 : 1;
  } else {
    // Rows ySrc-n-1 .. ySrc-2; bottom-up shows them ascending.
    base = bottomUp ? std::int64_t{ySrc} - n - 1 : std::int64_t{ySrc} - 2;
    step = bottomUp ? 1 : -1;
  }

  Span rows = keepInside(base, step, 0, bitmapHeight, n);
  const Span onClient = keepInside(yDest, 1, 0, clientHeight, n);
  rows = {std::max(rows.first, onClient.first),
          std::max(std::max(rows.first, onClient.first), std::min(rows.last, onClient.last))};

  Span columns = keepInside(xSrc, 1, 0, header.biWidth, destWidth);
  const Span columnsOnClient = keepInside(xDest, 1, 0, clientWidth, destWidth);
  const std::int64_t firstColumn = std::max(columns.first, columnsOnClient.first);
  columns = {firstColumn, std::max(firstColumn, std::min(columns.last, columnsOnClient.last))};

  DibCopy copy;
  copy.bitmapWidth = header.biWidth;
  copy.bitmapHeight = static_cast<int>(bitmapHeight);
  copy.sourcePitch = static_cast<std::size_t>(header.biWidth) * 4;  // 32-bit rows need no DWORD padding
  copy.sourceRowStep = step;
  if (rows.last == rows.first || columns.last == columns.first) return copy;  // nothing overlaps
  copy.rows = static_cast<int>(rows.last - rows.first);
  copy.width = static_cast<int>(columns.last - columns.first);
  copy.destY = static_cast<int>(yDest + rows.first);
  copy.destX = static_cast<int>(xDest + columns.first);
  copy.firstSourceRow = static_cast<int>(base + step * rows.first);
  copy.sourceX = static_cast<int>(xSrc + columns.first);
  return copy;
}

}  // namespace zelvor::platform
