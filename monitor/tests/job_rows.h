// A small independent reader for the whole-job tests: it splits an HP PCL or a
// Canon raster job into its raster rows, decoded to plain dots, and every
// other byte, so a job and its thinned rewrite can be compared without
// trusting the plug-ins' own decoders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace job_rows {

using Bytes = std::string;

struct Row {
  char ink;    // 'K' for black planes/colours, else the colour letter (HP: 'C' for every colour plane)
  Bytes dots;  // plain row, 8 dots per byte, trailing zero bytes removed
};

struct Job {
  // Every byte outside the rows' byte counts and data, in order. HP numbers
  // are written in canonical decimal (a missing value as 0), with ESC*r zero
  // values and compression-mode values left out: the forms the HP plug-in
  // writes back.
  Bytes other;
  std::vector<Row> rows;
  bool truncated = false;  // a row ran past the end of the job or used an unknown mode
};

Job readHp(const Bytes& job);
Job readCanon(const Bytes& job);

uint64_t dots(const Bytes& row);
// Whether every dot of `after` is a dot of `before`.
bool onlyRemoved(const Bytes& before, const Bytes& after);

}  // namespace job_rows
