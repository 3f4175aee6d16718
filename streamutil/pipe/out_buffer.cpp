// The output buffer: collects the rewritten job and hands it to its creator's
// write function in blocks of exactly blockSize bytes, re-calling on partial
// acceptance and retrying transient printer errors.
#include <cstring>

#include "VaskUtil.h"
#include "out_buffer_record.h"
#include "live_handles.h"
#include "platform.h"

namespace vaskutil {
namespace {

constexpr uint32_t kPartialRecallMs = 1;
constexpr uint32_t kRetryMs = 500;

// Windows error codes the printer path reports.
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotReady = 21;
constexpr uint32_t kErrorOutOfPaper = 28;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorCounterTimeout = 1121;

constexpr uint32_t kTransientErrors[] = {kErrorCounterTimeout, kErrorOutOfPaper, kErrorNotReady, kErrorInvalidHandle};

bool isTransient(uint32_t error) {
  for (uint32_t transient : kTransientErrors) {
    if (error == transient) return true;
  }
  return false;
}

LiveHandles<OutBuffer, kOutBufferSignature> g_liveBuffers;

OutBuffer* liveBuffer(void* handle) { return g_liveBuffers.find(handle); }

// Hands the waiting bytes to the write function. Returns whether its last call
// succeeded; errorOut and lastError receive the delivery's error. Bytes not
// accepted stay waiting at the front of the block.
bool deliver(OutBuffer* buffer, int stopOnError, uint32_t* errorOut) {
  OutBufferWriteFunction write = buffer->writeFunction.load();
  if (!write) {
    buffer->delivered += buffer->fill;
    buffer->fill = 0;
    return false;
  }
  const uint32_t total = buffer->fill;
  if (total == 0) {
    if (errorOut) *errorOut = 0;
    return true;
  }

  uint32_t done = 0;
  auto call = [&](OutBufferWriteFunction fn) {
    platform::setLastError(0);
    uint32_t accepted = 0;
    const bool ok = fn(buffer->context, buffer->block + done, total - done, &accepted) != 0;
    done += accepted < total - done ? accepted : total - done;
    return ok;
  };

  bool ok = call(write);
  while (ok && done < total) {
    platform::sleepMs(kPartialRecallMs);
    write = buffer->writeFunction.load();
    if (!write) {
      done = total;  // cancelled meanwhile: the rest counts as accepted
      break;
    }
    ok = call(write);
  }

  uint32_t error = 0;
  if (!ok) {
    error = platform::getLastError();
    buffer->lastError = error;
    for (;;) {
      write = buffer->writeFunction.load();
      const bool retry = (isTransient(error) || (ok && done < total)) && write;
      if (!retry || (stopOnError && error != 0)) break;
      platform::sleepMs(kRetryMs);
      write = buffer->writeFunction.load();
      if (!write) break;  // cancelled while waiting
      ok = call(write);
      // A successful call counts as no error, whatever it left behind.
      error = ok ? 0 : platform::getLastError();
      buffer->lastError = error;
      if (ok && done == total) break;
    }
  }

  buffer->delivered += done;
  if (done < total) std::memmove(buffer->block, buffer->block + done, total - done);
  buffer->fill = total - done;
  if (errorOut) *errorOut = error;
  buffer->lastError = error;
  return ok;
}

void reject(const char* why) {
  platform::debugOutput(why);
}

}  // namespace

OutBuffer* outBufferRecord(void* handle) { return liveBuffer(handle); }

}  // namespace vaskutil

using vaskutil::OutBuffer;

