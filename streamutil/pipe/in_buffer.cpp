// The input pipe: one writer (the monitor's WritePort thread) pushes whole
// spooler buffers, one reader (the parse thread) pulls bytes and waits while
// the pipe is empty. Waiting is polling with short sleeps, never events.
#include <cstring>

#include "VaskUtil.h"
#include "in_buffer_record.h"
#include "platform.h"

namespace vaskutil {
namespace {

constexpr int32_t kFullWaits = 50;         // x 300 ms: 15 s before a write gives up
constexpr uint32_t kFullWaitMs = 300;
constexpr uint32_t kReaderPollMs = 200;
constexpr uint32_t kTerminatePollMs = 1;

// Live pipe handles. A handle is the record's address; every entry point looks
// it up here first, so a null, foreign or terminated handle is refused without
// touching freed memory.
struct Registry {
  platform::Lock* lock = platform::lockCreate();
  InBuffer* live[64] = {};
  InBuffer** extra = nullptr;  // grows when more pipes than that are open
  size_t extraCount = 0;
  size_t extraCapacity = 0;

  // Runs when the library is unloaded or the process exits.
  ~Registry() {
    platform::lockDelete(lock);
    lock = nullptr;
    platform::freeBlock(extra);
    extra = nullptr;
  }
};

Registry& registry() {
  static Registry r;
  return r;
}

bool registryAdd(InBuffer* pipe) {
  Registry& r = registry();
  if (!r.lock) return false;
  platform::LockGuard guard(r.lock);
  for (InBuffer*& slot : r.live) {
    if (!slot) {
      slot = pipe;
      return true;
    }
  }
  if (r.extraCount == r.extraCapacity) {
    size_t capacity = r.extraCapacity ? r.extraCapacity * 2 : 64;
    auto** grown = static_cast<InBuffer**>(platform::allocZeroed(capacity * sizeof(InBuffer*)));
    if (!grown) return false;
    if (r.extra) std::memcpy(grown, r.extra, r.extraCount * sizeof(InBuffer*));
    platform::freeBlock(r.extra);
    r.extra = grown;
    r.extraCapacity = capacity;
  }
  r.extra[r.extraCount++] = pipe;
  return true;
}

void registryRemove(InBuffer* pipe) {
  Registry& r = registry();
  pipe->signature = 0;
  if (!r.lock) return;
  platform::LockGuard guard(r.lock);
  for (InBuffer*& slot : r.live) {
    if (slot == pipe) {
      slot = nullptr;
      return;
    }
  }
  for (size_t i = 0; i < r.extraCount; ++i) {
    if (r.extra[i] == pipe) {
      r.extra[i] = r.extra[--r.extraCount];
      return;
    }
  }
}

InBuffer* livePipe(void* handle) {
  if (!handle) return nullptr;
  Registry& r = registry();
  if (!r.lock) return nullptr;
  auto* pipe = static_cast<InBuffer*>(handle);
  platform::LockGuard guard(r.lock);
  for (InBuffer* slot : r.live) {
    if (slot == pipe) return pipe->signature == kInBufferSignature ? pipe : nullptr;
  }
  for (size_t i = 0; i < r.extraCount; ++i) {
    if (r.extra[i] == pipe) return pipe->signature == kInBufferSignature ? pipe : nullptr;
  }
  return nullptr;
}

// A write wakes a waiting reader. Only the waiting state is cleared, so a write
// can never undo "end seen" or "finished" and strand a terminate.
void wakeReader(InBuffer* pipe) {
  int32_t waiting = kReaderWaiting;
  pipe->readerState.compare_exchange_strong(waiting, kReaderIdle);
}

void releaseBlock(InBuffer* pipe) {
  platform::freeBlock(pipe->data);
  pipe->data = nullptr;
  pipe->pos = 0;
  pipe->end = 0;
}

// Copies count bytes to destination once that many are unread (consuming them
// when consume is set). -1 once the input has ended with fewer unread. The
// lock is taken once per attempt; the writer holds it for its whole store, so
// no read starts in the middle of a write.
int32_t readFromPipe(InBuffer* pipe, uint8_t* destination, int32_t count, bool consume) {
  for (;;) {
    {
      platform::LockGuard guard(pipe->lock);
      if (pipe->end - pipe->pos >= count) {
        std::memcpy(destination, pipe->data + pipe->pos, static_cast<size_t>(count));
        if (consume) {
          pipe->pos += count;
          if (pipe->pos == pipe->end) releaseBlock(pipe);
        }
        wakeReader(pipe);
        return count;
      }
      if (pipe->writerState.load() == kWriterEnded) {
        pipe->readerState = kReaderEndSeen;
        return -1;
      }
      // Set under the lock: a write that lands after this check clears it.
      pipe->readerState = kReaderWaiting;
    }
    do {
      platform::sleepMs(kReaderPollMs);
    } while (pipe->readerState.load() == kReaderWaiting && pipe->writerState.load() != kWriterEnded);
  }
}

}  // namespace
}  // namespace vaskutil

