#include "random.h"

namespace reduction {
namespace {
thread_local uint32_t t_state = 1;
}  // namespace

int nextRandom() {
  t_state = t_state * kRandomMultiplier + kRandomIncrement;  // mod 2^32
  return static_cast<int>((t_state >> 16) & kRandomMax);
}

}  // namespace reduction
