// The rule-file reader: any text gives rules or a RuleFileError, never
// another exception, a crash or unbounded memory; the rules it gives are
// usable and compile into a set (or a RuleError says which is not).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/check/check.h"
#include "app/check/rule_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vx::app::check;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    std::vector<Rule> rules = ParseRuleFile(text, "fuzz.yaml");
    for (const Rule& r : rules) {
      if (!IsRuleId(r.id) || r.label.empty() || r.pattern.empty()) std::abort();
    }
    try {
      CheckOptions options;
      options.rules = std::make_shared<RuleSet>(std::move(rules));
      options.want_occurrences = true;
      options.max_occurrences = 4;
      Check(text, options);
    } catch (const RuleError&) {
    }
  } catch (const RuleFileError&) {
  }
  return 0;
}
