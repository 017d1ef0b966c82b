#include "app/check/check.h"

#include <hs/hs.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <queue>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "app/check/element_rules.h"
#include "app/check/header_rules.h"
#include "app/check/rule_hits.h"
#include "app/check/rule_set.h"
#include "app/marker_search.h"
#include "app/rules.h"
#include "app/text_position.h"
#include "platform/base/ascii.h"

namespace vx::app::check {
namespace {

// A literal as a pattern of the database's regular-expression syntax: every
// byte that is not a letter or digit escaped.
std::string EscapeLiteral(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      out += ch;
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace

// Every form of every rule of a set in one database, matched in one pass; a
// form two rules share is matched once.
struct RuleSet::Compiled {
  struct Pattern {
    std::string text;  // a literal, or a regular expression
    unsigned flags = 0;
    bool regex = false;
    std::vector<std::size_t> rules;  // the rules it is a form of
  };
  std::vector<Pattern> patterns;
  // How far before its end a match may start: the longest match, or 0 when
  // some regular expression has no bound.
  std::size_t longest = 1;
  bool bounded = true;
  hs_database_t* db = nullptr;
  // Where every pattern is a literal of exact case, and not many: the
  // vector filter the first-occurrence check uses, which finds them all in
  // less time than the database (the same patterns, the same indices).
  std::unique_ptr<MarkerSearch> literals;
  static constexpr std::size_t kMaxFilterPatterns = 64;
  // Never the same for two databases, even where one takes the other's
  // memory: what a thread's scratch space knows it is fitted to.
  const std::uint64_t serial = NextSerial();

  static std::uint64_t NextSerial() {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
  }

  ~Compiled() { hs_free_database(db); }

  void Add(std::size_t rule, std::string text, unsigned flags, bool regex) {
    auto it = std::find_if(patterns.begin(), patterns.end(), [&](const Pattern& p) {
      return p.text == text && p.flags == flags && p.regex == regex;
    });
    if (it == patterns.end()) {
      patterns.push_back({std::move(text), flags, regex, {}});
      it = patterns.end() - 1;
    }
    if (std::find(it->rules.begin(), it->rules.end(), rule) == it->rules.end())
      it->rules.push_back(rule);
  }

  static bool IsPlainClassic(const Rule& rule) {
    return rule.classic != kNotClassic && rule.in == 0 && rule.kind == MatchKind::Literal;
  }

  [[noreturn]] static void Fail(const Rule& rule, std::string_view why) {
    throw RuleError("rule " + rule.id + (rule.origin.empty() ? "" : " (" + rule.origin + ")") +
                    ": " + std::string(why));
  }

  // With `skip_classic`, the classic rules without in: are left out: a check
  // that only wants first occurrences finds those the classic way.
  explicit Compiled(const std::vector<Rule>& rules, bool skip_classic = false) {
    for (std::size_t r = 0; r < rules.size(); ++r) {
      const Rule& rule = rules[r];
      if (skip_classic && IsPlainClassic(rule)) continue;
      if (rule.kind == MatchKind::Literal) {
        if (rule.pattern.empty()) Fail(rule, "the literal is empty");
        if (rule.case_mode == CaseMode::Classic) {
          // The twenty's way: the all-capital form and, where it differs, the
          // all-small one, each exactly.
          std::string upper = ascii::Upper(rule.pattern), lower = ascii::Lower(rule.pattern);
          const bool same = upper == lower;
          Add(r, std::move(upper), 0, false);
          if (!same) Add(r, std::move(lower), 0, false);
        } else {
          Add(r, rule.pattern, rule.case_mode == CaseMode::Ignore ? HS_FLAG_CASELESS : 0, false);
        }
      } else if (rule.kind == MatchKind::Regex) {
        const unsigned flags =
            HS_FLAG_SOM_LEFTMOST | (rule.case_mode == CaseMode::Ignore ? HS_FLAG_CASELESS : 0);
        // Each expression alone first, so that a refusal names its rule.
        hs_expr_info_t* info = nullptr;
        hs_compile_error_t* error = nullptr;
        if (hs_expression_info(rule.pattern.c_str(), flags, &info, &error) != HS_SUCCESS) {
          const std::string why = error && error->message ? error->message : "unknown error";
          hs_free_compile_error(error);
          Fail(rule, "the regex \"" + rule.pattern + "\" cannot be used: " + why);
        }
        const bool unbounded = info->max_width == UINT_MAX;
        const std::size_t width = info->max_width;
        const bool empty = info->min_width == 0;
        std::free(info);
        if (empty) Fail(rule, "the regex \"" + rule.pattern + "\" matches empty text");
        if (unbounded) {
          bounded = false;
        } else {
          longest = std::max(longest, width);
        }
        Add(r, rule.pattern, flags, true);
      }
      // Element and header rules are not matched against the text.
    }
    if (patterns.empty()) return;
    if (patterns.size() <= kMaxFilterPatterns &&
        std::all_of(patterns.begin(), patterns.end(),
                    [](const Pattern& p) { return !p.regex && p.flags == 0; })) {
      std::vector<std::string> texts;
      for (const Pattern& p : patterns) texts.push_back(p.text);
      literals = std::make_unique<MarkerSearch>(std::move(texts));
    }
    bool any_regex = false;
    for (const Pattern& p : patterns) {
      any_regex = any_regex || p.regex;
      if (!p.regex) longest = std::max(longest, p.text.size());
    }
    std::vector<std::string> escaped;
    std::vector<const char*> expressions;
    std::vector<std::size_t> lengths;
    std::vector<unsigned> ids, flags;
    for (std::size_t i = 0; i < patterns.size(); ++i) {
      escaped.push_back(any_regex && !patterns[i].regex ? EscapeLiteral(patterns[i].text)
                                                        : patterns[i].text);
      ids.push_back(static_cast<unsigned>(i));
      flags.push_back(patterns[i].flags);
    }
    for (const std::string& e : escaped) {
      expressions.push_back(e.c_str());
      lengths.push_back(e.size());
    }
    hs_compile_error_t* error = nullptr;
    // Stream mode: a page of any size goes through in pieces, offsets counted
    // over the whole page. Literals alone take the literal compiler, the
    // classic set's way; regular expressions need start offsets.
    const hs_error_t status =
        any_regex
            ? hs_compile_multi(expressions.data(), flags.data(), ids.data(),
                               static_cast<unsigned>(patterns.size()),
                               HS_MODE_STREAM | HS_MODE_SOM_HORIZON_LARGE, nullptr, &db, &error)
            : hs_compile_lit_multi(expressions.data(), flags.data(), ids.data(), lengths.data(),
                                   static_cast<unsigned>(patterns.size()), HS_MODE_STREAM, nullptr,
                                   &db, &error);
    if (status != HS_SUCCESS) {
      const std::string why = error && error->message ? error->message : "unknown error";
      const int which = error ? error->expression : -1;
      hs_free_compile_error(error);
      if (which >= 0 && static_cast<std::size_t>(which) < patterns.size()) {
        const Pattern& p = patterns[static_cast<std::size_t>(which)];
        Fail(rules[p.rules.front()], "the pattern \"" + p.text + "\" cannot be used: " + why);
      }
      throw RuleError("cannot build the marker database: " + why);
    }
  }
  Compiled(const Compiled&) = delete;
  Compiled& operator=(const Compiled&) = delete;

  std::size_t length(unsigned id) const { return patterns[id].text.size(); }
};

RuleSet::RuleSet(std::vector<Rule> rules, std::vector<std::string> allow_origins, Build build)
    : rules_(std::move(rules)), allow_origins_(WellKnownOrigins()) {
  for (std::string& host : allow_origins)
    if (std::find(allow_origins_.begin(), allow_origins_.end(), host) == allow_origins_.end())
      allow_origins_.push_back(std::move(host));
  for (std::size_t i = 0; i < rules_.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (rules_[j].id == rules_[i].id)
        throw RuleError("rule id " + rules_[i].id + " is given twice" +
                        (rules_[i].origin.empty() ? "" : " (" + rules_[i].origin + ")"));
    }
  }
  is_classic_ = rules_.size() == kRuleCount;
  for (std::size_t i = 0; i < rules_.size() && is_classic_; ++i)
    is_classic_ = rules_[i].classic == i && rules_[i].in == 0;
  mixed_ = !is_classic_ && std::any_of(rules_.begin(), rules_.end(), Compiled::IsPlainClassic);
  if (build == Build::WhenNeeded || is_classic_) return;
  // A mixed set's rest refuses every pattern of the set that cannot be used
  // (the classic forms always can), so the whole set's waits for a check that
  // needs it; so does the twenty's.
  if (mixed_) {
    rest();
  } else {
    compiled();
  }
}

const RuleSet::Compiled& RuleSet::compiled() const {
  std::call_once(compiled_once_, [this] {
    if (!compiled_) compiled_ = std::make_unique<Compiled>(rules_);
  });
  return *compiled_;
}

const RuleSet::Compiled* RuleSet::rest() const {
  if (!mixed_) return nullptr;
  std::call_once(rest_once_, [this] { rest_ = std::make_unique<Compiled>(rules_, true); });
  return rest_.get();
}

RuleSet::~RuleSet() = default;

namespace {

// Each thread's own matching scratch space, grown to fit each database.
// A scratch once fitted to a database stays fit for it (it only grows), so
// the few databases it was fitted to last are not asked about again: a
// folder's pages are checked by the thousand with the same one.
hs_scratch_t* Scratch(const RuleSet::Compiled& db) {
  struct Holder {
    hs_scratch_t* scratch = nullptr;
    std::array<std::uint64_t, 4> fitted{};  // databases' serial numbers, 0: none
    std::size_t next = 0;
    ~Holder() { hs_free_scratch(scratch); }
  };
  thread_local Holder holder;
  if (std::find(holder.fitted.begin(), holder.fitted.end(), db.serial) != holder.fitted.end())
    return holder.scratch;
  if (hs_alloc_scratch(db.db, &holder.scratch) != HS_SUCCESS) throw std::bad_alloc();
  holder.fitted[holder.next] = db.serial;
  holder.next = (holder.next + 1) % holder.fitted.size();
  return holder.scratch;
}

struct Pending {
  std::size_t start;
  std::size_t end;
  unsigned id;
  bool late = false;  // overtaken: it starts before what was handed on already
  bool operator>(const Pending& o) const { return start != o.start ? start > o.start : id > o.id; }
};

// Where a match goes once it is in start order; false stops the search.
class MatchSink {
 public:
  virtual bool Accept(const Pending& p) = 0;
  // The search has gone this far: what was accepted may go on. No match
  // handed on later starts before `safe`, save late ones.
  virtual bool Flush(std::size_t /*safe*/) { return true; }

