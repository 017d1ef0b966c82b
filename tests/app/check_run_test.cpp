#include "app/window/check_binding.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/check/rule_packs.h"
#include "app/rules.h"
#include "app/window/text_buffer.h"
#include "tests/support/plain_search.h"

namespace vx::app {
namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

class FakeFetcher : public PageFetcher {
 public:
  // Each OpenURL takes the next page; past the last one it throws.
  std::vector<std::string> pages;
  std::string server = "TestServer";
  bool header_throws = false;
  std::vector<std::string> addresses;
  // Runs while the request is under way (after it has taken its page).
  std::function<void()> on_open;

  std::string OpenURL(const std::string& address) override {
    addresses.push_back(address);
    const std::size_t mine = next_++;
    if (on_open) on_open();
    if (mine >= pages.size()) throw std::runtime_error("unreachable host");
    return pages[mine];
  }
  std::string GetHeader(const std::string& name) override {
    if (header_throws) throw std::runtime_error("no response");
    return name == "server" ? server : "";
  }
  int pages_asked = 0;
  std::optional<check::PageOrigin> LastPage() const override {
    ++const_cast<FakeFetcher*>(this)->pages_asked;
    check::PageOrigin page;
    page.address = "http://example.test/";
    page.fetched = true;
    // A careful server's headers: the pack's header rules stay quiet, so
    // these tests see the page's own findings.
    page.headers = {{"Server", server},
                    {"Content-Security-Policy", "default-src 'self'"},
                    {"X-Content-Type-Options", "nosniff"},
                    {"Referrer-Policy", "no-referrer"},
                    {"X-Frame-Options", "DENY"}};
    return page;
  }

 private:
  std::size_t next_ = 0;
};

class FakeList : public FindingsList {
 public:
  Rows rows;
  int clears = 0;
  std::string throw_on_label;  // AddRow of this label fails
  bool clear_throws = false;

  void Clear() override {
    if (clear_throws) throw std::runtime_error("clear failed");
    ++clears;
    rows.clear();
    rules.clear();
  }
  std::vector<std::size_t> rules;  // each row's rule index
  void AddRow(std::size_t rule, const std::string& label, const std::string& description) override {
    if (label == throw_on_label) throw std::runtime_error("add failed");
    rows.emplace_back(label, description);
    rules.push_back(rule);
  }
  // Rated rows: their index in the chosen set and severity, beside the above.
  std::vector<std::pair<std::size_t, check::Severity>> rated;
  void AddRatedRow(std::size_t rule, std::size_t in_set, const std::string& label,
                   const std::string& description, check::Severity severity) override {
    AddRow(rule, label, description);
    rated.emplace_back(in_set, severity);
  }
};

class FakeLabel : public CaptionView {
 public:
  std::string caption = "Web Server: Not Checked.";
  void SetCaption(const std::string& c) override { caption = c; }
};

// The window's controls around one Checker.
struct Window {
  TextBuffer text1{"http://example.test/"};
  FakeFetcher inet1;
  TextBuffer text2;
  FakeList list;
  FakeLabel label4;
  TextBuffer text3{"Text3"};
  int yields = 0;
  std::function<void()> on_yield;
  Checker checker{CheckControls{text1, inet1, text2, list, label4, text3, [this] {
                                  ++yields;
                                  if (on_yield) on_yield();
                                }}};

