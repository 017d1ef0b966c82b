// The check as a function: which rules match, every occurrence with its
// place, the ignored contexts, and the snippets reports show.
#include "app/check/check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/check/rule_packs.h"
#include "app/rules.h"
#include "tests/support/plain_search.h"

namespace vx::app::check {
namespace {

std::vector<std::size_t> Rules(const CheckResult& r) {
  std::vector<std::size_t> rules;
  for (const RuleMatch& m : r.matches) rules.push_back(m.rule);
  return rules;
}

const RuleMatch* Match(const CheckResult& r, std::size_t rule) {
  for (const RuleMatch& m : r.matches)
    if (m.rule == rule) return &m;
  return nullptr;
}

Rule MakeRule(std::string id, std::string pattern, MatchKind kind = MatchKind::Literal) {
  Rule r;
  r.label = id;
  r.id = std::move(id);
  r.kind = kind;
  r.pattern = std::move(pattern);
  return r;
}

CheckOptions Occurrences(std::size_t n, ContextSet ignore = 0) {
  CheckOptions o;
  o.want_occurrences = true;
  o.max_occurrences = n;
  o.ignore_in = ignore;
  return o;
}

// Both ways of checking agree with a plain search, and with each other on
// where each rule first matches, over texts dense in partial markers.
TEST(Check, BothWaysAgreeWithAPlainSearch) {
  std::mt19937 random(7);
  const std::vector<std::string> pieces = {"<script",
                                           "<SCRIPT",
                                           "<Script",
                                           "onmousedown",
                                           "\r\n",
                                           "\r",
                                           "\n",
                                           "caf\xC3\xA9",
                                           "cdromCollection",
                                           "CDROMCOLLECTION",
                                           "CreateObject",
                                           "createobject",
                                           "<form",
                                           "x",
                                           " ",
                                           "<",
                                           "on",
                                           "mouse",
                                           "window.open"};
  for (int round = 0; round < 400; ++round) {
    std::string text;
    const int n = static_cast<int>(random() % 40);
    for (int i = 0; i < n; ++i) text += pieces[random() % pieces.size()];
    const CheckResult fast = Check(text);
    const CheckResult full = Check(text, Occurrences(1000));
    std::vector<std::pair<std::string, std::string>> rows;
    for (std::size_t rule : Rules(fast))
      rows.emplace_back(kRuleTable[rule].label, kRuleTable[rule].description);
    std::vector<std::pair<std::string, std::string>> expected;
    for (const auto& [label, description] : support::PlainSearchRows(text))
      expected.emplace_back(label, description);
    ASSERT_EQ(rows, expected) << text;
    ASSERT_EQ(Rules(fast), Rules(full)) << text;
    for (std::size_t k = 0; k < fast.matches.size(); ++k) {
      const Occurrence& a = fast.matches[k].first;
      const Occurrence& b = full.matches[k].first;
      EXPECT_EQ(a.offset, b.offset) << text;
      EXPECT_EQ(a.line, b.line) << text;
      EXPECT_EQ(a.column, b.column) << text;
      EXPECT_EQ(full.matches[k].occurrences.front().offset, b.offset) << text;
    }
    // Every occurrence of each rule's forms, overlapping ones too, in page
    // order.
    for (const RuleMatch& m : full.matches) {
      std::vector<std::size_t> expected_at;
      for (const std::string& form : RuleForms(kRuleTable[m.rule])) {
        for (auto at = text.find(form); at != std::string::npos; at = text.find(form, at + 1))
          expected_at.push_back(at);
      }
      std::sort(expected_at.begin(), expected_at.end());
      std::vector<std::size_t> listed;
      for (const Occurrence& o : m.occurrences) listed.push_back(o.offset);
      EXPECT_EQ(m.count, expected_at.size()) << m.rule << " in " << text;
      EXPECT_EQ(listed, expected_at) << m.rule << " in " << text;
    }
  }
}

TEST(Check, CountsEveryOccurrenceAndListsTheFirstInPageOrder) {
  // Rule 8's "mousedown" sits inside each of rule 12's "onmousedown".
  const std::string text = "onmousedown\nx MOUSEDOWN\r\n\xC3\xA9onmousedown\rmousedown";
  const CheckResult r = Check(text, Occurrences(2));
  const RuleMatch* mousedown = Match(r, 7);
  const RuleMatch* onmousedown = Match(r, 11);
  ASSERT_NE(mousedown, nullptr);
  ASSERT_NE(onmousedown, nullptr);
  EXPECT_EQ(mousedown->count, 4u);
  ASSERT_EQ(mousedown->occurrences.size(), 2u);
  EXPECT_EQ(mousedown->occurrences[0].offset, 2u);
  EXPECT_EQ(mousedown->occurrences[0].length, 9u);
  EXPECT_EQ(mousedown->occurrences[1].offset, 14u);
  EXPECT_EQ(mousedown->occurrences[1].line, 2u);
  EXPECT_EQ(mousedown->occurrences[1].column, 3u);
  EXPECT_EQ(onmousedown->count, 2u);
  // After CR LF and a two-byte character: line 3, column 2 (characters).
  EXPECT_EQ(onmousedown->occurrences[1].line, 3u);
  EXPECT_EQ(onmousedown->occurrences[1].column, 2u);
  // A lone CR ends a line too.
  const CheckResult all = Check(text, Occurrences(10));
  EXPECT_EQ(Match(all, 7)->occurrences.back().line, 4u);
  EXPECT_EQ(Match(all, 7)->occurrences.back().column, 1u);
  // The count alone.
  const CheckResult counted = Check(text, Occurrences(0));
  EXPECT_EQ(Match(counted, 7)->count, 4u);
  EXPECT_TRUE(Match(counted, 7)->occurrences.empty());
  EXPECT_EQ(Match(counted, 7)->first.offset, 2u);
}

// A marker only written about, in a comment or the visible text, counts for
// nothing when those contexts are ignored; the count still holds them all.
TEST(Check, IgnoredContextsDecideWhichRulesMatch) {
  const std::string text =
      "<!-- <script> was here -->\n<textarea>Write <form> tags like this.</textarea>\n"
      "<div onclick=\"go()\">onclick</div><script>window.open('x')</script>";
  const ContextSet prose = Bit(Context::Comment) | Bit(Context::Text);
  const CheckResult plain = Check(text);
  EXPECT_EQ(Rules(plain), (std::vector<std::size_t>{0, 4, 5, 10}));
  const CheckResult r = Check(text, Occurrences(100, prose));
  // "<script" is still markup at the end of the page; "<form" is only text.
  EXPECT_EQ(Rules(r), (std::vector<std::size_t>{0, 5, 10}));
  const RuleMatch* script = Match(r, 0);
  const RuleMatch* onclick = Match(r, 10);
  ASSERT_TRUE(script && onclick && Match(r, 5));
  EXPECT_EQ(script->count, 2u);
  EXPECT_EQ(script->occurrences[0].context, Context::Comment);
  EXPECT_EQ(script->first.context, Context::Tag);
  EXPECT_EQ(script->first.element, "script");
  EXPECT_EQ(script->first.line, 3u);
  EXPECT_EQ(onclick->count, 2u);
  EXPECT_EQ(onclick->first.context, Context::AttributeName);
  EXPECT_EQ(onclick->first.element, "div");
  EXPECT_EQ(onclick->occurrences[1].context, Context::Text);
  EXPECT_EQ(onclick->occurrences[1].element, "div");
  EXPECT_EQ(Match(r, 5)->first.context, Context::Script);
  // Ignoring the markup leaves only what is written about.
  const CheckResult words = Check(text, Occurrences(0, ParseContexts("markup,script")));
  EXPECT_EQ(Rules(words), (std::vector<std::size_t>{0, 4, 10}));
}

TEST(Check, SnippetsStayOnTheirLineAndWithinEightyCharacters) {
  auto snippet = [](const std::string& text, std::size_t offset, std::size_t length) {
    return SnippetAt(text, Occurrence{offset, length, 1, 1, Context::Text, ""});
  };
  EXPECT_EQ(snippet("a\n<form x>\r\nb", 2, 5), "<form x>");
  EXPECT_EQ(snippet("a\r<form", 2, 5), "<form");
  const std::string before(100, 'a'), after(100, 'b');
  const std::string centred = snippet(before + "<form" + after, 100, 5);
  EXPECT_EQ(centred, std::string(37, 'a') + "<form" + std::string(38, 'b'));
  // What one side lacks the other takes.
  EXPECT_EQ(snippet("xy<form" + after, 2, 5), "xy<form" + std::string(73, 'b'));
  EXPECT_EQ(snippet(before + "<form\nz", 100, 5), std::string(75, 'a') + "<form");
  // Counted in characters, never cutting one.
  std::string wide;
  for (int i = 0; i < 60; ++i) wide += "\xC3\xA9";
  const std::string s = snippet(wide + "<form" + wide, 120, 5);
  EXPECT_EQ(s, wide.substr(120 - 2 * 37) + "<form" + wide.substr(0, 2 * 38));
}

TEST(Check, CountsDescribeWhereOccurrencesSit) {
  ContextCounts counts;
  counts.total = 3;
  counts.in[static_cast<std::size_t>(Context::AttributeName)] = 2;
  counts.in[static_cast<std::size_t>(Context::Comment)] = 1;
  EXPECT_EQ(DescribeCounts(counts), "3 occurrences: 2 in attribute names, 1 in a comment");
  ContextCounts one;
  one.total = 1;
  one.in[static_cast<std::size_t>(Context::Script)] = 1;
  EXPECT_EQ(DescribeCounts(one), "1 occurrence, in a script");
  one.total = one.in[static_cast<std::size_t>(Context::Script)] = 4;
  EXPECT_EQ(DescribeCounts(one), "4 occurrences, all in scripts");
  EXPECT_EQ(DescribeCounts({}), "0 occurrences");

  const std::string page = "<div onclick=x><!-- onclick -->\n<p onclick=y>";
  const ContextCounts real = CountContexts(RuleOccurrences(page, 10));
  EXPECT_EQ(DescribeCounts(real), "3 occurrences: 2 in attribute names, 1 in a comment");
  EXPECT_EQ(CountContexts(RuleOccurrences(page, 0)).total, 0u);
}

TEST(RuleOccurrences, ScannedRulesMatchTheirCapitalAndSmallForms) {
  // Rule 1 "<script": "<Script" is neither form.
  const std::string text = "<script a><Script b><SCRIPT c><script d>";
  const auto hits = RuleOccurrences(text, 0);
  ASSERT_EQ(hits.size(), 3u);
  EXPECT_EQ(hits[0].offset, 0u);
  EXPECT_EQ(hits[1].offset, 20u);
  EXPECT_EQ(hits[2].offset, 30u);
  EXPECT_EQ(hits[2].length, 7u);
  EXPECT_EQ(RuleOccurrences(text, 0, 2).size(), 2u);

  // Rule 19 "CreateObject" as written matches nothing.
  const std::size_t create = 18;
  ASSERT_EQ(kRuleTable[create].label, "Create Ob");
  EXPECT_TRUE(RuleOccurrences("CreateObject()", create).empty());
  EXPECT_EQ(RuleOccurrences("x createobject CREATEOBJECT", create).size(), 2u);
}

TEST(RuleOccurrences, FoundRuleMatchesExactlyAndRepeatsAreAllListed) {
  const std::size_t cdrom = 19;
  ASSERT_EQ(kRuleTable[cdrom].marker, "cdromCollection");
  EXPECT_TRUE(RuleOccurrences("CDROMCOLLECTION cdromcollection", cdrom).empty());
  EXPECT_EQ(RuleOccurrences("cdromCollection;cdromCollection", cdrom).size(), 2u);
  EXPECT_TRUE(RuleOccurrences("anything", kRuleCount).empty());
}

TEST(Check, ContextNames) {
  EXPECT_EQ(ParseContexts("comment,text"), Bit(Context::Comment) | Bit(Context::Text));
  EXPECT_EQ(ParseContexts("markup"),
            Bit(Context::Tag) | Bit(Context::AttributeName) | Bit(Context::AttributeValue));
  for (std::size_t i = 0; i < kContextCount; ++i) {
    const auto c = static_cast<Context>(i);
    EXPECT_EQ(ContextFromName(ContextName(c)), c);
  }
  EXPECT_THROW(ParseContexts("comment,,text"), std::invalid_argument);
  EXPECT_THROW(ParseContexts("Comment"), std::invalid_argument);
}

// A thread's scratch space is fitted to each rule set it checks with once:
// sets made, used and dropped one after another (a new one may take an old
// one's memory), some much larger than others, each still check right.
TEST(Check, RuleSetsOneAfterAnotherOnOneThreadEachCheckRight) {
  auto literal_set = [](std::string word) {
    Rule r;
    r.id = "w";
    r.label = "W";
    r.pattern = std::move(word);
    return std::make_shared<const RuleSet>(std::vector<Rule>{r});
  };
  auto regex_set = [] {
    std::vector<Rule> rules;
    for (int i = 0; i < 40; ++i) {
      Rule r;
      r.id = "re" + std::to_string(i);
      r.label = r.id;
      r.kind = MatchKind::Regex;
      r.pattern = "x" + std::to_string(i) + "[a-z]{2,40}y.*z";
      rules.push_back(std::move(r));
    }
    return std::make_shared<const RuleSet>(std::move(rules));
  };
  const std::string text = "<p>x7abcy and then z, needle</p>";
  for (int round = 0; round < 3; ++round) {
    CheckOptions small = Occurrences(10);
    small.rules = literal_set("needle");
    const CheckResult a = Check(text, small);
    ASSERT_EQ(a.matches.size(), 1u);
    EXPECT_EQ(a.matches[0].occurrences.at(0).offset, text.find("needle"));
    CheckOptions large = Occurrences(10);
    large.rules = regex_set();
    const CheckResult b = Check(text, large);
    ASSERT_EQ(Rules(b), std::vector<std::size_t>{7});
    EXPECT_EQ(b.matches[0].first.offset, text.find("x7"));
    // The set kept from before, after a larger one.
    EXPECT_EQ(Check(text, small).matches.size(), 1u);
  }
}

// A mixed set's whole database is built by the first check that needs it:
// checks on several threads at once, some wanting it and some not, all give
// the one answer; an unusable pattern is still refused when the set is made.
TEST(Check, AMixedSetsWholeDatabaseIsBuiltOnceWhenFirstNeeded) {
  std::vector<Rule> rules = ClassicRules();
  const Rule eval = MakeRule("eval-atob", "eval\\s*\\(\\s*atob", MatchKind::Regex);
  rules.push_back(eval);
  const auto set = std::make_shared<const RuleSet>(rules);
  const std::string text = "<script>eval( atob('x'))</script><form>";
  CheckOptions occurrences = Occurrences(5);
  occurrences.rules = set;
  CheckOptions first;
  first.rules = set;
  std::vector<CheckResult> got(8);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < got.size(); ++i)
    threads.emplace_back([&, i] { got[i] = Check(text, i % 2 ? first : occurrences); });
  for (std::thread& t : threads) t.join();
  for (std::size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(i);
    // The classic rules found, and the regex rule, last in the set.
    ASSERT_EQ(Rules(got[i]), Rules(got[0]));
    EXPECT_EQ(Rules(got[i]).back(), rules.size() - 1);
    EXPECT_EQ(got[i].matches.back().first.offset, text.find("eval"));
  }
  EXPECT_EQ(got[0].matches.back().occurrences.size(), 1u);

