// The demo's report: OUTDIR/index.html, a page people open in a browser. It
// shows the table of jobs and what each saved, and for each job its pages
// before and after thinning side by side with an enlarged crop of the part
// where thinning changed the most. It reads what the demo leaves in OUTDIR:
// jobs.tsv and the preview pictures preview/<job>/page-NNN-{before,after}.png.
// Every link in the page is relative, so the folder can be moved or copied.
#pragma once

#include <string>
#include <vector>

namespace filter {

// One line of jobs.tsv, tab-separated in this order. For a failed job `pages`
// to `saved` are empty and `detail` holds the error.
struct DemoJob {
  std::string name;
  std::string status;  // "ok" or "failed"
  std::string pages, before, after, saved;
  std::string detail;  // "plane K: ... saved" lines joined with "; ", or the error
};

// A square of a page picture, in picture pixels.
struct Crop {
  int x = 0, y = 0, size = 0;
};

constexpr int kCropSize = 64;   // picture pixels
constexpr int kCropZoom = 4;    // shown 4 times enlarged

std::vector<DemoJob> readDemoJobs(const std::string& tsvPath, std::string& error);

// The crop of the two pictures (RGB, same size) where the after picture is
// lighter than the before picture by the most; where nothing changed, the
// darkest part of the before picture.
Crop pickCrop(int width, int height, const std::vector<unsigned char>& before, const std::vector<unsigned char>& after);

// Writes OUTDIR/index.html; false with `error` set.
bool writeDemoReport(const std::string& outDir, std::string& error);

}  // namespace filter
