// Which kernel table the drawing operations use. Chosen once, on first use,
// by whichever thread draws first; the choice is a thread-safe local static
// and read-only afterwards.
#include "pixels/kernel_tables.h"

namespace zelvor::pixels {

const KernelTable& activeKernelTable() {
  // SSE2 is part of x86-64 itself. A wider table, once there is one, is
  // chosen here from the processor's features.
  static const KernelTable& chosen = sse2KernelTable();
  return chosen;
}

}  // namespace zelvor::pixels
