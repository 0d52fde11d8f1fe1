// Encoding of test pictures with libpng, and the plain model of the loader's
// output. The model works per pixel on the sample values and shares nothing
// with the loader.
//
// libpng reports write errors by longjmp: encodeRows sets the jump point and
// its callees hold only trivially destructible locals; the write callback
// catches everything before leaving through png_error.
#include "tests/image/png_fixture.h"

#include <png.h>

#include <csetjmp>
#include <sstream>
#include <stdexcept>

namespace zelvor::test {

namespace {

[[noreturn]] void errorProc(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void warningProc(png_structp, png_const_charp) {}

void writeProc(png_structp png, png_bytep data, size_t length) {
  auto* const out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  bool written = false;
  try {
    out->insert(out->end(), data, data + length);
    written = true;
  } catch (...) {
  }
  if (!written) png_error(png, "write failed");
}

void flushProc(png_structp) {}

// Rows as PNG stores them: samples below 8 bits packed from the high bits of
// each byte, 16-bit samples big-endian.
std::vector<std::vector<std::uint8_t>> packRows(const PngFixture& f) {
  std::size_t const perRow = std::size_t(f.width) * channelsOf(f.colourType);
  std::vector<std::vector<std::uint8_t>> rows(f.height);
  for (std::uint32_t y = 0; y < f.height; ++y) {
    auto& row = rows[y];
    row.assign((perRow * f.bitDepth + 7) / 8, 0);
    for (std::size_t i = 0; i < perRow; ++i) {
      std::uint16_t const value = f.samples[y * perRow + i];
      if (f.bitDepth == 16) {
        row[2 * i] = std::uint8_t(value >> 8);
        row[2 * i + 1] = std::uint8_t(value);
      } else {
        std::size_t const bit = i * f.bitDepth;
        row[bit / 8] |= std::uint8_t(value << (8 - f.bitDepth - bit % 8));
      }
    }
  }
  return rows;
}

bool encodeRows(png_structp png, png_infop info, const PngFixture& f, png_bytepp rows, png_colorp palette,
                png_bytep paletteAlpha, png_color_16p colour) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  png_set_IHDR(png, info, f.width, f.height, f.bitDepth, f.colourType,
               f.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!f.palette.empty()) png_set_PLTE(png, info, palette, int(f.palette.size()));
  if (!f.paletteAlpha.empty()) png_set_tRNS(png, info, paletteAlpha, int(f.paletteAlpha.size()), nullptr);
  if (f.transparentColour) png_set_tRNS(png, info, nullptr, 0, colour);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

std::uint8_t to8Bits(std::uint16_t sample, int bitDepth) {
  if (bitDepth == 16) return std::uint8_t(sample >> 8);
  return std::uint8_t(sample * 255 / ((1 << bitDepth) - 1));
}

}  // namespace

int channelsOf(int colourType) {
  switch (colourType) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
  }
}

std::vector<std::uint8_t> encodePng(const PngFixture& f) {
  std::vector<std::vector<std::uint8_t>> packed = packRows(f);
  std::vector<png_bytep> rows;
  for (auto& row : packed) rows.push_back(row.data());
  std::vector<png_color> palette;
  for (const auto& entry : f.palette) palette.push_back({entry[0], entry[1], entry[2]});
  std::vector<png_byte> paletteAlpha(f.paletteAlpha.begin(), f.paletteAlpha.end());
  png_color_16 colour{};
  if (f.transparentColour) {
    colour.gray = (*f.transparentColour)[0];
    colour.red = (*f.transparentColour)[0];
    colour.green = (*f.transparentColour)[1];
    colour.blue = (*f.transparentColour)[2];
  }

  std::vector<std::uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, errorProc, warningProc);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  bool ok = info != nullptr;
  if (ok) {
    png_set_write_fn(png, &out, writeProc, flushProc);
    ok = encodeRows(png, info, f, rows.data(), palette.data(), paletteAlpha.data(), &colour);
  }
  png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
  if (!ok) throw std::runtime_error("libpng cannot write " + describe(f));
  return out;
}

ExpectedPicture expectedDecode(const PngFixture& f) {
  ExpectedPicture picture;
  bool const hasTrns = f.transparentColour.has_value() || !f.paletteAlpha.empty();
  switch (f.colourType) {
    case 0: picture.format = hasTrns ? GrayAlpha16 : Gray8; break;
    case 4: picture.format = GrayAlpha16; break;
    case 2:
    case 3: picture.format = hasTrns ? Bgra32 : Bgr24; break;
    default: picture.format = Bgra32; break;
  }
  picture.pitch = std::int32_t(f.width) * bytesPerPixel(picture.format);
  int const channels = channelsOf(f.colourType);
  auto& out = picture.bytes;
  for (std::size_t pixel = 0; pixel < std::size_t(f.width) * f.height; ++pixel) {
    const std::uint16_t* s = &f.samples[pixel * channels];
    auto to8 = [&](int channel) { return to8Bits(s[channel], f.bitDepth); };
    switch (f.colourType) {
      case 0:
        out.push_back(to8(0));
        if (hasTrns) out.push_back(s[0] == (*f.transparentColour)[0] ? 0 : 255);
        break;
      case 4: out.insert(out.end(), {to8(0), to8(1)}); break;
      case 2:
        out.insert(out.end(), {to8(2), to8(1), to8(0)});
        if (hasTrns) {
          auto const& t = *f.transparentColour;
          out.push_back(s[0] == t[0] && s[1] == t[1] && s[2] == t[2] ? 0 : 255);
        }
        break;
      case 3: {
        auto const& entry = f.palette.at(s[0]);
        out.insert(out.end(), {entry[2], entry[1], entry[0]});
        if (hasTrns) out.push_back(s[0] < f.paletteAlpha.size() ? f.paletteAlpha[s[0]] : 255);
        break;
      }
      default: out.insert(out.end(), {to8(2), to8(1), to8(0), to8(3)}); break;
    }
  }
  return picture;
}

std::string describe(const PngFixture& f) {
  std::ostringstream text;
  text << "colour type " << f.colourType << ", " << f.bitDepth << " bits, " << f.width << " x " << f.height
       << (f.interlaced ? ", interlaced" : "") << (f.transparentColour || !f.paletteAlpha.empty() ? ", tRNS" : "");
  return text.str();
}

}  // namespace zelvor::test
