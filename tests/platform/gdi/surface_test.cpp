#include "platform/gdi/surface.h"

#include <gtest/gtest.h>

TEST(Surface, NegativeSizeGivesEmptySurface) {
  vx::Surface s(-3, 4);
  EXPECT_EQ(s.width(), 0);
  EXPECT_EQ(s.height(), 4);
  EXPECT_TRUE(s.pixels().empty());
  s.put(0, 0, 1);  // ignored, no crash
}
