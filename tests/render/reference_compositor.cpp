// The plain full-frame compositor of the render tests; see
// reference_compositor.h. Used on the test's thread only.
#include "tests/render/reference_compositor.h"

#include <algorithm>
#include <cstdio>

namespace zelvor::testing {

namespace {

struct Source {
  std::uint32_t blue, green, red;
  bool hasAlpha;
  std::uint32_t alpha;
};

// A byte as a weight where full strength is exactly 256.
std::uint32_t fullScale(std::uint32_t x) { return x == 255 ? 256 : x; }

std::uint32_t modelWeight(std::uint8_t opacity, const Source& source) {
  if (!source.hasAlpha) return fullScale(opacity);
  if (opacity == 255) return fullScale(source.alpha);
  return (std::uint32_t{opacity} * source.alpha) >> 8;
}

std::uint32_t modelChannel(std::int32_t mode, std::uint32_t d, std::uint32_t c) {
  switch (mode) {
    case 0: return c;
    case 1: return std::min(255u, d + c);
    case 2: return d > c ? d - c : 0;
    case 3: return (d * fullScale(c)) >> 8;
    case 4: return ((255 - d) * fullScale(255 - c)) >> 8;
  }
  return d;
}

void blendPixel(std::uint32_t& pixel, std::int32_t mode, const Source& source, std::uint32_t weight) {
  auto const mix = [&](std::uint32_t shift, std::uint32_t c) {
    std::uint32_t const d = (pixel >> shift) & 0xFF;
    return ((modelChannel(mode, d, c) * weight + d * (256 - weight)) >> 8) << shift;
  };
  pixel = mix(16, source.red) | mix(8, source.green) | mix(0, source.blue);
}

Source colourSource(const Colour& colour) {
  auto const* b = colour.bytes;
  switch (colour.type) {
    case Grey: return {b[0], b[0], b[0], false, 255};
    case Rgb: return {b[2], b[1], b[0], false, 255};
    case GreyAlpha: return {b[0], b[0], b[0], b[1] != 255, b[1]};
    case Rgba: return {b[2], b[1], b[0], b[3] != 255, b[3]};
    default: return {0, 0, 0, false, 255};
  }
}

Source imageSource(const IImage& image, std::int32_t x, std::int32_t y) {
  const std::uint8_t* p = image.lockPixelsConst() + std::size_t(y) * std::size_t(image.getPitch()) +
                          std::size_t(x) * std::size_t(bytesPerPixel(image.getFormat()));
  Source source{};
  switch (image.getFormat()) {
    case Gray8: source = {p[0], p[0], p[0], false, 255}; break;
    case Bgr24: source = {p[0], p[1], p[2], false, 255}; break;
    case GrayAlpha16: source = {p[0], p[0], p[0], true, p[1]}; break;
    case Bgra32: source = {p[0], p[1], p[2], true, p[3]}; break;
    case Bgrx32: source = {p[0], p[1], p[2], false, 255}; break;
  }
  image.unlockPixelsConst();
  return source;
}

void composeRecord(Frame& frame, const DrawRecord& record) {
  if (record.opacity == 0 || static_cast<std::uint32_t>(record.blendMode) > 4) return;
  const Rect& r = record.rect;
  std::int32_t const left = std::max(r.left, 0), right = std::min(r.right, frame.width);
  std::int32_t const top = std::max(r.top, 0), bottom = std::min(r.bottom, frame.height);
  for (std::int32_t y = top; y < bottom; ++y) {
    for (std::int32_t x = left; x < right; ++x) {
      Source source{};
      if (record.kind == DrawKind::FillRect) {
        source = colourSource(record.colour);
      } else if (record.kind == DrawKind::Image) {
        if (static_cast<std::uint32_t>(record.image->getFormat()) > 4) return;
        source = imageSource(*record.image, record.origin.x + x - r.left, record.origin.y + y - r.top);
      } else {
        return;
      }
      std::uint32_t& pixel = frame.pixels[std::size_t(y) * std::size_t(frame.width) + std::size_t(x)];
      blendPixel(pixel, record.blendMode, source, modelWeight(record.opacity, source));
    }
  }
}

}  // namespace

void composeReference(Frame& frame, const std::vector<DrawRecord>& records) {
  for (const DrawRecord& record : records) composeRecord(frame, record);
}

std::string firstDifference(const Frame& expected, const std::vector<std::uint32_t>& actual) {
  if (actual.size() != expected.pixels.size()) {
    return "frame has " + std::to_string(actual.size()) + " pixels, expected " + std::to_string(expected.pixels.size());
  }
  std::size_t first = actual.size(), count = 0;
  for (std::size_t i = 0; i < actual.size(); ++i) {
    if (((actual[i] ^ expected.pixels[i]) & 0xFFFFFF) == 0) continue;
    if (count++ == 0) first = i;
  }
  if (count == 0) return {};
  char text[160];
  std::snprintf(text, sizeof text, "pixel (%zu, %zu) is 0x%06X, expected 0x%06X (%zu pixels differ)",
                first % std::size_t(expected.width), first / std::size_t(expected.width), actual[first] & 0xFFFFFF,
                expected.pixels[first] & 0xFFFFFF, count);
  return text;
}

std::uint8_t randomByte(std::mt19937& random) {
  switch (random() % 4) {
    case 0: return 0;
    case 1: return 255;
    default: return static_cast<std::uint8_t>(random());
  }
}

std::shared_ptr<Image> makeRandomImage(PixelFormat format, std::int32_t width, std::int32_t height,
                                       std::mt19937& random) {
  auto image = std::make_shared<Image>(width, height, format);
  std::uint8_t* pixels = image->lockPixels();
  std::size_t const size = std::size_t(height) * std::size_t(image->getPitch());
  for (std::size_t i = 0; i < size; ++i) pixels[i] = randomByte(random);
  image->unlockPixels();
  return image;
}

}  // namespace zelvor::testing
