// A private random-number generator with the range and sequence of the
// original platform's C runtime, so that random values do not depend on the
// C library the code happens to be built with.
//
// Process-wide state, like the C runtime's: not safe to use from several
// threads at once.
#pragma once

#include <cstdint>

// Largest value CrtRand answers.
inline constexpr int kCrtRandMax = 32767;

// Restarts the sequence from `seed` (the start-up state is seed 1).
void CrtSrand(std::uint32_t seed);

// The next value in 0..32767: the state steps as
// state = state * 214013 + 2531011 (mod 2^32), and the answer is bits 16-30
// of the new state.
int CrtRand();
