// Which kernel table the drawing operations use. Chosen once, on first use,
// by whichever thread draws first; the choice is a thread-safe local static
// and read-only afterwards. Also hands out the AVX2 table, so that nothing
// compiled with AVX2 runs before the processor has been asked.
#include "pixels/kernel_tables.h"

namespace zelvor::pixels {

// Defined, constant-initialised, in kernels_avx2.cpp.
extern const KernelTable avx2Kernels;

const KernelTable& avx2KernelTable() { return avx2Kernels; }

bool avx2Supported() {
  // The builtin also checks that the operating system saves the 256-bit
  // registers (XGETBV), not only the processor's feature bit. Initialising
  // first makes it safe even from another file's static initialiser.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

const KernelTable& activeKernelTable() {
  // SSE2 is part of x86-64 itself, the baseline.
  static const KernelTable& chosen = avx2Supported() ? avx2KernelTable() : sse2KernelTable();
  return chosen;
}

}  // namespace zelvor::pixels
