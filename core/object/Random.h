#pragma once

#include <cstdint>

namespace qibo {

// The engine's one pseudo-random generator. It reproduces the generator of
// the platform the demo was made on: results run from 0 to kRandMax, and
// formulas in the effects rely on that range. Never use the C library's
// rand(), whose range differs.
constexpr int kRandMax = 32767;

int Rand();
void SRand(uint32_t seed);

}  // namespace qibo
