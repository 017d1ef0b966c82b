// The check as a function: a page's text in, what each rule finds out, with
// every occurrence's place in the text and in the markup. Pure and safe on
// any thread; the window and the command line both report from it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/check/html_context.h"
#include "app/check/rule_set.h"

namespace vx::app::check {

struct Occurrence {
  std::size_t offset = 0;  // bytes into the checked (UTF-8) text
  std::size_t length = 0;  // bytes
  std::size_t line = 1;    // 1-based; "\n", "\r\n" and a lone "\r" end a line
  std::size_t column = 1;  // 1-based, in characters
  Context context = Context::Text;
  std::string element;  // lower case; "" at top level
};

struct RuleMatch {
  std::size_t rule = 0;  // index into the rule set
  // Every occurrence of the rule's forms, wherever it sits (0 when the
  // options asked for no occurrences).
  std::size_t count = 0;
  // The first occurrence that counts: the one outside the ignored contexts.
  // Its line and column are the finding's.
  Occurrence first;
  // The first max_occurrences occurrences in page order, ignored ones too.
  std::vector<Occurrence> occurrences;
};

// The address a checked text was fetched from and its final response's
// headers, in the order received (names as sent).
struct PageOrigin {
  std::string address;
  bool fetched = false;  // a web address's response (headers below apply)
  std::vector<std::pair<std::string, std::string>> headers;
};

struct CheckOptions {
  // How many occurrences each match lists; with 0 and no ignored contexts
  // the check only places each rule's first occurrence, the fast way.
  std::size_t max_occurrences = 0;
  bool want_occurrences = false;  // count and list occurrences (up to the limit)
  // A rule matches only where an occurrence sits outside these contexts.
  ContextSet ignore_in = 0;
  // Only this rule (an index into the rule set), when it is one.
  std::size_t only_rule = static_cast<std::size_t>(-1);
  // The rules to apply; none: the twenty classic rules.
  std::shared_ptr<const RuleSet> rules;
  // Where the text came from, for rules that look past the text: a page's
  // own origin (same-origin element rules) and its final response's headers
  // (header rules). None: a text without an address, header rules not run.
  const PageOrigin* page = nullptr;
  // Everything on the caller's thread, even for a large page that another
  // core would help with.
  bool one_thread = false;
};

struct CheckResult {
  std::vector<RuleMatch> matches;  // in rule order
};

// The rules of options.rules (the twenty when none) over `text` (UTF-8, as
// the source box holds it). Matches are in the set's order.
CheckResult Check(std::string_view text, const CheckOptions& options = {});

// How many occurrences of one rule sit in each context, for a summary.
struct ContextCounts {
  std::size_t total = 0;
  std::size_t in[kContextCount] = {};
};
ContextCounts CountContexts(const std::vector<Occurrence>& occurrences);

// Every occurrence of one rule's forms (`rule` an index into the rule table;
// one past it gives nothing), at most `limit`, the first ones, in page order,
// each placed: what the window highlights and describes.
std::vector<Occurrence> RuleOccurrences(std::string_view text, std::size_t rule,
                                        std::size_t limit = static_cast<std::size_t>(-1));

// "3 occurrences: 2 in attribute names, 1 in a comment", "4 occurrences, all
// in scripts", "1 occurrence, in a script"; contexts in the order of Context.
std::string DescribeCounts(const ContextCounts& counts);

// At most 80 characters of the occurrence's line around it, cut at the
// line's ends.
std::string SnippetAt(std::string_view text, const Occurrence& occurrence);

// Contexts named by a comma-separated list, "markup" standing for tag,
// attribute-name and attribute-value. Throws std::invalid_argument naming an
// unknown name.
ContextSet ParseContexts(std::string_view names);

}  // namespace vx::app::check