  Rows Check(const std::string& page) {
    inet1.pages.push_back(page);
    checker.Run();
    return list.rows;
  }
};

std::vector<std::string> Labels(const Rows& rows) {
  std::vector<std::string> out;
  for (const auto& r : rows) out.push_back(r.first);
  return out;
}

TEST(CheckRun, PageWithoutMarkersGivesEmptyListAndServer) {
  Window w;
  EXPECT_TRUE(w.Check("<html><body><p>Plain text, nothing else.</p></body></html>").empty());
  EXPECT_EQ(w.label4.caption, "Web Server: TestServer");
  EXPECT_EQ(w.inet1.addresses, std::vector<std::string>{"http://example.test/"});
  EXPECT_EQ(w.list.clears, 1);
  EXPECT_EQ(w.yields, 0);
}

TEST(CheckRun, EveryMarkerGivesOneRowEachInTableOrder) {
  // Markers written in reverse table order, twice: rows still follow the table.
  std::string page;
  for (int rep = 0; rep < 2; ++rep) {
    for (std::size_t r = kRuleCount; r-- > 0;) page += std::string(kRuleTable[r].marker) + " ";
  }
  // Rule 19's marker as written would not match; its small form does.
  page += "createobject";
  Window w;
  const Rows rows = w.Check(page);
  ASSERT_EQ(rows.size(), kRuleCount);
  for (std::size_t r = 0; r < kRuleCount; ++r) {
    EXPECT_EQ(rows[r].first, kRuleTable[r].label);
    EXPECT_EQ(rows[r].second, kRuleTable[r].description);
    // Each row carries its rule, even where two rows share a label.
    EXPECT_EQ(w.list.rules[r], r);
  }
  EXPECT_EQ(w.yields, static_cast<int>(kRuleCount));
}

TEST(CheckRun, CaseFormsFollowTheRules) {
  struct Case {
    const char* page;
    std::vector<std::string> labels;
  };
  const Case cases[] = {
      {"<script>", {"Scripting"}},
      {"<SCRIPT>", {"Scripting"}},
      {"<Script> <sCRIPT>", {}},
      {"CreateObject(x)", {}},
      {"createobject(x)", {"Create Ob"}},
      {"CREATEOBJECT(x)", {"Create Ob"}},
      {"cdromCollection", {"Cd-Rom"}},
      {"CDROMCOLLECTION cdromcollection", {}},
      {"<format> <embedded>", {"Embedding", "Forms"}},
      {"ONLOAD= Window.Open", {"OnLoad"}},
      {"function showdown() {}", {"Shutdown"}},
      {"function shutdown() {}", {}},
      {"<div onmousedown=\"x()\">", {"MouseDown", "MouseDown"}},
      {"APPLICATION/X-SHOCKWAVE-FLASH", {"Flash"}},
  };
  for (const Case& c : cases) {
    Window w;
    EXPECT_EQ(Labels(w.Check(c.page)), c.labels) << c.page;
  }
}

TEST(CheckRun, OnMouseDownGivesBothMouseDownRows) {
  Window w;
  const Rows rows = w.Check("<a onmousedown=go()>");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::pair<std::string, std::string>{
                         "MouseDown", "Actions are taken when you click your mouse."}));
  EXPECT_EQ(rows[1], (std::pair<std::string, std::string>{
                         "MouseDown", "Affects are applied when you apply a mouse click."}));
}

TEST(CheckRun, FailedFetchRescansThePreviousSource) {
  Window w;
  w.Check("<form>");
  w.inet1.server = "Other";
  // No page left: the fetch throws.
  w.list.rows.emplace_back("stale", "row");
  w.checker.Run();
  EXPECT_EQ(w.text2.Text(), "<form>");
  EXPECT_EQ(Labels(w.list.rows), std::vector<std::string>{"Forms"});
  EXPECT_EQ(w.label4.caption, "Web Server: Other");
  EXPECT_EQ(w.list.clears, 2);
}

// The window's choice: a failed fetch leaves no findings and no server name
// that belong to another page, and the outcome tells why.
TEST(CheckRun, FailedFetchCanClearAndStop) {
  Window w;
  CheckControls controls{w.text1, w.inet1, w.text2, w.list, w.label4, w.text3, [&] { ++w.yields; }};
  controls.on_failed_fetch = CheckControls::FailedFetch::ClearAndStop;
  Checker checker(controls);
  w.inet1.pages = {"<form><applet>"};
  RunOutcome first = checker.Run();
  EXPECT_TRUE(first.fetched);
  EXPECT_TRUE(first.fetch_error.empty());
  EXPECT_FALSE(first.superseded);
  ASSERT_EQ(Labels(w.list.rows), (std::vector<std::string>{"Applet", "Forms"}));
  w.text3.SetText("kept");
  const int yields = w.yields;

  const RunOutcome failed = checker.Run();
  EXPECT_FALSE(failed.fetched);
  EXPECT_EQ(failed.fetch_error, "unreachable host");
  EXPECT_EQ(w.text2.Text(), "<form><applet>");
  EXPECT_TRUE(w.list.rows.empty());
  EXPECT_EQ(w.label4.caption, "Web Server: (fetch failed)");
  EXPECT_EQ(w.text3.Text(), "kept") << "no rule ran";
  EXPECT_EQ(w.yields, yields);
  // The command line's run still rescans: its report never shows the list.
  EXPECT_FALSE(w.checker.Run().fetched);
  EXPECT_EQ(Labels(w.list.rows), (std::vector<std::string>{"Applet", "Forms"}));
}

TEST(CheckRun, FirstRunWithFailedFetchScansEmptyText) {
  Window w;
  w.checker.Run();
  EXPECT_EQ(w.text2.Text(), "");
  EXPECT_TRUE(w.list.rows.empty());
  EXPECT_EQ(w.label4.caption, "Web Server: TestServer");
}

