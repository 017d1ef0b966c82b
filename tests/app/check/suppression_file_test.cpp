// Suppression files and address globs, in-process.
#include "app/check/suppression_file.h"

#include <gtest/gtest.h>

#include <string>

namespace vx::app::check {
namespace {

TEST(AddressGlob, StarAndQuestionStopAtSlashesDoubleStarCrossesThem) {
  struct Case {
    const char* glob;
    const char* address;
    bool matches;
  };
  const Case cases[] = {
      {"https://example.com/*", "https://example.com/a.html", true},
      {"https://example.com/*", "https://example.com/a/b.html", false},
      {"https://example.com/**", "https://example.com/a/b.html", true},
      {"https://example.com/**", "https://example.com/", true},
      {"https://*.example.com/x", "https://www.example.com/x", true},
      {"https://*.example.com/x", "https://evil.test/.example.com/x", false},
      {"**/*.html", "pages/a/b.html", true},
      {"**/*.html", "pages/a/b.htm", false},
      {"*.html", "a.html", true},
      {"*.html", "dir/a.html", false},
      {"page?.html", "page1.html", true},
      {"page?.html", "page/.html", false},
      {"page?.html", "page12.html", false},
      {"exact", "exact", true},
      {"exact", "exactly", false},
      {"", "", true},
      {"**", "", true},
      {"a*b*c", "aXXbYYc", true},
      {"a*b*c", "aXXbYY/c", false},
      {"a**c", "a/b/c", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(AddressGlobMatches(c.glob, c.address), c.matches) << c.glob << " ~ " << c.address;
  // Many stars over a long address: no backtracking blow-up.
  EXPECT_FALSE(AddressGlobMatches(std::string(200, '*') + "x", std::string(20000, 'a')));
}

TEST(SuppressionFile, ReadsEveryFieldAndNamesRulesByIdLabelOrTag) {
  const auto entries = ParseSuppressionFile(
      "suppressions:\n"
      "  - rule: VX001\n    address: \"**\"\n    reason: ours\n"
      "  - {rule: classic, address: 'a/*', snippet: x(), reason: old, until: 2027-06-30}\n",
      "ign.yaml");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].origin, "ign.yaml:2");
  EXPECT_EQ(entries[0].until, "");
  EXPECT_EQ(entries[1].snippet, "x()");
  EXPECT_EQ(entries[1].until, "2027-06-30");
  const Rule& scripting = ClassicRules()[0];
  EXPECT_TRUE(SuppressionNamesRule(entries[0], scripting));
  EXPECT_TRUE(SuppressionNamesRule(entries[1], scripting));  // by its tag
  EXPECT_FALSE(SuppressionNamesRule(entries[0], ClassicRules()[1]));
  Suppression by_label;
  by_label.rule = "Forms";
  EXPECT_TRUE(SuppressionNamesRule(by_label, ClassicRules()[4]));
}

TEST(SuppressionFile, ErrorsNameFileLineAndField) {
  auto error = [](const std::string& text) {
    try {
      (void)ParseSuppressionFile(text, "ign.yaml");
    } catch (const RuleFileError& e) {
      return std::string(e.what());
    }
    return std::string("(no error)");
  };
  EXPECT_EQ(error(""), "ign.yaml:1: suppressions: the file is empty");
  EXPECT_EQ(error("rules: []\n"), "ign.yaml:1: rules: unknown field (known: suppressions)");
  EXPECT_EQ(error("suppressions:\n  - rule: a\n    address: b\n"),
            "ign.yaml:2: suppressions[0].reason: is required");
  EXPECT_EQ(error("suppressions:\n  - {rule: a, address: b, reason: ''}\n"),
            "ign.yaml:2: suppressions[0].reason: is empty");
  EXPECT_EQ(error("suppressions:\n  - {rule: a, address: b, reason: c, until: 30/06/2027}\n"),
            "ign.yaml:2: suppressions[0].until: \"30/06/2027\" is no date: give YYYY-MM-DD");
  EXPECT_EQ(error("suppressions:\n  - {rule: a, address: b, reason: c, colour: red}\n"),
            "ign.yaml:2: suppressions[0].colour: unknown field (known: rule, address, snippet, "
            "reason, until)");
  EXPECT_EQ(error("suppressions:\n  - &x {rule: a, address: b, reason: c}\n  - *x\n"),
            "ign.yaml:3: aliases (*name) are not allowed");
  // The rule files' limits hold.
  RuleFileLimits limits;
  limits.max_depth = 3;
  EXPECT_EQ(error(std::string("suppressions: ") + std::string(100, '[')).rfind("ign.yaml:1:", 0),
            0u);
  try {
    (void)ParseSuppressionFile("suppressions: [[[[]]]]", "ign.yaml", limits);
    ADD_FAILURE();
  } catch (const RuleFileError& e) {
    EXPECT_STREQ(e.what(), "ign.yaml:1: nested deeper than 3 levels");
  }
}

}  // namespace
}  // namespace vx::app::check
