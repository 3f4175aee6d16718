// The input pipe: one writer (the monitor's WritePort thread) pushes whole
// spooler buffers, one reader (the parse thread) pulls bytes and waits while
// the pipe is empty. Waiting is polling with short sleeps, never events.
#include <atomic>
#include <cstring>

#include "VaskUtil.h"
#include "in_buffer_record.h"
#include "live_handles.h"
#include "platform.h"

namespace vaskutil {
namespace {

// A waiting side polls in steps that start at 1 ms and double up to its
// longest step, so it notices room or data within about a millisecond while a
// long wait still costs almost no processor time. A writer gives up after
// 15 s in all without room (as 50 waits of 300 ms would).
constexpr uint32_t kFirstPollMs = 1;
constexpr uint32_t kWriterLongestPollMs = 300;
constexpr uint32_t kReaderLongestPollMs = 200;
constexpr uint32_t kWriterGiveUpMs = 15000;
constexpr uint32_t kTerminatePollMs = 1;

class PollSchedule {
 public:
  explicit PollSchedule(uint32_t longestMs) : longest_(longestMs) {}
  // Sleeps the next step, never past `limitMs` in all; false once the limit is reached.
  bool sleep(uint32_t limitMs = UINT32_MAX) {
    if (slept_ >= limitMs) return false;
    const uint32_t ms = step_ < limitMs - slept_ ? step_ : limitMs - slept_;
    platform::sleepMs(ms);
    slept_ += ms;
    step_ = step_ * 2 < longest_ ? step_ * 2 : longest_;
    return true;
  }

 private:
  uint32_t longest_;
  uint32_t step_ = kFirstPollMs;
  uint32_t slept_ = 0;
};

LiveHandles<InBuffer, kInBufferSignature> g_livePipes;

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
    PollSchedule schedule(kReaderLongestPollMs);
    do {
      schedule.sleep();
    } while (pipe->readerState.load() == kReaderWaiting && pipe->writerState.load() != kWriterEnded);
  }
}

}  // namespace

InBuffer* inBufferRecord(void* handle) { return g_livePipes.find(handle); }

}  // namespace vaskutil

using vaskutil::InBuffer;

extern "C" {

void* InBuffer_initialize(void) {
  auto* pipe = static_cast<InBuffer*>(platform::allocZeroed(sizeof(InBuffer)));
  if (!pipe) return nullptr;
  pipe->lock = platform::lockCreate();
  pipe->signature = kInBufferSignature;
  void* handle = pipe->lock ? vaskutil::g_livePipes.add(pipe) : nullptr;
  if (!handle) {
    platform::lockDelete(pipe->lock);
    platform::freeBlock(pipe);
  }
  return handle;
}

int32_t InBuffer_writebytes(void* handle, const uint8_t* bytes, int32_t count) {
  InBuffer* pipe = vaskutil::g_livePipes.find(handle);
  if (!pipe || !bytes || count <= 0) return 0;

  // Waits for room, and likewise for memory: a write whose block cannot be
  // allocated stores nothing and tries again, so its caller never spins.
  vaskutil::PollSchedule schedule(vaskutil::kWriterLongestPollMs);
  do {
    platform::LockGuard guard(pipe->lock);
    const int64_t unread = pipe->end - pipe->pos;
    const int64_t total = unread + count;
    if (count < kInBufferCapacity && total > kInBufferCapacity) continue;
    uint8_t* block =
        total <= INT32_MAX ? static_cast<uint8_t*>(platform::allocZeroed(static_cast<size_t>(total))) : nullptr;
    if (!block) continue;
    pipe->writerState = vaskutil::kWriterWriting;
    if (unread > 0) std::memcpy(block, pipe->data + pipe->pos, static_cast<size_t>(unread));
    std::memcpy(block + unread, bytes, static_cast<size_t>(count));
    platform::freeBlock(pipe->data);
    pipe->data = block;
    pipe->pos = 0;
    pipe->end = static_cast<int32_t>(total);
    pipe->writerState = vaskutil::kWriterIdle;
    vaskutil::wakeReader(pipe);
    return 0;
  } while (schedule.sleep(vaskutil::kWriterGiveUpMs));
  return kInBufferFull;
}

int InBuffer_putc(int character, void* handle) {
  const uint8_t byte = static_cast<uint8_t>(character);
  InBuffer_writebytes(handle, &byte, 1);
  return character;
}

int32_t InBuffer_readbytes(void* handle, uint8_t* destination, int32_t count) {
  InBuffer* pipe = vaskutil::g_livePipes.find(handle);
  if (!pipe || count < 0 || (count > 0 && !destination)) return -1;
  if (count == 0) return 0;
  return vaskutil::readFromPipe(pipe, destination, count, true);
}

int InBuffer_getc(void* handle) {
  InBuffer* pipe = vaskutil::g_livePipes.find(handle);
  if (!pipe) return -1;
  uint8_t byte = 0;
  return vaskutil::readFromPipe(pipe, &byte, 1, true) < 0 ? -1 : byte;
}

int InBuffer_peekc(void* handle) {
  InBuffer* pipe = vaskutil::g_livePipes.find(handle);
  if (!pipe) return -1;
  uint8_t byte = 0;
  return vaskutil::readFromPipe(pipe, &byte, 1, false) < 0 ? -1 : byte;
}

int InBuffer_ungetc(int, void*) { return 0; }

int InBuffer_NoData(void* handle) {
  InBuffer* pipe = vaskutil::g_livePipes.find(handle);
  if (!pipe) return 1;
  return pipe->readerState.load() == vaskutil::kReaderWaiting ? 1 : 0;
}

void InBuffer_threadDone(void* handle) {
  InBuffer* pipe = vaskutil::g_livePipes.find(handle);
  if (pipe) pipe->readerState = vaskutil::kReaderFinished;
}

void InBuffer_terminate(void* handle) {
  InBuffer* pipe = vaskutil::g_livePipes.find(handle);
  if (!pipe) return;
  pipe->writerState = vaskutil::kWriterEnded;
  while (pipe->readerState.load() != vaskutil::kReaderFinished) platform::sleepMs(vaskutil::kTerminatePollMs);
  vaskutil::g_livePipes.remove(handle);
  pipe->signature = 0;
  // Bytes the reader never consumed are released with the pipe.
  vaskutil::releaseBlock(pipe);
  platform::lockDelete(pipe->lock);
  platform::freeBlock(pipe);
}

}  // extern "C"
