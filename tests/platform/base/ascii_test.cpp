#include "platform/base/ascii.h"

#include <gtest/gtest.h>

#include <string>

namespace vx::ascii {
namespace {

TEST(Ascii, FoldsOnlyTheAsciiLetters) {
  // No byte of a UTF-8 sequence changes (a Latin-1 locale's tolower would
  // turn 0xC9 into 0xE9), nor do the neighbours of the letters.
  const std::string mixed = "Caf\xC3\x89 @[`{ 09 Z a";
  EXPECT_EQ(Lower(mixed), "caf\xC3\x89 @[`{ 09 z a");
  EXPECT_EQ(Upper(mixed), "CAF\xC3\x89 @[`{ 09 Z A");
  for (int c = 0x80; c <= 0xFF; ++c) {
    EXPECT_EQ(ToLower(static_cast<char>(c)), static_cast<char>(c));
    EXPECT_EQ(ToUpper(static_cast<char>(c)), static_cast<char>(c));
    EXPECT_FALSE(IsLetter(static_cast<char>(c)));
  }
}

TEST(Ascii, ComparesWithoutRegardToCase) {
  EXPECT_TRUE(EqualsNoCase("LocalHost", "localhost"));
  EXPECT_FALSE(EqualsNoCase("localhost.", "localhost"));
  EXPECT_FALSE(EqualsNoCase("[", "{"));  // 0x5B and 0x7B differ by 32 but are no letters
  EXPECT_TRUE(StartsWithNoCase("FILE:///x", "file:"));
  EXPECT_TRUE(StartsWithNoCase("x", ""));
  EXPECT_FALSE(StartsWithNoCase("fil", "file:"));
  static_assert(EqualsNoCase("BTYPE", "btype"));
}

}  // namespace
}  // namespace vx::ascii
