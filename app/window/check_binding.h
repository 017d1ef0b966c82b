// The window's check run: fetch, clear the list, show the server, then the
// rules in table order, each step replaying the engine's result (FindRuleHits)
// onto the controls and yielding after each row, as the window has always
// run it. A chosen rule set other than the twenty is checked whole and its
// findings listed the same way, with their severities. Written against the seams of check_ports.h,
// so that it runs under tests and fuzzing without a display.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/check/rule_hits.h"
#include "app/check/rule_set.h"
#include "app/rules.h"
#include "app/window/check_ports.h"

namespace vx::app {

// The controls a check run works on, by their names in the window.
struct CheckControls {
  SourceView& Text1;               // the address box
  PageFetcher& Inet1;              // the transfer control
  SourceView& Text2;               // the source box
  FindingsList& ListView1;         // the findings list
  CaptionView& Label4;             // the server line
  SourceView& Text3;               // the display box of the last rule
  std::function<void()> DoEvents;  // yields once to the message loop
  // What a run does when its page cannot be fetched: rescan the source the
  // box still holds (the command line, which reports the failure instead of
  // the list), or clear the list, say so on the server line and stop, so that
  // no other page's findings stand under the address (the window).
  enum class FailedFetch { Rescan, ClearAndStop };
  FailedFetch on_failed_fetch = FailedFetch::Rescan;
};

// How a run ended.
struct RunOutcome {
  bool superseded = false;  // a newer run replaced it; it left the window alone
  bool fetched = false;     // step 1 put a new page into the source box
  std::string fetch_error;  // why step 1 failed, when it did
};

// The server line after a failed fetch, when the run clears and stops.
inline constexpr std::string_view kFailedFetchCaption = "Web Server: (fetch failed)";

// The window's check logic. One object serves any number of runs, nested ones
// included (a run yields to the message loop, which may start another).
class Checker {
 public:
  explicit Checker(CheckControls controls) : c_(std::move(controls)) {}

  // One whole check run (CmdCheck_Click, and Enter in the address box): fetch,
  // clear the list, show the server, test the rules in table order. Each step
  // resumes past its own failure (but see `on_failed_fetch`); the outcome
  // tells what became of the fetch. A run started while this one yields
  // replaces it: this one then ends.
  RunOutcome Run();

  // Form1.find: when `findtext` occurs in `source` (exactly, case-sensitive),
  // selects its first occurrence, copies the selection into `display`, and adds
  // the row (lil_desc, description) when the copy equals `findtext`.
  // `rule` is the row's rule, when the run's last rule is what asks.
  void Find(SourceView& source, const std::string& findtext, SourceView& display,
            const std::string& lil_desc, const std::string& description,
            std::size_t rule = FindingsList::kNoRule);

  // The rule hits for the view's current text, reusing the last search while
  // the text is unchanged.
  const RuleHits& Hits(const SourceView& view);

  // The rules the next runs apply; none or the twenty: the classic run
  // above, step by step. Any other set is checked whole with check::Check
  // and its findings listed in the set's order, with their severities.
  void SetRules(std::shared_ptr<const check::RuleSet> rules) { rules_ = std::move(rules); }
  const std::shared_ptr<const check::RuleSet>& rules() const { return rules_; }
  bool classic() const { return !rules_ || rules_->is_classic(); }
  // The set the list's rows came from (none: the twenty), which a later
  // choice does not change until the next run.
  const std::shared_ptr<const check::RuleSet>& listed_rules() const { return listed_rules_; }

 private:
  void Scan(std::size_t rule);
  // The chosen set's findings on the source box, each row followed by a yield.
  void ListChosenRules(const std::function<bool()>& superseded);
  // Makes the view's text valid UTF-8 (see check_run.cpp) unless it is known to be.
  void ReadAsUtf8(SourceView& view);

  CheckControls c_;
  std::shared_ptr<const check::RuleSet> rules_;
  std::shared_ptr<const check::RuleSet> listed_rules_;
  std::uint64_t runs_started_ = 0;

  struct CacheKey {
    const SourceView* view = nullptr;
    std::uint64_t revision = 0;
    const char* data = nullptr;
    std::size_t size = 0;
    bool operator==(const CacheKey&) const = default;
  };
  CacheKey cache_key_;
  RuleHits cache_;
  CacheKey utf8_checked_;
};

}  // namespace vx::app