extern "C" {

void* OutBuffer_initialize(OutBufferWriteFunction writeFunction, void* context) {
  auto* buffer = static_cast<OutBuffer*>(platform::allocZeroed(sizeof(OutBuffer)));
  if (!buffer) return nullptr;
  buffer->lock = platform::lockCreate();
  if (!buffer->lock) {
    platform::freeBlock(buffer);
    return nullptr;
  }
  buffer->signature = kOutBufferSignature;
  buffer->saveState = 1;
  buffer->context = context;
  buffer->writeFunction = writeFunction;
  void* handle = vaskutil::g_liveBuffers.add(buffer);
  if (!handle) {
    platform::lockDelete(buffer->lock);
    platform::freeBlock(buffer);
  }
  return handle;
}

void OutBuffer_setBufferSize(void* handle, uint32_t size) {
  OutBuffer* buffer = vaskutil::liveBuffer(handle);
  if (!buffer) return;
  platform::LockGuard guard(buffer->lock);
  if (buffer->block) return;
  if (size < kOutBufferMinimumBlock) size = kOutBufferMinimumBlock;
  buffer->block = static_cast<uint8_t*>(platform::allocZeroed(size));
  if (buffer->block) buffer->blockSize = size;
}

uint16_t OutBuffer_GetBufferSize(void* handle) {
  OutBuffer* buffer = vaskutil::liveBuffer(handle);
  return buffer ? static_cast<uint16_t>(buffer->blockSize) : 0;
}

int32_t OutBuffer_writebytes(void* handle, const uint8_t* bytes, int32_t count) {
  OutBuffer* buffer = vaskutil::liveBuffer(handle);
  if (!buffer) return 0;
  // Unsupported writes are refused whole with ERROR_INVALID_PARAMETER; nothing
  // is stored and lastError keeps the printer's state.
  if (count < 0 || count > kOutBufferMaxWrite || (count > 0 && !bytes)) {
    vaskutil::reject("OutBuffer_writebytes: count out of range, write refused\n");
    return static_cast<int32_t>(vaskutil::kErrorInvalidParameter);
  }

  platform::LockGuard guard(buffer->lock);
  buffer->saveState = 0;
  if (!buffer->block) {
    vaskutil::reject("OutBuffer_writebytes: block size not set, write refused\n");
    return static_cast<int32_t>(vaskutil::kErrorInvalidParameter);
  }
  uint32_t error = buffer->lastError.load();
  if (!buffer->writeFunction.load()) {
    buffer->delivered += buffer->fill + static_cast<uint32_t>(count);
    buffer->fill = 0;
    return static_cast<int32_t>(error);
  }

  const uint8_t* in = bytes;
  uint32_t rest = static_cast<uint32_t>(count);
  const uint32_t blockSize = buffer->blockSize;
  if (buffer->fill + rest > blockSize) {
    const uint32_t topUp = blockSize - buffer->fill;
    std::memcpy(buffer->block + buffer->fill, in, topUp);
    buffer->fill = blockSize;
    in += topUp;
    rest -= topUp;
    const bool ok = vaskutil::deliver(buffer, 0, &error);
    if (!ok || buffer->fill != 0) return static_cast<int32_t>(error);

    if (rest > blockSize) {
      while (rest >= blockSize) {
        platform::debugOutput("Wow too much data\n");
        std::memcpy(buffer->block, in, blockSize);
        buffer->fill = blockSize;
        in += blockSize;
        rest -= blockSize;
        const bool whole = vaskutil::deliver(buffer, 0, &error);
        if (!whole || buffer->fill != 0) return static_cast<int32_t>(error);
      }
    }
  }
  if (rest > 0) std::memcpy(buffer->block + buffer->fill, in, rest);
  buffer->fill += rest;
  buffer->lastError = error;
  return static_cast<int32_t>(error);
}

int OutBuffer_putc(int character, void* handle) {
  const uint8_t byte = static_cast<uint8_t>(character);
  OutBuffer_writebytes(handle, &byte, 1);
  return character;
}

int OutBufferFlush(void* handle, int stopOnError, uint32_t* errorOut) {
  OutBuffer* buffer = vaskutil::liveBuffer(handle);
  if (!buffer) return 0;
  platform::LockGuard guard(buffer->lock);
  return vaskutil::deliver(buffer, stopOnError, errorOut) ? 1 : 0;
}

void OutBufferSetSaveState(void* handle, int state) {
  OutBuffer* buffer = vaskutil::liveBuffer(handle);
  if (buffer) buffer->saveState = static_cast<uint32_t>(state);
}

void OutBuffer_CommandSendPrep(void* handle) {
  OutBuffer* buffer = vaskutil::liveBuffer(handle);
  if (buffer) platform::lockEnter(buffer->lock);
}

void OutBuffer_CommandSendDone(void* handle) {
  OutBuffer* buffer = vaskutil::liveBuffer(handle);
  if (buffer) platform::lockLeave(buffer->lock);
}

uint32_t OutBuffer_GetLastError(void* handle) {
  OutBuffer* buffer = vaskutil::liveBuffer(handle);
  return buffer ? buffer->lastError.load() : 0;
}

void OutBuffer_CancelPrint(void* handle) {
  OutBuffer* buffer = vaskutil::liveBuffer(handle);
  if (buffer) buffer->writeFunction = nullptr;
}

OutBufferWriteFunction OutBuffer_GetWriteFunctionPtr(void* handle) {
  OutBuffer* buffer = vaskutil::liveBuffer(handle);
  return buffer ? buffer->writeFunction.load() : nullptr;
}

void OutBuffer_terminate(void* handle, int stopOnError) {
  OutBuffer* buffer = vaskutil::liveBuffer(handle);
  if (!buffer) return;
  if (buffer->fill > 0) {
    uint32_t error = 0;
    vaskutil::deliver(buffer, stopOnError, &error);
  }
  vaskutil::g_liveBuffers.remove(handle);
  buffer->signature = 0;
  platform::freeBlock(buffer->block);
  platform::lockDelete(buffer->lock);
  platform::freeBlock(buffer);
}

}  // extern "C"
