// readCanonJob over arbitrary bytes; besides the rows, every byte of the job
// is either row data or kept in `other`.
#include <cstddef>
#include <cstdint>
#include <string>

#include "read_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const jobread::Job job = jobread::readCanonJob(std::string(reinterpret_cast<const char*>(data), size));
  if (job.other.size() > size) __builtin_trap();
  return read_fuzz::checkJob(job);
}
