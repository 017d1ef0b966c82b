#include "app/check/yaml_document.h"

#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/exceptions.h>
#include <yaml-cpp/parser.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace vx::app::check {
namespace {

using Node = YamlNode;

// Builds the nodes from the parser's events, refusing what the limits do not
// allow as it goes, so that nothing grows past them.
class Builder : public YAML::EventHandler {
 public:
  Builder(const std::string& name, const RuleFileLimits& limits) : name_(name), limits_(limits) {}

  Node root;
  bool has_root = false;

  void OnDocumentStart(const YAML::Mark&) override {}
  void OnDocumentEnd() override {}
  void OnNull(const YAML::Mark& mark, YAML::anchor_t) override { Leaf(mark, Node::Kind::Null, ""); }
  void OnAlias(const YAML::Mark& mark, YAML::anchor_t) override {
    Fail(mark, "aliases (*name) are not allowed");
  }
  void OnScalar(const YAML::Mark& mark, const std::string&, YAML::anchor_t,
                const std::string& value) override {
    Leaf(mark, Node::Kind::Scalar, value);
  }
  void OnSequenceStart(const YAML::Mark& mark, const std::string&, YAML::anchor_t,
                       YAML::EmitterStyle::value) override {
    Open(mark, Node::Kind::Sequence);
  }
  void OnSequenceEnd() override { Close(); }
  void OnMapStart(const YAML::Mark& mark, const std::string&, YAML::anchor_t,
                  YAML::EmitterStyle::value) override {
    Open(mark, Node::Kind::Map);
  }
  void OnMapEnd() override { Close(); }

 private:
  [[noreturn]] void Fail(const YAML::Mark& mark, const std::string& why) const {
    throw RuleFileError(name_ + ":" + std::to_string(mark.line + 1) + ": " + why);
  }

  void Count(const YAML::Mark& mark) {
    if (++nodes_ > limits_.max_nodes)
      Fail(mark, "more than " + std::to_string(limits_.max_nodes) + " nodes");
  }

  void Leaf(const YAML::Mark& mark, Node::Kind kind, const std::string& value) {
    Count(mark);
    Node n;
    n.kind = kind;
    n.line = static_cast<std::size_t>(mark.line) + 1;
    n.value = value;
    Place(std::move(n));
  }

  void Open(const YAML::Mark& mark, Node::Kind kind) {
    Count(mark);
    if (stack_.size() >= limits_.max_depth)
      Fail(mark, "nested deeper than " + std::to_string(limits_.max_depth) + " levels");
    Node n;
    n.kind = kind;
    n.line = static_cast<std::size_t>(mark.line) + 1;
    stack_.push_back({std::move(n)});
  }

  void Close() {
    Node n = std::move(stack_.back().node);
    stack_.pop_back();
    Place(std::move(n));
  }

  // A finished node goes into the one open around it.
  void Place(Node n) {
    if (stack_.empty()) {
      root = std::move(n);
      has_root = true;
      return;
    }
    Open_& parent = stack_.back();
    if (parent.node.kind == Node::Kind::Sequence) {
      parent.node.items.push_back(std::move(n));
    } else {
      parent.node.items.push_back(std::move(n));
    }
  }

  struct Open_ {
    Node node;
  };
  const std::string& name_;
  const RuleFileLimits& limits_;
  std::vector<Open_> stack_;
  std::size_t nodes_ = 0;
};

}  // namespace

YamlNode ParseYamlDocument(std::string_view text, const std::string& name, std::string_view top,
                           const RuleFileLimits& limits) {
  if (text.size() > limits.max_bytes)
    throw RuleFileError(name + ": larger than " + std::to_string(limits.max_bytes) + " bytes");
  if (text.find('\0') != std::string_view::npos)
    throw RuleFileError(name + ": holds a NUL byte: not a YAML text");
  std::istringstream in{std::string(text)};
  Builder builder(name, limits);
  try {
    YAML::Parser parser(in);
    if (parser.HandleNextDocument(builder)) {
      Builder second(name, limits);
      if (parser.HandleNextDocument(second))
        throw RuleFileError(name + ": holds more than one YAML document");
    }
  } catch (const YAML::Exception& e) {
    throw RuleFileError(name + ":" + std::to_string(e.mark.line + 1) +
                        ": not valid YAML: " + e.msg);
  }
  if (!builder.has_root)
    throw RuleFileError(name + ":1: " + std::string(top) + ": the file is empty");
  return std::move(builder.root);
}

std::string ReadYamlFile(const std::string& path, const RuleFileLimits& limits) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw RuleFileError(path + ": cannot read: " + std::strerror(errno));
  std::string text(limits.max_bytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) throw RuleFileError(path + ": cannot read: " + std::strerror(errno));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

}  // namespace vx::app::check
