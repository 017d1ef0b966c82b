#pragma once

// Comparing drawn pixels with the pixels a test expects, and saying where
// they differ in a failure message.

#include <cstdint>
#include <string>

#include "platform/gdi/surface.h"
#include "platform/gdi/types.h"

namespace vx::support {

// "0x00BBGGRR"-style: at least six hex digits, upper case.
std::string Hex(std::uint32_t value);

// Empty when equal; otherwise the size mismatch, or the count of differing
// pixels with the first few of them.
std::string DiffSurfaces(const Surface& got, const Surface& want);
std::string DiffMasks(const gdi::Mask& got, const gdi::Mask& want);

// How many pixels differ (all of them when the sizes differ).
int CountDifferences(const Surface& a, const Surface& b);

}  // namespace vx::support
