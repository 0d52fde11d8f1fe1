// The SSE2 kernel table: the narrow step for heads and tails, and 8-pixel
// groups with 128-bit integer vectors between them. The only file with vector
// intrinsics; SSE2 is part of x86-64, so it needs no extra compiler flags.
// Immutable: any thread.
//
// A group is two aligned 16-byte destination blocks of four pixels. Each
// block meets four source pixels gathered into the same byte layout (blue,
// green, red, fourth byte), is widened to 16-bit lanes for the arithmetic,
// (B × W + d × (256 − W)) >> 8 with B ≤ 255 and W ≤ 256, whose every
// intermediate stays below 65536 so the low half of each product is all of
// it, and is packed back with unsigned saturation (which never saturates).
#include "pixels/kernel_templates.h"

#include <emmintrin.h>

namespace zelvor::pixels {
namespace {

// Four pixels as stored: sixteen bytes.
struct Packed {
  __m128i v;
};

// Two pixels in eight 16-bit lanes: blue, green, red, fourth byte, each 0..256.
struct Lanes {
  __m128i v;
};

// The rules of the bytewise modes on four packed pixels.
Packed addSaturate(Packed d, Packed c) { return {_mm_adds_epu8(d.v, c.v)}; }
Packed subtractSaturate(Packed d, Packed c) { return {_mm_subs_epu8(d.v, c.v)}; }

// The primitives of the per-channel modes on lanes.
Lanes complement(Lanes x) { return {_mm_xor_si128(x.v, _mm_set1_epi16(0xFF))}; }
Lanes mulShift8(Lanes a, Lanes b) { return {_mm_srli_epi16(_mm_mullo_epi16(a.v, b.v), 8)}; }
// (x + 1) >> 8 is 1 exactly for 255, so this adds 1 there and nowhere else.
Lanes scale256(Lanes x) {
  __m128i const carry = _mm_srli_epi16(_mm_add_epi16(x.v, _mm_set1_epi16(1)), 8);
  return {_mm_add_epi16(x.v, carry)};
}

Lanes low(Packed p) { return {_mm_unpacklo_epi8(p.v, _mm_setzero_si128())}; }
Lanes high(Packed p) { return {_mm_unpackhi_epi8(p.v, _mm_setzero_si128())}; }
Packed pack(Lanes lo, Lanes hi) { return {_mm_packus_epi16(lo.v, hi.v)}; }

// Each pixel's fourth lane copied over its four lanes.
Lanes spreadAlpha(Lanes x) {
  return {_mm_shufflehi_epi16(_mm_shufflelo_epi16(x.v, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3))};
}

Lanes splat(std::uint32_t x) { return {_mm_set1_epi16(static_cast<short>(x))}; }

__m128i loadBytes(const std::uint8_t* s) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s)); }

// The eight source pixels of a group as two blocks of four.
struct SourceGroup {
  Packed quad[2];
};

SourceGroup loadGroup(const SolidColour& colour, const std::uint8_t*) {
  Packed const all{_mm_set1_epi32(static_cast<int>(colour.value))};
  return {{all, all}};
}

// 8 bytes: each level doubled into 16 bits, then into 32.
SourceGroup loadGroup(FormatSource<Gray8>, const std::uint8_t* s) {
  __m128i const levels = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s));
  __m128i const doubled = _mm_unpacklo_epi8(levels, levels);
  return {{{_mm_unpacklo_epi16(doubled, doubled)}, {_mm_unpackhi_epi16(doubled, doubled)}}};
}

// Four 3-byte pixels in the low 12 bytes, each moved up by its index into a
// 4-byte slot whose fourth byte becomes 0.
Packed spreadBgr(__m128i x) {
  __m128i const slot0 = _mm_and_si128(x, _mm_set_epi32(0, 0, 0, 0xFFFFFF));
  __m128i const slot1 = _mm_and_si128(_mm_slli_si128(x, 1), _mm_set_epi32(0, 0, 0xFFFFFF, 0));
  __m128i const slot2 = _mm_and_si128(_mm_slli_si128(x, 2), _mm_set_epi32(0, 0xFFFFFF, 0, 0));
  __m128i const slot3 = _mm_and_si128(_mm_slli_si128(x, 3), _mm_set_epi32(0xFFFFFF, 0, 0, 0));
  return {_mm_or_si128(_mm_or_si128(slot0, slot1), _mm_or_si128(slot2, slot3))};
}

