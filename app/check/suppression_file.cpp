#include "app/check/suppression_file.h"

#include <vector>

#include "app/check/yaml_document.h"

namespace vx::app::check {
namespace {

bool IsDate(std::string_view s) {
  if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
  for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
    if (s[i] < '0' || s[i] > '9') return false;
  const int month = (s[5] - '0') * 10 + (s[6] - '0');
  const int day = (s[8] - '0') * 10 + (s[9] - '0');
  return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

class Reader : public YamlFields {
 public:
  explicit Reader(const std::string& name) : YamlFields(name) {}

  std::vector<Suppression> Read(const Node& root) const {
    if (root.kind != Node::Kind::Map)
      Fail(root, "suppressions", "the file needs a top-level suppressions: list");
    Keys(root, "", {"suppressions"});
    const Node* list = Find(root, "suppressions");
    if (!list) Fail(root, "suppressions", "is required");
    if (list->kind != Node::Kind::Sequence)
      Fail(*list, "suppressions", "needs a list of suppressions");
    std::vector<Suppression> out;
    for (std::size_t i = 0; i < list->items.size(); ++i)
      out.push_back(ReadOne(list->items[i], "suppressions[" + std::to_string(i) + "]"));
    return out;
  }

 private:
  Suppression ReadOne(const Node& n, const std::string& field) const {
    Keys(n, field, {"rule", "address", "snippet", "reason", "until"});
    auto required = [&](std::string_view key) -> const std::string& {
      const Node* v = Find(n, key);
      if (!v) Fail(n, field + "." + std::string(key), "is required");
      const std::string& text = Scalar(*v, field + "." + std::string(key));
      if (text.empty()) Fail(*v, field + "." + std::string(key), "is empty");
      return text;
    };
    Suppression s;
    s.origin = name_ + ":" + std::to_string(n.line);
    s.rule = required("rule");
    s.address = required("address");
    // A finding is accepted for a reason, or not at all.
    s.reason = required("reason");
    if (const Node* snippet = Find(n, "snippet")) s.snippet = Scalar(*snippet, field + ".snippet");
    if (const Node* until = Find(n, "until")) {
      s.until = Scalar(*until, field + ".until");
      if (!IsDate(s.until))
        Fail(*until, field + ".until", "\"" + s.until + "\" is no date: give YYYY-MM-DD");
    }
    return s;
  }
};

}  // namespace

std::vector<Suppression> ParseSuppressionFile(std::string_view text, const std::string& name,
                                              const RuleFileLimits& limits) {
  return Reader(name).Read(ParseYamlDocument(text, name, "suppressions", limits));
}

std::vector<Suppression> ReadSuppressionFile(const std::string& path,
                                             const RuleFileLimits& limits) {
  return ParseSuppressionFile(ReadYamlFile(path, limits), path, limits);
}

bool AddressGlobMatches(std::string_view glob, std::string_view address) {
  // Which prefixes of the address the glob's prefix so far can match: one
  // row per step, so time is the product of the lengths and memory one row.
  const std::size_t n = address.size();
  std::vector<char> can(n + 1, 0), next(n + 1, 0);
  can[0] = 1;
  for (std::size_t g = 0; g < glob.size();) {
    std::fill(next.begin(), next.end(), 0);
    if (glob[g] == '*') {
      const bool crosses = g + 1 < glob.size() && glob[g + 1] == '*';
      g += crosses ? 2 : 1;
      bool open = false;
      for (std::size_t i = 0; i <= n; ++i) {
        if (can[i]) open = true;
        next[i] = open;
        if (i < n && !crosses && address[i] == '/') open = false;
      }
    } else {
      const char c = glob[g];
      for (std::size_t i = 0; i < n; ++i) {
        if (can[i] && (c == '?' ? address[i] != '/' : address[i] == c)) next[i + 1] = 1;
      }
      ++g;
    }
    can.swap(next);
  }
  return can[n] != 0;
}

bool SuppressionNamesRule(const Suppression& s, const Rule& rule) {
  if (s.rule == rule.id || s.rule == rule.label) return true;
  for (const std::string& tag : rule.tags)
    if (s.rule == tag) return true;
  return false;
}

}  // namespace vx::app::check
