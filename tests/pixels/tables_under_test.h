// The kernel tables every pixel test runs through, by name: the narrow-only
// table, SSE2 and AVX2. A table this processor cannot run comes with a null
// pointer, and the tests skip it, so the same cases are listed on every
// machine. Test thread only.
#pragma once

#include "pixels/kernel_tables.h"

#include <ostream>
#include <string>
#include <vector>

namespace pixeltest {

struct TableUnderTest {
  std::string name;
  const zelvor::pixels::KernelTable* table;  // null where the processor lacks its instructions
  std::vector<int> steps;                    // the widths, in pixels, of the table's steps
};

std::vector<TableUnderTest> tablesUnderTest();

// For GoogleTest's messages.
inline void PrintTo(const TableUnderTest& table, std::ostream* out) { *out << table.name; }

// For GTEST_SKIP when table is null.
inline constexpr const char* missingInstructions = "this processor cannot run the table's instructions";

}  // namespace pixeltest
