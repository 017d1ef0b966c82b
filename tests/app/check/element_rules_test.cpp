// Element rules over hand-made pages: values compared with and without
// case as HTML does, a rule's selectors tried in its order, and the URL a
// meta refresh names.
#include "app/check/element_rules.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/check/check.h"
#include "app/check/rule_file.h"

namespace vx::app::check {
namespace {

// "rule@offset" for each hit of the rules (one selector each line) on `page`.
std::vector<std::string> Hits(const std::string& selectors, std::string_view page) {
  std::string file = "rules:\n";
  std::size_t n = 0;
  for (std::size_t at = 0; at < selectors.size();) {
    const std::size_t end = std::min(selectors.find('\n', at), selectors.size());
    const std::string id = "r" + std::to_string(n++);
    file += "  - id: " + id + "\n    label: " + id + "\n    severity: low\n    match: {element: '" +
            selectors.substr(at, end - at) + "'}\n";
    at = end + 1;
  }
  RuleSet set(ParseRuleFile(file, "test.yaml"));
  std::vector<std::string> out;
  for (const ElementHit& h : MatchElements(page, set, nullptr, static_cast<std::size_t>(-1)))
    out.push_back(set[h.rule].id + "@" + std::to_string(h.offset));
  return out;
}

using V = std::vector<std::string>;

TEST(ElementRules, ValuesCompareWithoutCaseWhereHtmlDoes) {
  // type is compared without case in every operator; title keeps its case.
  const std::string rules =
      "input[type=\"password\"]\ninput[type^=\"pass\"]\ninput[type$=\"word\"]\n"
      "input[type*=\"sswo\"]\ninput[title*=\"sswo\"]";
  EXPECT_EQ(Hits(rules, "<INPUT TYPE=PassWord title=PASSWORD>"),
            (V{"r0@0", "r1@0", "r2@0", "r3@0"}));
  EXPECT_EQ(Hits(rules, "<input type=passxord title=xsswo>"), (V{"r1@0", "r4@0"}));
  // A value shorter than what it must start, end with or contain.
  EXPECT_EQ(Hits(rules, "<input type=pa><input type=''>"), V{});
}

TEST(ElementRules, SelectorsThatNeedAnAttributeAreSkippedWithoutIt) {
  // Selectors in a row that need the same attribute (style), then one that
  // needs another (title) and one that needs none: a tag without style
  // still meets the later ones, a tag with it any of the run.
  EXPECT_EQ(Hits("*[style*=\"none\"], *[style*=\"zero\"], div[title], b",
                 "<div title=t></div><p style=zero><i style='x:none'><b><i>"),
            (V{"r0@0", "r0@19", "r0@33", "r0@51"}));
  // A negated test needs nothing.
  EXPECT_EQ(Hits("script[src]:not([integrity])\nscript:not([src])",
                 "<script></script><script src=a integrity=b></script><script src=c>"),
            (V{"r1@0", "r0@52"}));
}

TEST(ElementRules, RefreshAddressesInAnyCase) {
  const std::string rule = "meta[http-equiv=\"refresh\"]";
  const std::string file =
      "rules:\n  - id: away\n    label: Away\n    severity: high\n"
      "    match: {element: 'meta[http-equiv=\"refresh\"]'}\n    same-origin: false\n";
  RuleSet set(ParseRuleFile(file, "test.yaml"));
  PageOrigin origin;
  origin.address = "https://example.org/";
  auto count = [&](std::string_view page) {
    return MatchElements(page, set, &origin, static_cast<std::size_t>(-1)).size();
  };
  EXPECT_EQ(count("<META HTTP-EQUIV=Refresh CONTENT=\"0; URL='https://evil.example.net/'\">"), 1u);
  EXPECT_EQ(count("<meta http-equiv=refresh content=\"0;Url = //evil.example.net/x\">"), 1u);
  EXPECT_EQ(count("<meta http-equiv=refresh content=\"0; url=/here\">"), 0u);
  EXPECT_EQ(count("<meta http-equiv=refresh content=\"5\">"), 0u);
  EXPECT_EQ(count("<meta http-equiv=refresh content=\"0; URL=https://www.example.org/\">"), 0u);
  EXPECT_EQ(Hits(rule, "<meta http-equiv=REFRESH>"), V{"r0@0"});
}

}  // namespace
}  // namespace vx::app::check
