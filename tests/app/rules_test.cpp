#include "app/rules.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

namespace vx::app {
namespace {

TEST(RuleTable, OrderAndTextsAsShownToUsers) {
  ASSERT_EQ(kRuleTable.size(), 20u);
  const char* labels[] = {"Scripting",  "Object",    "Applet",    "Embedding", "Forms",
                          "Popup",      "OnLoad",    "MouseDown", "Favorites", "Flash",
                          "OnClick",    "MouseDown", "MouseMove", "MouseOver", "Close",
                          "MouseWheel", "WinFocus",  "Shutdown",  "Create Ob", "Cd-Rom"};
  for (std::size_t i = 0; i < kRuleCount; ++i) EXPECT_EQ(kRuleTable[i].label, labels[i]) << i;
  // The texts keep their spelling.
  EXPECT_EQ(kRuleTable[4].description,
            "Users can trick other people into enterting personal information.");
  EXPECT_EQ(kRuleTable[17].marker, "function showdown");
  EXPECT_EQ(kRuleTable[18].description,
            "This creates an object would could lead to malicious code execution");
  EXPECT_EQ(kRuleTable[16].description, "This causes a window to focus ontop of others.");
  EXPECT_EQ(kRuleTable[10].description, kRuleTable[11].description);
  for (std::size_t i = 0; i + 1 < kRuleCount; ++i) EXPECT_EQ(kRuleTable[i].test, RuleTest::Scan);
  EXPECT_EQ(kRuleTable[19].test, RuleTest::Find);
  EXPECT_EQ(kRuleTable[19].marker, "cdromCollection");
}

TEST(RuleTable, LabelAndDescriptionNameOneRule) {
  std::set<std::pair<std::string_view, std::string_view>> pairs;
  for (std::size_t i = 0; i < kRuleCount; ++i) {
    pairs.emplace(kRuleTable[i].label, kRuleTable[i].description);
    EXPECT_EQ(RuleIndexOf(kRuleTable[i].label, kRuleTable[i].description), i);
  }
  EXPECT_EQ(pairs.size(), kRuleCount);
  EXPECT_EQ(RuleIndexOf("MouseDown", "no such text"), kRuleCount);
}

}  // namespace
}  // namespace vx::app
