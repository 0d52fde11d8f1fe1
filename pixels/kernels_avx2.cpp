// The AVX2 kernel table: 16-pixel groups as two 32-byte blocks, then at most
// one 8-pixel block (32 bytes) and one 4-pixel block (16 bytes), and the
// narrow step for the last 0 to 3 pixels. Every pixel gets the result the
// SSE2 and narrow tables give it: the same rule, only wider.
//
// The only file compiled with -mavx2, and nothing in it may run before
// avx2Supported() says so. Hence: everything here, the kernel headers
// included, has internal linkage (no inline function or template of this file
// can be picked by the linker for another file's call); the table is a
// constant-initialised object, so this file has no start-up code; and its
// accessor lives in kernel_dispatch.cpp. Immutable: any thread.
#include "pixels/kernel_templates.h"
#include "pixels/sse2_lanes.h"
#include "pixels/vector_blend.h"

#include <immintrin.h>

namespace zelvor::pixels {
namespace {

// Eight pixels as stored: two 16-byte halves of four pixels each.
struct Packed256 {
  __m256i v;
};

// Four pixels in sixteen 16-bit lanes. The unpacks and packs of AVX2 work
// within each 128-bit half, so low() holds pixels 0, 1, 4, 5 and high() 2, 3,
// 6, 7; pack() puts every pixel back where it came from.
struct Lanes256 {
  __m256i v;
};

Packed256 addSaturate(Packed256 d, Packed256 c) { return {_mm256_adds_epu8(d.v, c.v)}; }
Packed256 subtractSaturate(Packed256 d, Packed256 c) { return {_mm256_subs_epu8(d.v, c.v)}; }

Lanes256 complement(Lanes256 x) { return {_mm256_xor_si256(x.v, _mm256_set1_epi16(0xFF))}; }
Lanes256 mulShift8(Lanes256 a, Lanes256 b) { return {_mm256_srli_epi16(_mm256_mullo_epi16(a.v, b.v), 8)}; }
// (x + 1) >> 8 is 1 exactly for 255, so this adds 1 there and nowhere else.
Lanes256 scale256(Lanes256 x) {
  __m256i const carry = _mm256_srli_epi16(_mm256_add_epi16(x.v, _mm256_set1_epi16(1)), 8);
  return {_mm256_add_epi16(x.v, carry)};
}

Lanes256 low(Packed256 p) { return {_mm256_unpacklo_epi8(p.v, _mm256_setzero_si256())}; }
Lanes256 high(Packed256 p) { return {_mm256_unpackhi_epi8(p.v, _mm256_setzero_si256())}; }
Packed256 pack(Lanes256 lo, Lanes256 hi) { return {_mm256_packus_epi16(lo.v, hi.v)}; }

// Each pixel's fourth lane (bytes 6 and 7 of its 8) copied over its four
// lanes: one byte shuffle where SSE2 needs two word shuffles.
Lanes256 spreadAlpha(Lanes256 x) {
  __m256i const control = _mm256_setr_epi8(6, 7, 6, 7, 6, 7, 6, 7, 14, 15, 14, 15, 14, 15, 14, 15,  //
                                           6, 7, 6, 7, 6, 7, 6, 7, 14, 15, 14, 15, 14, 15, 14, 15);
  return {_mm256_shuffle_epi8(x.v, control)};
}

// (d × 256 + (b − d) × w) >> 8, exact in wrapping lanes as in sse2_lanes.h.
Lanes256 weigh(Lanes256 b, Lanes256 d, Lanes256 w) {
  __m256i const difference = _mm256_mullo_epi16(_mm256_sub_epi16(b.v, d.v), w.v);
  return {_mm256_srli_epi16(_mm256_add_epi16(_mm256_slli_epi16(d.v, 8), difference), 8)};
}

Lanes256 splat256(std::uint32_t x) { return {_mm256_set1_epi16(static_cast<short>(x))}; }

// Eight source pixels in the layout of eight destination pixels; the byte
// shuffles work within each 16-byte half, and -1 clears a byte. Each reads
// exactly their bytes, except Bgr24, whose second 16-byte load reaches 4
// bytes past the eighth pixel: the 15 bytes an Image keeps after its last row
// always cover that.
Packed256 loadOctet(const SolidColour& colour, const std::uint8_t*) {
  return {_mm256_set1_epi32(static_cast<int>(colour.value))};
}

// 8 levels in both halves; each half copies four of them over four bytes.
Packed256 loadOctet(FormatSource<Gray8>, const std::uint8_t* s) {
  __m256i const levels = _mm256_broadcastq_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s)));
  __m256i const control = _mm256_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3,  //
                                           4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7);
  return {_mm256_shuffle_epi8(levels, control)};
}

