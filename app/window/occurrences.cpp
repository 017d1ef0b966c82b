#include "app/window/occurrences.h"

#include <algorithm>
#include <string>

#include "app/rules.h"

namespace vx::window {
namespace {

std::string Cased(std::string_view s, bool upper) {
  std::string out(s);
  for (char& c : out) {
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace

std::vector<Occurrence> RuleOccurrences(std::string_view text, std::size_t rule,
                                        std::size_t limit) {
  std::vector<Occurrence> out;
  if (rule >= app::kRuleCount || limit == 0) return out;
  const app::DetectionRule& r = app::kRuleTable[rule];
  std::vector<std::string> forms;
  if (r.test == app::RuleTest::Scan) {
    forms.push_back(Cased(r.marker, true));
    if (Cased(r.marker, false) != forms[0]) forms.push_back(Cased(r.marker, false));
  } else {
    forms.emplace_back(r.marker);
  }
  // Each form's occurrences come out sorted; merging keeps the first `limit`
  // of the union without collecting all of them.
  std::vector<std::size_t> next(forms.size());
  for (std::size_t f = 0; f < forms.size(); ++f) next[f] = text.find(forms[f]);
  while (out.size() < limit) {
    std::size_t best = forms.size();
    for (std::size_t f = 0; f < forms.size(); ++f) {
      if (next[f] == std::string_view::npos) continue;
      if (best == forms.size() || next[f] < next[best]) best = f;
    }
    if (best == forms.size()) break;
    out.push_back({next[best], forms[best].size()});
    next[best] = text.find(forms[best], next[best] + 1);
  }
  return out;
}

}  // namespace vx::window