 protected:
  ~MatchSink() = default;
};

// Takes the matches as the database reports them (by end offset) and hands
// them on by start offset, which the context scanner needs; only matches
// that may still be overtaken are held. A regular expression without a
// bound on its length may report a match that starts before what was handed
// on already: such a match goes on marked late.
class MatchOrder {
 public:
  MatchOrder(const RuleSet::Compiled& db, MatchSink& sink)
      : db_(db), sink_(sink), last_end_(db_.patterns.size(), 0) {}

  bool Add(unsigned id, unsigned long long from, unsigned long long to) {
    const std::size_t end = static_cast<std::size_t>(to);
    const auto& pattern = db_.patterns[id];
    std::size_t start = end - db_.length(id);
    if (pattern.regex) {
      // One occurrence per place: the database reports each longer match
      // from the same start too; overlapping ones are not new occurrences.
      start = static_cast<std::size_t>(from);
      if (start < last_end_[id]) return true;
      last_end_[id] = end;
    }
    if (start < released_) return sink_.Accept({start, end, id, true});
    pending_.push({start, end, id});
    // A match reported later ends at or after `end`, so it starts at or after
    // end - longest.
    while (!pending_.empty() && pending_.top().start + db_.longest < end)
      if (!Release()) return false;
    return true;
  }

