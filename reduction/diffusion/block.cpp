#include "block.h"

#include <atomic>

#include "platform.h"

namespace reduction {
namespace {
std::atomic<long> g_live{0};
}  // namespace

void* allocBlock(size_t bytes) {
  // A zero-byte request still gets a block, so a null result always means failure.
  void* block = platform::allocZeroed(bytes ? bytes : 1);
  if (block) ++g_live;
  return block;
}

void freeBlock(void* block) {
  if (!block) return;
  --g_live;
  platform::freeBlock(block);
}

long liveBlocks() { return g_live.load(); }

}  // namespace reduction
