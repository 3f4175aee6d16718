// The input pipe's record, in the field order its handle has always had.
// readerState and writerState are written by one side and polled by the other
// without the lock, so they are atomics of the same size as the plain fields.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform.h"

namespace vaskutil {

enum ReaderState : int32_t { kReaderIdle = 0, kReaderEndSeen = 4, kReaderWaiting = 5, kReaderFinished = 6 };
enum WriterState : int32_t { kWriterIdle = 0, kWriterWriting = 2, kWriterEnded = 3 };

struct InBuffer {
  uint8_t* data;  // one heap block with the buffered bytes; null when empty
  int32_t end;    // bytes in the block
  int32_t pos;    // read position; the unread bytes are pos..end
  uint32_t signature;
  std::atomic<int32_t> readerState;
  std::atomic<int32_t> writerState;
  platform::Lock* lock;  // guards data, end and pos
};

static_assert(sizeof(std::atomic<int32_t>) == sizeof(int32_t), "state fields keep their 32-bit size");
static_assert(std::atomic<int32_t>::is_always_lock_free, "state fields are polled lock-free");
// The record behind a live handle; nullptr for any other value.
InBuffer* inBufferRecord(void* handle);

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(InBuffer) == 28, "i686 layout of the input pipe record");
#endif

}  // namespace vaskutil
