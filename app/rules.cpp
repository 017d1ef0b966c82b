#include "app/rules.h"

namespace vx::app {

// clang-format off
const std::array<DetectionRule, kRuleCount> kRuleTable = {{
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
}};
// clang-format on

std::size_t RuleIndexOf(std::string_view label, std::string_view description) {
  for (std::size_t i = 0; i < kRuleCount; ++i) {
    if (kRuleTable[i].label == label && kRuleTable[i].description == description) return i;
  }
  return kRuleCount;
}

}  // namespace vx::app
