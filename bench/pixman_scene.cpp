// The demonstration frame through pixman: straight alpha converted to
// premultiplied once at load; the white background and the opaque square as
// SRC, the pictures and the translucent square as OVER with a solid mask of
// their opacity, the flakes as ADD with a solid mask. Benchmark thread only.
#include "bench/pixman_scene.h"

#include "image/image.h"
#include "pixels/colour.h"

#include <pixman.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace zelvor::bench {
namespace {

struct ImageRelease {
  void operator()(pixman_image_t* image) const { pixman_image_unref(image); }
};
using PixmanImage = std::unique_ptr<pixman_image_t, ImageRelease>;

// A picture of any of zelvor's layouts as premultiplied a8r8g8b8.
PixmanImage premultiplied(const IImage& source) {
  std::int32_t const width = source.getWidth(), height = source.getHeight();
  PixmanImage image{pixman_image_create_bits(PIXMAN_a8r8g8b8, width, height, nullptr, width * 4)};
  auto* target = reinterpret_cast<std::uint32_t*>(pixman_image_get_data(image.get()));
  const std::uint8_t* rows = const_cast<IImage&>(source).lockPixels();
  std::int32_t const bytes = bytesPerPixel(source.getFormat());
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const std::uint8_t* p = rows + y * source.getPitch() + x * bytes;
      std::uint32_t b = 0, g = 0, r = 0, a = 255;
      switch (source.getFormat()) {
        case Gray8: b = g = r = p[0]; break;
        case GrayAlpha16: b = g = r = p[0], a = p[1]; break;
        case Bgr24:
        case Bgrx32: b = p[0], g = p[1], r = p[2]; break;
        case Bgra32: b = p[0], g = p[1], r = p[2], a = p[3]; break;
      }
      auto const times = [a](std::uint32_t c) { return (c * a + 127) / 255; };
      target[y * width + x] = a << 24 | times(r) << 16 | times(g) << 8 | times(b);
    }
  }
  const_cast<IImage&>(source).unlockPixels();
  return image;
}

PixmanImage solid(std::uint32_t red, std::uint32_t green, std::uint32_t blue, std::uint32_t alpha) {
  pixman_color_t const colour{static_cast<std::uint16_t>(red * 257), static_cast<std::uint16_t>(green * 257),
                              static_cast<std::uint16_t>(blue * 257), static_cast<std::uint16_t>(alpha * 257)};
  return PixmanImage{pixman_image_create_solid_fill(&colour)};
}

// One record as one pixman call: operator, source and (optional) mask.
struct Operation {
  pixman_op_t op;
  pixman_image_t* source;
  pixman_image_t* mask;
  Rect rect;
};

class PixmanFrameImpl final : public PixmanFrame {
 public:
  PixmanFrameImpl(std::span<const DrawRecord> records, std::int32_t width, std::int32_t height)
      : width(width),
        height(height),
        frame(pixman_image_create_bits(PIXMAN_x8r8g8b8, width, height, nullptr, width * 4)) {
    std::map<const IImage*, pixman_image_t*> pictures;
    for (const DrawRecord& record : records) {
      if (record.opacity == 0 || (record.blendMode != Normal && record.blendMode != Add)) continue;
      pixman_op_t const op = record.blendMode == Add ? PIXMAN_OP_ADD : PIXMAN_OP_OVER;
      pixman_image_t* mask = record.opacity == 255 ? nullptr : keep(solid(0, 0, 0, record.opacity));
      if (record.kind == DrawKind::Image) {
        auto& picture = pictures[record.image];
        if (!picture) picture = keep(premultiplied(*record.image));
        operations.push_back({op, picture, mask, record.rect});
      } else if (record.kind == DrawKind::FillRect) {
        std::uint32_t const pixel = toPixel(record.colour);
        std::uint32_t const alpha = alphaOf(record.colour);
        if (alpha != 255) {
          // Straight colour with its alpha folded into the mask.
          mask = keep(solid(0, 0, 0, alpha * record.opacity / 255));
        }
        bool const opaque = !mask && record.blendMode == Normal;
        operations.push_back({opaque ? PIXMAN_OP_SRC : op,
                              keep(solid(pixel >> 16 & 255, pixel >> 8 & 255, pixel & 255, 255)), mask, record.rect});
      }
    }
    band.reset(pixman_image_create_bits(PIXMAN_x8r8g8b8, width, height, nullptr, width * 4));
  }

  void composeWholeFrame() override {
    for (const Operation& o : operations) composite(o, frame.get(), 0);
  }

  void composeBands(std::int32_t bandRows) override {
    if (bandRows != bandImageRows) {
      band.reset(pixman_image_create_bits(PIXMAN_x8r8g8b8, width, bandRows, nullptr, width * 4));
      bandImageRows = bandRows;
    }
    for (std::int32_t top = 0; top < height; top += bandRows) {
      std::int32_t const bottom = std::min(height, top + bandRows);
      for (const Operation& o : operations) {
        if (o.rect.bottom <= top || o.rect.top >= bottom) continue;
        composite(o, band.get(), top);
      }
    }
  }

 private:
  pixman_image_t* keep(PixmanImage image) { return images.emplace_back(std::move(image)).get(); }

  static void composite(const Operation& o, pixman_image_t* target, std::int32_t top) {
    pixman_image_composite32(o.op, o.source, o.mask, target, 0, 0, 0, 0, o.rect.left, o.rect.top - top,
                             o.rect.right - o.rect.left, o.rect.bottom - o.rect.top);
  }

  std::int32_t width, height;
  PixmanImage frame;
  PixmanImage band;
  std::int32_t bandImageRows = -1;
  std::vector<PixmanImage> images;
  std::vector<Operation> operations;
};

}  // namespace

std::unique_ptr<PixmanFrame> makePixmanFrame(std::span<const DrawRecord> records, std::int32_t width,
                                             std::int32_t height) {
  return std::make_unique<PixmanFrameImpl>(records, width, height);
}

}  // namespace zelvor::bench
