#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vx::app {

// How a rule's marker is looked for in the source text.
enum class RuleTest {
  // The marker's all-capital or all-small form, each compared exactly.
  Scan,
  // The marker exactly as written, with the occurrence selected in the source box.
  Find,
};

struct DetectionRule {
  std::string_view marker;
  std::string_view label;        // the "Detected" column
  std::string_view description;  // the "Description" column
  RuleTest test;
};

// The rules in the order their rows appear in the findings list. The texts are
// shown to users as they stand, spelling included.
// clang-format off
inline constexpr auto kRuleTable = std::to_array<DetectionRule>({
  {"<script", "Scripting", "This poses a possible threat of malicious scripting.", RuleTest::Scan},
  {"<object", "Object", "This poses a possible threat of malicious objects.", RuleTest::Scan},
  {"<applet", "Applet", "This poses a possible threat of malicious applets.", RuleTest::Scan},
  {"<embed", "Embedding", "This poses a possible threat of malicious embedding.", RuleTest::Scan},
  {"<form", "Forms", "Users can trick other people into enterting personal information.", RuleTest::Scan},
  {"window.open", "Popup", "This site contains popups.", RuleTest::Scan},
  {"onload=", "OnLoad", "This could enable possible malicious scripts on load.", RuleTest::Scan},
  {"mousedown", "MouseDown", "Actions are taken when you click your mouse.", RuleTest::Scan},
  {"addfavorite", "Favorites", "This has scripts to add the site to your Favorites.", RuleTest::Scan},
  {"application/x-shockwave-flash", "Flash", "Flash has been detected on this site.", RuleTest::Scan},
  {"onclick", "OnClick", "Affects are applied when you apply a mouse click.", RuleTest::Scan},
  {"onmousedown", "MouseDown", "Affects are applied when you apply a mouse click.", RuleTest::Scan},
  {"onmousemove", "MouseMove", "Affects are applied when you move your mouse.", RuleTest::Scan},
  {"onmouseover", "MouseOver", "Affects are applied when you move your mouse over an object.", RuleTest::Scan},
  {"self.close", "Close", "This has script could close out windows.", RuleTest::Scan},
  {"onmousewheel", "MouseWheel", "Affects are taken when you move your mouse wheel.", RuleTest::Scan},
  {"win.focus", "WinFocus", "This causes a window to focus ontop of others.", RuleTest::Scan},
  {"function showdown", "Shutdown", "Possible malicious function to shutdown your pc.", RuleTest::Scan},
  {"CreateObject", "Create Ob", "This creates an object would could lead to malicious code execution", RuleTest::Scan},
  {"cdromCollection", "Cd-Rom", "This object could allow someone to open your cd-rom.", RuleTest::Find},
});
// clang-format on
inline constexpr std::size_t kRuleCount = kRuleTable.size();
static_assert(kRuleCount == 20, "the findings list has twenty rules");

// The texts a rule looks for, each once: a scanned rule's all-capital form
// and, where it differs, its all-small form; a found rule's marker exactly
// as written. The check run and the highlighting of its places both search
// for these.
std::vector<std::string> RuleForms(const DetectionRule& rule);

}  // namespace vx::app
