#include "app/cli_ignore.h"

#include <ctime>

namespace vx::app::cli {

Suppressions::Suppressions(const std::string& path, const std::string& today,
                           std::vector<std::string>* warnings) {
  for (check::Suppression& s : check::ReadSuppressionFile(path)) {
    // Dates of one form compare as text.
    if (!s.until.empty() && s.until < today) {
      if (warnings) {
        warnings->push_back(s.origin + ": the suppression of " + s.rule + " for " + s.address +
                            " ended on " + s.until + " and no longer applies");
      }
      continue;
    }
    entries_.push_back(std::move(s));
  }
}

std::size_t Suppressions::Apply(const std::string& address, Outcome& o,
                                const check::RuleSet& rules) const {
  std::size_t count = 0;
  for (Finding& f : o.findings) {
    for (const check::Suppression& s : entries_) {
      if (!check::SuppressionNamesRule(s, rules[f.rule])) continue;
      if (!s.snippet.empty() && f.snippet.find(s.snippet) == std::string::npos) continue;
      if (!check::AddressGlobMatches(s.address, address)) continue;
      f.suppressed = s.reason;
      ++count;
      break;
    }
  }
  return count;
}

std::string TodayUtc() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &utc);
  return text;
}

}  // namespace vx::app::cli
