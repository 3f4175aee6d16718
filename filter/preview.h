// Before/after pictures of a job's pages: each page is read with the job
// reader, its planes laid over each other as inks on white paper, scaled down
// to at most kPreviewMaxWidth pixels across (each picture pixel shows the ink
// coverage of the dots it stands for) and written as an RGB PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "filter_options.h"
#include "raster_job.h"

namespace filter {

constexpr int kPreviewMaxWidth = 1000;
constexpr int kPreviewMaxHeight = 4000;

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // width * height * 3
};

// The picture of a page, sized to fit `other` too when given (the same page
// before or after thinning). Empty for a page without rows.
Picture renderPage(const jobread::Page& page, const jobread::Page* other = nullptr);

// Writes DIR/page-NNN-before.png and DIR/page-NNN-after.png for every page of
// the two jobs (DIR is created if missing). False with `error` set when a file
// cannot be written; `pages` counts the pages written.
bool writePreviews(const std::string& dir, Maker maker, const std::string& before, const std::string& after, int& pages,
                   std::string& error);

// Creates dir and its parents; false with `error` set.
bool makeDirectories(const std::string& dir, std::string& error);

}  // namespace filter
