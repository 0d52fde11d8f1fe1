// Which bytes of a window's shared-memory segment the X server may still be
// reading: the bookkeeping of the byte ring that MIT-SHM copies go through.
// Pure arithmetic, no Xlib, so it is tested on its own. Not thread-safe: the
// owning X11SharedImages uses it under the presentation connection's mutex.
//
// Each put reserves one contiguous run of bytes, which stays in flight until
// the server reports that put done (or the caller learns it is done with all
// of them). Runs are handed out in order round the segment; a run never
// overlaps one still in flight, so a row is never overwritten while the
// server may still read it.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>

namespace zelvor::platform {

class ShmRing {
 public:
  // Runs start on 64-byte boundaries: a cache line of their own, and the
  // 4-byte alignment that 32-bit pixels need.
  static constexpr std::size_t runAlignment = 64;

  explicit ShmRing(std::size_t capacity) : capacity_(capacity) {}

  std::size_t capacity() const { return capacity_; }
  // Puts not yet reported done.
  std::size_t inFlight() const;

  // The offset of `size` (> 0) free bytes, now in flight; empty when the
  // runs in flight leave no such room (never while nothing is in flight, if
  // size <= capacity).
  std::optional<std::size_t> reserve(std::size_t size);

  // The put whose run starts at `offset` is done; false when no run in
  // flight starts there (the report is then ignored).
  bool complete(std::size_t offset);

  // Every put so far is done (the server has processed all of them).
  void completeAll() { runs_.clear(); }

 private:
  struct Run {
    std::size_t offset;
    std::size_t size;
    bool done;
  };

  void dropFinishedFront();

  std::size_t capacity_;
  std::deque<Run> runs_;  // in reservation order; the front is never done
};

}  // namespace zelvor::platform
