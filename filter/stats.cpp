#include "stats.h"

#include <cstdio>

namespace filter {
namespace {

// The Canon plug-in counts its planes in this order.
constexpr const char* kCanonPlanes[] = {"K", "Y", "M", "C", "y (light)", "m (light)", "c (light)"};

std::string planeName(int index, const plugin::DotTotals& totals, Maker maker) {
  if (maker == Maker::Canon && index < static_cast<int>(std::size(kCanonPlanes))) return kCanonPlanes[index];
  const bool black = static_cast<uint32_t>(index) < totals.blackPlanes;
  return std::to_string(index + 1) + (black ? " (black)" : " (colour)");
}

std::string dotsLine(const std::string& label, uint64_t before, uint64_t after) {
  char line[160];
  std::snprintf(line, sizeof line, "%s: %llu -> %llu dots, %.1f%% saved\n", label.c_str(),
                static_cast<unsigned long long>(before), static_cast<unsigned long long>(after),
                savedPercent(before, after));
  return line;
}

}  // namespace

double savedPercent(uint64_t before, uint64_t after) {
  if (before == 0 || after >= before) return 0.0;
  return 100.0 * static_cast<double>(before - after) / static_cast<double>(before);
}

std::string formatStats(const plugin::DotTotals& totals, Maker maker) {
  std::string text = "pages: " + std::to_string(totals.pages) + "\nrows: " + std::to_string(totals.rows) + "\n";
  uint64_t before = 0, after = 0;
  for (int i = 0; i < plugin::kMaxPlanes; ++i) {
    if (totals.before[i] == 0 && totals.after[i] == 0) continue;
    text += dotsLine("plane " + planeName(i, totals, maker), totals.before[i], totals.after[i]);
    before += totals.before[i];
    after += totals.after[i];
  }
  return text + dotsLine("total", before, after);
}

}  // namespace filter
