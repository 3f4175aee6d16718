// readHpJob over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "read_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return read_fuzz::checkJob(jobread::readHpJob(std::string(reinterpret_cast<const char*>(data), size)));
}
