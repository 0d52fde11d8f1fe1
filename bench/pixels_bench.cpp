// Throughput of the pixel operations, in drawn pixels per second, each case
// through every kernel table the processor runs (SSE2, AVX2 where present,
// and the narrow-only table), so that one run compares them under the same
// load: fills of a whole 800 x 10 band in every mode and class,
// and the demo's blits into such a band, at every destination alignment. The
// band is a MemoryHelper buffer like the render workers' and stays in cache.
// Runs on the main thread only.
#include "image/image.h"
#include "image/memory_helper.h"
#include "pixels/blend.h"
#include "pixels/kernel_tables.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace zelvor;

constexpr int bandWidth = 800;
constexpr int bandRows = 10;
const char* const modeNames[] = {"Normal", "Add", "Subtract", "Multiply", "InverseMultiply"};

void scribble(IImage& image, std::uint32_t seed) {
  std::uint8_t* bytes = image.lockPixels();
  std::size_t const size = std::size_t(image.getHeight()) * std::size_t(image.getPitch());
  for (std::size_t i = 0; i < size; ++i) {
    seed = seed * 1664525u + 1013904223u;
    bytes[i] = static_cast<std::uint8_t>(seed >> 24);
  }
}

Image makeBand() {
  Image band(bandWidth, bandRows, bandWidth * 4, MemoryHelper::allocateBuffer(bandWidth * 4 * bandRows));
  scribble(band, 1);
  return band;
}

void fillBand(benchmark::State& state, const pixels::KernelTable& table, BlendMode mode, bool partial, bool alpha) {
  Image band = makeBand();
  Colour const colour = alpha ? Colour{Rgba, {200, 120, 40, 160}} : Colour{Rgb, {200, 120, 40, 0}};
  std::uint8_t const opacity = partial ? 128 : 255;
  Rect const rect{0, 0, bandWidth, bandRows};
  for (auto _ : state) {
    pixels::fillRectWith(table, colour, nullptr, band, mode, rect, opacity);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * bandWidth * bandRows);
}

struct Blit {
  const char* name;
  PixelFormat format;
  int width;
  int height;
  BlendMode mode;
  std::uint8_t opacity;
};

// Sprites land at every column of a band; those taller than the band are
// cut to it as the drawer's clip would.
void blitIntoBand(benchmark::State& state, const pixels::KernelTable& table, const Blit& blit) {
  Image band = makeBand();
  Image source(blit.width, blit.height, blit.format);
  scribble(source, 2);
  std::vector<Rect> rects;
  std::int64_t pixelsPerRound = 0;
  int const top = (bandRows - blit.height) / 2;
  int const positions = blit.width >= bandWidth ? 1 : 64;
  for (int i = 0; i < positions; ++i) {
    int const left = blit.width >= bandWidth ? 0 : (i * 37) % (bandWidth - blit.width);
    rects.push_back({left, top, left + blit.width, top + blit.height});
    pixelsPerRound += std::int64_t{blit.width} * (std::min(bandRows, top + blit.height) - std::max(0, top));
  }
  for (auto _ : state) {
    for (const Rect& rect : rects)
      pixels::drawImageWith(table, {0, 0}, nullptr, source, band, blit.mode, rect, blit.opacity);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * pixelsPerRound);
}

Blit const blits[] = {
    {"blit/picture 64x64 Bgra32 Normal opacity 128", Bgra32, 64, 64, Normal, 128},
    {"blit/snowflake 16x16 GrayAlpha16 Add opacity 96", GrayAlpha16, 16, 16, Add, 96},
    {"blit/snowflake 8x8 Bgra32 Add opacity 96", Bgra32, 8, 8, Add, 96},
    {"blit/dot 1x1 Bgra32 Add opacity 96 (the cost of a call)", Bgra32, 1, 1, Add, 96},
    {"blit/band 800x10 Bgrx32 copy", Bgrx32, 800, 10, Normal, 255},
    {"blit/band 800x10 Bgra32 Normal opacity 128", Bgra32, 800, 10, Normal, 128},
    {"blit/band 800x10 GrayAlpha16 Add opacity 96", GrayAlpha16, 800, 10, Add, 96},
};

// Each case through every table in turn, so that the tables of one case run
// close together in time and meet the same load on a shared machine.
void registerAll() {
  std::vector<const pixels::KernelTable*> tables{&pixels::sse2KernelTable()};
  if (pixels::avx2Supported()) tables.push_back(&pixels::avx2KernelTable());
  tables.push_back(&pixels::narrowKernelTable());
  for (const Blit& blit : blits) {
    for (const pixels::KernelTable* table : tables) {
      std::string const name = std::string(blit.name) + "/" + table->name;
      benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) { blitIntoBand(state, *table, blit); });
    }
  }
  for (int mode = 0; mode < blendModeCount; ++mode) {
    for (bool partial : {false, true}) {
      for (bool alpha : {false, true}) {
        for (const pixels::KernelTable* table : tables) {
          std::string const name = std::string("fill/") + modeNames[mode] + (partial ? "/partial" : "/opaque") +
                                   (alpha ? "/alpha/" : "/solid/") + table->name;
          benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
            fillBand(state, *table, static_cast<BlendMode>(mode), partial, alpha);
          });
        }
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
