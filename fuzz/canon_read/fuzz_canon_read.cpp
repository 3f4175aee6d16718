// readCanonJob over arbitrary bytes: every row is counted and every byte of
// the job is either row data or kept in `other`.
#include <cstddef>
#include <cstdint>
#include <string>

#include "raster_job.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const jobread::Job job = jobread::readCanonJob(std::string(reinterpret_cast<const char*>(data), size));
  if (job.other.size() > size) __builtin_trap();
  uint64_t dots = 0;
  for (const jobread::Page& page : job.pages) {
    if (page.rowY.size() != page.rows.size()) __builtin_trap();
    for (const auto& row : page.rows)
      for (const jobread::PlaneRow& plane : row) dots += jobread::countDots(plane);
  }
  return dots == UINT64_MAX;
}
