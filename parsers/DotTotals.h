// Dot totals a parser plug-in keeps inside the ParserContext working area, so
// a host that owns the context (the Linux filter, tests) can read them after
// the parse thread has finished. The monitor never reads them; parseFile
// clears the area at the start of every job. Both plug-ins fill them:
//   pages        raster pages opened
//   rows         HP: printer rows completed (ESC*b...W); Canon: raster rows
//                the pages advanced, skipped blank rows included
//   before/after dots per plane index before and after thinning (HP: plane
//                or component of the row; Canon: K, Y, M, C, y, m, c)
//   planes       planes per row of the last page; the first blackPlanes of
//                them are black
#pragma once

#include <cstddef>
#include <cstdint>

#include "ParserContext.h"

namespace plugin {

constexpr int kMaxPlanes = 10;

struct DotTotals {
  uint64_t before[kMaxPlanes];
  uint64_t after[kMaxPlanes];
  uint32_t pages;
  uint32_t rows;
  uint32_t blackPlanes;
  uint32_t planes;
};

// Byte offset of the totals in the context: past the calibration flag, well
// before the keep percentages, on both word sizes. Neither plug-in keeps any
// other state in the working area.
constexpr size_t kDotTotalsOffset = 64;
static_assert(kDotTotalsOffset > offsetof(ParserContext, calibrationFlag), "totals placement");
static_assert(kDotTotalsOffset % alignof(DotTotals) == 0, "totals placement");
static_assert(kDotTotalsOffset + sizeof(DotTotals) <= offsetof(ParserContext, blackKeepPercent),
              "totals placement");

inline DotTotals* dotTotals(ParserContext* context) {
  return reinterpret_cast<DotTotals*>(reinterpret_cast<uint8_t*>(context) + kDotTotalsOffset);
}

}  // namespace plugin
