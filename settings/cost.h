// Packed cartridge cost: whole units in the low 16 bits, a fraction code in
// the high 16 bits (1..9 tenths, 10..99 cents, 100..109 cents 0..9).
#pragma once

#include <cstdint>

namespace settings {

uint32_t encodeCost(float amount);
float decodeCost(uint32_t word);

}  // namespace settings
