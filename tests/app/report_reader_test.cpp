// Our JSON reports read back: what the writer writes comes back the same,
// reports of earlier versions are read, and what is not ours is refused by
// file and line.
#include "app/report_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "app/check/check.h"
#include "app/check/rule_packs.h"

namespace vx::app::cli {
namespace {

const std::string kPage =
    "<html><body onload=\"go()\">\n<!-- <script> in a comment -->\n"
    "<form action=x><script>window.open('\xC3\xA9\\u2028')</script>\n"
    "<script>alert(\"\\t\")</script></form></body></html>\n";

Outcome Checked(bool occurrences, const std::shared_ptr<const check::RuleSet>& rules) {
  check::CheckOptions options;
  options.rules = rules;
  options.want_occurrences = occurrences;
  options.max_occurrences = 1;
  PageFacts facts{true, 404, "http://127.0.0.1:1/final", "Test \"server\"\x01"};
  return MakeOutcome(facts, kPage, check::Check(kPage, options));
}

std::string Write(const std::vector<std::pair<std::string, Outcome>>& items, bool occurrences,
                  const std::shared_ptr<const check::RuleSet>& rules) {
  ReportStyle style;
  style.occurrences = occurrences;
  style.rules = rules;
  auto writer = MakeReportWriter(Format::Json, style);
  std::string out;
  for (const auto& [address, o] : items) writer->Item(out, address, o);
  return out;
}

std::string ReadAndWrite(const std::string& report, bool occurrences,
                         const std::shared_ptr<const check::RuleSet>& rules) {
  std::istringstream in(report);
  std::vector<std::pair<std::string, Outcome>> items;
  for (const ReportRecord& r : ReadJsonReport(in, "r.jsonl"))
    items.emplace_back(r.address, ToOutcome(r, *rules, "r.jsonl"));
  return Write(items, occurrences, rules);
}

TEST(ReportReader, WhatTheWriterWritesComesBackTheSame) {
  for (const auto& rules :
       {check::RuleSet::Classic(), check::BuildRuleSet(check::RuleChoice{{"all"}, {}, {}, {}})}) {
    for (bool occurrences : {false, true}) {
      SCOPED_TRACE(occurrences);
      Outcome failed = MakeFailure(PageFacts{true, 0, "", ""}, "timed out after 1 s");
      Outcome file = Checked(occurrences, rules);
      file.web = false;
      const std::string report = Write({{"http://127.0.0.1:1/a", Checked(occurrences, rules)},
                                        {"http://127.0.0.1:1/gone", failed},
                                        {"page \xE2\x80\xAE.html", file}},
                                       occurrences, rules);
      ASSERT_NE(report.find("\"occurrences\""), occurrences ? std::string::npos : 0);
      EXPECT_EQ(ReadAndWrite(report, occurrences, rules), report);
    }
  }
}

TEST(ReportReader, TellsWebPagesFromFiles) {
  std::istringstream in(
      "{\"address\":\"http://127.0.0.1:9/\",\"ok\":false,\"error\":\"refused\",\"status\":null,"
      "\"final_address\":null,\"server\":null,\"bytes\":0,\"findings\":[]}\n"
      "{\"address\":\"x.html\",\"ok\":false,\"error\":\"missing\",\"status\":null,"
      "\"final_address\":null,\"server\":null,\"bytes\":0,\"findings\":[]}\n"
      "\n"
      "{\"address\":\"example.test\",\"ok\":true,\"error\":null,\"status\":200,"
      "\"final_address\":\"http://example.test/\",\"server\":\"\",\"bytes\":0,\"findings\":[],"
      "\"index\":7}\r\n");
  const auto records = ReadJsonReport(in, "r");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_TRUE(records[0].web);
  EXPECT_FALSE(records[1].web);
  EXPECT_TRUE(records[2].web);
  EXPECT_EQ(records[2].line, 4u);
  EXPECT_EQ(records[2].index, 7u);
  EXPECT_FALSE(records[0].index);
}

// The lines of the versions before rule ids (no id, severity), and before
// occurrences (no count, occurrences), as they were written.
TEST(ReportReader, ReadsEveryVersionWeWrote) {
  std::istringstream in(
      "{\"address\":\"a.html\",\"ok\":true,\"error\":null,\"status\":null,\"final_address\":null,"
      "\"server\":null,\"bytes\":10,\"findings\":[{\"rule\":1,\"label\":\"Scripting\","
      "\"description\":\"This poses a possible threat of malicious scripting.\",\"line\":2,"
      "\"column\":3}]}\n"
      "{\"address\":\"b.html\",\"ok\":true,\"error\":null,\"status\":null,\"final_address\":null,"
      "\"server\":null,\"bytes\":10,\"findings\":[{\"rule\":5,\"label\":\"Forms\","
      "\"description\":\"d\",\"line\":1,\"column\":1,\"count\":3,\"occurrences\":[{\"line\":1,"
      "\"column\":1,\"offset\":0,\"context\":\"tag\",\"element\":null,\"snippet\":\"<form>\"}]}]}"
      "\n"
      "{\"address\":\"c.html\",\"ok\":true,\"error\":null,\"status\":null,\"final_address\":null,"
      "\"server\":null,\"bytes\":10,\"findings\":[{\"rule\":5,\"id\":\"VX005\",\"label\":\"Forms\","
      "\"description\":\"d\",\"severity\":\"medium\",\"line\":1,\"column\":1}]}\n");
  const auto records = ReadJsonReport(in, "old.jsonl");
  ASSERT_EQ(records.size(), 3u);
  const auto classic = check::RuleSet::Classic();
  for (const ReportRecord& r : records) {
    ASSERT_EQ(r.findings.size(), 1u);
    const std::optional<std::size_t> rule = FindReportedRule(r.findings[0], *classic);
    ASSERT_TRUE(rule) << r.address;
    EXPECT_EQ((*classic)[*rule].id, r.address == "a.html" ? "VX001" : "VX005");
  }
  EXPECT_EQ(records[0].findings[0].at.line, 2u);
  EXPECT_FALSE(records[0].findings[0].has_occurrences);
  EXPECT_TRUE(records[1].findings[0].has_occurrences);
  EXPECT_EQ(records[1].findings[0].count, 3u);
  EXPECT_EQ(records[1].findings[0].occurrences.at(0).snippet, "<form>");
  EXPECT_EQ(records[2].findings[0].severity, "medium");
}

std::string ErrorOf(const std::string& text, ReportReadLimits limits = {}) {
  std::istringstream in(text);
  try {
    (void)ReadJsonReport(in, "in.jsonl", limits);
  } catch (const ReportReadError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(ReportReader, RefusesWhatIsNotOursByFileAndLine) {
  const std::string good =
      "{\"address\":\"a\",\"ok\":true,\"error\":null,\"status\":null,\"final_address\":null,"
      "\"server\":null,\"bytes\":1,\"findings\":[]}\n";
  EXPECT_EQ(ErrorOf(good + "{\"version\":\"2.1.0\",\"runs\":[]}\n"),
            "in.jsonl:2: not a report line of vettrix check --json (no \"address\" and "
            "\"findings\")");
  EXPECT_EQ(ErrorOf(good + "address,rule,label\n")
                .rfind("in.jsonl:2: not a report line of vettrix check --json (not valid JSON", 0),
            0u);
  EXPECT_EQ(ErrorOf("[1,2]\n"),
            "in.jsonl:1: not a report line (a JSON object of vettrix check --json)");
  EXPECT_EQ(ErrorOf(good + good.substr(0, 40) + "\n")
                .rfind("in.jsonl:2: not a report line of vettrix check --json (not valid JSON", 0),
            0u);
  std::string bad = good;
  bad.replace(bad.find("\"bytes\":1"), 9, "\"bytes\":-1");
  EXPECT_EQ(ErrorOf(bad), "in.jsonl:1: \"bytes\" is not a whole number");
  bad = good;
  bad.replace(bad.find("[]"), 2, "[{\"rule\":1,\"label\":\"x\",\"description\":\"\",\"line\":0}]");
  EXPECT_EQ(ErrorOf(bad), "in.jsonl:1: finding 1 \"line\" is not a whole number from 1");
  bad = good;
  bad.replace(bad.find("\"ok\":true"), 9, "\"ok\":false");
  EXPECT_EQ(ErrorOf(bad), "in.jsonl:1: a failure without an \"error\"");
  // A rule the active set has not.
  std::istringstream in(
      "\n{\"address\":\"a\",\"ok\":true,\"error\":null,\"status\":null,\"final_address\":null,"
      "\"server\":null,\"bytes\":1,\"findings\":[{\"rule\":21,\"id\":\"MY001\",\"label\":\"x\","
      "\"description\":\"\",\"line\":1,\"column\":1}]}\n");
  const auto records = ReadJsonReport(in, "in.jsonl");
  try {
    (void)ToOutcome(records.at(0), *check::RuleSet::Classic(), "in.jsonl");
    ADD_FAILURE() << "no error";
  } catch (const ReportReadError& e) {
    EXPECT_STREQ(e.what(), "in.jsonl:2: rule \"MY001\" is not in the active rule set");
  }
}

TEST(ReportReader, KeepsToItsLimits) {
  ReportReadLimits limits;
  limits.max_line_bytes = 100;
  EXPECT_EQ(ErrorOf(std::string(50, ' ') + "\n" + std::string(200, ' ') + "\n", limits),
            "in.jsonl:2: a line longer than 100 bytes");
  EXPECT_EQ(ErrorOf(std::string(100000, '[') + "\n")
                .find("in.jsonl:1: not a report line of vettrix check --json (nested too deep"),
            0u);
  limits = {};
  limits.max_findings = 1;
  const std::string f =
      "{\"rule\":1,\"label\":\"Scripting\",\"description\":\"\",\"line\":1,\"column\":1}";
  EXPECT_EQ(ErrorOf("{\"address\":\"a\",\"ok\":true,\"error\":null,\"status\":null,"
                    "\"final_address\":null,\"server\":null,\"bytes\":1,\"findings\":[" +
                        f + "," + f + "]}\n",
                    limits),
            "in.jsonl:1: more than 1 findings");
}

}  // namespace
}  // namespace vx::app::cli
