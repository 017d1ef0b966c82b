#include "app/window/occurrences.h"

#include <algorithm>
#include <string>

#include "app/rules.h"

namespace vx::window {

std::vector<Occurrence> RuleOccurrences(std::string_view text, std::size_t rule,
                                        std::size_t limit) {
  std::vector<Occurrence> out;
  if (rule >= app::kRuleCount || limit == 0) return out;
  const std::vector<std::string> forms = app::RuleForms(app::kRuleTable[rule]);
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