  // No match reported from now on ends before `at`.
  bool Reached(std::size_t at) {
    while (!pending_.empty() && pending_.top().start + db_.longest < at)
      if (!Release()) return false;
    // A match reported later ends at or after `at`; without a bound on a
    // regular expression's length, only the last one handed on bounds it.
    return sink_.Flush(!db_.bounded ? released_ : at > db_.longest ? at - db_.longest : 0);
  }

  bool Finish() {
    while (!pending_.empty())
      if (!Release()) return false;
    return true;
  }

 private:
  bool Release() {
    const Pending p = pending_.top();
    pending_.pop();
    released_ = p.start;
    return sink_.Accept(p);
  }

  const RuleSet::Compiled& db_;
  MatchSink& sink_;
  std::size_t released_ = 0;
  std::vector<std::size_t> last_end_;  // per regex pattern: where its last occurrence ended
  std::priority_queue<Pending, std::vector<Pending>, std::greater<>> pending_;
};

// What each rule finds, from matches in start order and from occurrences
// placed already.
class Collector final : public MatchSink {
 public:
  Collector(std::string_view text, const CheckOptions& options, const RuleSet& set,
            const RuleSet::Compiled& db, const ContextScanner::Ahead& ahead)
      : text_(text),
        options_(options),
        set_(set),
        db_(db),
        scanner_(text, ahead),
        state_(set.size()) {}

