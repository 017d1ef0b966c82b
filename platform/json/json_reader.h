#pragma once

// Reading JSON from files we do not control. nlohmann's parser builds any
// depth it is given, and later copies, dumps and destroys the tree by
// recursion; a file nested some 50,000 levels deep then overflows the stack.
// So nesting is counted while parsing and refused far above what any real
// file holds, and all of the parser's exceptions (syntax, numbers beyond
// double range, ...) come out as one error type that names the source.

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vx::json {

using Json = nlohmann::ordered_json;

// Arrays and objects inside one another, the outermost counting 1.
inline constexpr int kMaxDepth = 64;

// A JSON text that cannot be read. what() is "ORIGIN: REASON".
class JsonReadError : public std::runtime_error {
 public:
  JsonReadError(const std::string& origin, const std::string& reason)
      : std::runtime_error(origin + ": " + reason), reason_(reason) {}
  // Without the origin: "nested too deep (...)", "not valid JSON: ...".
  const std::string& reason() const { return reason_; }

 private:
  std::string reason_;
};

// Parses `text`. `origin` names it in messages (a file name, "--props", ...).
Json Parse(std::string_view text, const std::string& origin);

// Reads and parses a file; origin is the path as given.
Json ParseFile(const std::string& path);

// Serialises for output. Text that is not valid UTF-8 cannot reach here from
// our readers; should any arrive, it is written with U+FFFD instead of
// throwing half-way through the output.
std::string Dump(const Json& j, int indent = -1);

}  // namespace vx::json
