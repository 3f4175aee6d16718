// Heap blocks of the reduction and calibration libraries. Every block goes
// through the platform allocator (so tests can make it fail) and is counted,
// so a test can check that closing a job leaves nothing allocated.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

namespace reduction {

void* allocBlock(size_t bytes);  // zero-filled; nullptr on failure
void freeBlock(void* block);     // nullptr is ignored
long liveBlocks();               // blocks allocated and not yet freed

// Objects constructed in such blocks.
template <class T, class... Args>
T* createObject(Args&&... args) {
  void* block = allocBlock(sizeof(T));
  return block ? new (block) T(std::forward<Args>(args)...) : nullptr;
}

template <class T>
void destroyObject(T* object) {
  if (!object) return;
  object->~T();
  freeBlock(object);
}

}  // namespace reduction