  bool Accept(const Pending& p) override {
    if (!p.late) {
      Take(p, scanner_, false);
      return true;
    }
    // A late match is placed by a scanner of its own.
    if (!late_scanner_ || p.start < late_at_)
      late_scanner_ = std::make_unique<ContextScanner>(text_);
    late_at_ = p.start;
    Take(p, *late_scanner_, true);
    return true;
  }

  // While the search beside has no match to hand over: the scanner reads on
  // to where the next one may start, instead of waiting.
  void Idle(std::size_t to) { scanner_.ReadTo(to); }

  // An occurrence placed already (an element rule's start tag, a header
  // rule's empty one), handed in page order for each rule.
  void AddPlaced(std::size_t rule, Occurrence o, std::size_t count = 1) {
    RuleState& s = state_[rule];
    s.match.rule = rule;
    s.match.count += count;
    if (!s.has_first && (options_.ignore_in & Bit(o.context)) == 0) {
      s.match.first = o;
      s.has_first = true;
    }
    if (s.match.occurrences.size() < options_.max_occurrences && o.length > 0)
      s.match.occurrences.push_back(std::move(o));
  }

  CheckResult Finish() {
    for (RuleState& s : state_) Trim(s);
    // Lines and columns of what is kept, in one walk.
    std::vector<std::size_t> offsets;
    for (const RuleState& s : state_) {
      if (!s.has_first) continue;
      offsets.push_back(s.match.first.offset);
      for (const Occurrence& o : s.match.occurrences) offsets.push_back(o.offset);
    }
    const std::vector<LineColumn> places = LocateOffsets(text_, offsets);
    std::size_t k = 0;
    auto place = [&](Occurrence& o) {
      o.line = places[k].line;
      o.column = places[k].column;
      ++k;
    };
    CheckResult result;
    for (RuleState& s : state_) {
      if (!s.has_first) continue;
      place(s.match.first);
      for (Occurrence& o : s.match.occurrences) place(o);
      result.matches.push_back(std::move(s.match));
    }
    return result;
  }

 private:
  struct RuleState {
    RuleMatch match;
    bool has_first = false;
    bool sorted = true;
  };

  void Take(const Pending& p, ContextScanner& scanner, bool late) {
    bool placed = false;
    Place where;
    auto locate = [&] {
      if (!placed) where = scanner.At(p.start);
      placed = true;
    };
    for (std::size_t rule : db_.patterns[p.id].rules) {
      if (options_.only_rule < set_.size() && rule != options_.only_rule) continue;
      const ContextSet in = set_[rule].in;
      if (in != 0) {
        locate();
        if ((in & Bit(where.context)) == 0) continue;
      }
      RuleState& s = state_[rule];
      s.match.rule = rule;
      ++s.match.count;
      bool keep = s.match.occurrences.size() < options_.max_occurrences;
      if (late && !keep && options_.max_occurrences > 0 &&
          p.start < s.match.occurrences.back().offset)
        keep = true;
      if (!keep && s.has_first && !(late && p.start < s.match.first.offset)) continue;
      locate();
      Occurrence o{p.start, p.end - p.start, 1, 1, where.context, where.element};
      if ((!s.has_first || p.start < s.match.first.offset) &&
          (options_.ignore_in & Bit(where.context)) == 0) {
        s.match.first = o;
        s.has_first = true;
      }
      if (keep) {
        s.match.occurrences.push_back(std::move(o));
        if (late) s.sorted = false;
        if (s.match.occurrences.size() >= 2 * options_.max_occurrences) Trim(s);
      }
    }
  }

