#include "text/random.h"

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#else
#include <chrono>
#endif

namespace sonavel {
namespace {

// The low 32 bits of a free-running counter, read afresh for every draw.
std::uint32_t ReadCounter() {
#if defined(__x86_64__) || defined(__i386__)
  return static_cast<std::uint32_t>(__rdtsc());
#else
  return static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#endif
}

}  // namespace

std::int32_t RandomInRange(std::int32_t lower, std::int32_t upper) {
  const std::uint32_t x = ReadCounter() * 214013u + 2531011u;
  const std::uint32_t v = (x >> 16) & 0x7FFFu;
  if (upper == 0) upper = 2147483647;
  const std::uint32_t n =
      static_cast<std::uint32_t>(upper) - static_cast<std::uint32_t>(lower) + 1u;
  // n is 0 only for the full 32-bit range; every v is then its own remainder.
  const std::uint32_t r = n == 0 ? v : v % n;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(lower) + r);
}

Text RandomAlnumText(std::int32_t count) {
  Text out;
  if (count <= 0) return out;
  out.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    std::int32_t code;
    switch (RandomInRange(1, 3)) {
      case 1:
        code = RandomInRange(48, 57);
        break;
      case 2:
        code = RandomInRange(65, 90);
        break;
      default:
        code = RandomInRange(97, 122);
        break;
    }
    out.push_back(static_cast<char>(code));
  }
  return out;
}

}  // namespace sonavel
