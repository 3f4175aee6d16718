#include "canon_harness.h"

namespace canon_test {

plugin_test::PluginJobResult runJobWithTotals(const Bytes& job, const JobOptions& options) {
  plugin_test::PluginJobOptions run;
  run.calibrationFlag = options.calibrationFlag;
  run.blackKeep = options.blackKeep;
  run.colorKeep = options.colorKeep;
  run.printerName = options.printerName;
  return plugin_test::runParseFile(parseFile, job.data(), job.size(), run);
}

Bytes runJob(const Bytes& job, const JobOptions& options) {
  const std::string output = runJobWithTotals(job, options).output;
  return Bytes(output.begin(), output.end());
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes cmd(char letter, const Bytes& payload) {
  Bytes out{0x1B, '(', static_cast<uint8_t>(letter), static_cast<uint8_t>(payload.size() & 0xFF),
            static_cast<uint8_t>(payload.size() >> 8)};
  return out + payload;
}
Bytes row(uint8_t colour, const Bytes& packbits) { return cmd('A', Bytes{colour} + packbits); }
Bytes band(const Bytes& rowsWithEnds) { return cmd('F', rowsWithEnds); }
Bytes resolution(uint16_t vertical, uint16_t horizontal) {
  return cmd('d', {static_cast<uint8_t>(vertical >> 8), static_cast<uint8_t>(vertical & 0xFF),
                   static_cast<uint8_t>(horizontal >> 8), static_cast<uint8_t>(horizontal & 0xFF)});
}
Bytes skip(uint16_t count) { return cmd('e', {static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count & 0xFF)}); }

}  // namespace canon_test
