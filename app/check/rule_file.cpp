#include "app/check/rule_file.h"

#include <hs/hs.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <optional>
#include <sstream>

#include "app/check/check.h"
#include "app/check/element_rules.h"
#include "app/check/header_rules.h"
#include "app/check/yaml_document.h"

namespace vx::app::check {
namespace {

using Node = YamlNode;

class Reader : public YamlFields {
 public:
  Reader(const std::string& name, RulePatterns patterns)
      : YamlFields(name), compile_(patterns == RulePatterns::Check) {}

  Rule ReadRule(const Node& n, const std::string& field) const {
    Keys(n, field,
         {"id", "label", "description", "severity", "tags", "match", "in", "same-origin",
          "has-count", "page-scheme"});
    Rule r;
    r.origin = name_ + ":" + std::to_string(n.line);
    auto required = [&](std::string_view key) -> const Node& {
      const Node* v = Find(n, key);
      if (!v) Fail(n, field + "." + std::string(key), "is required");
      return *v;
    };
    const Node& id = required("id");
    r.id = Scalar(id, field + ".id");
    if (!IsRuleId(r.id))
      Fail(id, field + ".id",
           "\"" + r.id + "\" is no rule id: letters, digits, '.', '_' and '-' only (at most 128)");
    r.label = Scalar(required("label"), field + ".label");
    if (r.label.empty()) Fail(n, field + ".label", "is empty");
    if (const Node* d = Find(n, "description")) r.description = Scalar(*d, field + ".description");
    const Node& severity = required("severity");
    const std::string& s = Scalar(severity, field + ".severity");
    const auto level = SeverityFromName(s);
    if (!level)
      Fail(severity, field + ".severity",
           "\"" + s + "\" is no severity: give info, low, medium, high or critical");
    r.severity = *level;
    if (const Node* t = Find(n, "tags")) {
      r.tags = Strings(*t, field + ".tags");
      for (const std::string& tag : r.tags)
        if (!IsRuleId(tag))
          Fail(*t, field + ".tags",
               "\"" + tag + "\" is no tag: letters, digits, '.', '_' and '-' only");
    }
    ReadMatch(required("match"), field + ".match", r);
    if (const Node* in = Find(n, "in")) {
      if (r.kind == MatchKind::Element || r.kind == MatchKind::Header)
        Fail(*in, field + ".in",
             "is for literal and regex rules (an element rule's occurrence is its tag)");
      for (const std::string& name : Strings(*in, field + ".in")) {
        try {
          r.in |= ParseContexts(name);
        } catch (const std::invalid_argument& e) {
          Fail(*in, field + ".in", e.what());
        }
      }
    }
    if (const Node* same = Find(n, "same-origin")) {
      const bool own = Bool(*same, field + ".same-origin");
      if (r.kind != MatchKind::Element)
        Fail(*same, field + ".same-origin", "is for element rules only");
      r.origin_test = own ? OriginTest::Own : OriginTest::Other;
    }
    if (const Node* count = Find(n, "has-count")) {
      const std::string& v = Scalar(*count, field + ".has-count");
      char* end = nullptr;
      errno = 0;
      const unsigned long k = std::strtoul(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || errno != 0 || k < 1 || k > 10000 || v[0] == '-')
        Fail(*count, field + ".has-count", "is a whole number from 1 to 10000, not \"" + v + "\"");
      const bool has = std::any_of(r.selectors.begin(), r.selectors.end(),
                                   [](const Selector& sel) { return sel.has_inner; });
      if (!has) Fail(*count, field + ".has-count", "is for element rules with :has()");
      r.has_count = k;
    }
    if (const Node* scheme = Find(n, "page-scheme")) {
      const std::string& v = Scalar(*scheme, field + ".page-scheme");
      if (v != "http" && v != "https")
        Fail(*scheme, field + ".page-scheme", "is http or https, not \"" + v + "\"");
      r.page_scheme = v;
    }
    return r;
  }

