// The element and header rules of the modern pack over random pages and
// response headers: the input's lines up to the first empty one are headers
// ("Name: value"), the rest is the page. Never a crash, an exception or a
// read out of bounds; every element finding is a start tag of the page, and
// every header finding has no place in the text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/check/check.h"
#include "app/check/html_context.h"
#include "app/check/rule_packs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vx::app::check;
  static const std::shared_ptr<const RuleSet> set = BuildRuleSet({{"modern"}, {}, {}, {}});
  std::string_view input(reinterpret_cast<const char*>(data), size);
  PageOrigin page;
  page.address = "https://site.example/dir/page.html";
  page.fetched = true;
  while (!input.empty()) {
    const std::size_t end = std::min(input.find('\n'), input.size());
    const std::string_view line = input.substr(0, end);
    input.remove_prefix(std::min(end + 1, input.size()));
    if (line.empty()) break;
    const std::size_t colon = line.find(':');
    page.headers.emplace_back(
        std::string(line.substr(0, colon)),
        colon == std::string_view::npos ? std::string() : std::string(line.substr(colon + 1)));
  }
  const std::string_view text = input;
  CheckOptions options;
  options.rules = set;
  options.page = &page;
  options.want_occurrences = true;
  options.max_occurrences = 8;
  const CheckResult result = Check(text, options);
  for (const RuleMatch& m : result.matches) {
    const Rule& rule = (*set)[m.rule];
    if (rule.kind == MatchKind::Header && (m.first.line != 0 || !m.occurrences.empty()))
      std::abort();
    if (rule.kind != MatchKind::Element) continue;
    for (const Occurrence& o : m.occurrences) {
      if (o.offset >= text.size() || o.offset + o.length > text.size() || text[o.offset] != '<' ||
          text[o.offset + o.length - 1] != '>' || o.context != Context::Tag)
        std::abort();
    }
  }
  // The tags on their own: in order, inside the page, bounded.
  TagReader reader(text);
  Tag tag;
  std::size_t after = 0;
  while (reader.Next(tag)) {
    if (tag.offset < after || tag.offset + tag.length > text.size() ||
        tag.attributes.size() > TagReader::kMaxAttributes)
      std::abort();
    for (const TagAttribute& a : tag.attributes)
      if (a.value.size() > TagReader::kMaxAttributeValue) std::abort();
    after = tag.offset + tag.length;
  }
  return 0;
}
