// Copy plug-in: a parser plug-in that passes its input through unchanged, so
// monitor tests can check every byte of a filtered job. It keeps what the
// monitor handed it for the tests to read back.
#include <windows.h>

#include <cstring>

#include "ParserContext.h"
#include "VaskUtil.h"
#include "spooler_standins.h"

namespace {

spooler::PluginStats g_stats;

void copyOut(void* output, const uint8_t* bytes, int32_t count) {
  while (count > 0) {
    const int32_t chunk = count > kOutBufferMaxWrite ? kOutBufferMaxWrite : count;
    OutBuffer_writebytes(output, bytes, chunk);
    bytes += chunk;
    count -= chunk;
  }
}

}  // namespace

extern "C" {

void CORVANTA_CDECL parseFile(void* record) {
  auto* context = static_cast<ParserContext*>(record);
  clearParserWorkArea(context);
  g_stats.calibrationFlag = context->calibrationFlag;
  g_stats.blackKeepPercent = context->blackKeepPercent;
  g_stats.colorKeepPercent = context->colorKeepPercent;
  lstrcpynA(g_stats.printerName, context->printerName ? context->printerName : "", sizeof(g_stats.printerName));
  InterlockedIncrement(&g_stats.jobs);

  static thread_local uint8_t block[16384];
  for (;;) {
    if (InBuffer_readbytes(context->inputPipe, block, sizeof(block)) == static_cast<int32_t>(sizeof(block))) {
      copyOut(context->outputBuffer, block, sizeof(block));
      continue;
    }
    // Fewer bytes than a block are left, or the input ended: take them one by one.
    int c = InBuffer_getc(context->inputPipe);
    if (c < 0) break;
    OutBuffer_putc(c, context->outputBuffer);
  }
  InBuffer_threadDone(context->inputPipe);
}

const spooler::PluginStats* CopyPluginStats(void) { return &g_stats; }

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) InterlockedIncrement(&g_stats.loads);
  return TRUE;
}

}  // extern "C"
