#include "app/rules.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

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
  }
  EXPECT_EQ(pairs.size(), kRuleCount);
}

}  // namespace
TEST(RuleForms, ScannedRulesLookForBothCasesFoundRulesForTheMarkerAsWritten) {
  // A mixed-case marker is not itself one of the forms.
  EXPECT_EQ(RuleForms(kRuleTable[18]), (std::vector<std::string>{"CREATEOBJECT", "createobject"}));
  EXPECT_EQ(RuleForms(kRuleTable[0]), (std::vector<std::string>{"<SCRIPT", "<script"}));
  EXPECT_EQ(RuleForms(kRuleTable[19]), (std::vector<std::string>{"cdromCollection"}));
  // Without letters both forms are one text, looked for once.
  const DetectionRule no_letters{"<!--", "Comment", "", RuleTest::Scan};
  EXPECT_EQ(RuleForms(no_letters), (std::vector<std::string>{"<!--"}));
  // Only ASCII letters change case: UTF-8 bytes are searched as they are.
  const DetectionRule accented{"caf\xC3\xA9", "Cafe", "", RuleTest::Scan};
  EXPECT_EQ(RuleForms(accented), (std::vector<std::string>{"CAF\xC3\xA9", "caf\xC3\xA9"}));
}

}  // namespace vx::app
