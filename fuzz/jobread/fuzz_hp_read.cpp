// readHpJob over arbitrary bytes; every decoded row is counted, so a row
// longer than its data would be a sanitizer report.
#include <cstddef>
#include <cstdint>
#include <string>

#include "raster_job.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const jobread::Job job = jobread::readHpJob(std::string(reinterpret_cast<const char*>(data), size));
  uint64_t dots = 0;
  for (const jobread::Page& page : job.pages) {
    if (page.rowY.size() != page.rows.size()) __builtin_trap();
    for (const auto& row : page.rows)
      for (const jobread::PlaneRow& plane : row) dots += jobread::countDots(plane);
  }
  return dots == UINT64_MAX;
}
