// The SSE2 kernel table, the baseline every x86-64 processor runs: 8-pixel
// groups (two 16-byte blocks), one more single block where 4 to 7 pixels are
// left, and the narrow step for the last 0 to 3.
// SSE2 is part of x86-64, so this file needs no extra compiler flags.
// Immutable: any thread.
#include "pixels/kernel_templates.h"
#include "pixels/sse2_lanes.h"
#include "pixels/vector_blend.h"

#include <emmintrin.h>

namespace zelvor::pixels {
namespace {

// The eight source pixels of a group as two blocks of four.
struct SourceGroup {
  Packed128 quad[2];
};

SourceGroup loadGroup(const SolidColour& colour, const std::uint8_t*) {
  Packed128 const all{_mm_set1_epi32(static_cast<int>(colour.value))};
  return {{all, all}};
}

// 8 bytes: each level doubled into 16 bits, then into 32.
SourceGroup loadGroup(FormatSource<Gray8>, const std::uint8_t* s) {
  __m128i const levels = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s));
  __m128i const doubled = _mm_unpacklo_epi8(levels, levels);
  return {{{_mm_unpacklo_epi16(doubled, doubled)}, {_mm_unpackhi_epi16(doubled, doubled)}}};
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
  static constexpr std::int32_t widestStep = 8;

  Sse2Row(Source source, std::uint32_t weightParameter)
      : NarrowRow<Mode, Source, rule>(source, weightParameter), parameter(splat128(weightParameter)) {}

  template <std::int32_t pixels>
  void step(std::uint8_t* d, const std::uint8_t* s) const {
    static_assert(pixels == 4 || pixels == 8);
    if constexpr (pixels == 4) {
      blendBlock<Mode, rule>(d, loadQuad(this->source, s), parameter);
    } else {
      SourceGroup const colours = loadGroup(this->source, s);
      blendBlock<Mode, rule>(d, colours.quad[0], parameter);
      blendBlock<Mode, rule>(d + 16, colours.quad[1], parameter);
    }
  }

 private:
  Lanes128 parameter;
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
