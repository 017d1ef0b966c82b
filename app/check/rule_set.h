// The rules a check applies: the twenty classic ones, and rules of the
// user's own from rule files, each with an id, a severity and tags, in the
// order their findings are listed. A set is compiled once into the one
// multi-pattern database its check runs on.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/check/html_context.h"

namespace vx::app::check {

enum class Severity { Info, Low, Medium, High, Critical };
std::string_view SeverityName(Severity severity);  // "info" ... "critical"
std::optional<Severity> SeverityFromName(std::string_view name);

enum class MatchKind { Literal, Regex, Element, Header };
std::string_view MatchKindName(MatchKind kind);

enum class CaseMode {
  Exact,    // as written
  Ignore,   // any mix of capitals and small letters
  Classic,  // the all-capital or the all-small form, as the twenty rules look
};
std::string_view CaseModeName(CaseMode mode);

inline constexpr std::size_t kNotClassic = static_cast<std::size_t>(-1);

// One test of a compound selector: [name], [name=v], [name^=v], [name$=v],
// [name*=v]; `negated` for :not([...]).
struct AttributeTest {
  enum class Op { Exists, Equals, Prefix, Suffix, Contains };
  std::string name;  // lower case
  Op op = Op::Exists;
  std::string value;
  bool negated = false;
};
// An element name ("" for any) and its attribute tests, all of which hold.
struct Compound {
  std::string element;
  std::vector<AttributeTest> tests;
};
// A compound, and with :has(...) a compound some element inside must match.
struct Selector {
  Compound outer;
  bool has_inner = false;
  Compound inner;
};

// Which elements a rule with a URL counts, by the origin the URL goes to.
enum class OriginTest {
  Any,
  Other,  // same-origin: false: another site, not on the allow-list
  Own,    // same-origin: true: the page's own site or the allow-list
};

// One condition of a header rule over the final response's headers.
struct HeaderTest {
  enum class Kind { Absent, Matches, Lacks };
  std::string name;  // lower case
  Kind kind = Kind::Absent;
  std::string value;  // the regular expression, or the directive lacked
};

struct Rule {
  std::string id;  // [A-Za-z0-9._-]+, unique in a set
  std::string label;
  std::string description;
  Severity severity = Severity::Info;
  std::vector<std::string> tags;
  MatchKind kind = MatchKind::Literal;
  std::string pattern;  // the literal text or the regular expression
  CaseMode case_mode = CaseMode::Exact;
  // Only occurrences in these contexts count; 0: wherever they sit.
  ContextSet in = 0;
  // Its index in the classic table, or kNotClassic.
  std::size_t classic = kNotClassic;
  // Where the rule was written ("file:line"), for messages; "" when built in.
  std::string origin;
  // Element rules: the selectors of `pattern`, any of which matches.
  std::vector<Selector> selectors;
  OriginTest origin_test = OriginTest::Any;
  // With :has(): how many elements inside must match.
  std::size_t has_count = 1;
  // Header rules: conditions that must all hold.
  std::vector<HeaderTest> header;
  // Only on pages of this scheme ("https"); "": any page.
  std::string page_scheme;
};

// A rule that cannot be used: a pattern the database refuses, an id given
// twice. The message names the rule and where it was written.
struct RuleError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Whether `id` is a usable rule id.
bool IsRuleId(std::string_view id);

// The twenty classic rules as Rule values, VX001 to VX020, tagged "classic".
const std::vector<Rule>& ClassicRules();

class RuleSet {
 public:
  // When the rules' patterns are compiled: at once, so that the constructor
  // throws RuleError naming the first rule that cannot be used; or when a
  // check first needs them, for rules known to be usable (the built-in
  // packs), so that a large page's other passes need not wait for it.
  enum class Build { Now, WhenNeeded };
  // `allow_origins` extends the built-in list of well-known origins that
  // same-origin tests count as the page's own.
  explicit RuleSet(std::vector<Rule> rules, std::vector<std::string> allow_origins = {},
                   Build build = Build::Now);
  ~RuleSet();
  RuleSet(const RuleSet&) = delete;
  RuleSet& operator=(const RuleSet&) = delete;

  // The twenty, shared; what a check without a set of its own applies.
  static std::shared_ptr<const RuleSet> Classic();

  const std::vector<Rule>& rules() const { return rules_; }
  // Hosts, lower case: the built-in list and the rule files' allow-origins.
  const std::vector<std::string>& allow_origins() const { return allow_origins_; }
  std::size_t size() const { return rules_.size(); }
  const Rule& operator[](std::size_t i) const { return rules_[i]; }
  // Exactly the twenty classic rules in their order: the fast way applies.
  bool is_classic() const { return is_classic_; }
  // The number reports give rule i: a classic rule's own (1 to 20), else its
  // position in the set (1-based).
  std::size_t Number(std::size_t i) const;

  struct Compiled;
  // Every form of every rule; built when first asked for where the set's
  // patterns are known to be usable already (the twenty, or a mixed set whose
  // rest was built), since building it is most of a small run's time.
  const Compiled& compiled() const;
  // Whether the set mixes plain classic rules with others: a check that wants
  // only first occurrences finds the classic ones the classic way and the
  // rest by a database of their own.
  bool mixed() const { return mixed_; }
  // A mixed set's database without its classic rules (built once, when first
  // asked for unless the set was built Now); null for a set that is not mixed.
  const Compiled* rest() const;

 private:
  std::vector<Rule> rules_;
  std::vector<std::string> allow_origins_;
  bool is_classic_ = false;
  bool mixed_ = false;
  mutable std::once_flag compiled_once_;
  mutable std::unique_ptr<Compiled> compiled_;
  mutable std::once_flag rest_once_;
  mutable std::unique_ptr<Compiled> rest_;
};

}  // namespace vx::app::check