  Rule bad = eval;
  bad.id = "bad";
  bad.pattern = "(unclosed";
  rules.push_back(bad);
  EXPECT_THROW(RuleSet{rules}, RuleError);
}

// The built-in packs are compiled only when a check needs them, on the
// strength of this test: built at once, their patterns must all be usable.
// A page large enough for its element rules to be read beside the text
// search finds what the same markup finds on a small page, in both kinds of
// check (first places and listed occurrences).
TEST(Check, BuiltInPacksBuildAndLargePagesMatchElementsAsSmallOnesDo) {
  std::vector<Rule> all = ClassicRules();
  all.insert(all.end(), ModernRules().begin(), ModernRules().end());
  EXPECT_NO_THROW(RuleSet(ModernRules(), {}, RuleSet::Build::Now));
  EXPECT_NO_THROW(RuleSet(all, {}, RuleSet::Build::Now));

  const std::string head =
      "<html><body><script src=\"https://cdn.example/x.js\"></script>\n"
      "<iframe src=\"https://elsewhere.example/\" width=\"0\" height=\"0\"></iframe>\n"
      "<!-- <iframe width=0> --><script>eval(atob('x'))</script>\n";
  std::string filler;
  while (filler.size() < (std::size_t{3} << 20)) filler += "<p class=\"c\">some text here</p>\n";
  const std::string small = head + "</body></html>\n";
  const std::string large = head + filler +
                            "<form action=\"http://x.example/\">"
                            "<input type=\"password\"></form></body></html>\n";
  for (const bool occurrences : {false, true}) {
    SCOPED_TRACE(occurrences);
    CheckOptions options;
    options.rules =
        std::make_shared<RuleSet>(all, std::vector<std::string>{}, RuleSet::Build::WhenNeeded);
    options.want_occurrences = occurrences;
    const CheckResult a = Check(small, options), b = Check(large, options);
    std::vector<std::string> element_rules;
    for (const RuleMatch& m : b.matches) {
      const Rule& rule = (*options.rules)[m.rule];
      if (rule.kind == MatchKind::Element) element_rules.push_back(rule.id);
    }
    // The head's hidden frame and script (not the commented-out frame), and
    // the form at the large page's end.
    EXPECT_EQ(element_rules, (std::vector<std::string>{"hidden-frame", "script-without-integrity",
                                                       "password-form-elsewhere"}));
    for (const RuleMatch& m : a.matches) {
      auto it = std::find_if(b.matches.begin(), b.matches.end(),
                             [&](const RuleMatch& o) { return o.rule == m.rule; });
      ASSERT_NE(it, b.matches.end()) << (*options.rules)[m.rule].id;
      EXPECT_EQ(it->first.offset, m.first.offset) << (*options.rules)[m.rule].id;
    }
    const std::size_t form = large.find("<form");
    EXPECT_TRUE(std::any_of(b.matches.begin(), b.matches.end(), [&](const RuleMatch& m) {
      return (*options.rules)[m.rule].id == "password-form-elsewhere" && m.first.offset == form;
    }));
  }
}

bool SameOccurrence(const Occurrence& a, const Occurrence& b) {
  return a.offset == b.offset && a.length == b.length && a.line == b.line && a.column == b.column &&
         a.context == b.context && a.element == b.element;
}

// A page large enough for its search to run beside the scanner that places
// the matches (and for element rules to be read beside the search) gives
// what the same check on one thread gives, for every kind of rule: sparse
// and dense matches, a late one of a regular expression without a bound on
// its length (it spans a stretch far longer than the pieces the page is
// searched in, and a marker placed before it), contexts ignored and rules
// kept to contexts.
void ExpectSameMatches(const CheckResult& a, const CheckResult& b) {
  ASSERT_EQ(Rules(a), Rules(b));
  for (std::size_t k = 0; k < a.matches.size(); ++k) {
    const RuleMatch &x = a.matches[k], &y = b.matches[k];
    SCOPED_TRACE(x.rule);
    EXPECT_EQ(x.count, y.count);
    EXPECT_TRUE(SameOccurrence(x.first, y.first));
    ASSERT_EQ(x.occurrences.size(), y.occurrences.size());
    for (std::size_t i = 0; i < x.occurrences.size(); ++i)
      EXPECT_TRUE(SameOccurrence(x.occurrences[i], y.occurrences[i])) << i;
  }
}

TEST(Check, LargePagesCheckAsOnOneThread) {
  std::vector<Rule> extra = ClassicRules();
  extra.push_back(MakeRule("spread", "begin[^;]*end", MatchKind::Regex));
  extra.push_back(MakeRule("scripted", "open"));
  extra.back().in = Bit(Context::Script);
  std::vector<Rule> all = extra;
  all.insert(all.end(), ModernRules().begin(), ModernRules().end());
  // Literals alone, one of them only in scripts: searched on one thread by
  // the plain check's filter, beside it by the database.
  std::vector<Rule> literal = ClassicRules();
  literal.push_back(extra.back());
  const auto with_extra = std::make_shared<const RuleSet>(extra);
  const auto with_all = std::make_shared<const RuleSet>(all);
  const auto with_literal = std::make_shared<const RuleSet>(literal);

  std::mt19937 random(11);
  const std::vector<std::string> pieces = {"<script>window.open('x')</script>\n",
                                           "<!-- <form> onclick -->",
                                           "<p onclick=go()>",
                                           "text <SCRIPT src=x>",
                                           "<textarea><iframe></textarea>",
                                           "\r\n",
                                           "<div>",
                                           "</div>",
                                           "<style>p{}</style>",
                                           "<svg><![CDATA[<object>]]></svg>",
                                           "caf\xC3\xA9"};
  std::string page;
  while (page.size() < (std::size_t{3} << 20)) {
    page += pieces[random() % pieces.size()];
    // Stretches without markers, so that some pieces of the search find none.
    if (random() % 512 == 0) page += std::string(300000, 'x');
  }
  page += "begin" + std::string(300000, ' ') + "<form>" + std::string(300000, ' ') + "end";

  struct Way {
    std::size_t max;
    ContextSet ignore;
    std::shared_ptr<const RuleSet> rules;  // none: the twenty
  };
  const ContextSet prose = Bit(Context::Comment) | Bit(Context::Text);
  for (const Way& way :
       {Way{100, 0, nullptr}, Way{3, prose, nullptr}, Way{0, Bit(Context::Tag), nullptr},
        Way{20, 0, with_extra}, Way{0, prose, with_extra}, Way{20, 0, with_all},
        Way{0, 0, with_all}, Way{50, prose, with_literal}}) {
    SCOPED_TRACE(testing::Message() << way.max << " " << way.ignore << " " << way.rules.get());
    CheckOptions beside = Occurrences(way.max, way.ignore);
    beside.rules = way.rules;
    CheckOptions alone = beside;
    alone.one_thread = true;
    const CheckResult a = Check(page, alone);
    ExpectSameMatches(a, Check(page, beside));
    if (way.rules && way.rules != with_literal) {
      const RuleMatch* late = Match(a, ClassicRules().size());
      ASSERT_NE(late, nullptr);
      EXPECT_EQ(late->first.offset, page.rfind("begin"));
    }
  }
}

// A page large enough for its later half to be read ahead, of markup that
// leaves the body's elements open where the reader ahead starts: what the
// scanner jumps over is placed as read, its markers sparse and dense, the
// last ones near the end.
TEST(Check, PagesReadAheadCheckAsOnOneThread) {
  std::mt19937 random(5);
  const std::vector<std::string> pieces = {"<p>plain text</p>\n",
                                           "<div class=a><span>more</span></div>\r\n",
                                           "<table><tr><td>1</td></tr></table>",
                                           "<script>var s = '<form>';</script>",
                                           "<!-- <iframe> -->",
                                           "<textarea><object></textarea>",
                                           "<a href=x onclick=go()>a</a>"};
  std::string page = "<!DOCTYPE html><html><head><title>t</title></head><body>";
  while (page.size() < (std::size_t{9} << 19)) {
    const std::string& piece = pieces[random() % pieces.size()];
    // Past the first few thousand bytes, markers grow rare.
    const bool marked = piece.find("<p>") != 0 && piece.find("<div") != 0;
    if (marked && page.size() > 8000 && random() % 2000 != 0) continue;
    page += piece;
  }
  page += "<form action=x><iframe src=y></iframe></form></body></html>";
  for (const ContextSet ignore : {ContextSet{0}, Bit(Context::Comment) | Bit(Context::Script)}) {
    for (const std::size_t max : {std::size_t{100}, std::size_t{0}}) {
      SCOPED_TRACE(testing::Message() << max << " " << ignore);
      CheckOptions beside = Occurrences(max, ignore);
      CheckOptions alone = beside;
      alone.one_thread = true;
      const CheckResult a = Check(page, alone);
      ExpectSameMatches(a, Check(page, beside));
      const RuleMatch* forms = Match(a, 4);
      ASSERT_NE(forms, nullptr);
      if (max > 0) {
        EXPECT_LT(forms->occurrences.size(), max);
        EXPECT_EQ(forms->occurrences.back().offset, page.rfind("<form"));
      }
    }
  }
}

}  // namespace
}  // namespace vx::app::check
