#include "app/check/header_rules.h"

#include <regex>

#include "platform/base/ascii.h"

namespace vx::app::check {
namespace {

std::regex Compile(const std::string& pattern) {
  return std::regex(pattern, std::regex::ECMAScript | std::regex::icase);
}

std::string_view Trim(std::string_view v) {
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  return v;
}

// Whether a value carries the directive or attribute `name`: a part between
// ";" (or "," for the lists some headers take) whose first word is `name`.
bool Carries(std::string_view value, std::string_view name) {
  std::size_t start = 0;
  while (start <= value.size()) {
    const std::size_t end = std::min(value.find_first_of(";,", start), value.size());
    std::string_view part = Trim(value.substr(start, end - start));
    part = part.substr(0, std::min(part.find_first_of(" =\t"), part.size()));
    if (ascii::EqualsNoCase(part, name)) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

void CheckHeaderRegex(const std::string& pattern) {
  if (pattern.empty()) throw std::invalid_argument("the regex is empty");
  if (pattern.size() > 1024)
    throw std::invalid_argument("the regex is longer than 1024 characters");
  try {
    (void)Compile(pattern);
  } catch (const std::regex_error& e) {
    throw std::invalid_argument(std::string("the regex cannot be used: ") + e.what());
  }
}

std::size_t MatchHeaders(const Rule& rule,
                         const std::vector<std::pair<std::string, std::string>>& headers) {
  std::size_t found = 0;
  for (const HeaderTest& test : rule.header) {
    std::vector<std::string_view> values;
    for (const auto& [name, value] : headers)
      if (ascii::EqualsNoCase(name, test.name)) values.push_back(value);
    std::size_t n = 0;
    switch (test.kind) {
      case HeaderTest::Kind::Absent:
        n = values.empty() ? 1 : 0;
        break;
      case HeaderTest::Kind::Matches: {
        const std::regex re = Compile(test.value);
        for (std::string_view v : values) {
          // Values are short, but a server may send a long one: only the
          // start is matched, which bounds the regex's time.
          const std::string_view head = v.substr(0, 4096);
          n += std::regex_search(head.begin(), head.end(), re);
        }
        break;
      }
      case HeaderTest::Kind::Lacks:
        for (std::string_view v : values) n += !Carries(v.substr(0, 16384), test.value);
        break;
    }
    if (n == 0) return 0;
    found = std::max(found, n);
  }
  return found;
}

}  // namespace vx::app::check