  // Late matches were added out of order: the first ones in page order stay.
  void Trim(RuleState& s) const {
    if (s.sorted) return;
    std::stable_sort(s.match.occurrences.begin(), s.match.occurrences.end(),
                     [](const Occurrence& a, const Occurrence& b) { return a.offset < b.offset; });
    if (s.match.occurrences.size() > options_.max_occurrences)
      s.match.occurrences.resize(options_.max_occurrences);
    s.sorted = true;
  }

  std::string_view text_;
  const CheckOptions& options_;
  const RuleSet& set_;
  const RuleSet::Compiled& db_;
  ContextScanner scanner_;
  std::unique_ptr<ContextScanner> late_scanner_;
  std::size_t late_at_ = 0;
  std::vector<RuleState> state_;
};

int OnMatch(unsigned id, unsigned long long from, unsigned long long to, unsigned, void* context) {
  return static_cast<MatchOrder*>(context)->Add(id, from, to) ? 0 : 1;
}

CheckResult FirstOccurrences(std::string_view text) {
  const RuleHits hits = FindRuleHits(text);
  CheckResult result;
  for (std::size_t r = 0; r < kRuleCount; ++r) {
    if (!hits.Matches(r)) continue;
    RuleMatch m;
    m.rule = r;
    m.first.offset = hits.first[r];
    m.first.line = hits.line[r];
    m.first.column = hits.column[r];
    result.matches.push_back(std::move(m));
  }
  return result;
}

bool IsContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

bool IsLineEnd(char c) {
  return c == '\n' || c == '\r';
}

// Every match of the database in `text` into `order`, searched `piece`
// bytes at a time; false when its sink stopped the search.
constexpr std::size_t kWhole = std::size_t{1} << 30;  // the database takes 32-bit lengths
bool ScanText(std::string_view text, const RuleSet::Compiled& db, MatchOrder& order,
              std::size_t piece);

// A page this large, when its matches are placed in the markup, has its
// later part read ahead (ContextScanner::Ahead).
constexpr std::size_t kAheadBytes = std::size_t{4} << 20;

// A page this large is read by two threads at once where one is to spare:
// element rules read its markup beside the text search, or the search runs
// beside the context scanner that places its matches. They share only the
// page.
constexpr std::size_t kApartBytes = std::size_t{1} << 20;

bool ThreadToSpare(std::string_view text, const CheckOptions& options) {
  return !options.one_thread && text.size() >= kApartBytes &&
         std::thread::hardware_concurrency() >= 2;
}

// MatchElements run beside the caller: Take() gives its hits (or throws what
// it threw); the destructor waits for it whatever happens in between.
class ElementPass {
 public:
  ElementPass(std::string_view text, const RuleSet& set, const CheckOptions& options)
      : text_(text), set_(set), options_(options) {
    const bool any = std::any_of(set.rules().begin(), set.rules().end(),
                                 [](const Rule& r) { return r.kind == MatchKind::Element; });
    if (!any || !ThreadToSpare(text, options)) return;
    try {
      thread_ = std::thread([this] {
        try {
          hits_ = Run();
        } catch (...) {
          error_ = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      // No thread to spare: Take() does it.
    }
  }
  ~ElementPass() {
    if (thread_.joinable()) thread_.join();
  }
  ElementPass(const ElementPass&) = delete;
  ElementPass& operator=(const ElementPass&) = delete;

  // Whether the pass runs on a thread of its own.
  bool beside() const { return thread_.joinable(); }

  std::vector<ElementHit> Take() {
    if (!thread_.joinable()) return Run();
    thread_.join();
    if (error_) std::rethrow_exception(error_);
    return std::move(hits_);
  }

 private:
  std::vector<ElementHit> Run() const {
    return MatchElements(text_, set_, options_.page, options_.only_rule);
  }
  std::string_view text_;
  const RuleSet& set_;
  const CheckOptions& options_;
  std::vector<ElementHit> hits_;
  std::exception_ptr error_;
  std::thread thread_;
};

// The text search on a thread of its own, handing its matches over in
// batches to the thread that places them in the markup: the context scanner
// is the slower of the two, and on a large page the search then costs no
// time. Held batches are bounded, so memory does not grow with the page.
class SearchBeside final : public MatchSink {
 public:
  // Throws std::system_error when no thread can be started.
  SearchBeside(std::string_view text, const RuleSet::Compiled& db)
      : thread_([this, text, &db] { Run(text, db); }) {}
  ~SearchBeside() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  SearchBeside(const SearchBeside&) = delete;
  SearchBeside& operator=(const SearchBeside&) = delete;

  // Every match into `to`, in order; rethrows what the search threw.
  // Waiting for matches, `to` reads on to where the next may start.
  void Drain(Collector& to) {
    std::size_t idled = 0;
    for (;;) {
      std::vector<Pending> batch;
      std::size_t idle_to = 0;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return !ready_.empty() || done_ || safe_ > idled; });
        if (error_) std::rethrow_exception(error_);
        if (!ready_.empty()) {
          batch = std::move(ready_.front());
          ready_.pop_front();
        } else if (done_) {
          return;
        } else {
          idle_to = safe_;
        }
      }
      if (idle_to > 0) {
        to.Idle(idle_to);
        idled = idle_to;
        continue;
      }
      changed_.notify_all();
      for (const Pending& p : batch) to.Accept(p);
    }
  }