// Pixels 0 to 3 from the load at s, 4 to 7 from the load at s + 12; each half
// moves its four 3-byte pixels into 4-byte slots with a fourth byte of 0.
Packed256 loadOctet(FormatSource<Bgr24>, const std::uint8_t* s) {
  __m256i const bytes = _mm256_inserti128_si256(_mm256_castsi128_si256(loadBytes(s)), loadBytes(s + 12), 1);
  __m256i const control = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                           0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  return {_mm256_shuffle_epi8(bytes, control)};
}

// 8 (level, alpha) pairs in both halves; each half turns four of them into
// (level, level, level, alpha).
Packed256 loadOctet(FormatSource<GrayAlpha16>, const std::uint8_t* s) {
  __m256i const pairs = _mm256_broadcastsi128_si256(loadBytes(s));
  __m256i const control = _mm256_setr_epi8(0, 0, 0, 1, 2, 2, 2, 3, 4, 4, 4, 5, 6, 6, 6, 7,  //
                                           8, 8, 8, 9, 10, 10, 10, 11, 12, 12, 12, 13, 14, 14, 14, 15);
  return {_mm256_shuffle_epi8(pairs, control)};
}

Packed256 loadOctet(FormatSource<Bgra32>, const std::uint8_t* s) {
  return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s))};
}

Packed256 loadOctet(FormatSource<Bgrx32>, const std::uint8_t* s) {
  return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s))};
}

template <class Mode, class Source, WeightRule rule>
class Avx2Row : public NarrowRow<Mode, Source, rule> {
 public:
  static constexpr bool wide = true;
  static constexpr std::int32_t widestStep = 16;

  Avx2Row(Source source, std::uint32_t weightParameter)
      : NarrowRow<Mode, Source, rule>(source, weightParameter),
        parameter(splat256(weightParameter)),
        parameter128(splat128(weightParameter)) {}

  template <std::int32_t pixels>
  void step(std::uint8_t* d, const std::uint8_t* s) const {
    static_assert(pixels == 4 || pixels == 8 || pixels == 16);
    if constexpr (pixels == 4) {
      blendBlock<Mode, rule>(d, loadQuad(this->source, s), parameter128);
    } else if constexpr (pixels == 8) {
      blendOctet(d, loadOctet(this->source, s));
    } else {
      Packed256 const first = loadOctet(this->source, s);
      Packed256 const second = loadOctet(this->source, s + 8 * Source::bytes);
      blendOctet(d, first);
      blendOctet(d + 32, second);
    }
  }

 private:
  void blendOctet(std::uint8_t* d, Packed256 colours) const {
    auto* const block = reinterpret_cast<__m256i*>(d);
    _mm256_storeu_si256(block, blendPacked<Mode, rule>(Packed256{_mm256_loadu_si256(block)}, colours, parameter).v);
  }

  Lanes256 parameter;
  Lanes128 parameter128;
};

struct Avx2Path {
  template <class Mode, class Source, WeightRule rule>
  using Row = Avx2Row<Mode, Source, rule>;
};

}  // namespace

// Declared again in kernel_dispatch.cpp, whose accessor hands it out.
extern const KernelTable avx2Kernels;
constinit const KernelTable avx2Kernels = makeKernelTable<Avx2Path>("avx2");

}  // namespace zelvor::pixels
