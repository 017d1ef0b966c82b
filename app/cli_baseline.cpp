#include "app/cli_baseline.h"

#include <fstream>
#include <utility>

#include "app/report_reader.h"

namespace vx::app::cli {

Baseline::Baseline(const std::string& path, std::shared_ptr<const check::RuleSet> rules)
    : rules_(std::move(rules)) {
  const check::RuleSet& set = *rules_;
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) throw ReportReadError(path + ": cannot be read");
  JsonReportReader reader(in, path);
  while (std::optional<ReportRecord> r = reader.Next()) {
    // A page that could not be checked then says nothing of its findings.
    if (!r->ok) continue;
    std::vector<Entry>& entries = by_address_[r->address];
    for (ReportedFinding& f : r->findings) {
      Entry e;
      if (const auto rule = FindReportedRule(f, set)) e.id = set[*rule].id;
      e.as_written = {f.number,
                      f.id.empty() ? e.id : f.id,
                      std::move(f.label),
                      std::move(f.description),
                      std::move(f.severity),
                      f.at,
                      std::move(f.snippet)};
      entries.push_back(std::move(e));
    }
  }
}

void Baseline::Apply(const std::string& address, Outcome& o) const {
  if (!o.ok) return;
  const auto it = by_address_.find(address);
  std::vector<bool> matched(it == by_address_.end() ? 0 : it->second.size(), false);
  for (Finding& f : o.findings) {
    f.baseline = BaselineState::New;
    if (it == by_address_.end()) continue;
    const std::string& id = (*rules_)[f.rule].id;
    for (std::size_t k = 0; k < it->second.size(); ++k) {
      const Entry& e = it->second[k];
      if (matched[k] || e.id.empty() || e.id != id) continue;
      if (!e.as_written.snippet.empty() && e.as_written.snippet != f.snippet) continue;
      matched[k] = true;
      f.baseline = BaselineState::Unchanged;
      break;
    }
  }
  for (std::size_t k = 0; k < matched.size(); ++k) {
    if (!matched[k]) o.absent.push_back(it->second[k].as_written);
  }
}

}  // namespace vx::app::cli