 private:
  static constexpr std::size_t kBatch = 4096;
  static constexpr std::size_t kBatches = 8;
  // Searched at a time: what was found in it is handed over after it, so
  // that the scanner never waits long for sparse matches.
  static constexpr std::size_t kPiece = std::size_t{256} << 10;

  void Run(std::string_view text, const RuleSet::Compiled& db) {
    try {
      MatchOrder order(db, *this);
      if (ScanText(text, db, order, kPiece) && order.Finish()) Hand(true);
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      error_ = std::current_exception();
      done_ = true;
    }
    changed_.notify_all();
  }

  bool Accept(const Pending& p) override {
    filling_.push_back(p);
    return filling_.size() < kBatch || Hand(false);
  }
  bool Flush(std::size_t safe) override {
    // The matches before `safe` first: the drainer takes them before it
    // reads on.
    if (!filling_.empty() && !Hand(false)) return false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop_) return false;
      safe_ = safe;
    }
    changed_.notify_all();
    return true;
  }

  // The batch being filled to the placing thread, once there is room for it.
  bool Hand(bool last) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return stop_ || ready_.size() < kBatches; });
    if (stop_) return false;
    ready_.push_back(std::move(filling_));
    filling_ = {};
    filling_.reserve(kBatch);
    done_ = last;
    lock.unlock();
    changed_.notify_all();
    return true;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<Pending>> ready_;
  std::vector<Pending> filling_;
  bool done_ = false;     // the last batch is in ready_, or the search failed
  std::size_t safe_ = 0;  // no match not yet in ready_ starts before it, save late ones
  bool stop_ = false;     // nobody drains any more
  std::exception_ptr error_;
  std::thread thread_;  // last: it starts once the rest is built
};

// Whether any match is to be placed in the markup: only then does the
// context scanner run, and the search is worth a thread of its own.
bool PlacesMatches(const RuleSet& set, const CheckOptions& options) {
  return (options.want_occurrences && options.max_occurrences > 0) || options.ignore_in != 0 ||
         std::any_of(set.rules().begin(), set.rules().end(),
                     [](const Rule& r) { return r.in != 0; });
}

void Search(std::string_view text, const RuleSet::Compiled& db, const RuleSet& set,
            const CheckOptions& options, bool core_taken, Collector& collector) {
  if (!core_taken && ThreadToSpare(text, options) && PlacesMatches(set, options)) {
    std::optional<SearchBeside> beside;
    try {
      beside.emplace(text, db);
    } catch (const std::system_error&) {
      // No thread to spare: searched below.
    }
    if (beside) {
      beside->Drain(collector);
      return;
    }
  }
  if (db.literals) {
    db.literals->ForEach(text, [&](std::size_t at, std::uint32_t id) {
      collector.Accept({at, at + db.length(id), id});
    });
    return;
  }
  MatchOrder order(db, collector);
  ScanText(text, db, order, kWhole);
  order.Finish();
}

}  // namespace

