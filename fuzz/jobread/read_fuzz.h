// What both job readers' fuzz targets check of a read job: every page has a
// position for each row, and every plane row's dots are counted, so a row
// longer than its data would be a sanitizer report.
#pragma once

#include <cstdint>

#include "raster_job.h"

namespace read_fuzz {

inline int checkJob(const jobread::Job& job) {
  uint64_t dots = 0;
  for (const jobread::Page& page : job.pages) {
    if (page.rowY.size() != page.rows.size()) __builtin_trap();
    for (const auto& row : page.rows)
      for (const jobread::PlaneRow& plane : row) dots += jobread::countDots(plane);
  }
  return dots == UINT64_MAX;
}

}  // namespace read_fuzz
