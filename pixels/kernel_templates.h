// How the seventy kernels come to be: one fill kernel template and one image
// kernel template over ⟨path, mode, opacity class, colour class or format⟩,
// instantiated for every case into a KernelTable. A path supplies the row
// step (NarrowRow alone, or a wide row that adds 8-pixel groups); every case
// decision happens here, at compile time or once per call, never per pixel.
// Included only by the files that build a table.
#pragma once

#include "image/pixel_lock.h"
#include "pixels/blend_modes.h"
#include "pixels/kernel_tables.h"
#include "pixels/narrow_row.h"
#include "pixels/pixel_sources.h"
#include "pixels/row_walk.h"

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <utility>

namespace zelvor::pixels {

// The path that has no wide step: every pixel is done by NarrowRow.
struct NarrowPath {
  template <class Mode, class Source, WeightRule rule>
  using Row = NarrowRow<Mode, Source, rule>;
};

template <class Path, class Mode, bool partial, bool withAlpha>
void fillKernel(IImage& destination, const Rect& area, const FillColour& colour) {
  Rect r = area;
  if (!clipToDestination(destination, r)) return;
  // Every fill has one weight per call; only the opaque colour without alpha
  // skips the weighing altogether.
  constexpr WeightRule rule = partial || withAlpha ? WeightRule::Uniform : WeightRule::Opaque;
  std::uint32_t w = 256;
  if constexpr (partial && withAlpha) {
    w = (colour.opacityWeight * colour.alpha) >> 8;
  } else if constexpr (partial) {
    w = colour.opacityWeight;
  } else if constexpr (withAlpha) {
    w = scale256(colour.alpha);
  }
  typename Path::template Row<Mode, SolidColour, rule> const row(SolidColour{colour.value}, w);
  PixelLock const lock(&destination);
  std::ptrdiff_t const pitch = destination.getPitch();
  walkRows(lock.get() + r.top * pitch + std::ptrdiff_t{r.left} * 4, pitch, nullptr, 0, r.right - r.left,
           r.bottom - r.top, row);
}

template <class Path, class Mode, bool partial, PixelFormat format>
void imageKernel(IImage& destination, const Rect& area, const IImage& source, SourceOrigin sourcePoint,
                 std::uint32_t opacityWeight) {
  Rect r = area;
  if (!clipToDestination(destination, r)) return;
  // Columns and rows cut off by the destination's edges move the source
  // point with them, so every pixel keeps the source pixel it was given.
  std::ptrdiff_t const sx = std::ptrdiff_t{sourcePoint.x} + (std::ptrdiff_t{r.left} - area.left);
  std::ptrdiff_t const sy = std::ptrdiff_t{sourcePoint.y} + (std::ptrdiff_t{r.top} - area.top);
  using Source = FormatSource<format>;
  constexpr WeightRule rule = Source::hasAlpha ? (partial ? WeightRule::OpacityAlpha : WeightRule::Alpha)
                                               : (partial ? WeightRule::Uniform : WeightRule::Opaque);
  typename Path::template Row<Mode, Source, rule> const row(Source{}, opacityWeight);
  PixelLock const destinationLock(&destination);
  ConstPixelLock const sourceLock(&source);
  std::ptrdiff_t const destinationPitch = destination.getPitch();
  std::ptrdiff_t const sourcePitch = source.getPitch();
  walkRows(destinationLock.get() + r.top * destinationPitch + std::ptrdiff_t{r.left} * 4, destinationPitch,
           sourceLock.get() + sy * sourcePitch + sx * Source::bytes, sourcePitch, r.right - r.left, r.bottom - r.top,
           row);
}

// Packs three channels per pixel (the fourth byte holds a marker that must not
// leak into them) and runs them through the row's own steps.
template <class Row>
void runChannels(const Row& row, const std::uint8_t* d, const std::uint8_t* c, std::uint8_t* out, std::size_t count) {
  for (std::size_t i = 0; i + channelRuleStep <= count; i += channelRuleStep) {
    alignas(16) std::uint8_t pixels[4 * groupPixels];
    std::uint8_t colours[4 * groupPixels];
    for (std::int32_t p = 0; p < groupPixels; ++p) {
      for (std::int32_t k = 0; k < 3; ++k) {
        pixels[4 * p + k] = d[i + 3 * p + k];
        colours[4 * p + k] = c[i + 3 * p + k];
      }
      pixels[4 * p + 3] = 0xA5;
      colours[4 * p + 3] = 0x5A;
    }
    if constexpr (Row::wide) {
      row.group(pixels, colours);
    } else {
      for (std::int32_t p = 0; p < groupPixels; ++p) row.pixel(pixels + 4 * p, colours + 4 * p);
    }
    for (std::int32_t p = 0; p < groupPixels; ++p) {
      for (std::int32_t k = 0; k < 3; ++k) out[i + 3 * p + k] = pixels[4 * p + k];
    }
  }
}

template <class Path, class Mode>
void channelRule(const std::uint8_t* d, const std::uint8_t* c, std::uint32_t weight, std::uint8_t* out,
                 std::size_t count) {
  using Source = FormatSource<Bgrx32>;
  if (weight == 256) {
    runChannels(typename Path::template Row<Mode, Source, WeightRule::Opaque>(Source{}, weight), d, c, out, count);
  } else {
    runChannels(typename Path::template Row<Mode, Source, WeightRule::Uniform>(Source{}, weight), d, c, out, count);
  }
}

template <class Path, class Mode, std::size_t... format>
constexpr void addImageKernels(KernelTable& table, std::index_sequence<format...>) {
  ((table.image[Mode::mode][0][format] = &imageKernel<Path, Mode, false, static_cast<PixelFormat>(format)>), ...);
  ((table.image[Mode::mode][1][format] = &imageKernel<Path, Mode, true, static_cast<PixelFormat>(format)>), ...);
}

template <class Path, class Mode>
constexpr void addModeKernels(KernelTable& table) {
  table.fill[Mode::mode][0][0] = &fillKernel<Path, Mode, false, false>;
  table.fill[Mode::mode][0][1] = &fillKernel<Path, Mode, false, true>;
  table.fill[Mode::mode][1][0] = &fillKernel<Path, Mode, true, false>;
  table.fill[Mode::mode][1][1] = &fillKernel<Path, Mode, true, true>;
  addImageKernels<Path, Mode>(table, std::make_index_sequence<pixelFormatCount>{});
  table.channels[Mode::mode] = &channelRule<Path, Mode>;
}

template <class Path, std::size_t... mode>
constexpr KernelTable makeKernelTable(const char* name, std::index_sequence<mode...>) {
  static_assert(((std::tuple_element_t<mode, BlendModes>::mode == static_cast<BlendMode>(mode)) && ...),
                "BlendModes must list the modes in the order of their values");
  KernelTable table{name, {}, {}, {}};
  (addModeKernels<Path, std::tuple_element_t<mode, BlendModes>>(table), ...);
  return table;
}

template <class Path>
constexpr KernelTable makeKernelTable(const char* name) {
  return makeKernelTable<Path>(name, std::make_index_sequence<std::tuple_size_v<BlendModes>>{});
}

}  // namespace zelvor::pixels