using vaskutil::InBuffer;

extern "C" {

void* InBuffer_initialize(void) {
  auto* pipe = static_cast<InBuffer*>(platform::allocZeroed(sizeof(InBuffer)));
  if (!pipe) return nullptr;
  pipe->lock = platform::lockCreate();
  pipe->signature = kInBufferSignature;
  if (!pipe->lock || !vaskutil::registryAdd(pipe)) {
    platform::lockDelete(pipe->lock);
    platform::freeBlock(pipe);
    return nullptr;
  }
  return pipe;
}

int32_t InBuffer_writebytes(void* handle, const uint8_t* bytes, int32_t count) {
  InBuffer* pipe = vaskutil::livePipe(handle);
  if (!pipe || !bytes || count <= 0) return 0;

  if (count < kInBufferCapacity) {
    for (int32_t sleeps = 0;; ++sleeps) {
      {
        platform::LockGuard guard(pipe->lock);
        if (pipe->end - pipe->pos + count <= kInBufferCapacity) break;
      }
      // Only this writer adds bytes, so the room found above stays.
      if (sleeps == vaskutil::kFullWaits) return kInBufferFull;
      platform::sleepMs(vaskutil::kFullWaitMs);
    }
  }

  platform::LockGuard guard(pipe->lock);
  pipe->writerState = vaskutil::kWriterWriting;
  const int64_t unread = pipe->end - pipe->pos;
  const int64_t total = unread + count;
  uint8_t* block = total <= INT32_MAX ? static_cast<uint8_t*>(platform::allocZeroed(static_cast<size_t>(total))) : nullptr;
  if (!block) {
    // Nothing stored: the caller is told to try again, as with a full pipe.
    pipe->writerState = vaskutil::kWriterIdle;
    return kInBufferFull;
  }
  if (unread > 0) std::memcpy(block, pipe->data + pipe->pos, static_cast<size_t>(unread));
  std::memcpy(block + unread, bytes, static_cast<size_t>(count));
  platform::freeBlock(pipe->data);
  pipe->data = block;
  pipe->pos = 0;
  pipe->end = static_cast<int32_t>(total);
  pipe->writerState = vaskutil::kWriterIdle;
  vaskutil::wakeReader(pipe);
  return 0;
}

int InBuffer_putc(int character, void* handle) {
  const uint8_t byte = static_cast<uint8_t>(character);
  InBuffer_writebytes(handle, &byte, 1);
  return character;
}

int32_t InBuffer_readbytes(void* handle, uint8_t* destination, int32_t count) {
  InBuffer* pipe = vaskutil::livePipe(handle);
  if (!pipe || count < 0 || (count > 0 && !destination)) return -1;
  if (count == 0) return 0;
  return vaskutil::readFromPipe(pipe, destination, count, true);
}

int InBuffer_getc(void* handle) {
  InBuffer* pipe = vaskutil::livePipe(handle);
  if (!pipe) return -1;
  uint8_t byte = 0;
  return vaskutil::readFromPipe(pipe, &byte, 1, true) < 0 ? -1 : byte;
}

int InBuffer_peekc(void* handle) {
  InBuffer* pipe = vaskutil::livePipe(handle);
  if (!pipe) return -1;
  uint8_t byte = 0;
  return vaskutil::readFromPipe(pipe, &byte, 1, false) < 0 ? -1 : byte;
}

int InBuffer_ungetc(int, void*) { return 0; }

int InBuffer_NoData(void* handle) {
  InBuffer* pipe = vaskutil::livePipe(handle);
  if (!pipe) return 1;
  return pipe->readerState.load() == vaskutil::kReaderWaiting ? 1 : 0;
}

void InBuffer_threadDone(void* handle) {
  InBuffer* pipe = vaskutil::livePipe(handle);
  if (pipe) pipe->readerState = vaskutil::kReaderFinished;
}

void InBuffer_terminate(void* handle) {
  InBuffer* pipe = vaskutil::livePipe(handle);
  if (!pipe) return;
  pipe->writerState = vaskutil::kWriterEnded;
  while (pipe->readerState.load() != vaskutil::kReaderFinished) platform::sleepMs(vaskutil::kTerminatePollMs);
  vaskutil::registryRemove(pipe);
  // Bytes the reader never consumed are released with the pipe.
  vaskutil::releaseBlock(pipe);
  platform::lockDelete(pipe->lock);
  platform::freeBlock(pipe);
}

}  // extern "C"
