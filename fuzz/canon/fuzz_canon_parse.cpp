// parseFile of the Canon plug-in over arbitrary bytes.
#include "canon_parser.h"
#include "plugin_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return plugin_fuzz::runOnce(parseFile, canon::setReductionOverride, data, size);
}