TEST(CheckRun, HeaderFailureKeepsCaptionAndEmptyHeaderShowsPrefixAlone) {
  Window w;
  w.inet1.header_throws = true;
  EXPECT_EQ(Labels(w.Check("<object>")), std::vector<std::string>{"Object"});
  EXPECT_EQ(w.label4.caption, "Web Server: Not Checked.");
  w.inet1.header_throws = false;
  w.inet1.server = "";
  w.Check("");
  EXPECT_EQ(w.label4.caption, "Web Server: ");
}

TEST(CheckRun, FailingRowIsSkippedAndTheRunGoesOn) {
  Window w;
  w.list.throw_on_label = "Forms";
  const Rows rows = w.Check("<script><form>window.open cdromCollection");
  EXPECT_EQ(Labels(rows), (std::vector<std::string>{"Scripting", "Popup", "Cd-Rom"}));
  // No yield for the row that failed.
  EXPECT_EQ(w.yields, 3);
}

TEST(CheckRun, FailingClearLeavesOldRowsAndAppends) {
  Window w;
  w.list.clear_throws = true;
  w.list.rows.emplace_back("Old", "row");
  EXPECT_EQ(Labels(w.Check("<applet>")), (std::vector<std::string>{"Old", "Applet"}));
}

TEST(CheckRun, CdromMatchSelectsFirstOccurrenceInCharacters) {
  Window w;
  // Multi-byte characters before the marker: SelStart counts characters.
  const std::string page =
      "h\xC3\xA9llo \xE2\x82\xAC\xF0\x9F\x98\x80 cdromCollection and cdromCollection";
  EXPECT_EQ(Labels(w.Check(page)), std::vector<std::string>{"Cd-Rom"});
  EXPECT_EQ(w.text2.SelStart(), 9u);
  EXPECT_EQ(w.text2.SelLength(), 15u);
  EXPECT_EQ(w.text2.SelText(), "cdromCollection");
  EXPECT_EQ(w.text3.Text(), "cdromCollection");
}

TEST(CheckRun, StrayBytesAfterTheMarkerDoNotHideRule20) {
  // A continuation byte with nothing to continue, right after the marker: in
  // characters it would join the marker's last letter and the selection
  // would no longer equal it. The text is read as Windows-1252 where it is
  // not UTF-8 (A9 is the copyright sign) before the engine selects in it.
  for (const std::string tail : {"\xA9", "\x80\x80", "\xC3", "\xF0\x9F\x98", "\xFF"}) {
    Window w;
    EXPECT_EQ(Labels(w.Check("cdromCollection" + tail)), std::vector<std::string>{"Cd-Rom"})
        << tail;
    EXPECT_EQ(w.text3.Text(), "cdromCollection");
  }
  Window w;
  w.Check(
      "x\x93"
      "cdromCollection\xA9");
  EXPECT_EQ(w.text2.Text(),
            "x\xE2\x80\x9C"
            "cdromCollection\xC2\xA9");
  EXPECT_EQ(w.text2.SelStart(), 2u);
  // A view handed to Find directly is held to the same rule.
  TextBuffer source(
      "\xBF"
      "cdromCollection\xBF");
  TextBuffer display;
  w.list.rows.clear();
  w.checker.Find(source, "cdromCollection", display, "L", "D");
  EXPECT_EQ(w.list.rows, (Rows{{"L", "D"}}));
  EXPECT_EQ(display.Text(), "cdromCollection");
}

TEST(CheckRun, AgreesWithAPlainSearchOverRandomTexts) {
  std::mt19937 rng(11);
  auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
  };
  const std::vector<std::string> bytes = {"\xA9",
                                          "\x80",
                                          "\xBF",
                                          "\xC3",
                                          "\xC3\xA9",
                                          "\xE2\x82",
                                          "\xE2\x82\xAC",
                                          "\xF0\x9F\x98\x80",
                                          "\xFF",
                                          "\xED\xA0\x80",
                                          "\r\n",
                                          " ",
                                          "<",
                                          "c",
                                          "n"};
  int with_rule20 = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string page;
    for (std::size_t pieces = pick(10); pieces-- > 0;) {
      switch (pick(4)) {
        case 0: {  // a marker in a random mixture of cases, or as written
          // Rule 20, the one found by selecting, a quarter of the time.
          std::string m(kRuleTable[pick(4) == 0 ? kRuleCount - 1 : pick(kRuleCount)].marker);
          const std::size_t how = pick(4);
          for (char& c : m) {
            const unsigned char u = static_cast<unsigned char>(c);
            if (how == 1 || (how == 3 && pick(2))) c = static_cast<char>(std::toupper(u));
            if (how == 2) c = static_cast<char>(std::tolower(u));
          }
          // Sometimes cut short.
          if (pick(5) == 0) m.resize(pick(m.size()));
          page += m;
          break;
        }
        default:
          page += bytes[pick(bytes.size())];
      }
    }
    Window w;
    const Rows expected = support::PlainSearchRows(page);
    ASSERT_EQ(w.Check(page), expected) << "page: " << page;
    with_rule20 += !expected.empty() && expected.back().first == "Cd-Rom";
  }
  // The random texts reach the found rule often enough to test it.
  EXPECT_GT(with_rule20, 100);
}

