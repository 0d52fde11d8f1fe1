// How the seventy kernels come to be: one fill kernel template and one image
// kernel template over ⟨path, mode, opacity class, colour class or format⟩,
// instantiated for every case into a KernelTable. A path supplies the row
// (NarrowRow alone, or a wide row that adds vector steps); every case
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
#include <type_traits>
#include <utility>

namespace zelvor::pixels {
namespace {  // per table file, as in blend_modes.h

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

// Whether a row offers a step of the given width: every row the pixel step
// (1), a wide row each power of two from one block up to its widest step.
template <class Row, std::int32_t pixels>
constexpr bool hasStep() {
  if constexpr (pixels == 1) {
    return true;
  } else if constexpr (Row::wide) {
    return pixels >= blockPixels && pixels <= Row::widestStep && (pixels & (pixels - 1)) == 0;
  } else {
    return false;
  }
}

// Packs three channels per pixel (the fourth byte holds a marker that must not
// leak into them), 16 pixels at a time, and runs them through the row's step
// of the given width.
template <std::int32_t pixels, class Row>
void runChannels(const Row& row, const std::uint8_t* d, const std::uint8_t* c, std::uint8_t* out, std::size_t count) {
  constexpr std::int32_t chunkPixels = channelRuleStep / 3;
  static_assert(chunkPixels % pixels == 0);
  for (std::size_t i = 0; i + channelRuleStep <= count; i += channelRuleStep) {
    std::uint8_t destination[4 * chunkPixels];
    std::uint8_t colours[4 * chunkPixels];
    for (std::int32_t p = 0; p < chunkPixels; ++p) {
      for (std::int32_t k = 0; k < 3; ++k) {
        destination[4 * p + k] = d[i + 3 * p + k];
        colours[4 * p + k] = c[i + 3 * p + k];
      }
      destination[4 * p + 3] = 0xA5;
      colours[4 * p + 3] = 0x5A;
    }
    for (std::int32_t p = 0; p < chunkPixels; p += pixels) {
      if constexpr (pixels == 1) {
        row.pixel(destination + 4 * p, colours + 4 * p);
      } else {
        row.template step<pixels>(destination + 4 * p, colours + 4 * p);
      }
    }
    for (std::int32_t p = 0; p < chunkPixels; ++p) {
      for (std::int32_t k = 0; k < 3; ++k) out[i + 3 * p + k] = destination[4 * p + k];
    }
  }
}

template <class Row>
bool runChannelsWith(const Row& row, const std::uint8_t* d, const std::uint8_t* c, std::uint8_t* out, std::size_t count,
                     std::int32_t stepPixels) {
  bool ran = false;
  auto const tryStep = [&]<std::int32_t pixels>(std::integral_constant<std::int32_t, pixels>) {
    if constexpr (hasStep<Row, pixels>()) {
      if (stepPixels == pixels) {
        runChannels<pixels>(row, d, c, out, count);
        ran = true;
      }
    }
  };
  tryStep(std::integral_constant<std::int32_t, 1>{});
  tryStep(std::integral_constant<std::int32_t, 4>{});
  tryStep(std::integral_constant<std::int32_t, 8>{});
  tryStep(std::integral_constant<std::int32_t, 16>{});
  return ran;
}

template <class Path, class Mode>
bool channelRule(const std::uint8_t* d, const std::uint8_t* c, std::uint32_t weight, std::uint8_t* out,
                 std::size_t count, std::int32_t stepPixels) {
  using Source = FormatSource<Bgrx32>;
  if (weight == 256) {
    return runChannelsWith(typename Path::template Row<Mode, Source, WeightRule::Opaque>(Source{}, weight), d, c, out,
                           count, stepPixels);
  }
  return runChannelsWith(typename Path::template Row<Mode, Source, WeightRule::Uniform>(Source{}, weight), d, c, out,
                         count, stepPixels);
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

}  // namespace
}  // namespace zelvor::pixels
