#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/check/check.h"
#include "app/page_text.h"

namespace vx::app {

// The check run talks to the window's controls only through these seams, so it
// runs the same under the window, the command line and the tests. A failing
// operation throws; the run catches it per step.

// The Internet transfer control.
class PageFetcher {
 public:
  virtual ~PageFetcher() = default;
  // One synchronous request for the address as typed; the whole document as text.
  virtual std::string OpenURL(const std::string& address) = 0;
  // OpenURL for the check run: a fetcher that can hand over a page without
  // copying it (a mapped file) says so here.
  virtual PageText OpenPage(const std::string& address) { return OpenURL(address); }
  // A response header of the last request, "" when the response had none.
  virtual std::string GetHeader(const std::string& name) = 0;
  // Where the last page came from (its final address and response headers),
  // for rules that look past the text; nullopt when the fetcher cannot say.
  virtual std::optional<check::PageOrigin> LastPage() const { return std::nullopt; }
};

// The findings list (report view: "Detected", "Description").
class FindingsList {
 public:
  virtual ~FindingsList() = default;
  virtual void Clear() = 0;
  // Appends a row: item text = label, first sub-item = description, small icon 1.
  // `rule` is the row's index in the rule table, kNoRule for a row that is
  // none of the table's.
  virtual void AddRow(std::size_t rule, const std::string& label,
                      const std::string& description) = 0;
  // A row of a chosen rule set other than the twenty: also the finding's
  // severity and its rule's index in that set (`rule` as for AddRow). A list
  // that cannot show severities shows the row as AddRow does.
  virtual void AddRatedRow(std::size_t rule, std::size_t /*in_set*/, const std::string& label,
                           const std::string& description, check::Severity /*severity*/) {
    AddRow(rule, label, description);
  }
  static constexpr std::size_t kNoRule = static_cast<std::size_t>(-1);
};

// A text box. Selection positions are zero-based and counted in characters of
// the UTF-8 text.
class SourceView {
 public:
  virtual ~SourceView() = default;
  // Stays valid until the text next changes.
  virtual const std::string& Text() const = 0;
  virtual void SetText(std::string text) = 0;
  // The text without making a string of it; valid as long as Text is.
  virtual std::string_view View() const { return Text(); }
  // SetText for a fetched page, which a box may keep where it is.
  virtual void SetPage(PageText page) { SetText(std::move(page).TakeString()); }
  // Changes whenever Text changes, by any means (typing, SetText). The run
  // searches a text once and reuses the result while this stays the same.
  virtual std::uint64_t TextRevision() const = 0;
  virtual void SetSelStart(std::size_t chars) = 0;
  virtual void SetSelLength(std::size_t chars) = 0;
  virtual std::string SelText() const = 0;
};

// A label: only its caption is ever set.
class CaptionView {
 public:
  virtual ~CaptionView() = default;
  virtual void SetCaption(const std::string& caption) = 0;
};

}  // namespace vx::app
