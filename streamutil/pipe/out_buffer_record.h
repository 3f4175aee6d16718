// The output buffer's record, in the field order its handle has always had.
// lastError, saveState and writeFunction are read or cleared from other
// threads without the lock, so they are atomics of the plain fields' size.
#pragma once

#include <atomic>
#include <cstdint>

#include "VaskUtil.h"
#include "platform.h"

namespace vaskutil {

struct OutBuffer {
  uint32_t fill;  // bytes waiting in the block
  uint32_t signature;
  uint8_t* block;  // allocated once by OutBuffer_setBufferSize
  uint32_t blockSize;
  uint32_t delivered;  // bytes handed over, or discarded after a cancel
  std::atomic<uint32_t> lastError;
  std::atomic<uint32_t> saveState;
  void* context;  // first argument of the write function
  std::atomic<OutBufferWriteFunction> writeFunction;  // null once cancelled
  platform::Lock* lock;  // held by every write for its whole delivery
};

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t), "32-bit fields keep their size");
static_assert(sizeof(std::atomic<OutBufferWriteFunction>) == sizeof(OutBufferWriteFunction),
              "the write function stays pointer-sized");
// The record behind a live handle; nullptr for any other value.
OutBuffer* outBufferRecord(void* handle);

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(OutBuffer) == 40, "i686 layout of the output buffer record");
#endif

}  // namespace vaskutil
