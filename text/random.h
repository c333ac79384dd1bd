// Random numbers and texts drawn from the processor's cycle counter. No
// generator state: every draw reads the counter afresh. Not for secrets.
#pragma once

#include <cstdint>

#include "text/types.h"

namespace sonavel {

// lower + (v mod (upper - lower + 1)), v a 15-bit value from one step of a
// linear congruential generator applied to the counter's low 32 bits. An
// `upper` of 0 stands for 2147483647, so a draw never exceeds lower + 32767.
//   RandomInRange(1, 3) is 1, 2 or 3;  RandomInRange(5, 5) == 5
std::int32_t RandomInRange(std::int32_t lower = 0, std::int32_t upper = 0);

// `count` characters drawn from 0-9, A-Z and a-z (class first, then the
// character); the empty text for a count of 0 or less.
//   RandomAlnumText(10) == e.g. "a8Zk0Qm3Tb"
Text RandomAlnumText(std::int32_t count);

}  // namespace sonavel
