// The check engine against a plain search: a scanned rule matches where its
// marker occurs in capitals or small letters, the found rule (rule 20) where
// it occurs exactly, whatever bytes surround them. A run with the twenty and
// the modern pack (the window's "All") lists the same rows for the twenty;
// asked for every occurrence, the engine finds each place a form starts.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "app/check/check.h"
#include "app/check/rule_packs.h"
#include "app/rules.h"
#include "app/window/check_binding.h"
#include "app/window/text_buffer.h"
#include "tests/support/plain_search.h"

namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

class Fetcher : public vx::app::PageFetcher {
 public:
  std::string page;
  std::string OpenURL(const std::string&) override { return page; }
  std::string GetHeader(const std::string&) override { return "fuzz"; }
};

class List : public vx::app::FindingsList {
 public:
  Rows rows;
  Rows classic_rows;  // rated rows of the twenty's rules
  void Clear() override {
    rows.clear();
    classic_rows.clear();
  }
  void AddRow(std::size_t, const std::string& label, const std::string& description) override {
    rows.emplace_back(label, description);
  }
  void AddRatedRow(std::size_t rule, std::size_t, const std::string& label,
                   const std::string& description, vx::app::check::Severity) override {
    rows.emplace_back(label, description);
    if (rule < vx::app::kRuleCount) classic_rows.emplace_back(label, description);
  }
};

class Label : public vx::app::CaptionView {
 public:
  void SetCaption(const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vx::app;
  const std::string page(reinterpret_cast<const char*>(data), size);
  TextBuffer text1("http://fuzz.test/"), text2, text3;
  Fetcher inet1;
  inet1.page = page;
  List list;
  Label label4;
  Checker checker{CheckControls{text1, inet1, text2, list, label4, text3, [] {}}};
  checker.Run();
  if (list.rows != vx::support::PlainSearchRows(page)) std::abort();
  // The search on its own agrees with the run's rows.
  const RuleHits hits = FindRuleHits(page);
  std::size_t row = 0;
  for (std::size_t r = 0; r < kRuleCount; ++r) {
    if (!hits.Matches(r)) continue;
    if (row >= list.rows.size() || list.rows[row].first != kRuleTable[r].label) std::abort();
    ++row;
  }
  if (row != list.rows.size()) std::abort();

  // With every occurrence asked, each rule counts and lists (the first
  // thousand) every place one of its forms starts, overlapping ones too.
  {
    check::CheckOptions options;
    options.want_occurrences = true;
    options.max_occurrences = 1000;
    const check::CheckResult result = check::Check(page, options);
    std::size_t k = 0;
    for (std::size_t r = 0; r < kRuleCount; ++r) {
      std::vector<std::size_t> at;
      for (const std::string& form : RuleForms(kRuleTable[r])) {
        for (auto i = page.find(form); i != std::string::npos; i = page.find(form, i + 1))
          at.push_back(i);
      }
      if (at.empty()) continue;
      std::sort(at.begin(), at.end());
      if (k >= result.matches.size() || result.matches[k].rule != r ||
          result.matches[k].count != at.size())
        std::abort();
      const auto& listed = result.matches[k].occurrences;
      for (std::size_t i = 0; i < listed.size(); ++i)
        if (listed[i].offset != at[i]) std::abort();
      if (listed.size() != std::min<std::size_t>(at.size(), 1000)) std::abort();
      ++k;
    }
    if (k != result.matches.size()) std::abort();
  }

  static const auto all = [] {
    check::RuleChoice choice;
    choice.sets = {"all"};
    return check::BuildRuleSet(choice);
  }();
  const Rows classic = list.rows;
  checker.SetRules(all);
  checker.Run();
  if (list.classic_rows != classic) std::abort();
  return 0;
}