  void ReadMatch(const Node& n, const std::string& field, Rule& r) const {
    Keys(n, field, {"literal", "case", "regex", "flags", "element", "header"});
    int kinds = 0;
    for (std::string_view k : {"literal", "regex", "element", "header"})
      kinds += Find(n, k) != nullptr;
    if (kinds != 1) Fail(n, field, "needs exactly one of literal, regex, element and header");
    const Node* case_node = Find(n, "case");
    const Node* flags = Find(n, "flags");
    if (const Node* lit = Find(n, "literal")) {
      r.kind = MatchKind::Literal;
      r.pattern = Scalar(*lit, field + ".literal");
      if (r.pattern.empty()) Fail(*lit, field + ".literal", "is empty");
      if (flags) Fail(*flags, field + ".flags", "is for regex; a literal takes case");
      if (case_node) {
        const std::string& c = Scalar(*case_node, field + ".case");
        if (c == "exact") {
          r.case_mode = CaseMode::Exact;
        } else if (c == "ignore") {
          r.case_mode = CaseMode::Ignore;
        } else if (c == "classic") {
          r.case_mode = CaseMode::Classic;
        } else {
          Fail(*case_node, field + ".case", "is exact, ignore or classic, not \"" + c + "\"");
        }
      }
    } else if (const Node* re = Find(n, "regex")) {
      r.kind = MatchKind::Regex;
      r.pattern = Scalar(*re, field + ".regex");
      if (case_node)
        Fail(*case_node, field + ".case", "is for literal; a regex takes flags: {case: ...}");
      if (flags) {
        Keys(*flags, field + ".flags", {"case"});
        if (const Node* c = Find(*flags, "case")) {
          const std::string& v = Scalar(*c, field + ".flags.case");
          if (v == "ignore") {
            r.case_mode = CaseMode::Ignore;
          } else if (v != "exact") {
            Fail(*c, field + ".flags.case", "is exact or ignore, not \"" + v + "\"");
          }
        }
      }
      CheckRegex(*re, field + ".regex", r);
    } else if (const Node* el = Find(n, "element")) {
      r.kind = MatchKind::Element;
      if (case_node) Fail(*case_node, field + ".case", "is for literal");
      if (flags) Fail(*flags, field + ".flags", "is for regex");
      r.pattern = Scalar(*el, field + ".element");
      try {
        r.selectors = ParseSelectors(r.pattern);
      } catch (const std::invalid_argument& e) {
        Fail(*el, field + ".element", e.what());
      }
    } else {
      const Node& h = *Find(n, "header");
      r.kind = MatchKind::Header;
      if (case_node) Fail(*case_node, field + ".case", "is for literal");
      if (flags) Fail(*flags, field + ".flags", "is for regex; header values match without case");
      if (h.kind == Node::Kind::Sequence) {
        if (h.items.empty()) Fail(h, field + ".header", "needs at least one condition");
        for (std::size_t i = 0; i < h.items.size(); ++i)
          r.header.push_back(
              ReadHeaderTest(h.items[i], field + ".header[" + std::to_string(i) + "]"));
      } else {
        r.header.push_back(ReadHeaderTest(h, field + ".header"));
      }
    }
  }

  // {name: N, absent: true} | {name: N, matches: REGEX} | {name: N, lacks: WORD}
  HeaderTest ReadHeaderTest(const Node& n, const std::string& field) const {
    Keys(n, field, {"name", "absent", "matches", "lacks"});
    HeaderTest t;
    const Node* name = Find(n, "name");
    if (!name) Fail(n, field + ".name", "is required");
    const std::string& v = Scalar(*name, field + ".name");
    const bool token = !v.empty() && std::all_of(v.begin(), v.end(), [](char c) {
      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
             c == '-' || c == '_';
    });
    if (!token) Fail(*name, field + ".name", "\"" + v + "\" is no header name");
    for (char c : v) t.name += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    int forms = 0;
    for (std::string_view k : {"absent", "matches", "lacks"}) forms += Find(n, k) != nullptr;
    if (forms != 1) Fail(n, field, "needs exactly one of absent: true, matches and lacks");
    if (const Node* a = Find(n, "absent")) {
      if (!Bool(*a, field + ".absent"))
        Fail(*a, field + ".absent", "is true (a header that is present: use matches: '.')");
      t.kind = HeaderTest::Kind::Absent;
    } else if (const Node* m = Find(n, "matches")) {
      t.kind = HeaderTest::Kind::Matches;
      t.value = Scalar(*m, field + ".matches");
      try {
        CheckHeaderRegex(t.value);
      } catch (const std::invalid_argument& e) {
        Fail(*m, field + ".matches", "\"" + t.value + "\": " + e.what());
      }
    } else {
      const Node& l = *Find(n, "lacks");
      t.kind = HeaderTest::Kind::Lacks;
      t.value = Scalar(l, field + ".lacks");
      if (t.value.empty() || t.value.find_first_of(" ;,=") != std::string::npos)
        Fail(l, field + ".lacks", "names one directive or attribute, as \"secure\"");
    }
    return t;
  }

  // A regex is refused here, with its line, rather than when the set is
  // compiled. The empty-match test parses only; whether the database takes
  // the file's regexes is asked once for all of them (CompileRegexes), as
  // compiling each alone would cost a whole build per regex.
  void CheckRegex(const Node& at, const std::string& field, const Rule& r) const {
    hs_expr_info_t* info = nullptr;
    hs_compile_error_t* error = nullptr;
    if (hs_expression_info(r.pattern.c_str(), RegexFlags(r), &info, &error) != HS_SUCCESS) {
      const std::string why = error && error->message ? error->message : "unknown error";
      hs_free_compile_error(error);
      Fail(at, field, "\"" + r.pattern + "\" cannot be used: " + why);
    }
    const bool empty = info->min_width == 0;
    std::free(info);
    if (empty) Fail(at, field, "\"" + r.pattern + "\" matches empty text");
    if (compile_) regexes_.push_back({&at, field, r.pattern, RegexFlags(r)});
  }