// 24 bytes as two 16-byte loads 12 bytes apart. The second reaches 4 bytes
// past the group's last pixel, which the 15 bytes an Image keeps after its
// last row always cover.
SourceGroup loadGroup(FormatSource<Bgr24>, const std::uint8_t* s) {
  return {{spreadBgr(loadBytes(s)), spreadBgr(loadBytes(s + 12))}};
}

// 16 bytes of (level, alpha): the level doubled into the low 16 bits of each
// slot, the original (level, alpha) pair above it.
SourceGroup loadGroup(FormatSource<GrayAlpha16>, const std::uint8_t* s) {
  __m128i const pairs = loadBytes(s);
  __m128i const levels = _mm_and_si128(pairs, _mm_set1_epi16(0xFF));
  __m128i const doubled = _mm_or_si128(levels, _mm_slli_epi16(levels, 8));
  return {{{_mm_unpacklo_epi16(doubled, pairs)}, {_mm_unpackhi_epi16(doubled, pairs)}}};
}

SourceGroup loadGroup(FormatSource<Bgra32>, const std::uint8_t* s) { return {{{loadBytes(s)}, {loadBytes(s + 16)}}}; }

SourceGroup loadGroup(FormatSource<Bgrx32>, const std::uint8_t* s) { return {{{loadBytes(s)}, {loadBytes(s + 16)}}}; }

template <class Mode, class Source, WeightRule rule>
class Sse2Row : public NarrowRow<Mode, Source, rule> {
 public:
  static constexpr bool wide = true;

  Sse2Row(Source source, std::uint32_t weightParameter)
      : NarrowRow<Mode, Source, rule>(source, weightParameter),
        parameter(splat(weightParameter)),
        complementOfParameter(splat(256 - weightParameter)) {}

  void group(std::uint8_t* d, const std::uint8_t* s) const {
    SourceGroup const colours = loadGroup(this->source, s);
    blendBlock(d, colours.quad[0]);
    blendBlock(d + 16, colours.quad[1]);
  }

 private:
  void blendBlock(std::uint8_t* d, Packed c) const {
    auto* const block = reinterpret_cast<__m128i*>(d);
    _mm_store_si128(block, blend(Packed{_mm_load_si128(block)}, c).v);
  }

  Packed blend(Packed d, Packed c) const {
    if constexpr (rule == WeightRule::Opaque && Mode::bytewise) {
      return Mode::blend(d, c);
    } else if constexpr (rule == WeightRule::Opaque) {
      return pack(blendLanes(low(d), low(c)), blendLanes(high(d), high(c)));
    } else if constexpr (Mode::bytewise) {
      Packed const b = Mode::blend(d, c);
      return pack(mix(low(b), low(d), low(c)), mix(high(b), high(d), high(c)));
    } else {
      Lanes const dl = low(d);
      Lanes const dh = high(d);
      Lanes const cl = low(c);
      Lanes const ch = high(c);
      return pack(mix(blendLanes(dl, cl), dl, cl), mix(blendLanes(dh, ch), dh, ch));
    }
  }

  static Lanes blendLanes(Lanes d, Lanes c) { return Mode::blend(d, Mode::operand(c)); }

  // (b × W + d × (256 − W)) >> 8, with W from the rule and, for the rules
  // with alpha, from c's fourth lanes.
  Lanes mix(Lanes b, Lanes d, Lanes c) const {
    Lanes w = parameter;
    Lanes v = complementOfParameter;
    if constexpr (rule == WeightRule::Alpha || rule == WeightRule::OpacityAlpha) {
      Lanes const alpha = spreadAlpha(c);
      if constexpr (rule == WeightRule::Alpha) {
        w = scale256(alpha);
      } else {
        w = mulShift8(parameter, alpha);
      }
      v = {_mm_sub_epi16(_mm_set1_epi16(256), w.v)};
    }
    return {_mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(b.v, w.v), _mm_mullo_epi16(d.v, v.v)), 8)};
  }

  Lanes parameter;
  Lanes complementOfParameter;
};

struct Sse2Path {
  template <class Mode, class Source, WeightRule rule>
  using Row = Sse2Row<Mode, Source, rule>;
};

}  // namespace

const KernelTable& sse2KernelTable() {
  static constexpr KernelTable table = makeKernelTable<Sse2Path>("sse2");
  return table;
}

}  // namespace zelvor::pixels
