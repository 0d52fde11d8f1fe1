// The seventy pixel kernels, gathered per instruction set into one table each:
// the narrow-only table (pixel by pixel, plain integer code), the SSE2 table
// (128-bit vector steps, and the same pixel code for the last 0 to 3) and
// the AVX2 table (256-bit steps of up to 16 pixels).
// fillRect and drawImage index the table chosen once for the process; tests
// reach every table through the functions below to compare them. Tables are
// immutable and built at compile time: any thread may read them.
#pragma once

#include "image/image.h"
#include "pixels/blend.h"
#include "pixels/colour.h"
#include "pixels/rect.h"

#include <cstddef>
#include <cstdint>

namespace zelvor::pixels {

inline constexpr std::int32_t pixelFormatCount = 5;

// What a fill kernel is given besides the destination and the rectangle:
// the colour's pixel value, its alpha (1..254, kernels with alpha only) and
// scale256 of the opacity (1..254, partial kernels only).
struct FillColour {
  std::uint32_t value;
  std::uint32_t alpha;
  std::uint32_t opacityWeight;
};

// area: destination rectangle, already clipped to the caller's clip window;
// the kernel clips it to the destination once more.
using FillKernel = void (*)(IImage& destination, const Rect& area, const FillColour& colour);

// sourcePoint: the source pixel that belongs at area's top-left corner.
using ImageKernel = void (*)(IImage& destination, const Rect& area, const IImage& source, SourceOrigin sourcePoint,
                             std::uint32_t opacityWeight);

// Test access to a table's own channel arithmetic: out[i] =
// (B(d[i], c[i]) × weight + d[i] × (256 − weight)) >> 8 for weight 0..256,
// computed by one step of the code the table's kernels run (256 takes the
// opaque path): the pixel step for stepPixels 1, a vector step of 4, 8 or 16
// pixels otherwise. Returns false, writing nothing, when the table has no
// step of that width. count is a multiple of channelRuleStep.
using ChannelRule = bool (*)(const std::uint8_t* d, const std::uint8_t* c, std::uint32_t weight, std::uint8_t* out,
                             std::size_t count, std::int32_t stepPixels);
inline constexpr std::size_t channelRuleStep = 48;

struct KernelTable {
  const char* name;
  // [mode][partial opacity][colour has alpha]
  FillKernel fill[blendModeCount][2][2];
  // [mode][partial opacity][source format]
  ImageKernel image[blendModeCount][2][pixelFormatCount];
  ChannelRule channels[blendModeCount];
};

const KernelTable& narrowKernelTable();
const KernelTable& sse2KernelTable();

// The AVX2 table. Reading it is safe anywhere; running its kernels is safe
// only where avx2Supported() is true.
const KernelTable& avx2KernelTable();

// Whether the processor has AVX2 and the operating system saves its 256-bit
// registers.
bool avx2Supported();

// The table fillRect and drawImage use, chosen on first use from what the
// processor offers: AVX2 where supported, else SSE2.
const KernelTable& activeKernelTable();

// fillRect and drawImage with a given table.
void fillRectWith(const KernelTable& kernels, const Colour& colour, const ClipWindow* clip, IImage& destination,
                  BlendMode mode, const Rect& rect, std::uint8_t opacity);
void drawImageWith(const KernelTable& kernels, SourceOrigin origin, const ClipWindow* clip, const IImage& source,
                   IImage& destination, BlendMode mode, const Rect& rect, std::uint8_t opacity);

}  // namespace zelvor::pixels
