#include "plugin_harness.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "VaskUtil.h"

namespace plugin_test {
namespace {

struct Sink {
  PluginJobResult* result;
  bool keep;
};

int CORVANTA_WINAPI collect(void* context, const uint8_t* bytes, uint32_t count, uint32_t* accepted) {
  auto* sink = static_cast<Sink*>(context);
  if (sink->keep) sink->result->output.append(reinterpret_cast<const char*>(bytes), count);
  sink->result->outputBytes += count;
  *accepted = count;
  return 1;
}

}  // namespace

PluginJobResult runParseFile(ParseFileFunction parseFile, const uint8_t* job, size_t size,
                             const PluginJobOptions& options) {
  PluginJobResult result;
  Sink sink{&result, options.keepOutput};
  std::vector<char> name(kPrinterNameBufferSize, 0);
  options.printerName.copy(name.data(), name.size() - 1);
  ParserContext context{};
  context.inputPipe = InBuffer_initialize();
  context.outputBuffer = OutBuffer_initialize(collect, &sink);
  OutBuffer_setBufferSize(context.outputBuffer, options.blockSize);
  context.calibrationFlag = options.calibrationFlag;
  context.blackKeepPercent = options.blackKeep;
  context.colorKeepPercent = options.colorKeep;
  context.printerName = name.data();
  std::thread parser(parseFile, &context);
  // Writes of the monitor's size; a full pipe is tried again.
  size_t at = 0;
  while (at < size) {
    const int32_t part = static_cast<int32_t>(std::min<size_t>(size - at, 16384));
    if (InBuffer_writebytes(context.inputPipe, job + at, part) != kInBufferFull) at += static_cast<size_t>(part);
  }
  InBuffer_terminate(context.inputPipe);
  OutBuffer_terminate(context.outputBuffer, 0);
  parser.join();
  result.totals = *plugin::dotTotals(&context);
  result.blackKeep = context.blackKeepPercent;
  result.colorKeep = context.colorKeepPercent;
  return result;
}

}  // namespace plugin_test
