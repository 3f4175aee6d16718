// VaskUtil: the stream utilities between the language monitor and a parser
// plug-in. The input pipe carries the raw job from the monitor's WritePort to
// the parse thread; the output buffer collects the rewritten job and hands it
// downstream in blocks, retrying transient printer errors. The raster codecs
// (mode 2 PackBits, mode 9 delta rows) and dot counting are shared by the
// plug-ins. Plain C exports; handles are opaque.
#pragma once

#include <stdint.h>

#if defined(_WIN32)
#define CORVANTA_WINAPI __stdcall
#else
#define CORVANTA_WINAPI
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Input pipe signature and the write result of a pipe that stayed full for
// 15 s. A write waits for memory the way it waits for room: when its bytes
// still cannot be stored after 15 s it returns kInBufferFull too, nothing was
// stored and the caller tries again. Every entry point refuses a
// null, foreign or terminated handle (read, get and peek return -1).
enum { kInBufferSignature = 1776, kInBufferFull = -1776 };
enum { kInBufferCapacity = 131072 };

void* InBuffer_initialize(void);
int32_t InBuffer_writebytes(void* handle, const uint8_t* bytes, int32_t count);
int InBuffer_putc(int character, void* handle);
int32_t InBuffer_readbytes(void* handle, uint8_t* destination, int32_t count);
int InBuffer_getc(void* handle);
int InBuffer_peekc(void* handle);
int InBuffer_ungetc(int character, void* handle);
int InBuffer_NoData(void* handle);
void InBuffer_threadDone(void* handle);
void InBuffer_terminate(void* handle);

// Output buffer. The write function has the shape of the spooler's WritePort
// with the creator's context in place of the port handle.
enum { kOutBufferSignature = 1492, kOutBufferMinimumBlock = 4096, kOutBufferMaxWrite = 32767 };
typedef int(CORVANTA_WINAPI* OutBufferWriteFunction)(void* context, const uint8_t* bytes, uint32_t count,
                                                      uint32_t* accepted);

// OutBuffer_writebytes refuses, whole and with ERROR_INVALID_PARAMETER (87), a
// write made before OutBuffer_setBufferSize or one of more than
// kOutBufferMaxWrite bytes (or a negative count); lastError is not changed.
void* OutBuffer_initialize(OutBufferWriteFunction writeFunction, void* context);
void OutBuffer_setBufferSize(void* handle, uint32_t size);
uint16_t OutBuffer_GetBufferSize(void* handle);
int32_t OutBuffer_writebytes(void* handle, const uint8_t* bytes, int32_t count);
int OutBuffer_putc(int character, void* handle);
int OutBufferFlush(void* handle, int stopOnError, uint32_t* errorOut);
void OutBufferSetSaveState(void* handle, int state);
void OutBuffer_CommandSendPrep(void* handle);
void OutBuffer_CommandSendDone(void* handle);
uint32_t OutBuffer_GetLastError(void* handle);
void OutBuffer_CancelPrint(void* handle);
OutBufferWriteFunction OutBuffer_GetWriteFunctionPtr(void* handle);
void OutBuffer_terminate(void* handle, int stopOnError);

// Raster codecs. decodePlaneToTable and decompressMode9 are the exported
// three-argument forms: they write as far as the row demands, into a
// destination the caller sized. The Bounded forms take the destination's
// capacity and cut a row that would run past it; our plug-ins use those.
// CompressMode2's destination must hold 2*ceil(Z/128) + R + ceil(R/128) bytes
// (see its definition).
int32_t decodePlaneToTable(const uint8_t* source, int32_t sourceLength, uint8_t* destination);
int32_t decompressMode9(const uint8_t* source, int32_t sourceLength, uint8_t* seedRow);
int32_t decodePlaneToTableBounded(const uint8_t* source, int32_t sourceLength, uint8_t* destination,
                                  int32_t destinationCapacity);
int32_t decompressMode9Bounded(const uint8_t* source, int32_t sourceLength, uint8_t* seedRow, int32_t seedCapacity);
int32_t CompressMode2(const uint8_t* row, int32_t start, int32_t end, uint8_t* destination, int32_t skipBlank);

// Dot counting.
int32_t CountDotsInPlane(const uint8_t* row, int32_t byteCount);
double getPercentage(int32_t dotsBefore, int32_t dotsAfter);

#ifdef __cplusplus
}
#endif
