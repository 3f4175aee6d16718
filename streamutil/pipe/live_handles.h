// The live handles of one kind of record (input pipes, output buffers). A
// handle is not the record's address but its slot number and the slot's
// generation, so every entry point refuses a null, foreign or terminated
// handle without touching freed memory, even once a new record has taken the
// old one's memory or slot. Lookups take no lock (every byte a parser reads or
// writes passes through one); they only read the slots that have ever been
// used, which are as many as records were alive at once.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vaskutil {

template <class Record, uint32_t Signature>
class LiveHandles {
 public:
  static constexpr size_t kSlots = 1024;  // records alive at once

  // The record's new handle; nullptr when every slot is taken.
  void* add(Record* record) {
    for (size_t i = 0; i < kSlots; ++i) {
      Record* empty = nullptr;
      if (!slots_[i].record.compare_exchange_strong(empty, record)) continue;
      size_t used = used_.load();
      while (used < i + 1 && !used_.compare_exchange_weak(used, i + 1)) {
      }
      return encode(i, slots_[i].generation.load());
    }
    return nullptr;
  }

  Record* find(void* handle) const {
    size_t index;
    uint32_t generation;
    if (!decode(handle, index, generation)) return nullptr;
    const Slot& slot = slots_[index];
    Record* record = slot.record.load();
    if (!record || slot.generation.load() != generation) return nullptr;
    return record->signature == Signature ? record : nullptr;
  }

  // Retires the handle: from now on it is refused, whatever takes the slot.
  void remove(void* handle) {
    size_t index;
    uint32_t generation;
    if (!decode(handle, index, generation)) return;
    Slot& slot = slots_[index];
    uint32_t next = (generation + 1) & kGenerationMask;
    slot.generation.store(next ? next : 1);
    slot.record.store(nullptr);
  }

 private:
  static constexpr unsigned kIndexBits = 10;
  static constexpr uint32_t kGenerationMask = (1u << 21) - 1;
  static_assert((size_t(1) << kIndexBits) == kSlots, "slot numbers fill the index bits");

  struct Slot {
    std::atomic<Record*> record{nullptr};
    std::atomic<uint32_t> generation{1};  // never 0, so no handle is null
  };

  static void* encode(size_t index, uint32_t generation) {
    return reinterpret_cast<void*>((static_cast<uintptr_t>(generation) << kIndexBits) | index);
  }
  bool decode(void* handle, size_t& index, uint32_t& generation) const {
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    index = value & (kSlots - 1);
    const uintptr_t high = value >> kIndexBits;
    generation = static_cast<uint32_t>(high);
    return high != 0 && high <= kGenerationMask && index < used_.load();
  }

  Slot slots_[kSlots];
  std::atomic<size_t> used_{0};  // no slot at or above this ever held a record
};

}  // namespace vaskutil
