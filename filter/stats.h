// The --stats report: pages, rows and dots before and after thinning per
// plane, from the dot totals the plug-in leaves in the context.
#pragma once

#include <string>

#include "DotTotals.h"
#include "filter_options.h"

namespace filter {

// Lines of the form
//   pages: 5
//   rows: 14034
//   plane K: 1200 -> 900 dots, 25.0% saved
//   total: 5000 -> 3750 dots, 25.0% saved
std::string formatStats(const plugin::DotTotals& totals, Maker maker);

// Percent of dots removed, 0 when there were none.
double savedPercent(uint64_t before, uint64_t after);

}  // namespace filter
