// tablesUnderTest: see tables_under_test.h.
#include "tables_under_test.h"

namespace pixeltest {

std::vector<TableUnderTest> tablesUnderTest() {
  using namespace zelvor::pixels;
  return {{"narrow", &narrowKernelTable(), {1}},
          {"sse2", &sse2KernelTable(), {1, 4, 8}},
          {"avx2", avx2Supported() ? &avx2KernelTable() : nullptr, {1, 4, 8, 16}}};
}

}  // namespace pixeltest
