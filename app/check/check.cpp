#include "app/check/check.h"

#include <hs/hs.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <queue>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/check/rule_hits.h"
#include "app/rules.h"
#include "app/text_position.h"

namespace vx::app::check {
namespace {

// Every form of every rule in one database, matched in one pass.
class FormDatabase {
 public:
  FormDatabase() {
    for (std::size_t r = 0; r < kRuleCount; ++r) {
      for (std::string& form : RuleForms(kRuleTable[r])) {
        auto it = std::find(patterns_.begin(), patterns_.end(), form);
        if (it == patterns_.end()) {
          patterns_.push_back(std::move(form));
          rules_.emplace_back();
          it = patterns_.end() - 1;
        }
        rules_[static_cast<std::size_t>(it - patterns_.begin())].push_back(r);
      }
    }
    std::vector<const char*> expressions;
    std::vector<std::size_t> lengths;
    std::vector<unsigned> ids, flags(patterns_.size(), 0);
    for (std::size_t i = 0; i < patterns_.size(); ++i) {
      expressions.push_back(patterns_[i].data());
      lengths.push_back(patterns_[i].size());
      ids.push_back(static_cast<unsigned>(i));
      longest_ = std::max(longest_, patterns_[i].size());
    }
    hs_compile_error_t* error = nullptr;
    // Stream mode: a page of any size goes through in pieces, offsets counted
    // over the whole page.
    if (hs_compile_lit_multi(expressions.data(), flags.data(), ids.data(), lengths.data(),
                             static_cast<unsigned>(patterns_.size()), HS_MODE_STREAM, nullptr, &db_,
                             &error) != HS_SUCCESS) {
      const std::string why = error && error->message ? error->message : "unknown error";
      hs_free_compile_error(error);
      throw std::runtime_error("cannot build the marker database: " + why);
    }
  }
  ~FormDatabase() { hs_free_database(db_); }
  FormDatabase(const FormDatabase&) = delete;
  FormDatabase& operator=(const FormDatabase&) = delete;

  const hs_database_t* db() const { return db_; }
  std::size_t length(unsigned id) const { return patterns_[id].size(); }
  const std::vector<std::size_t>& rules(unsigned id) const { return rules_[id]; }
  std::size_t longest() const { return longest_; }

 private:
  std::vector<std::string> patterns_;
  std::vector<std::vector<std::size_t>> rules_;  // the rules each pattern is a form of
  std::size_t longest_ = 1;
  hs_database_t* db_ = nullptr;
};

const FormDatabase& Forms() {
  static const FormDatabase forms;
  return forms;
}

// Each thread's own matching scratch space.
hs_scratch_t* Scratch() {
  struct Holder {
    hs_scratch_t* scratch = nullptr;
    ~Holder() { hs_free_scratch(scratch); }
  };
  thread_local Holder holder;
  if (hs_alloc_scratch(Forms().db(), &holder.scratch) != HS_SUCCESS) throw std::bad_alloc();
  return holder.scratch;
}

struct Pending {
  std::size_t start;
  unsigned id;
  bool operator>(const Pending& o) const { return start != o.start ? start > o.start : id > o.id; }
};

// Takes the matches as the database reports them (by end offset) and hands
// them on by start offset, which the context scanner needs; only matches
// that may still be overtaken are held.
class Collector {
 public:
  Collector(std::string_view text, const CheckOptions& options)
      : options_(options), scanner_(text), state_(kRuleCount) {}

  void Add(unsigned id, unsigned long long to) {
    const std::size_t end = static_cast<std::size_t>(to);
    pending_.push({end - Forms().length(id), id});
    const std::size_t longest = Forms().longest();
    // A match reported later ends at or after `end`, so it starts at or after
    // end - longest.
    while (!pending_.empty() && pending_.top().start + longest < end) Release();
  }

  CheckResult Finish(std::string_view text) {
    while (!pending_.empty()) Release();
    // Lines and columns of what is kept, in one walk.
    std::vector<std::size_t> offsets;
    for (const RuleState& s : state_) {
      if (!s.has_first) continue;
      offsets.push_back(s.match.first.offset);
      for (const Occurrence& o : s.match.occurrences) offsets.push_back(o.offset);
    }
    const std::vector<LineColumn> places = LocateOffsets(text, offsets);
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
  };

  void Release() {
    const Pending p = pending_.top();
    pending_.pop();
    bool placed = false;
    Place where;
    auto locate = [&] {
      if (!placed) where = scanner_.At(p.start);
      placed = true;
    };
    for (std::size_t rule : Forms().rules(p.id)) {
      if (options_.only_rule < kRuleCount && rule != options_.only_rule) continue;
      RuleState& s = state_[rule];
      s.match.rule = rule;
      ++s.match.count;
      const bool keep = s.match.occurrences.size() < options_.max_occurrences;
      if (!keep && s.has_first) continue;
      locate();
      Occurrence o{p.start, Forms().length(p.id), 1, 1, where.context, where.element};
      if (!s.has_first && (options_.ignore_in & Bit(where.context)) == 0) {
        s.match.first = o;
        s.has_first = true;
      }
      if (keep) s.match.occurrences.push_back(std::move(o));
    }
  }

  const CheckOptions& options_;
  ContextScanner scanner_;
  std::vector<RuleState> state_;
  std::priority_queue<Pending, std::vector<Pending>, std::greater<>> pending_;
};

int OnMatch(unsigned id, unsigned long long, unsigned long long to, unsigned, void* context) {
  static_cast<Collector*>(context)->Add(id, to);
  return 0;
}

CheckResult FirstOccurrences(std::string_view text) {
  const RuleHits hits = FindRuleHits(text);
  std::vector<std::size_t> offsets;
  for (std::size_t r = 0; r < kRuleCount; ++r) {
    if (hits.Matches(r)) offsets.push_back(hits.first[r]);
  }
  const std::vector<LineColumn> places = LocateOffsets(text, offsets);
  CheckResult result;
  std::size_t k = 0;
  for (std::size_t r = 0; r < kRuleCount; ++r) {
    if (!hits.Matches(r)) continue;
    RuleMatch m;
    m.rule = r;
    m.first.offset = hits.first[r];
    m.first.line = places[k].line;
    m.first.column = places[k].column;
    ++k;
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

}  // namespace

CheckResult Check(std::string_view text, const CheckOptions& options) {
  if (!options.want_occurrences && options.ignore_in == 0) return FirstOccurrences(text);
  const FormDatabase& forms = Forms();
  hs_scratch_t* scratch = Scratch();
  hs_stream_t* stream = nullptr;
  if (hs_open_stream(forms.db(), 0, &stream) != HS_SUCCESS) throw std::bad_alloc();
  std::unique_ptr<hs_stream_t, void (*)(hs_stream_t*)> owner(
      stream, [](hs_stream_t* s) { hs_close_stream(s, nullptr, nullptr, nullptr); });
  Collector collector(text, options);
  constexpr std::size_t kPiece = std::size_t{1} << 30;  // the database takes 32-bit lengths
  for (std::size_t at = 0; at < text.size(); at += kPiece) {
    const std::size_t n = std::min(kPiece, text.size() - at);
    if (hs_scan_stream(stream, text.data() + at, static_cast<unsigned>(n), 0, scratch, OnMatch,
                       &collector) != HS_SUCCESS) {
      throw std::runtime_error("marker matching failed");
    }
  }
  owner.release();
  if (hs_close_stream(stream, scratch, OnMatch, &collector) != HS_SUCCESS)
    throw std::runtime_error("marker matching failed");
  return collector.Finish(text);
}

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
