// The narrow-only kernel table: every pixel through the plain integer step.
// It is the reference the wide tables are tested against and the fallback
// for processors without a wide path. Immutable: any thread.
#include "pixels/kernel_templates.h"

namespace zelvor::pixels {

const KernelTable& narrowKernelTable() {
  static constexpr KernelTable table = makeKernelTable<NarrowPath>("narrow");
  return table;
}

}  // namespace zelvor::pixels