CheckResult Check(std::string_view text, const CheckOptions& options) {
  const std::shared_ptr<const RuleSet> owned = options.rules ? options.rules : RuleSet::Classic();
  const RuleSet& set = *owned;
  if (set.is_classic() && !options.want_occurrences && options.ignore_in == 0)
    return FirstOccurrences(text);
  ElementPass elements(text, set, options);
  const bool split = set.mixed() && !options.want_occurrences && options.ignore_in == 0 &&
                     options.only_rule >= set.size();
  const RuleSet::Compiled& db = split ? *set.rest() : set.compiled();
  // On a large page whose matches are placed, a helper reads the page's
  // later part from a guess at its state, so that the scanner may jump
  // over it (the search beside it ends long before the scanner does);
  // not where the element rules have the other core already.
  ContextScanner::Ahead ahead;
  if (text.size() >= kAheadBytes && db.db && !elements.beside() && ThreadToSpare(text, options) &&
      PlacesMatches(set, options))
    ahead.from = text.size() / 2;
  Collector collector(text, options, set, db, ahead);
  if (db.db) Search(text, db, set, options, elements.beside(), collector);
  if (split) {
    // With the element rules on the other core, the search keeps to this one.
    const RuleHits hits = FindRuleHits(text, !elements.beside());
    for (std::size_t r = 0; r < set.size(); ++r) {
      const Rule& rule = set[r];
      if (!RuleSet::Compiled::IsPlainClassic(rule) || !hits.Matches(rule.classic)) continue;
      const std::size_t at = hits.first[rule.classic];
      collector.AddPlaced(r, {at, rule.pattern.size(), 1, 1, Context::Text, {}}, 0);
    }
  }
  for (const ElementHit& hit : elements.Take())
    collector.AddPlaced(hit.rule, {hit.offset, hit.length, 1, 1, Context::Tag, hit.element});
  // Header rules have no place in the text: line and column 0, no listed
  // occurrences.
  std::vector<bool> header_rule(set.size(), false);
  if (options.page && options.page->fetched) {
    for (std::size_t r = 0; r < set.size(); ++r) {
      const Rule& rule = set[r];
      if (rule.kind != MatchKind::Header) continue;
      if (options.only_rule < set.size() && r != options.only_rule) continue;
      if (!rule.page_scheme.empty() && !PageScheme(options.page, rule.page_scheme)) continue;
      if (const std::size_t n = MatchHeaders(rule, options.page->headers)) {
        header_rule[r] = true;
        collector.AddPlaced(r, {0, 0, 0, 0, Context::Other, {}}, n);
      }
    }
  }
  CheckResult result = collector.Finish();
  for (RuleMatch& m : result.matches) {
    if (!header_rule[m.rule]) continue;
    m.first.line = 0;
    m.first.column = 0;
  }
  return result;
}

namespace {

bool ScanText(std::string_view text, const RuleSet::Compiled& db, MatchOrder& order,
              std::size_t piece) {
  hs_scratch_t* scratch = Scratch(db);
  hs_stream_t* stream = nullptr;
  if (hs_open_stream(db.db, 0, &stream) != HS_SUCCESS) throw std::bad_alloc();
  std::unique_ptr<hs_stream_t, void (*)(hs_stream_t*)> owner(
      stream, [](hs_stream_t* s) { hs_close_stream(s, nullptr, nullptr, nullptr); });
  auto check = [](hs_error_t status) {
    if (status == HS_SCAN_TERMINATED) return false;
    if (status != HS_SUCCESS) throw std::runtime_error("marker matching failed");
    return true;
  };
  for (std::size_t at = 0; at < text.size(); at += piece) {
    const std::size_t n = std::min(piece, text.size() - at);
    if (!check(hs_scan_stream(stream, text.data() + at, static_cast<unsigned>(n), 0, scratch,
                              OnMatch, &order)) ||
        !order.Reached(at + n))
      return false;
  }
  owner.release();
  return check(hs_close_stream(stream, scratch, OnMatch, &order));
}

}  // namespace

