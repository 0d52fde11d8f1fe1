// Where StretchDIBits takes its rows from: the one row mapping that every
// window backend uses, so that all of them put the same source pixel on the
// same client pixel. Pure arithmetic; any thread.
//
// The layer's convention for 32-bit BI_RGB bitmaps. DIB row y is memory row y,
// counted from the first row in memory: the bottom row of a bottom-up bitmap
// (biHeight > 0), the top row of a top-down one (biHeight < 0). For a
// bottom-up bitmap, a positive source height h takes rows ySrc .. ySrc+h-1 and
// shows row ySrc+h-1 at the destination's top (the usual bottom-up flip); a
// negative height -n takes rows ySrc-n-1 .. ySrc-2 (a mirrored rectangle lies
// one row lower than the naive range) and shows them in ascending order from
// the destination's top. A top-down bitmap takes the same rows and shows them
// in the opposite order. So the Screen's call — source y = bottom - bandTop + 1,
// height = top - bottom — shows band-image row r on client row bandTop + r.
#pragma once

#include "platform/window_services.h"

#include <cstddef>
#include <optional>

namespace zelvor::platform {

// One clipped copy: `rows` rows of `width` pixels. Destination row k (counted
// from 0) is client row destY + k and comes from memory row
// firstSourceRow + k * sourceRowStep; columns map one to one from sourceX.
struct DibCopy {
  int destX = 0;
  int destY = 0;
  int width = 0;
  int rows = 0;
  int sourceX = 0;
  int firstSourceRow = 0;
  int sourceRowStep = 1;
  std::size_t sourcePitch = 0;  // bytes between memory rows
  int bitmapWidth = 0;
  int bitmapHeight = 0;  // rows in memory

  const std::uint32_t* sourceRow(const void* bits, int k) const {
    const auto row = static_cast<std::size_t>(firstSourceRow + k * sourceRowStep);
    return reinterpret_cast<const std::uint32_t*>(static_cast<const std::byte*>(bits) + row * sourcePitch) + sourceX;
  }
};

// The copy StretchDIBits makes to a client area of clientWidth × clientHeight,
// clipped to the bitmap and the client area (rows may be 0 when nothing
// overlaps). Empty when the arguments ask for something the layer does not do:
// no bitmap, not 32-bit BI_RGB, a size that is not one to one or not positive,
// a negative source width, another raster operation or colour usage.
std::optional<DibCopy> planDibCopy(int clientWidth, int clientHeight, int xDest, int yDest, int destWidth,
                                   int destHeight, int xSrc, int ySrc, int srcWidth, int srcHeight,
                                   const BITMAPINFO* info, UINT usage, DWORD rop);

}  // namespace zelvor::platform