TEST(CheckRun, NoCdromLeavesSelectionAndDisplayBox) {
  Window w;
  w.inet1.pages.push_back("CDROMCOLLECTION");
  w.checker.Run();
  // A user's selection; the next fetch fails, so the text stays.
  w.text2.SetSelStart(4);
  w.text2.SetSelLength(2);
  w.checker.Run();
  EXPECT_EQ(w.text2.SelStart(), 4u);
  EXPECT_EQ(w.text2.SelLength(), 2u);
  EXPECT_EQ(w.text3.Text(), "Text3");
  EXPECT_TRUE(w.list.rows.empty());
}

// A display box that keeps only the first five characters, as a text box with a
// maximum length would: the copy no longer equals the text sought.
class ShortBox : public TextBuffer {
 public:
  void SetText(std::string text) override { TextBuffer::SetText(text.substr(0, 5)); }
};

TEST(CheckRun, FindAddsRowOnlyWhenTheCopyReadsBackEqual) {
  Window w;
  ShortBox display;
  TextBuffer source("xx needle yy");
  w.checker.Find(source, "needle", display, "L", "D");
  EXPECT_TRUE(w.list.rows.empty());
  EXPECT_EQ(display.Text(), "needl");
  TextBuffer full;
  w.checker.Find(source, "needle", full, "L", "D");
  EXPECT_EQ(w.list.rows, (Rows{{"L", "D"}}));
  EXPECT_EQ(source.SelStart(), 3u);
  w.checker.Find(source, "absent", full, "L2", "D2");
  EXPECT_EQ(w.list.rows.size(), 1u);
  EXPECT_EQ(full.Text(), "needle");
}

TEST(CheckRun, RunStartedWhileAnotherYieldsReplacesIt) {
  Window w;
  w.inet1.pages = {"<script> <form>", "<object> onclick"};
  bool nested = false;
  w.on_yield = [&] {
    if (nested) return;
    nested = true;
    w.checker.Run();  // a click delivered while the outer run yields
  };
  w.checker.Run();
  // Outer: Scripting; the nested run clears and adds Object, OnClick; the
  // outer run then ends instead of appending its further rows to that list.
  EXPECT_EQ(Labels(w.list.rows), (std::vector<std::string>{"Object", "OnClick"}));
  EXPECT_EQ(w.text2.Text(), "<object> onclick");
  EXPECT_EQ(w.list.clears, 2);

  // Started while the outer run waits for its page: the outer page never
  // replaces the newer one.
  Window f;
  f.inet1.pages = {"<applet>", "<embed>"};
  bool inner = false;
  f.inet1.on_open = [&] {
    if (inner) return;
    inner = true;
    f.checker.Run();
  };
  f.checker.Run();
  EXPECT_EQ(f.text2.Text(), "<embed>");
  EXPECT_EQ(Labels(f.list.rows), (std::vector<std::string>{"Embedding"}));
}

TEST(CheckRun, RulesSeeTextChangedWhileYielding) {
  Window w;
  int calls = 0;
  w.on_yield = [&] {
    // The user edits the source box (same length, so only the revision tells).
    if (++calls == 1) w.text2.SetText("<embed> <SCRIPT>");
  };
  EXPECT_EQ(Labels(w.Check("<script> <form>")),
            (std::vector<std::string>{"Scripting", "Embedding"}));
}

// A source box that cannot be read: every rule step fails, the run survives.
class BrokenBox : public TextBuffer {
 public:
  const std::string& Text() const override { throw std::runtime_error("gone"); }
  std::string_view View() const override { throw std::runtime_error("gone"); }
};

