// The YAML files of the user's own (rule files, suppression files) as plain
// nodes: read with limits on size, nesting and node count, aliases refused
// (they would let a small file stand for a huge one), and every error naming
// the file and the line (from 1). The readers of each kind of file check the
// fields with YamlFields.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/check/rule_file.h"

namespace vx::app::check {

// One node of the document, with its line.
struct YamlNode {
  enum class Kind { Null, Scalar, Sequence, Map } kind = Kind::Null;
  std::size_t line = 1;
  std::string value;
  // A sequence's items; a map's keys and values, in turn (a vector of pairs
  // of an incomplete type would not do).
  std::vector<YamlNode> items;
};

// The one document of `text`; `name` is what messages call the file, and
// `top` the top-level field messages name when the file is empty. Throws
// RuleFileError.
YamlNode ParseYamlDocument(std::string_view text, const std::string& name, std::string_view top,
                           const RuleFileLimits& limits = {});

// The text of the file at `path`, up to the size limit (one byte more, so
// that a larger file is told as such). Throws RuleFileError.
std::string ReadYamlFile(const std::string& path, const RuleFileLimits& limits = {});

// Reading fields of a document: "FILE:LINE: FIELD: what is wrong".
class YamlFields {
 public:
  using Node = YamlNode;
  explicit YamlFields(const std::string& name) : name_(name) {}

  [[noreturn]] void Fail(const Node& at, const std::string& field, const std::string& why) const {
    throw RuleFileError(name_ + ":" + std::to_string(at.line) + ": " + field + ": " + why);
  }

  const std::string& Scalar(const Node& n, const std::string& field) const {
    if (n.kind != Node::Kind::Scalar) Fail(n, field, "needs a text value");
    return n.value;
  }

  std::vector<std::pair<const Node*, const Node*>> Map(const Node& n,
                                                       const std::string& field) const {
    if (n.kind != Node::Kind::Map) Fail(n, field, "needs a mapping (name: value lines)");
    std::vector<std::pair<const Node*, const Node*>> out;
    for (std::size_t i = 0; i + 1 < n.items.size(); i += 2)
      out.emplace_back(&n.items[i], &n.items[i + 1]);
    return out;
  }

  // A list, or a single value standing for a list of one.
  std::vector<std::string> Strings(const Node& n, const std::string& field) const {
    if (n.kind == Node::Kind::Scalar) return {n.value};
    if (n.kind != Node::Kind::Sequence) Fail(n, field, "needs a list of text values");
    std::vector<std::string> out;
    for (const Node& item : n.items) out.push_back(Scalar(item, field));
    return out;
  }

  bool Bool(const Node& n, const std::string& field) const {
    const std::string& v = Scalar(n, field);
    if (v == "true") return true;
    if (v == "false") return false;
    Fail(n, field, "is true or false, not \"" + v + "\"");
  }

  // Each key once, and only those `known`.
  void Keys(const Node& map, const std::string& field,
            std::initializer_list<std::string_view> known) const {
    std::vector<std::string> seen;
    for (const auto& [key, value] : Map(map, field)) {
      const std::string& k = Scalar(*key, field);
      if (std::find(known.begin(), known.end(), k) == known.end()) {
        std::string list;
        for (std::string_view name : known) list += (list.empty() ? "" : ", ") + std::string(name);
        Fail(*key, field.empty() ? k : field + "." + k, "unknown field (known: " + list + ")");
      }
      if (std::find(seen.begin(), seen.end(), k) != seen.end())
        Fail(*key, field.empty() ? k : field + "." + k, "given twice");
      seen.push_back(k);
    }
  }

  static const Node* Find(const Node& map, std::string_view key) {
    if (map.kind != Node::Kind::Map) return nullptr;
    for (std::size_t i = 0; i + 1 < map.items.size(); i += 2)
      if (map.items[i].kind == Node::Kind::Scalar && map.items[i].value == key)
        return &map.items[i + 1];
    return nullptr;
  }

 protected:
  const std::string& name_;
};

}  // namespace vx::app::check
