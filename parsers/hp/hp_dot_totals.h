// Dot totals the HP plug-in keeps inside the ParserContext working area, so a
// host that owns the context (the Linux filter) can read them after the parse
// thread has finished. The monitor never reads them; the area is cleared at
// the start of every job.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ParserContext.h"

namespace hp {

constexpr int kMaxPlanes = 10;

struct DotTotals {
  uint64_t before[kMaxPlanes];  // dots per plane index before thinning
  uint64_t after[kMaxPlanes];   // and after
  uint32_t pages;               // raster pages opened
  uint32_t rows;                // printer rows completed
  uint32_t blackPlanes;         // planes of the last page counted as black
  uint32_t planes;              // planes per row of the last page
};

// Byte offset of the totals in the context: past the calibration flag, well
// before the keep percentages, on both word sizes.
constexpr size_t kDotTotalsOffset = 64;
static_assert(kDotTotalsOffset > offsetof(ParserContext, calibrationFlag), "totals placement");
static_assert(kDotTotalsOffset + sizeof(DotTotals) <= offsetof(ParserContext, blackKeepPercent),
              "totals placement");

inline DotTotals* dotTotals(ParserContext* context) {
  return reinterpret_cast<DotTotals*>(reinterpret_cast<uint8_t*>(context) + kDotTotalsOffset);
}

}  // namespace hp
