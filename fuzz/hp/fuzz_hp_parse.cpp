// parseFile of the HP plug-in over arbitrary bytes.
#include "hp_parser.h"
#include "plugin_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return plugin_fuzz::runOnce(parseFile, hp::setReductionOverride, data, size);
}
