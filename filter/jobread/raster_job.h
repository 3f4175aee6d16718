// An independent reader of the printer jobs the plug-ins rewrite: it splits a
// job into its raster rows (decoded to plain dots) and every other byte. The
// filter's --stats and --preview and the whole-job tests use it to compare a
// job before and after thinning without trusting the plug-in's own decoding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jobread {

using Bytes = std::string;

// One plane (HP) or colour row (Canon) of one printer row, decoded.
struct PlaneRow {
  char ink = 'K';           // 'K','C','M','Y', light inks 'c','m','k'; 'R' for 24-bit RGB pixel rows;
                            // '?' for a plane the job's configuration does not name
  uint8_t bitsPerPixel = 1; // 1: 8 dots per byte, MSB leftmost; 2 or 4: multi-level; 24: RGB pixels
  Bytes data;               // plain row; trailing zero bytes (RGB: white pixels) may be missing
};

struct Page {
  int xDpi = 0, yDpi = 0;     // resolution of the finest plane, 0 when the job does not say
  std::vector<std::vector<PlaneRow>> rows;  // printer rows, each with its planes in stream order
  std::vector<int> rowY;      // vertical position of each printer row in rows of the page (Y offsets/skips included)
};

struct Job {
  std::vector<Page> pages;
  // Every byte of the job outside the row commands' byte counts and data, in
  // order. Numbers of the commands a plug-in rewrites are normalised the way
  // the plug-ins write them (canonical decimal; HP: every parameter group
  // written as a sequence of its own, row transfers and compression-mode
  // groups left out), so a job and its rewrite compare equal.
  Bytes other;
  bool truncated = false;     // a row ran past the end of the job or would not decode
};

Job readHpJob(const Bytes& job);
Job readCanonJob(const Bytes& job);

// Set dots (pixels with a non-zero level; for RGB pixels, non-white) of a row.
uint64_t countDots(const PlaneRow& row);

}  // namespace jobread
