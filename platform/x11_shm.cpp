// MIT-SHM copies to one window (see x11_shm.h). Runs on the render workers
// and on the user-interface thread (attach, destruction), always under the
// presentation connection's mutex.
//
// Reuse of the segment follows the server, not a guess: each put asks for a
// completion event, and a run of the ring is written again only after its
// event has been read, or after an XSync, once the server has processed every
// earlier request (the server copies out of the segment while it processes
// the put, so a processed put no longer reads it). A put the server rejected
// sends no event; the XSync still frees its run.
#include "platform/x11_shm.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstring>

namespace zelvor::platform {

// The client's mapping of the segment; the server's attachment is undone by
// ~X11SharedImages, which alone knows the connection is still usable.
struct X11SharedImages::Segment {
  XShmSegmentInfo info{};

  ~Segment() {
    if (info.shmaddr != nullptr) shmdt(info.shmaddr);
  }
  std::byte* bytes() const { return reinterpret_cast<std::byte*>(info.shmaddr); }
};

namespace {

// A ZPixmap of `rows` rows of 0x??RRGGBB words at `data`, in the segment.
XImage describeSharedRows(X11Connections& x11, XShmSegmentInfo& info, std::byte* data, int width, int rows) {
  XImage image{};
  image.width = width;
  image.height = rows;
  image.format = ZPixmap;
  image.data = reinterpret_cast<char*>(data);
  image.byte_order = LSBFirst;
  image.bitmap_unit = 32;
  image.bitmap_bit_order = LSBFirst;
  image.bitmap_pad = 32;
  image.depth = x11.depth;
  image.bytes_per_line = width * 4;
  image.bits_per_pixel = 32;
  image.red_mask = 0xFF0000;
  image.green_mask = 0xFF00;
  image.blue_mask = 0xFF;
  XInitImage(&image);
  // XShmPutImage finds the segment here and sends data - shmaddr as the
  // offset, which its completion event returns.
  image.obdata = reinterpret_cast<char*>(&info);
  return image;
}

}  // namespace

std::unique_ptr<X11SharedImages> X11SharedImages::attach(X11Connections& x11, ::Window window, std::size_t capacity) {
  Display* const display = x11.present;
  if (XShmQueryExtension(display) == False) return nullptr;

  auto segment = std::make_unique<Segment>();
  segment->info.shmid = shmget(IPC_PRIVATE, capacity, IPC_CREAT | 0600);
  if (segment->info.shmid < 0) return nullptr;
  void* const address = shmat(segment->info.shmid, nullptr, 0);
  if (address == reinterpret_cast<void*>(-1)) {
    shmctl(segment->info.shmid, IPC_RMID, nullptr);
    return nullptr;
  }
  segment->info.shmaddr = static_cast<char*>(address);
  segment->info.readOnly = True;  // the server only reads our rows

  bool attached = false;
  {
    X11ErrorTrap trap(display);
    attached = XShmAttach(display, &segment->info) != False && !trap.caughtError();
  }
  // The server has attached by now (or never will): the segment lives on
  // only while a side keeps it attached.
  shmctl(segment->info.shmid, IPC_RMID, nullptr);
  if (!attached) return nullptr;
  return std::unique_ptr<X11SharedImages>(new X11SharedImages(x11, window, std::move(segment), capacity));
}

X11SharedImages::X11SharedImages(X11Connections& x11, ::Window window, std::unique_ptr<Segment> segment,
                                 std::size_t capacity)
    : x11_(x11),
      window_(window),
      completionType_(XShmGetEventBase(x11.present) + ShmCompletion),
      segment_(std::move(segment)),
      ring_(capacity) {}

X11SharedImages::~X11SharedImages() {
  Display* const display = x11_.present;
  XShmDetach(display, &segment_->info);
  // Every put is processed once this returns, and its event queued, so none
  // is left to name this window later.
  XSync(display, False);
  XEvent event;
  while (XCheckTypedWindowEvent(display, window_, completionType_, &event) != False) {
  }
}

int X11SharedImages::put(GC gc, const DibCopy& copy, const void* bits) {
  Display* const display = x11_.present;
  const std::size_t rowBytes = static_cast<std::size_t>(copy.width) * 4;
  // The segment holds at least one client row (a window is at most 32767
  // pixels wide); larger copies go in chunks of rows.
  const int chunkRows = static_cast<int>(std::min<std::size_t>(copy.rows, ring_.capacity() / rowBytes));
  for (int first = 0; first < copy.rows; first += chunkRows) {
    const int rows = std::min(chunkRows, copy.rows - first);
    const std::size_t offset = reserve(rowBytes * rows);
    std::byte* const target = segment_->bytes() + offset;
    if (copy.sourceRowStep > 0 && copy.sourcePitch == rowBytes) {
      // Whole-width ascending rows are one run in the caller's bitmap too.
      std::memcpy(target, copy.sourceRow(bits, first), rowBytes * rows);
    } else {
      for (int k = 0; k < rows; ++k) std::memcpy(target + rowBytes * k, copy.sourceRow(bits, first + k), rowBytes);
    }
    XImage image = describeSharedRows(x11_, segment_->info, target, copy.width, rows);
    XShmPutImage(display, window_, gc, &image, 0, 0, copy.destX, copy.destY + first, static_cast<unsigned>(copy.width),
                 static_cast<unsigned>(rows), True);
  }
  // Neither sync nor flush: the worker never waits for a round trip unless
  // the ring is full, and the request reaches the server within the
  // connection's flush delay, with the bands presented meanwhile.
  x11_.flushSoon();
  return copy.rows;
}

std::size_t X11SharedImages::reserve(std::size_t size) {
  if (const auto offset = ring_.reserve(size)) return *offset;
  collectCompletions();
  if (const auto offset = ring_.reserve(size)) return *offset;
  // The server is behind (or rejected a put, which sends no event): once
  // XSync returns it has processed every put and its event is queued.
  XSync(x11_.present, False);
  collectCompletions();
  ring_.completeAll();
  return ring_.reserve(size).value_or(0);
}

void X11SharedImages::collectCompletions() {
  XEvent event;
  // Looks through the queue, then reads what has arrived, without blocking.
  while (XCheckTypedWindowEvent(x11_.present, window_, completionType_, &event) != False) {
    ring_.complete(reinterpret_cast<const XShmCompletionEvent&>(event).offset);
  }
}

}  // namespace zelvor::platform