TEST(CheckRun, UnreadableSourceSkipsEveryRule) {
  TextBuffer text1("a"), text3;
  BrokenBox text2;
  FakeFetcher inet1;
  FakeList list;
  FakeLabel label;
  Checker checker(CheckControls{text1, inet1, text2, list, label, text3, [] {}});
  inet1.pages = {"<script>"};
  EXPECT_NO_THROW(checker.Run());
  EXPECT_TRUE(list.rows.empty());
  EXPECT_EQ(label.caption, "Web Server: TestServer");
}

// A page with a script, a miner and decoded script: the twenty see the
// script, the modern pack the other two.
const std::string kModernPage =
    "<script>var m = new CoinHive.Anonymous('k'); eval(atob('YWxlcnQoMSk='));</script> "
    "cdromCollection";

std::shared_ptr<const check::RuleSet> Rules(const char* sets) {
  check::RuleChoice choice;
  choice.sets = {sets};
  return check::BuildRuleSet(choice);
}

TEST(CheckRun, AChosenSetListsItsFindingsInItsOrderWithSeverities) {
  Window w;
  w.checker.SetRules(Rules("modern"));
  EXPECT_FALSE(w.checker.classic());
  const Rows rows = w.Check(kModernPage);
  EXPECT_EQ(Labels(rows), (std::vector<std::string>{"Decoded script", "Miner"}));
  ASSERT_EQ(w.list.rated.size(), 2u);
  EXPECT_EQ(w.list.rated[0].second, check::Severity::High);
  EXPECT_EQ(w.list.rated[1].second, check::Severity::High);
  const auto& set = *w.checker.rules();
  EXPECT_EQ(set[w.list.rated[0].first].id, "script-decodes-and-runs");
  EXPECT_EQ(set[w.list.rated[1].first].id, "miner");
  // None of them is one of the twenty's rows.
  EXPECT_EQ(w.list.rules, (std::vector<std::size_t>{FindingsList::kNoRule, FindingsList::kNoRule}));
  // One yield after each row, as the classic run; the server line as ever;
  // the last classic rule's selection and copy are the twenty's alone.
  EXPECT_EQ(w.yields, 2);
  EXPECT_EQ(w.label4.caption, "Web Server: TestServer");
  EXPECT_EQ(w.text3.Text(), "Text3");
  EXPECT_EQ(w.inet1.pages_asked, 1);  // the page's origin, for rules past the text
}

TEST(CheckRun, AllKeepsTheTwentysRowsAndTheirRuleNumbers) {
  Window w;
  w.checker.SetRules(Rules("all"));
  const Rows rows = w.Check(kModernPage);
  EXPECT_EQ(Labels(rows),
            (std::vector<std::string>{"Scripting", "Cd-Rom", "Decoded script", "Miner"}));
  EXPECT_EQ(w.list.rules[0], 0u);   // rule 1
  EXPECT_EQ(w.list.rules[1], 19u);  // rule 20
  EXPECT_EQ(w.list.rated[0].second, check::Severity::Info);

  // The twenty again: the classic run, step by step, selection included.
  w.checker.SetRules(Rules("classic"));
  EXPECT_TRUE(w.checker.classic());
  w.list.rated.clear();
  EXPECT_EQ(Labels(w.Check(kModernPage)), (std::vector<std::string>{"Scripting", "Cd-Rom"}));
  EXPECT_TRUE(w.list.rated.empty());
  EXPECT_EQ(w.text3.Text(), "cdromCollection");
}

TEST(CheckRun, AChosenSetsRunStartedWhileYieldingReplacesIt) {
  Window w;
  w.checker.SetRules(Rules("modern"));
  w.inet1.pages = {kModernPage, "<p>clean</p>"};
  bool nested = false;
  w.on_yield = [&] {
    if (nested) return;
    nested = true;
    w.checker.Run();  // the user's newer request, while the first yields
  };
  const RunOutcome first = w.checker.Run();
  EXPECT_TRUE(first.superseded);
  // The newer run cleared the list; the older one added nothing after it.
  EXPECT_TRUE(w.list.rows.empty());
  EXPECT_EQ(w.list.clears, 2);
}

TEST(RuleHits, FirstOccurrenceOfEitherForm) {
  const std::string text = "..<SCRIPT>..<script> onmousedown CreateObject createobject";
  const RuleHits hits = FindRuleHits(text);
  EXPECT_EQ(hits.first[0], 2u);
  EXPECT_EQ(hits.first[7], text.find("mousedown"));
  EXPECT_EQ(hits.first[11], text.find("onmousedown"));
  EXPECT_EQ(hits.first[18], text.find("createobject"));
  EXPECT_FALSE(hits.Matches(19));
}

}  // namespace
}  // namespace vx::app
