#include "app/check/rule_hits.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/marker_search.h"

namespace vx::app {
namespace {

// The forms of every rule (RuleForms), searched together; a form two rules
// share is searched once.
struct RuleSearch {
  MarkerSearch search;
  std::array<std::vector<std::size_t>, kRuleCount> forms;  // pattern indices per rule

  static RuleSearch Make() {
    std::vector<std::string> patterns;
    std::array<std::vector<std::size_t>, kRuleCount> forms;
    auto add = [&](std::size_t rule, std::string form) {
      auto it = std::find(patterns.begin(), patterns.end(), form);
      const auto index = static_cast<std::size_t>(it - patterns.begin());
      if (it == patterns.end()) patterns.push_back(std::move(form));
      if (std::find(forms[rule].begin(), forms[rule].end(), index) == forms[rule].end()) {
        forms[rule].push_back(index);
      }
    };
    for (std::size_t r = 0; r < kRuleCount; ++r) {
      for (std::string& form : RuleForms(kRuleTable[r])) add(r, std::move(form));
    }
    return RuleSearch{MarkerSearch(std::move(patterns)), forms};
  }
};

const RuleSearch& TheRuleSearch() {
  static const RuleSearch search = RuleSearch::Make();
  return search;
}

}  // namespace

RuleHits FindRuleHits(std::string_view text, bool may_split) {
  const RuleSearch& rs = TheRuleSearch();
  const std::vector<MarkerSearch::Occurrence> found =
      may_split ? rs.search.Find(text) : rs.search.FindInOnePass(text);
  RuleHits hits;
  for (std::size_t r = 0; r < kRuleCount; ++r) {
    MarkerSearch::Occurrence best;
    for (std::size_t p : rs.forms[r]) {
      if (found[p].offset < best.offset) best = found[p];
    }
    hits.first[r] = best.offset;
    hits.chars[r] = best.chars;
    hits.line[r] = best.line;
    hits.column[r] = best.column;
  }
  return hits;
}

}  // namespace vx::app
