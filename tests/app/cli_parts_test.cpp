// The parts of `vettrix check` that need no process: report writers and
// their escaping, the input reader, the report file and the progress line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/cli_input.h"
#include "app/cli_journal.h"
#include "app/cli_output.h"
#include "app/cli_report.h"

namespace vx::app::cli {
namespace {

namespace fs = std::filesystem;

std::string Json(std::string_view s) {
  std::string out;
  AppendJsonString(out, s);
  return out;
}

std::string Csv(std::string_view s) {
  std::string out;
  AppendCsvField(out, s);
  return out;
}

TEST(Report, JsonStringsEscapeEveryControlAndRepairBadBytes) {
  EXPECT_EQ(Json("plain text"), "\"plain text\"");
  EXPECT_EQ(Json("q\"b\\s/"), "\"q\\\"b\\\\s/\"");
  EXPECT_EQ(Json("\b\f\n\r\t"), "\"\\b\\f\\n\\r\\t\"");
  EXPECT_EQ(Json(std::string("\x00\x01\x1b\x1f", 4)), "\"\\u0000\\u0001\\u001b\\u001f\"");
  EXPECT_EQ(Json("del\x7f"), "\"del\\u007f\"");
  // C1 controls arrive as two UTF-8 bytes each.
  EXPECT_EQ(Json("\xC2\x80\xC2\x9B\xC2\x9F"), "\"\\u0080\\u009b\\u009f\"");
  EXPECT_EQ(Json("\xC2\xA0 caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"),
            "\"\xC2\xA0 caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\"");
  EXPECT_EQ(Json("line\xE2\x80\xA8sep\xE2\x80\xA9"), "\"line\\u2028sep\\u2029\"");
  // Direction controls stay in the text, as escapes a viewer cannot act on.
  EXPECT_EQ(Json("report\xE2\x80\xAEgnp.html \xE2\x81\xA9\xE2\x80\x8E\xD8\x9C"),
            "\"report\\u202egnp.html \\u2069\\u200e\\u061c\"");
  // Bytes that are no UTF-8 (a lone C1 byte, a cut sequence, an overlong, a
  // surrogate) become U+FFFD, one each.
  EXPECT_EQ(Json("a\x9B"
                 "b"),
            "\"a\xEF\xBF\xBD"
            "b\"");
  EXPECT_EQ(Json("\xE2\x82"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(Json("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(Json("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
  // Whatever comes in, a JSON parser reads it back.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string escaped = Json(all);
  for (unsigned char c : escaped) {
    EXPECT_TRUE(c >= 0x20 && c != 0x7F) << int(c);
  }
  std::string back;
  EXPECT_NO_THROW(back = nlohmann::json::parse(escaped).get<std::string>());
  EXPECT_EQ(back.size() > 0, true);
}

TEST(Report, CsvFieldsFollowRfc4180) {
  EXPECT_EQ(Csv("plain"), "plain");
  EXPECT_EQ(Csv(""), "");
  EXPECT_EQ(Csv("a,b"), "\"a,b\"");
  EXPECT_EQ(Csv("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(Csv("two\nlines"), "\"two\nlines\"");
  EXPECT_EQ(Csv("cr\rhere"), "\"cr\rhere\"");
  EXPECT_EQ(Csv(" padded "), "\" padded \"");
  EXPECT_EQ(Csv("tab\tinside"), "tab\tinside");
  // Controls that would act on a terminal, and bad bytes, are replaced.
  EXPECT_EQ(Csv("esc\x1b[2J del\x7f c1\xC2\x9B bad\xFF"),
            "esc\xEF\xBF\xBD[2J del\xEF\xBF\xBD c1\xEF\xBF\xBD bad\xEF\xBF\xBD");
}

TEST(Report, PrintableKeepsTerminalsSafe) {
  EXPECT_EQ(Printable("Apache/2.4 caf\xC3\xA9\tx"), "Apache/2.4 caf\xC3\xA9\tx");
  EXPECT_EQ(Printable("\x1b[2J\x7f\xC2\x9B\x9B\n\a\r"), "\\e[2J\\x7f\\u009b\\x9b\\n\\x07\\r");
  // Direction controls would make "report\u202egnp.html" read as "reportlmth.png".
  EXPECT_EQ(Printable("report\xE2\x80\xAEgnp.html"), "report\\u202egnp.html");
  EXPECT_EQ(Printable("a\xE2\x81\xA6"
                      "b\xE2\x80\x8F\xD8\x9C"),
            "a\\u2066b\\u200f\\u061c");
}

TEST(Report, PageUrisAreUriReferences) {
  EXPECT_EQ(PageUri("site/index.html", false), "site/index.html");
  EXPECT_EQ(PageUri("./site/a b.html", false), "site/a%20b.html");
  EXPECT_EQ(PageUri("x/50%#1?.html", false), "x/50%25%231%3F.html");
  EXPECT_EQ(PageUri("/srv/www/caf\xC3\xA9.html", false), "file:///srv/www/caf%C3%A9.html");
  EXPECT_EQ(PageUri("c:odd.html", false), "./c:odd.html");
  EXPECT_EQ(PageUri("-", false), "-");
  EXPECT_EQ(PageUri("file:///a%20b.html", false), "file:///a%20b.html");
  EXPECT_EQ(PageUri("example.com/a b?q=1#top", true), "http://example.com/a%20b?q=1#top");
  EXPECT_EQ(PageUri("https://example.com/%zz%41", true), "https://example.com/%25zz%41");
}

TEST(Report, WritersStreamOneItemAtATime) {
  Outcome found;
  found.ok = true;
  found.web = true;
  found.status = 200;
  found.final_address = "http://x/";
  found.server_line = "Web Server: S";
  found.server = "S";
  found.bytes = 9;
  found.findings = {{0, {2, 3}, 0, {}, {}, BaselineState::None, {}},
                    {4, {1, 1}, 0, {}, {}, BaselineState::None, {}}};
  Outcome failed;
  failed.error = "cannot open file: No such file or directory";

  std::string out;
  auto human = MakeReportWriter(Format::Human);
  human->SetSeveral(true);
  human->Begin(out);
  human->Item(out, "http://x/", found);
  human->Item(out, "gone.html", failed);
  EXPECT_EQ(out,
            "== http://x/\nWeb Server: S\n"
            "Scripting\tThis poses a possible threat of malicious scripting.\n"
            "Forms\tUsers can trick other people into enterting personal information.\n"
            "== gone.html\n");

  out.clear();
  auto csv = MakeReportWriter(Format::Csv);
  csv->Begin(out);
  csv->Item(out, "gone.html", failed);
  EXPECT_EQ(out, "address,rule,label,description,line,column\r\n");
  csv->Item(out, "http://x/", found);
  EXPECT_NE(out.find("http://x/,5,Forms,"), std::string::npos);

  out.clear();
  auto sarif = MakeReportWriter(Format::Sarif);
  sarif->Begin(out);
  sarif->Item(out, "http://x/", found);
  sarif->Item(out, "gone.html", failed);
  sarif->End(out, RunSummary{2, true});
  const auto log = nlohmann::json::parse(out);
  EXPECT_EQ(log["runs"][0]["results"].size(), 2u);
  EXPECT_EQ(log["runs"][0]["results"][1]["ruleId"], "VX005");
  EXPECT_EQ(log["runs"][0]["invocations"][0]["toolExecutionNotifications"].size(), 1u);
}

class Input : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vettrix-input-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Write(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
  static std::vector<InputEntry> All(InputReader& reader) {
    std::vector<InputEntry> out;
    while (auto e = reader.Next()) out.push_back(*e);
    return out;
  }
  fs::path dir_;
};

TEST_F(Input, ListsAreReadLineByLine) {
  const fs::path list = dir_ / "list.txt";
  // A final line without its line break counts; a CR before LF does not.
  Write(list, "\xEF\xBB\xBF first \r\n#skip\n\n second\n" + std::string(70000, 'y') + "\nthird");
  InputReader reader({"given"}, {list.string(), (dir_ / "none.txt").string()}, false, nullptr);
  const auto entries = All(reader);
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[0].address, "given");
  EXPECT_EQ(entries[1].address, "first");
  EXPECT_EQ(entries[2].address, "second");
  EXPECT_EQ(entries[3].address.size(), 63u);  // shortened for the message
  EXPECT_EQ(entries[3].error,
            "line 5 of the list " + list.string() + " is longer than 65536 bytes");
  EXPECT_EQ(entries[4].address, "third");
  EXPECT_TRUE(entries[4].error.empty());
  EXPECT_EQ(entries[5].address, (dir_ / "none.txt").string());
  EXPECT_EQ(entries[5].error, "cannot read the list: No such file or directory");
}

TEST_F(Input, AMillionLinesStreamThrough) {
  // Nothing is kept per line: only the count is checked here, the memory is
  // watched by the benchmark.
  const fs::path list = dir_ / "big.txt";
  {
    std::ofstream out(list);
    for (int i = 0; i < 1000000; ++i) out << "http://127.0.0.1:9/" << i << '\n';
  }
  InputReader reader({}, {list.string()}, false, nullptr);
  std::size_t n = 0;
  std::string last;
  while (auto e = reader.Next()) {
    ++n;
    last = e->address;
  }
  EXPECT_EQ(n, 1000000u);
  EXPECT_EQ(last, "http://127.0.0.1:9/999999");
}

TEST_F(Input, FoldersAreWalkedInPathOrder) {
  for (const char* name : {"b.html", "a.htm", "a/x.XHTML", "a/y.txt", "a-b/z.html", "c/d/e.Html",
                           "c0.html", "\xC3\xA9.html", "b.htmlx"})
    Write(dir_ / "site" / name, "x");
  fs::create_symlink(dir_ / "site/b.html", dir_ / "site/link.html");
  fs::create_directory_symlink(dir_ / "site/a", dir_ / "site/linked-dir");
  InputReader reader({(dir_ / "site").string()}, {}, false, nullptr);
  std::vector<std::string> got;
  for (const auto& e : All(reader)) {
    got.push_back(e.address.substr(dir_.string().size() + 6));
    // Known to be a regular file: checked without being looked up again.
    EXPECT_TRUE(e.walked_file) << e.address;
  }
  // As the whole paths sort, bytes unsigned: "c/" before "c0", "é" last.
  EXPECT_EQ(got, (std::vector<std::string>{"a-b/z.html", "a.htm", "a/x.XHTML", "b.html",
                                           "c/d/e.Html", "c0.html", "\xC3\xA9.html"}));
  // Under a folder whose name reads as a file URL, the walk's names are
  // classified as any other address.
  Write(dir_ / "file:x/p.html", "x");
  const fs::path old_dir = fs::current_path();
  fs::current_path(dir_);
  InputReader odd({"file:x"}, {}, true, nullptr);
  const auto odd_entries = All(odd);
  fs::current_path(old_dir);
  ASSERT_EQ(odd_entries.size(), 1u);
  EXPECT_EQ(odd_entries[0].address, "file:x/p.html");
  EXPECT_FALSE(odd_entries[0].walked_file);

  EXPECT_TRUE(IsFolderAddress((dir_ / "site").string(), false));
  EXPECT_FALSE(IsFolderAddress((dir_ / "site/b.html").string(), false));
  EXPECT_FALSE(IsFolderAddress("-", true));
  const fs::path old = fs::current_path();
  fs::current_path(dir_);
  fs::create_directories("example.com");
  fs::create_directories("plain");
  EXPECT_FALSE(IsFolderAddress("example.com", false));
  EXPECT_TRUE(IsFolderAddress("example.com", true));
  EXPECT_TRUE(IsFolderAddress("./example.com", false));
  EXPECT_TRUE(IsFolderAddress("example.com/", false));
  EXPECT_TRUE(IsFolderAddress("plain", false));
  EXPECT_FALSE(IsFolderAddress("absent", true));
  fs::current_path(old);
}

TEST_F(Input, AStopEndsTheInput) {
  std::atomic<bool> stop{false};
  InputReader reader({"a", "b"}, {}, false, &stop);
  EXPECT_TRUE(reader.Next());
  stop = true;
  EXPECT_FALSE(reader.Next());
}

TEST_F(Input, AReportFileAppearsWholeOrNotAtAll) {
  const fs::path target = dir_ / "report.json";
  std::string why;
  {
    auto sink = OutputSink::ToFile(target.string(), &why);
    ASSERT_TRUE(sink) << why;
    std::string data = "{\"a\":1}\n";
    ASSERT_TRUE(sink->Write(data));
    EXPECT_TRUE(data.empty());
    EXPECT_FALSE(fs::exists(target));  // not before the end
    ASSERT_TRUE(sink->Commit());
  }
  std::ifstream in(target);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "{\"a\":1}\n");
  EXPECT_EQ((fs::status(target).permissions() & fs::perms::owner_read), fs::perms::owner_read);

  {
    auto sink = OutputSink::ToFile(target.string(), &why);
    std::string data = "half";
    ASSERT_TRUE(sink->Write(data));
  }  // dropped without Commit: the old report stays, no temporary is left
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) ++files;
  EXPECT_EQ(files, 1u);
  std::ifstream again(target);
  std::stringstream kept;
  kept << again.rdbuf();
  EXPECT_EQ(kept.str(), "{\"a\":1}\n");

  EXPECT_FALSE(OutputSink::ToFile((dir_ / "no/such/dir/r.json").string(), &why));
  EXPECT_FALSE(OutputSink::ToFile(dir_.string(), &why));
}

TEST_F(Input, AFileThatShrinksUnderItsMappingIsToldNotACrash) {
  const fs::path file = dir_ / "big.html";
  std::string bytes(2 << 20, 'a');
  for (std::size_t i = 0; i < bytes.size(); i += 4097) bytes[i] = static_cast<char>('a' + i % 26);
  Write(file, bytes);
  const int fd = ::open(file.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  auto whole = FileMapping::Map(fd, bytes.size());
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(whole->bytes(), bytes);
  EXPECT_FALSE(whole->damaged());
  // The check borrows the mapping; the page text is then the file itself.
  std::shared_ptr<const FileMapping> borrowed;
  const PageText page = ReadFilePage(file.string(), 64 << 20, &borrowed);
  ASSERT_NE(borrowed, nullptr);
  EXPECT_TRUE(page.Borrowed());
  EXPECT_EQ(page.View(), bytes);

  // Cut to half, as a writer might while it is read: the rest reads as zeros
  // instead of faulting, and both mappings know.
  ASSERT_EQ(::truncate(file.c_str(), 1 << 20), 0);
  const std::string_view after = whole->bytes();
  EXPECT_EQ(after.substr(0, 1 << 20), std::string_view(bytes).substr(0, 1 << 20));
  EXPECT_EQ(after.find_first_not_of('\0', 1 << 20), std::string_view::npos);
  EXPECT_TRUE(whole->damaged());
  EXPECT_EQ(page.View().size(), bytes.size());
  EXPECT_EQ(page.View().back(), '\0');
  EXPECT_TRUE(borrowed->damaged());
  ::close(fd);
  // A new read gives what the file now holds.
  EXPECT_EQ(ReadFileText(file.string(), 64 << 20), bytes.substr(0, 1 << 20));
}

// Small pages are read into a buffer their thread reuses: never while a page
// read into it is still alive, and whatever a page's size or encoding.
TEST_F(Input, SmallPagesKeepTheirTextWhileTheNextIsRead) {
  std::shared_ptr<const FileMapping> mapping;
  const std::string first = "<p>caf\xC3\xA9 " + std::string(5000, 'a');
  Write(dir_ / "first.html", first);
  Write(dir_ / "second.html", std::string(7000, 'b'));
  const PageText one = ReadFilePage((dir_ / "first.html").string(), 64 << 20, &mapping);
  {
    const PageText two = ReadFilePage((dir_ / "second.html").string(), 64 << 20, &mapping);
    EXPECT_EQ(two.View(), std::string(7000, 'b'));
  }
  EXPECT_EQ(one.View(), first);
  EXPECT_EQ(mapping, nullptr);  // read, not mapped

  // Around the first buffer's size, as big as the file says or not: a file
  // of /proc reports no size and is read to its end all the same.
  for (const std::size_t size : {(std::size_t{256} << 10) - 1, std::size_t{256} << 10,
                                 (std::size_t{256} << 10) + 1, std::size_t{700} << 10}) {
    std::string bytes(size, 'c');
    bytes.back() = 'd';
    Write(dir_ / "sized.html", bytes);
    const PageText page = ReadFilePage((dir_ / "sized.html").string(), 64 << 20, &mapping);
    EXPECT_EQ(page.View(), bytes) << size;
  }
  const std::string status = ReadFileText("/proc/self/status", 64 << 20);
  EXPECT_EQ(status.rfind("Name:", 0), 0u) << status;
  EXPECT_NE(status.find("\nPid:"), std::string::npos);

  // A byte-order mark is dropped, and bytes that are not UTF-8 are
  // converted into a text of its own.
  Write(dir_ / "marked.html", "\xEF\xBB\xBF<script>");
  EXPECT_EQ(ReadFilePage((dir_ / "marked.html").string(), 64 << 20, &mapping).View(), "<script>");
  Write(dir_ / "latin.html", "caf\xE9");
  const PageText latin = ReadFilePage((dir_ / "latin.html").string(), 64 << 20, &mapping);
  EXPECT_FALSE(latin.Borrowed());
  EXPECT_EQ(latin.View(), "caf\xC3\xA9");
  // Still refused past --max-bytes.
  try {
    (void)ReadFilePage((dir_ / "second.html").string(), 6999, &mapping);
    ADD_FAILURE() << "no error past the limit";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "larger than the limit of 6999 bytes (see --max-bytes)");
  }
}

TEST_F(Input, ALargeFileToConvertIsDecodedFromItsMapping) {
  const fs::path file = dir_ / "latin.html";
  // Not UTF-8: Windows-1252, as a browser reads undeclared bytes that are not.
  std::string bytes(1 << 20, 'x');
  bytes[100] = '\xE9';
  Write(file, bytes);
  std::shared_ptr<const FileMapping> mapping;
  const PageText page = ReadFilePage(file.string(), 64 << 20, &mapping);
  EXPECT_FALSE(page.Borrowed());
  EXPECT_EQ(mapping, nullptr);
  EXPECT_EQ(page.View().size(), bytes.size() + 1);
  EXPECT_EQ(page.View().substr(100, 2), "\xC3\xA9");
}

// Syncs asked on the journal's own thread while several threads append and
// flush: closing waits for them and loses no record.
TEST_F(Input, AJournalSyncedWhileWrittenKeepsEveryRecord) {
  const std::string path = (dir_ / "run.journal").string();
  const auto rules = check::RuleSet::Classic();
  constexpr std::uint64_t kThreads = 4, kEach = 500;
  {
    Journal journal(path, "key", false, rules, 8);
    std::vector<std::thread> threads;
    for (std::uint64_t t = 0; t < kThreads; ++t) {
      threads.emplace_back([&journal, t] {
        for (std::uint64_t i = 0; i < kEach; ++i) {
          const std::uint64_t index = t * kEach + i;
          Outcome o;
          o.ok = true;
          o.web = true;
          o.status = 200;
          o.bytes = index;
          (void)journal.Append(index, "http://127.0.0.1/" + std::to_string(index), o, true);
          if (i % 50 == 0) {
            (void)journal.Flush();
            journal.SyncSoon();
          }
        }
      });
    }
    for (std::thread& t : threads) t.join();
    journal.SyncSoon();  // still in progress, very likely, when the journal closes
  }
  Journal again(path, "key", false, rules, 8);
  ASSERT_EQ(again.held(), kThreads * kEach);
  for (const std::uint64_t index : {std::uint64_t{0}, std::uint64_t{777}, kThreads * kEach - 1}) {
    const std::optional<Outcome> o = again.Take(index, "http://127.0.0.1/" + std::to_string(index));
    ASSERT_TRUE(o.has_value()) << index;
    EXPECT_EQ(o->bytes, index);
    EXPECT_EQ(o->status, 200);
  }
}

TEST(ProgressLine, TellsDoneRateFailuresAndTimeLeft) {
  using std::chrono::seconds;
  EXPECT_EQ(Progress::Line(50, 2, 200, seconds(10)),
            "vettrix: 50/200 pages  5.0/s  2 failed  0:10 elapsed  0:30 left");
  EXPECT_EQ(Progress::Line(50, 0, std::nullopt, seconds(4000)),
            "vettrix: 50 pages  0.0/s  0 failed  1:06:40 elapsed");
  EXPECT_EQ(Progress::Line(0, 0, 10, seconds(0)),
            "vettrix: 0/10 pages  0.0/s  0 failed  0:00 elapsed");
}

}  // namespace
}  // namespace vx::app::cli
