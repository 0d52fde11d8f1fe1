// 128-bit vectors for the wide steps: four pixels packed in 16 bytes, their
// channels widened to 16-bit lanes two pixels at a time, the primitives the
// modes and vector_blend.h need on them, and the reads of four source pixels
// of every kind. The SSE2 table is built from them, and the AVX2 table uses
// them for its single-block steps (compiled there with VEX encodings, which
// is why, like every kernel header, this is private to each table's file).
// Pure functions over caller-owned memory: any thread.
#pragma once

#include "pixels/narrow_row.h"
#include "pixels/pixel_sources.h"
#include "pixels/vector_blend.h"

#include <emmintrin.h>

#include <cstdint>

namespace zelvor::pixels {
namespace {  // per table file, as in blend_modes.h

// Four pixels as stored: sixteen bytes.
struct Packed128 {
  __m128i v;
};

// Two pixels in eight 16-bit lanes: blue, green, red, fourth byte, each 0..256.
struct Lanes128 {
  __m128i v;
};

// The rules of the bytewise modes on four packed pixels.
inline Packed128 addSaturate(Packed128 d, Packed128 c) { return {_mm_adds_epu8(d.v, c.v)}; }
inline Packed128 subtractSaturate(Packed128 d, Packed128 c) { return {_mm_subs_epu8(d.v, c.v)}; }

// The primitives of the per-channel modes on lanes.
inline Lanes128 complement(Lanes128 x) { return {_mm_xor_si128(x.v, _mm_set1_epi16(0xFF))}; }
inline Lanes128 mulShift8(Lanes128 a, Lanes128 b) { return {_mm_srli_epi16(_mm_mullo_epi16(a.v, b.v), 8)}; }
// (x + 1) >> 8 is 1 exactly for 255, so this adds 1 there and nowhere else.
inline Lanes128 scale256(Lanes128 x) {
  __m128i const carry = _mm_srli_epi16(_mm_add_epi16(x.v, _mm_set1_epi16(1)), 8);
  return {_mm_add_epi16(x.v, carry)};
}

inline Lanes128 low(Packed128 p) { return {_mm_unpacklo_epi8(p.v, _mm_setzero_si128())}; }
inline Lanes128 high(Packed128 p) { return {_mm_unpackhi_epi8(p.v, _mm_setzero_si128())}; }
inline Packed128 pack(Lanes128 lo, Lanes128 hi) { return {_mm_packus_epi16(lo.v, hi.v)}; }

// Each pixel's fourth lane copied over its four lanes.
inline Lanes128 spreadAlpha(Lanes128 x) {
  return {_mm_shufflehi_epi16(_mm_shufflelo_epi16(x.v, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3))};
}

// (b × w + d × (256 − w)) >> 8, computed as (d × 256 + (b − d) × w) >> 8 with
// one multiplication. The lanes wrap modulo 65536 on the way (b − d may be
// negative), but the true sum lies in 0..65280, so the wrapped sum is the sum
// itself and the logical shift gives the exact result.
inline Lanes128 weigh(Lanes128 b, Lanes128 d, Lanes128 w) {
  __m128i const difference = _mm_mullo_epi16(_mm_sub_epi16(b.v, d.v), w.v);
  return {_mm_srli_epi16(_mm_add_epi16(_mm_slli_epi16(d.v, 8), difference), 8)};
}

inline Lanes128 splat128(std::uint32_t x) { return {_mm_set1_epi16(static_cast<short>(x))}; }

inline __m128i loadBytes(const std::uint8_t* s) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s)); }

// Four levels, each copied into the four bytes of its slot.
inline Packed128 spreadLevels(__m128i levels) {
  __m128i const doubled = _mm_unpacklo_epi8(levels, levels);
  return {_mm_unpacklo_epi16(doubled, doubled)};
}

// Four 3-byte pixels in the low 12 bytes, each moved up by its index into a
// 4-byte slot whose fourth byte becomes 0.
inline Packed128 spreadBgr(__m128i x) {
  __m128i const slot0 = _mm_and_si128(x, _mm_set_epi32(0, 0, 0, 0xFFFFFF));
  __m128i const slot1 = _mm_and_si128(_mm_slli_si128(x, 1), _mm_set_epi32(0, 0, 0xFFFFFF, 0));
  __m128i const slot2 = _mm_and_si128(_mm_slli_si128(x, 2), _mm_set_epi32(0, 0xFFFFFF, 0, 0));
  __m128i const slot3 = _mm_and_si128(_mm_slli_si128(x, 3), _mm_set_epi32(0xFFFFFF, 0, 0, 0));
  return {_mm_or_si128(_mm_or_si128(slot0, slot1), _mm_or_si128(slot2, slot3))};
}

// Four (level, alpha) pairs in the low 8 bytes: the level doubled into the
// low 16 bits of each slot, the original pair above it.
inline Packed128 spreadLevelAlphaPairs(__m128i pairs) {
  __m128i const levels = _mm_and_si128(pairs, _mm_set1_epi16(0xFF));
  __m128i const doubled = _mm_or_si128(levels, _mm_slli_epi16(levels, 8));
  return {_mm_unpacklo_epi16(doubled, pairs)};
}

// Four source pixels. Each reads exactly their bytes, except Bgr24, whose
// 16-byte load reaches 4 bytes past the fourth pixel: the 15 bytes an Image
// keeps after its last row always cover that.
inline Packed128 loadQuad(const SolidColour& colour, const std::uint8_t*) {
  return {_mm_set1_epi32(static_cast<int>(colour.value))};
}
inline Packed128 loadQuad(FormatSource<Gray8>, const std::uint8_t* s) {
  return spreadLevels(_mm_cvtsi32_si128(static_cast<int>(loadPixel(s))));
}
inline Packed128 loadQuad(FormatSource<Bgr24>, const std::uint8_t* s) { return spreadBgr(loadBytes(s)); }
inline Packed128 loadQuad(FormatSource<GrayAlpha16>, const std::uint8_t* s) {
  return spreadLevelAlphaPairs(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s)));
}
inline Packed128 loadQuad(FormatSource<Bgra32>, const std::uint8_t* s) { return {loadBytes(s)}; }
inline Packed128 loadQuad(FormatSource<Bgrx32>, const std::uint8_t* s) { return {loadBytes(s)}; }

// One 16-byte destination block of four pixels, at any address.
template <class Mode, WeightRule rule>
void blendBlock(std::uint8_t* d, Packed128 colours, Lanes128 parameter) {
  auto* const block = reinterpret_cast<__m128i*>(d);
  _mm_storeu_si128(block, blendPacked<Mode, rule>(Packed128{_mm_loadu_si128(block)}, colours, parameter).v);
}

}  // namespace
}  // namespace zelvor::pixels
