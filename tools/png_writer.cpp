// libpng's write path behind writePng. libpng reports errors by a long jump;
// the jump target lives in writeRows, whose frame holds only trivially
// destructible locals, so the jump skips no destructor.
#include "tools/png_writer.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace zelvor::tools {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Returns false when libpng failed; the structures are freed on both paths.
bool writeRows(std::FILE* file, const PngPicture& picture, png_bytep* rowPointers, png_color* colours,
               png_byte* alphas) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, picture.width, picture.height, picture.bitDepth, picture.colourType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (picture.colourType == PNG_COLOR_TYPE_PALETTE) {
    int const entries = static_cast<int>(picture.palette.size());
    png_set_PLTE(png, info, colours, entries);
    bool translucent = false;
    for (const PaletteEntry& entry : picture.palette) translucent = translucent || entry.alpha != 255;
    if (translucent) png_set_tRNS(png, info, alphas, entries, nullptr);
  }
  png_write_info(png, info);
  png_write_image(png, rowPointers);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

void writePng(const std::string& fileName, const PngPicture& picture) {
  if (picture.rows.size() != picture.height) throw std::invalid_argument("\"" + fileName + "\": wrong number of rows");
  File file(std::fopen(fileName.c_str(), "wb"));
  if (!file) throw std::runtime_error("cannot create \"" + fileName + "\": " + std::strerror(errno));

  std::vector<png_bytep> rowPointers;
  for (const std::vector<std::uint8_t>& row : picture.rows) rowPointers.push_back(const_cast<png_bytep>(row.data()));
  std::vector<png_color> colours;
  std::vector<png_byte> alphas;
  for (const PaletteEntry& entry : picture.palette) {
    colours.push_back(png_color{entry.red, entry.green, entry.blue});
    alphas.push_back(entry.alpha);
  }

  bool const written = writeRows(file.get(), picture, rowPointers.data(), colours.data(), alphas.data());
  // fclose flushes: a full disk shows up only here.
  if (!written || std::fclose(file.release()) != 0) throw std::runtime_error("cannot write \"" + fileName + "\"");
}

}  // namespace zelvor::tools
