// The five blend modes as the kernels see them: one struct per mode holding
// its channel rule B(d, c), written once as a template over the value it works
// on. The narrow path instantiates it on plain channels (std::uint32_t) or on a
// whole pixel word (PackedPixel); the wide paths on their own vector types,
// whose overloads of the primitives below live with each vector width
// (sse2_lanes.h, kernels_avx2.cpp) and are found by argument-dependent lookup.
// Pure functions: any thread.
//
// A mode that is `bytewise` never lets one byte of a pixel influence another,
// so its rule may run on four packed bytes at once (saturating byte add or
// subtract); the others need 16-bit room for a product and run per channel.
#pragma once

#include "pixels/colour.h"

#include <cstdint>
#include <tuple>

namespace zelvor::pixels {
// Internal linkage on purpose: every file that builds a table compiles its own
// copy of this code with its own instruction set, so the linker can never
// hand one table's vector instructions to another (an inline function or
// template emitted by the AVX2 file would otherwise be a weak symbol that may
// stand in for everyone's copy).
namespace {

// A pixel word 0x??RRGGBB on which the bytewise rules run in one go.
struct PackedPixel {
  std::uint32_t v;
};

// Bit 8(k + 1) set where byte k of a plus byte k of b exceeds 255, for the
// low three bytes. Each byte of the half-sum floor((a + b) / 2) fits in its
// byte, so nothing carries between bytes and bit 7 of each tells the overflow.
// (The carries of a plain a + b would not do: a byte summing to 255 passes on
// a carry from below without overflowing itself.)
constexpr std::uint32_t byteCarries(std::uint32_t a, std::uint32_t b) {
  std::uint32_t const halfSum = ((a & 0xFEFEFEu) >> 1) + ((b & 0xFEFEFEu) >> 1) + (a & b & 0x010101u);
  return (halfSum << 1) & 0x1010100u;
}

// 0xFF in each byte whose carry bit (at the next byte's bit 0) is set.
constexpr std::uint32_t byteMasks(std::uint32_t carries) { return carries - (carries >> 8); }

// Per-byte min(255, d + c) on blue, green and red. Taking each overflowing
// byte's carry back out of the whole sum leaves every byte at its own sum
// modulo 256 (no byte goes below 0, so nothing borrows); those bytes are then
// forced to 255. The fourth byte ends up 0.
constexpr PackedPixel addSaturate(PackedPixel d, PackedPixel c) {
  std::uint32_t const a = d.v & 0xFFFFFFu;
  std::uint32_t const b = c.v & 0xFFFFFFu;
  std::uint32_t const carries = byteCarries(a, b);
  return {((a + b - carries) | byteMasks(carries)) & 0xFFFFFFu};
}

// Per-byte max(0, d − c) on blue, green and red. Byte k borrows when c > d,
// that is when (255 − d) + c exceeds 255; adding those borrows back leaves
// every byte at its own difference modulo 256, and the borrowing bytes are
// cleared.
constexpr PackedPixel subtractSaturate(PackedPixel d, PackedPixel c) {
  std::uint32_t const a = d.v & 0xFFFFFFu;
  std::uint32_t const b = c.v & 0xFFFFFFu;
  std::uint32_t const borrows = byteCarries(~a & 0xFFFFFFu, b);
  return {(a - b + borrows) & ~byteMasks(borrows) & 0xFFFFFFu};
}

// One channel, 0..255 (0..256 for a scale256 value).
constexpr std::uint32_t complement(std::uint32_t x) { return 255 - x; }
constexpr std::uint32_t mulShift8(std::uint32_t a, std::uint32_t b) { return (a * b) >> 8; }

// Normal: B(d, c) = c.
struct NormalMode {
  static constexpr BlendMode mode = Normal;
  static constexpr bool bytewise = true;
  template <class V>
  static V blend(V, V c) {
    return c;
  }
};

// Add: B(d, c) = min(255, d + c).
struct AddMode {
  static constexpr BlendMode mode = Add;
  static constexpr bool bytewise = true;
  template <class V>
  static V blend(V d, V c) {
    return addSaturate(d, c);
  }
};

// Subtract: B(d, c) = max(0, d − c).
struct SubtractMode {
  static constexpr BlendMode mode = Subtract;
  static constexpr bool bytewise = true;
  template <class V>
  static V blend(V d, V c) {
    return subtractSaturate(d, c);
  }
};

// Multiply: B(d, c) = (d × scale256(c)) >> 8. White keeps d, black gives 0;
// d × 256 at most, so the product fits a 16-bit lane.
struct MultiplyMode {
  static constexpr BlendMode mode = Multiply;
  static constexpr bool bytewise = false;
  // The colour's side of the rule: once per call for a fill, per pixel for a
  // picture.
  template <class V>
  static V operand(V c) {
    return scale256(c);
  }
  template <class V>
  static V blend(V d, V k) {
    return mulShift8(d, k);
  }
};

// InverseMultiply: B(d, c) = ((255 − d) × scale256(255 − c)) >> 8, the product
// of the complements, stored without complementing back: white gives 0,
// black gives 255 − d.
struct InverseMultiplyMode {
  static constexpr BlendMode mode = InverseMultiply;
  static constexpr bool bytewise = false;
  template <class V>
  static V operand(V c) {
    return scale256(complement(c));
  }
  template <class V>
  static V blend(V d, V k) {
    return mulShift8(complement(d), k);
  }
};

// Indexed by BlendMode value.
using BlendModes = std::tuple<NormalMode, AddMode, SubtractMode, MultiplyMode, InverseMultiplyMode>;

// B of blue, green and red of pixel d against colour c (0x??RRGGBB words).
// Normal returns c whole, fourth byte included, which is what lets the opaque
// Normal kernels store a colour or copy a Bgrx32 pixel unchanged.
template <class Mode>
constexpr std::uint32_t blendPixel(std::uint32_t d, std::uint32_t c) {
  if constexpr (Mode::bytewise) {
    return Mode::blend(PackedPixel{d}, PackedPixel{c}).v;
  } else {
    std::uint32_t b = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      std::uint32_t const channel = Mode::blend((d >> shift) & 0xFFu, Mode::operand((c >> shift) & 0xFFu));
      b |= channel << shift;
    }
    return b;
  }
}

// (b × W + d × (256 − W)) >> 8 on blue, green and red. Red and blue share one
// multiplication: each lands as channel × 256 in its own 16-bit half, and
// since W + (256 − W) = 256 neither half exceeds 255 × 256, so nothing crosses
// from blue into red. The fourth byte comes out 0.
constexpr std::uint32_t mixPixel(std::uint32_t b, std::uint32_t d, std::uint32_t w) {
  std::uint32_t const v = 256 - w;
  std::uint32_t const redBlue = (b & 0xFF00FFu) * w + (d & 0xFF00FFu) * v;
  std::uint32_t const green = (b & 0x00FF00u) * w + (d & 0x00FF00u) * v;
  return ((redBlue >> 8) & 0xFF00FFu) | ((green >> 8) & 0x00FF00u);
}

}  // namespace
}  // namespace zelvor::pixels
