#include "app/window/check_binding.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/text_position.h"
#include "platform/base/failure.h"
#include "platform/text/utf8.h"

namespace vx::app {
namespace {

RunOutcome Superseded() {
  RunOutcome o;
  o.superseded = true;
  return o;
}

}  // namespace

const RuleHits& Checker::Hits(const SourceView& view) {
  const std::string_view text = view.View();
  const CacheKey key{&view, view.TextRevision(), text.data(), text.size()};
  if (!(key == cache_key_)) {
    // Forget the old key first: if the search throws, nothing stale remains.
    cache_key_ = CacheKey{};
    cache_ = FindRuleHits(text);
    cache_key_ = key;
  }
  return cache_;
}

void Checker::ReadAsUtf8(SourceView& view) {
  // The engine reads a view's text as UTF-8 and selects in characters. In text
  // that is not valid UTF-8 a stray continuation byte would join the character
  // before it, and the selection of a marker would take it along; so such a
  // text is first read the project's one way, its stray bytes as Windows-1252.
  // The markers are ASCII, which this never changes, so what matches stays.
  // A text once checked is not walked again while it stays the same.
  const std::string_view text = view.View();
  if (CacheKey{&view, view.TextRevision(), text.data(), text.size()} == utf8_checked_) return;
  if (!text::IsValidUtf8(text)) view.SetText(text::ToValidUtf8(text));
  const std::string_view now = view.View();
  utf8_checked_ = CacheKey{&view, view.TextRevision(), now.data(), now.size()};
}

RunOutcome Checker::Run() {
  // A run started while this one waits (for its page, or in a yield after a
  // row) is the user's newer request: it has cleared and filled the list, and
  // this run, going on, would append rows of its own to that list. So this
  // run ends where it regains control.
  const std::uint64_t run = ++runs_started_;
  auto superseded = [&] { return runs_started_ != run; };
  RunOutcome outcome;

  // The page into the source box; when fetching fails the box keeps its text.
  try {
    const std::string address = c_.Text1.Text();
    PageText page = c_.Inet1.OpenPage(address);
    if (superseded()) return Superseded();
    const bool valid = page.KnownValidUtf8();
    c_.Text2.SetPage(std::move(page));
    outcome.fetched = true;
    if (valid) {
      const std::string_view now = c_.Text2.View();
      utf8_checked_ = CacheKey{&c_.Text2, c_.Text2.TextRevision(), now.data(), now.size()};
    }
  } catch (const std::exception& e) {
    outcome.fetch_error = e.what();
  } catch (...) {
    outcome.fetch_error = "the fetch failed";
  }
  if (superseded()) return Superseded();
  // A box that kept its text when fetching failed may hold any bytes.
  RunPastFailure([&] { ReadAsUtf8(c_.Text2); });
  const bool stop =
      !outcome.fetched && c_.on_failed_fetch == CheckControls::FailedFetch::ClearAndStop;
  RunPastFailure([&] { c_.ListView1.Clear(); });
  // When the header cannot be had, the label keeps its caption.
  RunPastFailure([&] {
    c_.Label4.SetCaption(stop ? std::string(kFailedFetchCaption)
                              : "Web Server: " + c_.Inet1.GetHeader("server"));
  });
  if (stop) return outcome;
  listed_rules_ = classic() ? nullptr : rules_;
  if (!classic()) {
    RunPastFailure([&] { ListChosenRules(superseded); });
    outcome.superseded = superseded();
    return outcome;
  }
  // The rules in table order, each on the source box as it is at its turn:
  // the user may have edited it while the run yielded.
  for (std::size_t r = 0; r < kRuleCount && !superseded(); ++r) {
    RunPastFailure([&] {
      const DetectionRule& rule = kRuleTable[r];
      if (rule.test == RuleTest::Scan) {
        Scan(r);
      } else {
        Find(c_.Text2, std::string(rule.marker), c_.Text3, std::string(rule.label),
             std::string(rule.description), r);
      }
    });
  }
  outcome.superseded = superseded();
  return outcome;
}

void Checker::ListChosenRules(const std::function<bool()>& superseded) {
  // Header rules see the fetched page's final response; a text of no web
  // address has none, and those rules stay silent.
  std::optional<check::PageOrigin> page;
  RunPastFailure([&] { page = c_.Inet1.LastPage(); });
  check::CheckOptions options;
  options.rules = rules_;
  if (page) options.page = &*page;
  // Checked whole, then listed: the rows and the yields after them see the
  // one result, whatever the user types into the box meanwhile.
  const check::CheckResult result = check::Check(c_.Text2.View(), options);
  const std::shared_ptr<const check::RuleSet> rules = rules_;  // kept while yielding
  for (const check::RuleMatch& m : result.matches) {
    if (superseded()) return;
    const check::Rule& rule = (*rules)[m.rule];
    const std::size_t classic =
        rule.classic == check::kNotClassic ? FindingsList::kNoRule : rule.classic;
    c_.ListView1.AddRatedRow(classic, m.rule, rule.label, rule.description, rule.severity);
    c_.DoEvents();
  }
}

void Checker::Scan(std::size_t rule) {
  // Copied out before yielding: a nested run may reuse the cache.
  const bool match = Hits(c_.Text2).Matches(rule);
  if (!match) return;
  const DetectionRule& r = kRuleTable[rule];
  c_.ListView1.AddRow(rule, std::string(r.label), std::string(r.description));
  c_.DoEvents();
}

void Checker::Find(SourceView& source, const std::string& findtext, SourceView& display,
                   const std::string& lil_desc, const std::string& description, std::size_t rule) {
  // The first occurrence as (bytes, characters) before it, or npos bytes. The
  // rule's own marker comes from the shared search; any other text is looked
  // for directly.
  auto locate = [&]() -> std::pair<std::size_t, std::size_t> {
    for (std::size_t r = 0; r < kRuleCount; ++r) {
      if (kRuleTable[r].test == RuleTest::Find && kRuleTable[r].marker == findtext) {
        const RuleHits& hits = Hits(source);
        return {hits.first[r], hits.chars[r]};
      }
    }
    const std::string_view text = source.View();
    // An empty text occurs at the start of any text but an empty one.
    const std::size_t at =
        findtext.empty() ? (text.empty() ? std::string::npos : 0) : text.find(findtext);
    if (at == std::string::npos) return {at, 0};
    return {at, CountChars(text.substr(0, at))};
  };
  ReadAsUtf8(source);
  if (locate().first == std::string::npos) return;
  // Read anew, as the box may have changed in between.
  const auto [at, chars] = locate();
  if (at == std::string::npos) return;
  source.SetSelStart(chars);
  source.SetSelLength(CountChars(findtext));
  display.SetText(source.SelText());
  if (display.View() != findtext) return;
  c_.ListView1.AddRow(rule, lil_desc, description);
  c_.DoEvents();
}

}  // namespace vx::app
