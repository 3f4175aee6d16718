// The filter's random numbers: a linear congruential generator with one state
// per thread, starting at 1 and never reseeded, so a matrix generated on a
// fresh thread is the same every time. Each library compiles its own copy
// and therefore keeps its own states.
#pragma once

#include <cstdint>

namespace reduction {

constexpr uint32_t kRandomMultiplier = 214013u;
constexpr uint32_t kRandomIncrement = 2531011u;
constexpr int kRandomMax = 0x7FFF;

// Advances the calling thread's state; returns 0..32767.
int nextRandom();

}  // namespace reduction
