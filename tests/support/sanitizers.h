#pragma once

// Tests that run a program out of memory on purpose: under AddressSanitizer
// an allocation that fails ends the process (its operator new reports and
// aborts, whatever allocator_may_return_null says) instead of throwing
// std::bad_alloc, which is what these tests check the program survives. They
// say so and step aside there; the plain build, CI's last stage, runs them.

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#define VX_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VX_ADDRESS_SANITIZER 1
#endif
#endif

#if defined(VX_ADDRESS_SANITIZER)
#define VX_SKIP_WHERE_ALLOCATIONS_CANNOT_FAIL()                                   \
  GTEST_SKIP() << "AddressSanitizer aborts where an allocation fails instead of " \
                  "throwing std::bad_alloc; the plain build runs this test"
#else
#define VX_SKIP_WHERE_ALLOCATIONS_CANNOT_FAIL() \
  do {                                          \
  } while (false)
#endif
