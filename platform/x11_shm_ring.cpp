// The byte ring of MIT-SHM copies (see x11_shm_ring.h). Runs in flight occupy
// one circular stretch from the oldest run's offset to the newest run's end;
// when the newest lies below the oldest the stretch has wrapped, and the free
// bytes are the gap between them. The tail left unused by a wrap becomes free
// again once the oldest run passes it.
#include "platform/x11_shm_ring.h"

#include <algorithm>

namespace zelvor::platform {

std::size_t ShmRing::inFlight() const {
  return static_cast<std::size_t>(std::count_if(runs_.begin(), runs_.end(), [](const Run& run) { return !run.done; }));
}

std::optional<std::size_t> ShmRing::reserve(std::size_t size) {
  if (size == 0 || size > capacity_) return std::nullopt;
  const std::size_t rounded = std::min(capacity_, (size + runAlignment - 1) / runAlignment * runAlignment);
  std::optional<std::size_t> offset;
  if (runs_.empty()) {
    offset = 0;
  } else {
    const std::size_t oldest = runs_.front().offset;
    const std::size_t end = runs_.back().offset + runs_.back().size;
    const bool wrapped = runs_.back().offset < oldest;
    if (wrapped) {
      if (oldest - end >= rounded) offset = end;
    } else if (capacity_ - end >= rounded) {
      offset = end;
    } else if (oldest >= rounded) {
      offset = 0;
    }
  }
  if (offset) runs_.push_back(Run{*offset, rounded, false});
  return offset;
}

bool ShmRing::complete(std::size_t offset) {
  const auto found =
      std::find_if(runs_.begin(), runs_.end(), [offset](const Run& run) { return run.offset == offset && !run.done; });
  if (found == runs_.end()) return false;
  found->done = true;
  dropFinishedFront();
  return true;
}

void ShmRing::dropFinishedFront() {
  while (!runs_.empty() && runs_.front().done) runs_.pop_front();
}

}  // namespace zelvor::platform