  static unsigned RegexFlags(const Rule& r) {
    return HS_FLAG_SOM_LEFTMOST | (r.case_mode == CaseMode::Ignore ? HS_FLAG_CASELESS : 0);
  }

  // The file's regexes built as the set builds them. A refusal names its
  // expression; one that names none (the whole is too large, say) is left to
  // the set, which says so before anything is checked.
  void CompileRegexes() const {
    if (regexes_.empty()) return;
    std::vector<const char*> expressions;
    std::vector<unsigned> flags, ids;
    for (const PendingRegex& p : regexes_) {
      expressions.push_back(p.pattern.c_str());
      flags.push_back(p.flags);
      ids.push_back(static_cast<unsigned>(ids.size()));
    }
    hs_database_t* db = nullptr;
    hs_compile_error_t* error = nullptr;
    if (hs_compile_multi(
            expressions.data(), flags.data(), ids.data(), static_cast<unsigned>(expressions.size()),
            HS_MODE_STREAM | HS_MODE_SOM_HORIZON_LARGE, nullptr, &db, &error) == HS_SUCCESS) {
      hs_free_database(db);
      return;
    }
    const std::string why = error && error->message ? error->message : "unknown error";
    const int which = error ? error->expression : -1;
    hs_free_compile_error(error);
    if (which < 0 || static_cast<std::size_t>(which) >= regexes_.size()) return;
    const PendingRegex& p = regexes_[static_cast<std::size_t>(which)];
    Fail(*p.at, p.field, "\"" + p.pattern + "\" cannot be used: " + why);
  }

  RuleFileContent Read(const Node& root) const {
    if (root.kind == Node::Kind::Null) {
      Node at = root;
      Fail(at, "rules", "the file is empty");
    }
    if (root.kind != Node::Kind::Map) Fail(root, "rules", "the file needs a top-level rules: list");
    Keys(root, "", {"rules", "allow-origins"});
    RuleFileContent content;
    if (const Node* allow = Find(root, "allow-origins")) {
      if (allow->kind != Node::Kind::Sequence)
        Fail(*allow, "allow-origins", "needs a list of origins");
      for (const Node& item : allow->items) {
        const std::string& entry = Scalar(item, "allow-origins");
        std::string host = AllowedHost(entry);
        if (host.empty() || host.find_first_of(" /?#*") != std::string::npos)
          Fail(item, "allow-origins", "\"" + entry + "\" is no origin: give https://host or host");
        content.allow_origins.push_back(std::move(host));
      }
    }
    const Node* list = Find(root, "rules");
    if (!list) Fail(root, "rules", "is required");
    if (list->kind != Node::Kind::Sequence) Fail(*list, "rules", "needs a list of rules");
    std::vector<Rule> rules;
    for (std::size_t i = 0; i < list->items.size(); ++i) {
      const std::string field = "rules[" + std::to_string(i) + "]";
      Rule r = ReadRule(list->items[i], field);
      for (const Rule& other : rules) {
        if (other.id == r.id)
          Fail(list->items[i], field + ".id",
               "\"" + r.id + "\" is given twice (first at " + other.origin + ")");
      }
      rules.push_back(std::move(r));
    }
    CompileRegexes();
    content.rules = std::move(rules);
    return content;
  }

 private:
  struct PendingRegex {
    const Node* at;
    std::string field;
    std::string pattern;
    unsigned flags;
  };
  bool compile_;
  mutable std::vector<PendingRegex> regexes_;
};

}  // namespace

std::vector<Rule> ParseRuleFile(std::string_view text, const std::string& name,
                                const RuleFileLimits& limits, RulePatterns patterns) {
  return ParseRuleFileContent(text, name, limits, patterns).rules;
}

RuleFileContent ParseRuleFileContent(std::string_view text, const std::string& name,
                                     const RuleFileLimits& limits, RulePatterns patterns) {
  return Reader(name, patterns).Read(ParseYamlDocument(text, name, "rules", limits));
}

std::vector<Rule> ReadRuleFile(const std::string& path, const RuleFileLimits& limits) {
  return ReadRuleFileContent(path, limits).rules;
}

RuleFileContent ReadRuleFileContent(const std::string& path, const RuleFileLimits& limits) {
  return ParseRuleFileContent(ReadYamlFile(path, limits), path, limits);
}

}  // namespace vx::app::check
