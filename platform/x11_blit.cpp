// Copies DIB rows to an X11 window on the presentation connection (see
// x11_window_state.h). Runs on render workers, one at a time per window under
// its drawMutex, all windows serialised by presentMutex.
//
// A window with a shared segment gets its rows written there and put with
// XShmPutImage (x11_shm.cpp). Otherwise XPutImage sends them through the
// socket: when the screen's pixels have the DIB's layout and the rows ascend in
// memory, the caller's bitmap is handed to XPutImage as it stands: an XImage
// over the whole bitmap, of which the server is sent just the planned
// rectangle, so nothing is copied on our side. Descending rows are first
// gathered top row first; other visuals get each pixel converted.
#include "platform/x11_window_state.h"

#include <X11/Xutil.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace zelvor::platform {
namespace {

// An XImage over memory we own or borrow; Xlib only reads it.
XImage describeDibRows(X11Connections& x11, const void* bits, int width, int height, int pitch) {
  XImage image{};
  image.width = width;
  image.height = height;
  image.format = ZPixmap;
  image.data = static_cast<char*>(const_cast<void*>(bits));
  image.byte_order = LSBFirst;  // 0x??RRGGBB words, blue byte first in memory
  image.bitmap_unit = 32;
  image.bitmap_bit_order = LSBFirst;
  image.bitmap_pad = 32;
  image.depth = x11.depth;
  image.bytes_per_line = pitch;
  image.bits_per_pixel = 32;
  image.red_mask = 0xFF0000;
  image.green_mask = 0xFF00;
  image.blue_mask = 0xFF;
  XInitImage(&image);
  return image;
}

// One colour channel of 0x??RRGGBB scaled into a visual's mask.
unsigned long channelInto(std::uint32_t value, unsigned long mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const unsigned long maximum = mask >> shift;
  return ((static_cast<unsigned long>(value) * maximum + 127) / 255) << shift;
}

struct ImageDestroyer {
  void operator()(XImage* image) const { XDestroyImage(image); }
};

}  // namespace

bool x11SharedMemoryWanted() {
  const char* const refused = std::getenv("ZELVOR_X11_NO_SHM");
  return refused == nullptr || refused[0] == '\0' || std::strcmp(refused, "0") == 0;
}

int x11CopyDib(X11WindowState& window, const DibCopy& copy, const void* bits) {
  if (copy.rows == 0 || window.id == 0) return 0;
  X11Connections& x11 = *window.connections;
  const std::lock_guard lock(x11.presentMutex);
  if (window.shm) return window.shm->put(window.gc, copy, bits);
  Display* const display = x11.present;

  if (x11.dibLayout && copy.sourceRowStep > 0) {
    XImage image = describeDibRows(x11, bits, copy.bitmapWidth, copy.bitmapHeight, static_cast<int>(copy.sourcePitch));
    XPutImage(display, window.id, window.gc, &image, copy.sourceX, copy.firstSourceRow, copy.destX, copy.destY,
              static_cast<unsigned>(copy.width), static_cast<unsigned>(copy.rows));
  } else if (x11.dibLayout) {
    window.rows.resize(static_cast<std::size_t>(copy.width) * copy.rows);
    for (int k = 0; k < copy.rows; ++k) {
      std::memcpy(window.rows.data() + static_cast<std::size_t>(k) * copy.width, copy.sourceRow(bits, k),
                  static_cast<std::size_t>(copy.width) * 4);
    }
    XImage image = describeDibRows(x11, window.rows.data(), copy.width, copy.rows, copy.width * 4);
    XPutImage(display, window.id, window.gc, &image, 0, 0, copy.destX, copy.destY, static_cast<unsigned>(copy.width),
              static_cast<unsigned>(copy.rows));
  } else {
    // Any other TrueColor layout: let Xlib lay out the server's format and
    // place each converted pixel in it.
    std::unique_ptr<XImage, ImageDestroyer> image(XCreateImage(display, x11.visual, static_cast<unsigned>(x11.depth),
                                                               ZPixmap, 0, nullptr, static_cast<unsigned>(copy.width),
                                                               static_cast<unsigned>(copy.rows), 32, 0));
    if (!image) return 0;
    image->data = static_cast<char*>(std::calloc(static_cast<std::size_t>(image->bytes_per_line), copy.rows));
    if (image->data == nullptr) return 0;
    const Visual& visual = *x11.visual;
    for (int k = 0; k < copy.rows; ++k) {
      const std::uint32_t* source = copy.sourceRow(bits, k);
      for (int j = 0; j < copy.width; ++j) {
        const std::uint32_t pixel = source[j];
        XPutPixel(image.get(), j, k,
                  channelInto(pixel >> 16 & 0xFF, visual.red_mask) | channelInto(pixel >> 8 & 0xFF, visual.green_mask) |
                      channelInto(pixel & 0xFF, visual.blue_mask));
      }
    }
    XPutImage(display, window.id, window.gc, image.get(), 0, 0, copy.destX, copy.destY,
              static_cast<unsigned>(copy.width), static_cast<unsigned>(copy.rows));
  }
  // Flush rather than sync: the copy is on its way, and a worker never waits
  // for a round trip to the server.
  XFlush(display);
  return copy.rows;
}

}  // namespace zelvor::platform