std::vector<Occurrence> RuleOccurrences(std::string_view text, std::size_t rule,
                                        std::size_t limit) {
  if (rule >= kRuleCount || limit == 0) return {};
  CheckOptions options;
  options.want_occurrences = true;
  options.max_occurrences = limit;
  options.only_rule = rule;
  CheckResult result = Check(text, options);
  if (result.matches.empty()) return {};
  return std::move(result.matches.front().occurrences);
}

ContextCounts CountContexts(const std::vector<Occurrence>& occurrences) {
  ContextCounts counts;
  counts.total = occurrences.size();
  for (const Occurrence& o : occurrences) ++counts.in[static_cast<std::size_t>(o.context)];
  return counts;
}

std::string DescribeCounts(const ContextCounts& counts) {
  // Each context as one and as several.
  static constexpr std::string_view kOne[kContextCount] = {
      "in a tag",   "in an attribute name", "in an attribute value", "in a script",
      "in a style", "in a comment",         "in the text",           "elsewhere"};
  static constexpr std::string_view kMany[kContextCount] = {
      "in tags",   "in attribute names", "in attribute values", "in scripts",
      "in styles", "in comments",        "in the text",         "elsewhere"};
  std::string out =
      std::to_string(counts.total) + (counts.total == 1 ? " occurrence" : " occurrences");
  for (std::size_t c = 0; c < kContextCount; ++c) {
    if (counts.total > 0 && counts.in[c] == counts.total) {
      return out + (counts.total == 1 ? ", " : ", all ") +
             std::string(counts.total == 1 ? kOne[c] : kMany[c]);
    }
  }
  bool first = true;
  for (std::size_t c = 0; c < kContextCount; ++c) {
    if (counts.in[c] == 0) continue;
    out += first ? ": " : ", ";
    first = false;
    out += std::to_string(counts.in[c]) + ' ' + std::string(counts.in[c] == 1 ? kOne[c] : kMany[c]);
  }
  return out;
}

std::string SnippetAt(std::string_view text, const Occurrence& occurrence) {
  constexpr std::size_t kChars = 80;
  const std::size_t from = std::min(occurrence.offset, text.size());
  const std::size_t to = std::min(from + occurrence.length, text.size());
  std::size_t chars = 0;
  for (std::size_t i = from; i < to; ++i) chars += !IsContinuation(text[i]);
  std::size_t begin = from, end = to;
  // One character back, or forward, without crossing a line's end.
  auto back = [&] {
    if (begin == 0 || IsLineEnd(text[begin - 1])) return false;
    do --begin;
    while (begin > 0 && IsContinuation(text[begin]));
    return true;
  };
  auto forward = [&] {
    if (end >= text.size() || IsLineEnd(text[end])) return false;
    do ++end;
    while (end < text.size() && IsContinuation(text[end]));
    return true;
  };
  // Centred where the line allows; what one side lacks the other may take.
  std::size_t before = chars < kChars ? (kChars - chars) / 2 : 0;
  while (before > 0 && chars < kChars && back()) --before, ++chars;
  while (chars < kChars && forward()) ++chars;
  while (chars < kChars && back()) ++chars;
  return std::string(text.substr(begin, end - begin));
}

ContextSet ParseContexts(std::string_view names) {
  ContextSet set = 0;
  std::size_t start = 0;
  while (start <= names.size()) {
    const std::size_t comma = std::min(names.find(',', start), names.size());
    const std::string_view name = names.substr(start, comma - start);
    if (name == "markup") {
      set |= Bit(Context::Tag) | Bit(Context::AttributeName) | Bit(Context::AttributeValue);
    } else if (const auto c = ContextFromName(name)) {
      set |= Bit(*c);
    } else {
      throw std::invalid_argument("\"" + std::string(name) +
                                  "\" is no context: give tag, attribute-name, attribute-value, "
                                  "script, style, comment, text, other or markup");
    }
    start = comma + 1;
  }
  return set;
}

}  // namespace vx::app::check
