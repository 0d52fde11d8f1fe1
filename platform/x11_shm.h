// One window's MIT-SHM path to the X server: a shared segment attached to the
// presentation connection, into which each copy's rows are written and from
// which the server reads them, so the pixels never travel through the
// socket. Private to the x11_* files.
//
// Every member function, the destructor included, runs with the presentation
// connection's mutex held (the window's drawMutex is held as well for puts
// and destruction). Completion events for the window arrive on that
// connection and are read there, under the same mutex.
#pragma once

#include "platform/gdi_blit.h"
#include "platform/x11_connection.h"
#include "platform/x11_shm_ring.h"

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstddef>
#include <memory>

namespace zelvor::platform {

class X11SharedImages {
 public:
  // A segment of `capacity` bytes shared with the server for copies to
  // `window`; null when the server lacks MIT-SHM, refuses the attach (a
  // remote display, another IPC namespace) or no segment can be had. The
  // segment is already marked for removal, so a crash leaks nothing.
  static std::unique_ptr<X11SharedImages> attach(X11Connections& x11, ::Window window, std::size_t capacity);

  // Waits until the server is done with the segment, detaches it on both
  // sides and drops the window's completion events.
  ~X11SharedImages();
  X11SharedImages(const X11SharedImages&) = delete;
  X11SharedImages& operator=(const X11SharedImages&) = delete;

  // Puts the planned rows on the window through the segment and flushes;
  // returns the rows put. The caller's bitmap may be reused at once.
  int put(GC gc, const DibCopy& copy, const void* bits);

 private:
  struct Segment;
  X11SharedImages(X11Connections& x11, ::Window window, std::unique_ptr<Segment> segment, std::size_t capacity);

  // Offset of `size` bytes the server is no longer reading; waits for it
  // when the ring is full.
  std::size_t reserve(std::size_t size);
  // Retires the runs whose completion events have arrived; never blocks.
  void collectCompletions();

  X11Connections& x11_;
  ::Window window_;
  int completionType_;
  std::unique_ptr<Segment> segment_;
  ShmRing ring_;
};

}  // namespace zelvor::platform
