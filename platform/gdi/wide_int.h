#pragma once

#include <cstdint>

// Wide arithmetic for coordinate products that can pass 64 bits when
// callers hand in coordinates near the ends of the int range.
namespace vx::gdi {

using i64 = std::int64_t;
__extension__ typedef __int128 i128;

// Floor and ceiling of a / b for b > 0.
inline i128 FloorDiv(i128 a, i128 b) {
  i128 q = a / b;
  if (a % b != 0 && a < 0) --q;
  return q;
}
inline i128 CeilDiv(i128 a, i128 b) {
  i128 q = a / b;
  if (a % b != 0 && a > 0) ++q;
  return q;
}

}  // namespace vx::gdi
