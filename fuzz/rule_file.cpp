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
    RuleFileContent content = ParseRuleFileContent(text, "fuzz.yaml");
    for (const Rule& r : content.rules) {
      if (!IsRuleId(r.id) || r.label.empty()) std::abort();
      if (r.kind == MatchKind::Header ? r.header.empty() : r.pattern.empty()) std::abort();
      if (r.kind == MatchKind::Element && r.selectors.empty()) std::abort();
    }
    for (const std::string& host : content.allow_origins)
      if (host.empty()) std::abort();
    try {
      // The file's own text as the page and as its one header's value, so
      // that element and header rules run too.
      PageOrigin page;
      page.address = "https://site.example/";
      page.fetched = true;
      page.headers = {{"set-cookie", std::string(text.substr(0, 256))},
                      {"content-security-policy", std::string(text.substr(0, 256))}};
      CheckOptions options;
      options.page = &page;
      options.rules =
          std::make_shared<RuleSet>(std::move(content.rules), std::move(content.allow_origins));
      options.want_occurrences = true;
      options.max_occurrences = 4;
      Check(text, options);
    } catch (const RuleError&) {
    }
  } catch (const RuleFileError&) {
  }
  return 0;
}
