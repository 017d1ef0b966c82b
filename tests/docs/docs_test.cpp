// The manual pages and completions made at build time from the programs'
// help texts: groff and man read the pages without a warning, every option a
// help text names is in its page, and bash completes subcommands, options,
// option values and file names as the help texts describe them.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/rules.h"
#include "tests/support/files.h"
#include "tests/support/run.h"

namespace {

namespace fs = std::filesystem;
using vx::support::Quote;
using vx::support::ReadFile;

const fs::path kBuild = VETTRIX_BUILD_DIR;
const fs::path kBin = VETTRIX_BIN_DIR;

using vx::support::Outcome;

// Runs a shell command line, standard output and error kept apart.
Outcome Shell(const std::string& command) {
  return vx::support::RunCommand(command);
}

fs::path Page(const std::string& program) {
  return kBuild / "man" / "man1" / (program + ".1");
}

// The page as a reader sees it: plain text, one long line a paragraph.
std::string PageText(const std::string& program) {
  const Outcome r = Shell("groff -man -Tascii -P-cbou -rLL=400n " + Quote(Page(program).string()));
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

// Every help text each program has: the program's and its subcommands'.
struct HelpText {
  std::string program;
  std::string args;
};
const HelpText kHelpTexts[] = {
    {"vettrix", "--help"},
    {"vettrix", "check --help"},
    {"vettrix", "merge --help"},
    {"torvelbutton", "--help"},
    {"torvelbutton", "props --help"},
    {"torvelbutton", "render --help"},
    {"torvelbutton", "gallery --help"},
};

std::string Help(const HelpText& h) {
  const Outcome r = Shell(Quote((kBin / h.program).string()) + " " + h.args);
  EXPECT_EQ(r.status, 0) << h.program << " " << h.args << ": " << r.err;
  EXPECT_FALSE(r.out.empty()) << h.program << " " << h.args;
  return r.out;
}

std::set<std::string> OptionsIn(const std::string& text) {
  // An option starts a word ("%-escapes" is no option).
  static const std::regex option(R"((^|[\s\[(,|])(--?[A-Za-z][\w-]*))");
  std::set<std::string> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
       it != std::sregex_iterator(); ++it) {
    found.insert((*it)[2]);
  }
  return found;
}

TEST(ManualPages, GroffAndManReadThemWithoutAWarning) {
  for (const char* program : {"vettrix", "torvelbutton"}) {
    SCOPED_TRACE(program);
    ASSERT_TRUE(fs::exists(Page(program))) << "not built: " << Page(program);
    ASSERT_TRUE(fs::exists(Page(program).string() + ".gz"));
    const Outcome groff = Shell("groff -ww -z -man " + Quote(Page(program).string()));
    EXPECT_EQ(groff.status, 0);
    EXPECT_EQ(groff.err, "");
    const Outcome man =
        Shell("MANWIDTH=80 man --warnings -l " + Quote(Page(program).string() + ".gz"));
    EXPECT_EQ(man.status, 0);
    EXPECT_EQ(man.err, "");
    EXPECT_NE(man.out.find("NAME"), std::string::npos);
  }
}

TEST(ManualPages, HoldEveryOptionTheirHelpTextsName) {
  for (const HelpText& h : kHelpTexts) {
    SCOPED_TRACE(h.program + " " + h.args);
    const std::string page = PageText(h.program);
    const std::set<std::string> options = OptionsIn(Help(h));
    EXPECT_GE(options.size(), 2u);
    for (const std::string& option : options) {
      EXPECT_NE(page.find(option), std::string::npos) << option << " is not in the page";
    }
  }
}

TEST(ManualPages, HaveTheSectionsAUserLooksFor) {
  for (const char* program : {"vettrix", "torvelbutton"}) {
    SCOPED_TRACE(program);
    const std::string page = PageText(program);
    for (const char* section :
         {"NAME", "SYNOPSIS", "DESCRIPTION", "EXIT STATUS", "EXAMPLES", "FILES", "SEE ALSO"}) {
      EXPECT_NE(page.find(std::string("\n").append(section).append("\n")), std::string::npos)
          << section;
    }
    // The footer names the version CMake was given.
    EXPECT_NE(page.find("Vettrix " VETTRIX_CMAKE_VERSION), std::string::npos);
  }
  const std::string vettrix = PageText("vettrix");
  // The synopsis is the usage the program prints.
  const std::string help = Help({"vettrix", "--help"});
  const auto usage = help.find("usage: ");
  ASSERT_NE(usage, std::string::npos) << help;
  const std::string first = help.substr(usage + 7, help.find('\n', usage) - usage - 7);
  const auto synopsis = vettrix.find("\nSYNOPSIS\n");
  EXPECT_NE(vettrix.find(first, synopsis), std::string::npos) << first;
  EXPECT_NE(vettrix.find("64"), std::string::npos);
  // Every status the program ends with, interrupted runs included.
  const auto statuses = vettrix.find("\nEXIT STATUS\n");
  ASSERT_NE(statuses, std::string::npos);
  const std::string exit_section =
      vettrix.substr(statuses, vettrix.find("\nEXAMPLES\n") - statuses);
  for (const char* status : {"0", "1", "2", "64", "130", "143"}) {
    EXPECT_NE(exit_section.find(std::string("\n       ") + status + " "), std::string::npos)
        << status << " missing in" << exit_section;
  }
  const std::string tool = PageText("torvelbutton");
  for (const char* sub : {"\n   props\n", "\n   render\n", "\n   gallery\n"}) {
    EXPECT_NE(tool.find(sub), std::string::npos) << sub;
  }
}

// --fail-on takes numbers and labels and SARIF names rules by id: the README
// and the manual page say which is which, for every rule of the table.
TEST(Rules, TheReadmeAndTheManualListEveryRule) {
  const std::string readme = vx::support::ReadFile(fs::path(VETTRIX_SOURCE_DIR) / "README.md");
  ASSERT_FALSE(readme.empty()) << "README.md missing";
  const std::string page = PageText("vettrix");
  ASSERT_NE(page.find("\nRULES\n"), std::string::npos);
  for (std::size_t i = 0; i < vx::app::kRuleCount; ++i) {
    const vx::app::DetectionRule& r = vx::app::kRuleTable[i];
    char id[8];
    std::snprintf(id, sizeof id, "VX%03zu", i + 1);
    const std::string n = std::to_string(i + 1);
    SCOPED_TRACE(id);
    const std::string row = "| " + n + " | `" + id + "` | " + std::string(r.label) + " | ";
    const auto at = readme.find(row);
    ASSERT_NE(at, std::string::npos) << row;
    const std::string line = readme.substr(at, readme.find('\n', at) - at);
    std::string looked_for(r.marker);
    if (r.test == vx::app::RuleTest::Scan) {
      for (char& c : looked_for) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    EXPECT_NE(line.find("`" + looked_for + "`"), std::string::npos) << line;
    EXPECT_NE(line.find(std::string(r.description) + " |"), std::string::npos) << line;
    const auto entry = page.find(n + ", " + id + "\n");
    ASSERT_NE(entry, std::string::npos);
    const auto text = page.find_first_not_of(' ', page.find('\n', entry) + 1);
    EXPECT_EQ(page.compare(text, r.label.size() + 2, std::string(r.label) + ": "), 0)
        << page.substr(entry, 80);
    EXPECT_NE(page.find(std::string(r.description)), std::string::npos);
  }
}

// What bash offers for `line` (a trailing space: completing a new word),
// run in a folder with a few files.
std::vector<std::string> Complete(const std::string& line) {
  char pattern[] = "/tmp/vettrix-complete-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return {"<no temporary folder>"};
  const fs::path dir = pattern;
  for (const char* f : {"a.png", "b.json", "c.html"}) std::ofstream(dir / f) << "x";
  fs::create_directory(dir / "sub");
  const std::string program = line.substr(0, line.find(' '));
  const std::string script =
      "source /usr/share/bash-completion/bash_completion\n"
      "source " +
      Quote((kBuild / "completions" / program).string()) +
      "\n"
      "COMP_LINE=" +
      Quote(line) +
      "\n"
      "COMP_POINT=${#COMP_LINE}\n"
      "read -ra COMP_WORDS <<<\"$COMP_LINE\"\n"
      "[[ $COMP_LINE == *' ' ]] && COMP_WORDS+=('')\n"
      "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
      "_" +
      program + " " + program +
      " \"${COMP_WORDS[COMP_CWORD]}\" "
      "\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
      "printf '%s\\n' \"${COMPREPLY[@]}\"\n";
  const fs::path script_file = dir.string() + ".sh";  // beside the folder, not in it
  std::ofstream(script_file) << script;
  const Outcome r = Shell("cd " + Quote(dir.string()) + " && bash --norc --noprofile " +
                          Quote(script_file.string()));
  fs::remove_all(dir);
  fs::remove(script_file);
  EXPECT_EQ(r.status, 0) << line << ": " << r.err;
  std::vector<std::string> words;
  std::istringstream s(r.out);
  for (std::string w; std::getline(s, w);) {
    if (!w.empty()) words.push_back(w);
  }
  std::sort(words.begin(), words.end());
  return words;
}

using Words = std::vector<std::string>;

TEST(Completion, SubcommandsAndTopLevelOptions) {
  EXPECT_EQ(Complete("vettrix "), (Words{"check", "merge", "rules"}));
  EXPECT_EQ(Complete("vettrix -"), (Words{"--form", "--help", "--version"}));
  EXPECT_EQ(Complete("torvelbutton "), (Words{"gallery", "props", "render"}));
  EXPECT_EQ(Complete("torvelbutton --v"), (Words{"--version"}));
}

TEST(Completion, OptionsOfEachSubcommandAsItsHelpListsThem) {
  for (const HelpText& h : kHelpTexts) {
    const std::string sub = h.args.substr(0, h.args.find(' '));
    if (sub == "--help") continue;
    SCOPED_TRACE(h.program + " " + sub);
    const Words offered = Complete(h.program + " " + sub + " -");
    // The program's own usage lines (vettrix [--form FILE], vettrix
    // --version) name options that are errors after the subcommand.
    std::string own;
    std::istringstream help(Help(h));
    for (std::string line; std::getline(help, line);) {
      const auto start = line.find_first_not_of(' ');
      const std::string rest = start == std::string::npos ? "" : line.substr(start);
      if (rest.rfind(h.program + " [", 0) == 0 || rest.rfind(h.program + " --", 0) == 0) continue;
      own += line + "\n";
    }
    for (const std::string& option : OptionsIn(own)) {
      // Long and short options both; "-" alone is the address of standard input.
      if (option.size() < 2) continue;
      EXPECT_TRUE(std::find(offered.begin(), offered.end(), option) != offered.end())
          << option << " not offered";
    }
  }
}

TEST(Completion, FileNamesWhereAFileIsExpected) {
  EXPECT_EQ(Complete("vettrix check "), (Words{"a.png", "b.json", "c.html", "sub"}));
  EXPECT_EQ(Complete("vettrix check --json c"), (Words{"c.html"}));
  EXPECT_EQ(Complete("vettrix --form "), (Words{"a.png", "b.json", "c.html", "sub"}));
  EXPECT_EQ(Complete("torvelbutton render --icon "), (Words{"a.png", "sub"}));
  EXPECT_EQ(Complete("torvelbutton render -o "), (Words{"a.png", "sub"}));
  EXPECT_EQ(Complete("torvelbutton props --props "), (Words{"b.json", "sub"}));
  EXPECT_EQ(Complete("torvelbutton gallery --output "), (Words{"a.png", "sub"}));
}

// After a subcommand, the program's own options are errors: not offered.
TEST(Completion, ASubcommandOffersOnlyItsOwnOptions) {
  const Words check = Complete("vettrix check --");
  for (const char* top : {"--form", "--version"}) {
    EXPECT_TRUE(std::find(check.begin(), check.end(), top) == check.end()) << top;
  }
  EXPECT_TRUE(std::find(check.begin(), check.end(), "--help") != check.end());
  EXPECT_EQ(Complete("vettrix check --f"), (Words{"--fail-on", "--format"}));
}

TEST(Completion, ValuesOfOptionsThatTakeNoFile) {
  EXPECT_EQ(Complete("vettrix check --format "), (Words{"csv", "human", "json", "sarif"}));
  EXPECT_EQ(Complete("vettrix check --format=s"), (Words{"sarif"}));
  EXPECT_EQ(Complete("torvelbutton render --state "),
            (Words{"backdrop", "focused", "hover", "normal", "pressed"}));
  EXPECT_EQ(Complete("torvelbutton render --state p"), (Words{"pressed"}));
  EXPECT_EQ(Complete("vettrix check --timeout "), Words{});
  EXPECT_EQ(Complete("torvelbutton render --size "), Words{});
  // After a value the options are offered again.
  EXPECT_EQ(Complete("torvelbutton render --size 20x20 --j"), Words{});
  EXPECT_EQ(Complete("torvelbutton props --json --ver"), (Words{"--version"}));
}

}  // namespace
