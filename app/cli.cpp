#include "app/cli.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <signal.h>

#include "app/cli_batch.h"
#include "app/cli_merge.h"
#include "app/cli_options.h"
#include "app/cli_rules.h"
#include "app/cli_shard.h"
#include "app/report_reader.h"
#include "app/rules.h"
#include "app/version.h"
#include "platform/base/ascii.h"
#include "platform/text/utf8.h"

namespace vx::app::cli {
namespace {

// "twenty" for 20: the help tells the size of the rule table in words.
std::string NumberWord(std::size_t n) {
  static constexpr const char* kSmall[] = {
      "zero",     "one",     "two",     "three",     "four",     "five",    "six",
      "seven",    "eight",   "nine",    "ten",       "eleven",   "twelve",  "thirteen",
      "fourteen", "fifteen", "sixteen", "seventeen", "eighteen", "nineteen"};
  static constexpr const char* kTens[] = {"",      "",      "twenty",  "thirty", "forty",
                                          "fifty", "sixty", "seventy", "eighty", "ninety"};
  if (n < 20) return kSmall[n];
  if (n < 100) return std::string(kTens[n / 10]) + (n % 10 ? "-" + NumberWord(n % 10) : "");
  return std::to_string(n);
}

const std::string kRules = std::to_string(kRuleCount);

// The SARIF id of rule `n` (1-based).
std::string RuleIdText(std::size_t n) {
  std::string digits = std::to_string(n);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
  return "VX" + digits;
}

std::string UsageText() {
  return "usage: vettrix check [OPTIONS] ADDRESS...\n"
         "       vettrix check [OPTIONS] --list FILE [ADDRESS...]\n"
         "       vettrix rules [--json] [--rule-set NAMES] [--rules FILE]...\n"
         "       vettrix merge [OPTIONS] FILE...\n"
         "       vettrix [--form FILE] [ADDRESS]\n"
         "       vettrix --help | vettrix check --help | vettrix --version\n";
}

std::string HelpText() {
  return "Vettrix checks web pages for risky content: script, object, applet and embed\n"
         "tags, forms, pop-up windows, load and mouse handlers, Flash content, script\n"
         "that closes or focuses windows, object creation and CD-ROM access.\n"
         "\n"
         "Commands:\n"
         "  vettrix                              open the window\n"
         "  vettrix --form FILE                  open the window from another form file\n"
         "  vettrix ADDRESS                      open the window and check ADDRESS in it\n"
         "  vettrix check [OPTIONS] ADDRESS...   check pages and list what they contain\n"
         "  vettrix check --help                 describe the check command\n"
         "  vettrix rules [OPTIONS]              list the active rules\n"
         "  vettrix merge [OPTIONS] FILE...      merge the JSON reports of shards into one\n"
         "  vettrix --help                       this text\n"
         "  vettrix --version                    the versions of Vettrix and of libcurl\n";
}

// The help of the options of one section, from the option table below.
std::string OptionsHelp(std::string_view section);
// The help of the options of `vettrix merge`, from the same table.
std::string MergeOptionsHelp();

std::string RuleOptionsHelp() {
  return OptionsHelp("Rules");
}

std::string RulesHelpText() {
  return "usage: vettrix rules [--json] [--rule-set NAMES] [--rules FILE]...\n"
         "                     [--enable IDS] [--disable IDS]\n"
         "\n"
         "Lists the active rules, as vettrix check would apply them with the same\n"
         "options: number, id, severity, label and description; with --json one object\n"
         "per line and rule: rule, id, label, description, severity, tags, kind (literal,\n"
         "regex, element or header) and match (as a rule file writes it).\n"
         "\n"
         "Options:\n" +
         RuleOptionsHelp() +
         "  --json               one JSON object per rule\n"
         "  -h, --help           this text\n";
}

std::string MergeHelpText() {
  return "usage: vettrix merge [OPTIONS] FILE...\n"
         "\n"
         "Merges the JSON reports (--json) of the shards of one run (vettrix check\n"
         "run in shards) into the report of the whole run, in any format: each address\n"
         "in the order of the whole input (shards write its position, \"index\", in each\n"
         "line), so the result is what one run over the whole input writes (failure\n"
         "messages aside, whose texts carry times, and SARIF's invocation). Reports\n"
         "without \"index\" are joined in the order given. FILE - is standard input.\n"
         "Reports of every version of vettrix check --json are read; their occurrences\n"
         "and baseline states are kept. Give the rule options the run had, so that\n"
         "SARIF lists the same rules.\n"
         "\n"
         "Options:\n" +
         MergeOptionsHelp() +
         "  -h, --help           this text\n"
         "\n"
         "Exit status: that of the whole run (0 nothing found, 1 something found, 2 some\n"
         "address could not be checked); 2 also when a FILE cannot be read or is not a\n"
         "JSON report of vettrix check, or the report cannot be written; 64 a usage\n"
         "error.\n"
         "\n"
         "Example:\n"
         "  vettrix merge out.1.jsonl out.2.jsonl out.3.jsonl --format sarif -o all.sarif\n";
}

std::string CheckHelpText() {
  return UsageText() +
         "\n"
         "Fetches each ADDRESS and tests its HTML source against " +
         NumberWord(kRuleCount) +
         " detection rules.\n"
         "\n"
         "ADDRESS is one of:\n"
         "  http://... or https://...   fetched from the web (redirects followed)\n"
         "  example.com/page            an address without a scheme is fetched over http\n"
         "  file:///path/page.html      a local file (%-escapes decoded)\n"
         "  path/page.html              a local file, when it exists (or is spelled /..., ./...)\n"
         "  path/folder                 every *.html, *.htm and *.xhtml file under the folder\n"
         "                              (any case, sorted by path, symbolic links not followed)\n"
         "                              when it is spelled as a path (/x, ./x, x/) or its first\n"
         "                              part has no dot or colon (so example.com stays a web\n"
         "                              address); with -r every folder\n"
         "  -                           standard input\n"
         "Files and standard input are decoded as a browser would (byte-order mark,\n"
         "<meta> charset, else UTF-8 when valid, else Windows-1252).\n"
         "\n"
         "Input:\n" +
         OptionsHelp("Input") +
         "\n"
         "Fetching:\n" +
         OptionsHelp("Fetching") +
         "\n"
         "Rules:\n" +
         OptionsHelp("Rules") +
         "\n"
         "Output:\n" +
         OptionsHelp("Output") +
         "Results are printed as soon as they and all before them are complete, each one\n"
         "flushed at once, so `vettrix check -l big.txt --json | head` ends early.\n"
         "While standard error is a terminal a progress line shows there: pages done\n"
         "(of how many, once the end of the input is known), pages a second, failures,\n"
         "time taken and time left; it is erased at the end. A run of several addresses\n"
         "ends with a summary there: addresses checked, failed, and answered with an\n"
         "HTTP status other than 2xx.\n"
         "\n"
         "Human output, per address:\n"
         "  == ADDRESS                 (only when several addresses are checked)\n"
         "  Web Server: NAME           the final response's server header, empty when it\n"
         "                             has none; not shown for files and standard input\n"
         "  Status: 404 Not Found      the final HTTP status, when it is not 2xx (the page\n"
         "                             the server sent instead is still checked)\n"
         "  LABEL<TAB>DESCRIPTION      one line per finding, in rule order\n"
         "A failure prints \"vettrix: ADDRESS: reason\" on standard error.\n"
         "\n"
         "With --json, each line is an object with the fields:\n"
         "  address        the address as given\n"
         "  ok             false when it could not be checked\n"
         "  error          null, or the reason of the failure\n"
         "  status         HTTP status of the final response (null when none arrived,\n"
         "                 and for files and standard input)\n"
         "  final_address  the address after redirects (null for files and standard input)\n"
         "  server         the server header, \"\" when absent (null for files, standard\n"
         "                 input and failures)\n"
         "  bytes          length of the decoded page text in bytes\n"
         "  findings       [{rule, id, label, description, severity, line, column}]: rule\n"
         "                 is the number 1 to " +
         kRules +
         " of a classic rule, else the rule's position in\n"
         "                 the active set; line and column (1-based, column in\n"
         "                 characters) locate the first occurrence of what matched\n"
         "With --shard, each line also has index, the address's position in the whole\n"
         "input from 0, for vettrix merge. With --baseline, each finding has baseline\n"
         "(\"new\" or \"unchanged\") and each line absent: the baseline's findings of\n"
         "that address that are gone, as the baseline wrote them. A finding accepted by\n"
         "--ignore has suppressed, the entry's reason.\n"
         "Control characters, DEL and C1 controls in strings are written as \\u escapes.\n" +
         "\n"
         "Suppression files (--ignore) are YAML, read with the limits of rule files:\n"
         "  suppressions:\n"
         "    - rule: VX001                  an id, a label or a tag (classic: the twenty)\n"
         "      address: \"https://example.com/**\"\n"
         "                                   a glob: * and ? stop at /, ** crosses it\n"
         "      snippet: \"analytics.js\"      optional: text the finding's snippet holds\n"
         "      reason: our own analytics    required\n"
         "      until: 2027-06-30            optional: applies up to that day (UTC);\n"
         "                                   after it a warning says it no longer does\n"
         "A run of several addresses counts the suppressed findings in its summary.\n"
         "\n"
         "--format csv writes a header line and then one line per finding: address, rule,\n"
         "label, description, line, column (RFC 4180: fields with commas, quotes or line\n"
         "breaks are quoted, quotes doubled). Cells are written as they are: an address\n"
         "that starts with = or @ is a formula to a spreadsheet unless --csv-safe is given.\n"
         "\n"
         "--format sarif writes one SARIF 2.1.0 log with one run: the " +
         NumberWord(kRuleCount) +
         " rules as the\n"
         "tool's rules (id " +
         RuleIdText(1) + " to " + RuleIdText(kRuleCount) +
         ", name the label, short description the description; the level\n"
         "note for severities info and low, warning for medium, error for high and\n"
         "critical, and a security-severity property), one result per finding with the page as its "
         "location and the line and column\n"
         "of the first occurrence as its region, and the addresses that could not be\n"
         "checked as notifications. Code-scanning tools of CI pipelines read it.\n"
         "\n"
         "Exit status: 0 every address checked and nothing found; 1 something found (with\n"
         "--fail-on: one of those rules matched) and no failure; 2 some address could not\n"
         "be checked, or the report could not be written; 64 a usage error; 130 stopped\n"
         "by Ctrl+C (SIGINT), after printing what was complete (143 for SIGTERM). When\n"
         "the reader of the output goes away, the run ends at once, as by SIGPIPE.\n"
         "\n"
         "Examples:\n"
         "  vettrix check https://example.com/\n"
         "  vettrix check --json -l urls.txt -o report.jsonl\n"
         "  vettrix check --format sarif -o vettrix.sarif --fail-on Scripting,Popup public/\n"
         "  vettrix check --jobs 64 --per-host 8 --rate 100 --retries 2 -l urls.txt\n"
         "  vettrix check --json --shard 2/4 -l urls.txt   (the second of four machines)\n"
         "  vettrix check --json --warc crawl.warc.gz -o report.jsonl\n";
}

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Edits (insert, delete, replace, swap two neighbours) from a to b.
std::size_t Distance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

// " (did you mean --output?)" for a word close to one of `known`, else "".
// Close: a slip of a key or two, or the start of only one of them.
std::string DidYouMean(std::string_view word, const std::vector<std::string_view>& known) {
  if (word.size() > 64) return "";  // no one mistypes that much
  std::string_view best;
  std::size_t best_distance = SIZE_MAX;
  std::vector<std::string_view> extending;
  for (std::string_view k : known) {
    const std::size_t d = Distance(word, k);
    if (d < best_distance) {
      best_distance = d;
      best = k;
    }
    if (word.size() >= 4 && k.starts_with(word)) extending.push_back(k);
  }
  const std::size_t allowed = word.size() <= 4 ? 1 : 2;
  if (best_distance > 0 && best_distance <= allowed) {
    return " (did you mean " + std::string(best) + "?)";
  }
  if (extending.size() == 1) return " (did you mean " + std::string(extending.front()) + "?)";
  return "";
}

template <typename T>
T ParseInteger(std::string_view option, std::string_view value, T min, T max) {
  T out{};
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), out);
  if (value.empty() || ec != std::errc() || end != value.data() + value.size() || out < min ||
      out > max) {
    throw UsageError(std::string(option) + " needs a whole number from " + std::to_string(min) +
                     " to " + std::to_string(max) + ", not \"" + std::string(value) + "\"");
  }
  return out;
}

// A plain decimal: no spaces, no hex, no infinity.
std::optional<double> ParseDecimal(std::string_view value) {
  double out = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), out);
  if (value.empty() || ec != std::errc() || end != value.data() + value.size() ||
      !std::isfinite(out) || value.find_first_of("xXpP") != std::string_view::npos)
    return std::nullopt;
  return out;
}

std::chrono::milliseconds ParseSeconds(std::string_view option, std::string_view value) {
  constexpr double kMaxSeconds = 1e6;
  const std::optional<double> seconds = ParseDecimal(value);
  if (!seconds || *seconds <= 0 || *seconds > kMaxSeconds) {
    throw UsageError(std::string(option) +
                     " needs a number of seconds above 0 (at most 1000000), not \"" +
                     std::string(value) + "\"");
  }
  return std::chrono::milliseconds(std::max<long long>(1, std::llround(*seconds * 1000)));
}

double ParseRate(std::string_view option, std::string_view value) {
  const std::optional<double> rate = ParseDecimal(value);
  if (!rate || *rate <= 0 || *rate > 1e6) {
    throw UsageError(std::string(option) +
                     " needs a number of requests a second above 0 (at most 1000000), not \"" +
                     std::string(value) + "\"");
  }
  return *rate;
}

Format ParseFormat(std::string_view value) {
  if (value == "human") return Format::Human;
  if (value == "json") return Format::Json;
  if (value == "csv") return Format::Csv;
  if (value == "sarif") return Format::Sarif;
  throw UsageError("--format is human, json, csv or sarif, not \"" + std::string(value) + "\"");
}

void ParseShard(std::string_view value, Options& o) {
  // Shards' reports are merged afterwards (vettrix merge).
  o.style.for_merge = true;
  if (value == "auto" || value.starts_with("auto/")) {
    std::optional<unsigned> n;
    if (value != "auto") n = ParseInteger<unsigned>("--shard auto/N", value.substr(5), 1, 1u << 30);
    try {
      const ShardChoice c =
          ShardFromEnvironment(n, [](const char* name) { return std::getenv(name); });
      o.shard = c.k;
      o.shards = c.n;
    } catch (const ShardError& e) {
      throw UsageError(e.what());
    }
    return;
  }
  const std::size_t slash = value.find('/');
  unsigned k = 0, n = 0;
  bool good = slash != std::string_view::npos;
  if (good) {
    const std::string_view a = value.substr(0, slash), b = value.substr(slash + 1);
    const auto ra = std::from_chars(a.data(), a.data() + a.size(), k);
    const auto rb = std::from_chars(b.data(), b.data() + b.size(), n);
    good = !a.empty() && !b.empty() && ra.ec == std::errc() && ra.ptr == a.data() + a.size() &&
           rb.ec == std::errc() && rb.ptr == b.data() + b.size() && n >= 1 && k >= 1 && k <= n;
  }
  if (!good) {
    throw UsageError("--shard needs K/N with 1 <= K <= N (this run's share of N), not \"" +
                     std::string(value) + "\"");
  }
  o.shard = k;
  o.shards = n;
}

// Said before any page is fetched: a mistyped name would otherwise fail every
// https page of the run, one by one.
std::string ReadableFile(const std::string& option, const std::string& path) {
  if (path.empty()) throw UsageError(option + " needs a file name");
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    throw UsageError(option + ": \"" + path + "\" is a folder, not a file");
  }
  if (!std::ifstream(path).is_open()) {
    throw UsageError(option + ": cannot read \"" + path + "\": " + std::strerror(errno));
  }
  return path;
}

void CheckHeader(std::string_view value) {
  const std::size_t colon = value.find(':');
  const std::string_view name = value.substr(0, colon);
  const bool name_ok = colon != std::string_view::npos && !name.empty() &&
                       std::all_of(name.begin(), name.end(), [](char c) {
                         const auto u = static_cast<unsigned char>(c);
                         return u > 0x20 && u < 0x7F && c != ':';
                       });
  const bool value_ok = std::none_of(value.begin(), value.end(),
                                     [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
  if (!name_ok || !value_ok) {
    throw UsageError("--header needs \"Name: value\" on one line, not \"" + std::string(value) +
                     "\"");
  }
}

// One option of `vettrix check`: its names, what value it takes, its help and
// what it does. The parser, the help text (and so the manual page and the
// shell completion made from it) and the suggestions for a misspelt option
// all read this one table.
struct OptionSpec {
  std::string_view section;  // the help's heading it stands under
  std::vector<std::string_view> names;
  // The value's name in the help; "" for a flag; "[=N]" for a value that
  // may follow after "=" only.
  std::string_view value;
  std::vector<std::string> help;  // the help's lines, the first beside the names
  void (*apply)(Options& o, const std::string& name, const std::string& value);
};

const std::vector<OptionSpec>& OptionTable() {
  static const std::vector<OptionSpec> table = [] {
    const std::string rules = std::to_string(kRuleCount);
    // clang-format off
    return std::vector<OptionSpec>{
      {"Input", {"-l", "--list"}, "FILE",
       {"also check the addresses in FILE, one a line (- is standard",
        "input); blank lines and lines starting with # are skipped.",
        "Read as the run goes, so a list may be of any length.",
        "Addresses given on the command line come first; may be",
        "given more than once"},
       [](Options& o, const std::string& name, const std::string& v) {
         if (v.empty()) throw UsageError(name + " needs a file name");
         o.lists.push_back(v);
       }},
      {"Input", {"-r", "--recursive"}, "",
       {"take every ADDRESS that names a folder as one to check the",
        "pages under"},
       [](Options& o, const std::string&, const std::string&) { o.recursive = true; }},
      {"Input", {"--shard"}, "K/N",
       {"check only the addresses at positions K, K+N, K+2N, ... of",
        "the input (1 <= K <= N; positions count from 1, over the",
        "command line, the lists and the files of folders), so N",
        "runs on N machines split one input between them; JSON",
        "objects then carry \"index\", the position from 0, for",
        "vettrix merge. auto: K and N of a Slurm array task",
        "(SLURM_ARRAY_TASK_ID, _MIN, _STEP, _COUNT); auto/N: N",
        "given, K from JOB_COMPLETION_INDEX (a Kubernetes indexed",
        "job) or AWS_BATCH_JOB_ARRAY_INDEX (an AWS Batch array)"},
       [](Options& o, const std::string&, const std::string& v) { ParseShard(v, o); }},
      {"Input", {"--shard-by"}, "WAY",
       {"position (default) or hash: an address goes to shard",
        "(FNV-1a 64 of its bytes mod N) + 1, so a list that grows",
        "or is reordered keeps each address on its shard"},
       [](Options& o, const std::string& name, const std::string& v) {
         if (v != "position" && v != "hash")
           throw UsageError(name + " is position or hash, not \"" + v + "\"");
         o.shard_by_hash = v == "hash";
       }},
      {"Input", {"--warc"}, "FILE",
       {"also check the pages archived in FILE (.warc, or .warc.gz",
        "gzipped record by record): each HTML response record as if",
        "just fetched from its WARC-Target-URI, after the other",
        "input; other records and redirects are skipped and counted",
        "on standard error; may be given more than once; - reads",
        "the archive from standard input"},
       [](Options& o, const std::string& name, const std::string& v) {
         if (v.empty()) throw UsageError(name + " needs a file name");
         o.archives.push_back(v);
       }},

      {"Fetching", {"-j", "--jobs"}, "N",
       {"transfers in flight at once (default 16, at most 1024);",
        "one thread drives them all, pages are checked on one",
        "thread per core"},
       [](Options& o, const std::string& name, const std::string& v) {
         o.batch.jobs = ParseInteger<unsigned>(name, v, 1, 1024);
       }},
      {"Fetching", {"--per-host"}, "N",
       {"transfers in flight at once to one host (default 4)"},
       [](Options& o, const std::string& name, const std::string& v) {
         o.batch.per_host = ParseInteger<unsigned>(name, v, 1, 1024);
       }},
      {"Fetching", {"--rate"}, "R",
       {"start at most R requests a second over all hosts, retries",
        "included (a decimal number; default: no limit)"},
       [](Options& o, const std::string& name, const std::string& v) {
         o.batch.rate = ParseRate(name, v);
       }},
      {"Fetching", {"--retries"}, "N",
       {"try again up to N times (default 0) after a connection",
        "failure or a 429 or 503 answer, waiting 1 s, 2 s, 4 s, ...",
        "or as long as the server's Retry-After asks (at most 600 s)"},
       [](Options& o, const std::string& name, const std::string& v) {
         o.batch.retries = ParseInteger<unsigned>(name, v, 0, 100);
       }},
      {"Fetching", {"--timeout"}, "SECONDS",
       {"limit on each web fetch, redirects included (default 30;",
        "fractions allowed, above 0 and at most 1000000)"},
       [](Options& o, const std::string& name, const std::string& v) {
         o.batch.fetch.timeout = ParseSeconds(name, v);
       }},
      {"Fetching", {"--max-bytes"}, "N",
       {"largest page accepted, in bytes (default 67108864)"},
       [](Options& o, const std::string& name, const std::string& v) {
         o.batch.fetch.max_bytes = ParseInteger<std::uint64_t>(name, v, 1, UINT64_MAX);
       }},
      {"Fetching", {"--max-redirects"}, "N",
       {"follow at most N redirects (default 10); 0 follows none and",
        "checks the redirecting answer itself"},
       [](Options& o, const std::string& name, const std::string& v) {
         o.batch.fetch.max_redirects = ParseInteger<int>(name, v, 0, 1000);
       }},
      {"Fetching", {"-A", "--user-agent"}, "TEXT",
       {"the User-Agent header (default Vettrix/0.1)"},
       [](Options& o, const std::string& name, const std::string& v) {
         if (v.find_first_of("\r\n") != std::string::npos)
           throw UsageError(name + " must be one line");
         o.batch.fetch.user_agent = v;
       }},
      {"Fetching", {"-H", "--header"}, "'NAME: VALUE'",
       {"send this request header too; may be given more",
        "than once; 'NAME:' alone leaves out a header sent otherwise"},
       [](Options& o, const std::string&, const std::string& v) {
         CheckHeader(v);
         o.batch.fetch.headers.push_back(v);
       }},
      {"Fetching", {"-x", "--proxy"}, "URL",
       {"fetch through this proxy; --proxy '' through none. Without",
        "it the proxy comes from the environment: http_proxy,",
        "https_proxy or HTTPS_PROXY, all_proxy or ALL_PROXY, and",
        "no_proxy or NO_PROXY (hosts fetched directly). HTTP_PROXY",
        "in capitals is not read, as a web server could set it"},
       [](Options& o, const std::string&, const std::string& v) { o.batch.fetch.proxy = v; }},
      {"Fetching", {"--cacert"}, "FILE",
       {"check https servers against the certificate authorities in",
        "FILE (PEM) instead of the system's, for pages signed by",
        "an authority of your own"},
       [](Options& o, const std::string& name, const std::string& v) {
         o.batch.fetch.ca_file = ReadableFile(name, v);
       }},

      {"Rules", {"--rule-set"}, "NAMES",
       {"the built-in rules to apply, comma-separated: classic (the",
        NumberWord(kRuleCount) + " rules, the default), modern, all"},
       [](Options& o, const std::string&, const std::string& v) {
         o.rule_choice.sets.push_back(v);
       }},
      {"Rules", {"--rules"}, "FILE",
       {"also apply the rules of a YAML rule file; may be repeated"},
       [](Options& o, const std::string& name, const std::string& v) {
         o.rule_choice.files.push_back(ReadableFile(name, v));
       }},
      {"Rules", {"--enable"}, "IDS",
       {"only the rules with these ids or tags (comma-separated)"},
       [](Options& o, const std::string&, const std::string& v) {
         o.rule_choice.enable.push_back(v);
       }},
      {"Rules", {"--disable"}, "IDS",
       {"not the rules with these ids or tags (comma-separated)"},
       [](Options& o, const std::string&, const std::string& v) {
         o.rule_choice.disable.push_back(v);
       }},

      {"Output", {"--format"}, "FORMAT",
       {"human (default), json, csv or sarif (see below)"},
       [](Options& o, const std::string&, const std::string& v) { o.format = ParseFormat(v); }},
      {"Output", {"--json"}, "",
       {"the same as --format json"},
       [](Options& o, const std::string&, const std::string&) { o.format = Format::Json; }},
      {"Output", {"--baseline"}, "FILE",
       {"tell each finding as new or unchanged against FILE, an",
        "earlier --json report (of any version), and list each",
        "address's findings of FILE that are gone as absent; a",
        "finding is the same when its address, rule and snippet",
        "are (address and rule alone when FILE was written without",
        "--occurrences), so edits above it leave it unchanged"},
       [](Options& o, const std::string& name, const std::string& v) {
         o.baseline_path = ReadableFile(name, v);
         o.style.baseline = true;
       }},
      {"Output", {"--ignore"}, "FILE",
       {"accept the findings FILE names, each with its reason: out",
        "of human and CSV output and of --fail-on, in JSON with",
        "\"suppressed\" and in SARIF as suppressed results (see",
        "\"Suppression files\" below)"},
       [](Options& o, const std::string& name, const std::string& v) {
         o.ignore_path = ReadableFile(name, v);
       }},
      {"Output", {"-o", "--output"}, "FILE",
       {"write the report to FILE instead of standard output; FILE",
        "appears whole when the run ends, never half written"},
       [](Options& o, const std::string& name, const std::string& v) {
         if (v.empty()) throw UsageError(name + " needs a file name");
         o.output = v;
       }},
      {"Output", {"--unordered"}, "",
       {"print each result as soon as it is complete, not in the",
        "order of the input"},
       [](Options& o, const std::string&, const std::string&) { o.unordered = true; }},
      {"Output", {"--fail-on"}, "RULES",
       {"exit status 1 only when one of these rules matched: rule",
        "numbers (1 to " + rules + " for the classic rules) or labels, ids,",
        "tags and severity>=LEVEL, separated by commas,",
        "http-error for a final HTTP status other than 2xx, and",
        "new: only findings new against the baseline count (for the",
        "other terms too; the baseline is check's baseline file, in",
        "merge the reports' baseline marks)"},
       [](Options& o, const std::string&, const std::string& v) { o.fail_on_terms.push_back(v); }},
      {"Output", {"--occurrences"}, "[=N]",
       {"every finding's count of occurrences and the first N",
        "(default 100; 0 the count alone), each with its line,",
        "column, byte offset, place in the markup and snippet"},
       [](Options& o, const std::string& name, const std::string& v) {
         o.check.want_occurrences = true;
         o.check.max_occurrences = v.empty() ? 100 : ParseInteger<std::size_t>(name, v, 0, 1000000);
         o.style.occurrences = true;
       }},
      {"Output", {"--ignore-in"}, "CONTEXTS",
       {"a rule matches only where it occurs outside these places",
        "in the markup (comma-separated): tag, attribute-name,",
        "attribute-value, script, style, comment, text, other, or",
        "markup for the first three; e.g. comment,text ignores",
        "markers people only write about"},
       [](Options& o, const std::string& name, const std::string& v) {
         try {
           o.check.ignore_in = check::ParseContexts(v);
         } catch (const std::invalid_argument& e) {
           throw UsageError(name + ": " + e.what());
         }
       }},
      {"Output", {"-v", "--verbose"}, "",
       {"human output lists each finding's occurrences under it"},
       [](Options& o, const std::string&, const std::string&) { o.style.verbose = true; }},
      {"Output", {"--csv-safe"}, "",
       {"in CSV, start cells that begin with =, +, -, @, a tab or",
        "a carriage return with an apostrophe, so that a",
        "spreadsheet shows them as text and runs no formula"},
       [](Options& o, const std::string&, const std::string&) { o.style.csv_safe = true; }},
      {"Output", {"--resume"}, "FILE",
       {"keep a journal of finished addresses in FILE; the same",
        "command again, after a kill or a crash, checks only what",
        "it lacks and writes the whole run's report, in input order.",
        "A journal of other options, rules or input is refused"},
       [](Options& o, const std::string& name, const std::string& v) {
         if (v.empty()) throw UsageError(name + " needs a file name");
         o.resume = v;
       }},
      {"Output", {"--resume-force"}, "",
       {"resume a journal even from other options (an address whose",
        "position now holds another is checked again)"},
       [](Options& o, const std::string&, const std::string&) { o.resume_force = true; }},
      {"Output", {"-q", "--quiet"}, "",
       {"no progress line, and no summary at the end"},
       [](Options& o, const std::string&, const std::string&) { o.quiet = true; }},
      // Answered by the parser itself.
      {"Output", {"-h", "--help"}, "", {"this text"}, nullptr},
      {"Output", {"--"}, "", {"everything after it is an address"}, nullptr},
    };
    // clang-format on
  }();
  return table;
}

const OptionSpec* FindOption(std::string_view name) {
  for (const OptionSpec& option : OptionTable()) {
    if (std::find(option.names.begin(), option.names.end(), name) != option.names.end())
      return &option;
  }
  return nullptr;
}

void AppendOptionHelp(std::string& out, const OptionSpec& option) {
  std::string left = "  ";
  for (std::size_t k = 0; k < option.names.size(); ++k) {
    if (k > 0) left += ", ";
    left += option.names[k];
  }
  if (!option.value.empty()) {
    if (option.value.front() != '[') left += ' ';
    left += option.value;
  }
  // The help's column, or two spaces after names that reach it.
  constexpr std::size_t kColumn = 23;
  left += left.size() + 2 <= kColumn ? std::string(kColumn - left.size(), ' ') : "  ";
  for (std::size_t k = 0; k < option.help.size(); ++k) {
    out += k == 0 ? left : std::string(kColumn, ' ');
    out += option.help[k];
    out += '\n';
  }
}

std::string OptionsHelp(std::string_view section) {
  std::string out;
  for (const OptionSpec& option : OptionTable()) {
    if (option.section == section) AppendOptionHelp(out, option);
  }
  return out;
}

// The options of `vettrix check` that `vettrix merge` takes too: what the
// report looks like, and the rules it names.
const std::vector<std::string_view>& MergeOptionNames() {
  static const std::vector<std::string_view> names = {
      "--rule-set", "--rules",       "--enable", "--disable", "--format",   "--json",
      "-o",         "--output",      "-v",       "--verbose", "--csv-safe", "-q",
      "--quiet",    "--occurrences", "--fail-on"};
  return names;
}

std::string MergeOptionsHelp() {
  std::string out;
  const auto& names = MergeOptionNames();
  for (const OptionSpec& option : OptionTable()) {
    if (std::find(names.begin(), names.end(), option.names.back()) != names.end())
      AppendOptionHelp(out, option);
  }
  return out;
}

// Every name `vettrix check` takes an option by.
const std::vector<std::string_view>& CheckOptionNames() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> all;
    for (const OptionSpec& option : OptionTable()) {
      for (std::string_view name : option.names) {
        if (name.starts_with("--") && name != "--") all.push_back(name);
      }
    }
    return all;
  }();
  return names;
}

// Reads options from the table into `o` and the other arguments into
// `operands`; `only`, when given, names the options a command takes. False
// when help was asked for.
bool ParseArguments(const std::vector<std::string>& args, Options& o,
                    std::vector<std::string>& operands,
                    const std::vector<std::string_view>* only = nullptr) {
  bool only_addresses = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (only_addresses || a == "-" || !a.starts_with("-")) {
      operands.push_back(a);
      continue;
    }
    if (a == "--") {
      only_addresses = true;
      continue;
    }
    if (a == "-h" || a == "--help") return false;
    // "--name value", "--name=value", "-x value" or a flag.
    std::string name = a;
    std::optional<std::string> value;
    if (const auto eq = a.find('='); a.starts_with("--") && eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
    }
    const OptionSpec* option = FindOption(name);
    if (only && option &&
        std::find(only->begin(), only->end(), option->names.back()) == only->end())
      option = nullptr;
    if (option == nullptr || option->apply == nullptr) {
      throw UsageError(
          "unknown option \"" + a + "\"" +
          (only ? " of merge" + DidYouMean(name, *only) : DidYouMean(name, CheckOptionNames())));
    }
    if (option->value.empty()) {
      if (value) throw UsageError(name + " takes no value");
    } else if (value && value->empty() && option->value.front() == '[') {
      throw UsageError(name + "= needs a value");
    } else if (!value && option->value.front() != '[') {
      if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
      value = args[++i];
    }
    option->apply(o, name, value.value_or(""));
  }
  return true;
}

// The rule set and what --fail-on chose of it. A merge reads whether a
// finding is new from the reports (`marks_in_reports`), not from --baseline.
void ResolveRules(Options& o, bool marks_in_reports = false) {
  try {
    o.check.rules = BuildRuleSet(o.rule_choice);
    o.style.rules = o.check.rules;
    bool rule_terms = false;
    for (const std::string& terms : o.fail_on_terms) {
      // "new" narrows what the other terms choose; it chooses no rule.
      std::string v;
      bool had_new = false;
      for (std::size_t start = 0; start <= terms.size();) {
        std::size_t comma = terms.find(',', start);
        if (comma == std::string::npos) comma = terms.size();
        const std::string item = terms.substr(start, comma - start);
        const std::size_t first = item.find_first_not_of(' ');
        const std::string word = first == std::string::npos
                                     ? ""
                                     : item.substr(first, item.find_last_not_of(' ') + 1 - first);
        start = comma + 1;
        if (ascii::EqualsNoCase(word, "new")) {
          o.fail_on_new = had_new = true;
          continue;
        }
        if (!ascii::EqualsNoCase(word, "http-error")) rule_terms = true;
        v += (v.empty() ? "" : ",") + item;
      }
      if (!had_new) {
        v = terms;  // as given, so its errors quote it
      } else if (v.empty()) {
        continue;
      }
      std::vector<bool> chosen = ParseFailOn(v, *o.check.rules, &o.fail_on_http_error);
      if (!o.fail_on) o.fail_on = std::vector<bool>(chosen.size(), false);
      for (std::size_t i = 0; i < chosen.size(); ++i)
        (*o.fail_on)[i] = (*o.fail_on)[i] || chosen[i];
    }
    // --fail-on new alone, or with http-error: every new finding counts.
    if (o.fail_on_new && !rule_terms) o.fail_on.reset();
    if (o.fail_on_new && !o.baseline_path && !marks_in_reports)
      throw UsageError("--fail-on new needs --baseline FILE, the report to compare with");
    if (o.baseline_path)
      o.baseline = std::make_shared<const Baseline>(*o.baseline_path, o.check.rules);
    if (o.ignore_path)
      o.suppressions =
          std::make_shared<const Suppressions>(*o.ignore_path, TodayUtc(), &o.warnings);
  } catch (const RuleChoiceError& e) {
    throw UsageError(e.what());
  } catch (const ReportReadError& e) {
    throw UsageError(std::string("--baseline: ") + e.what());
  } catch (const check::RuleFileError& e) {
    throw UsageError(std::string("--ignore: ") + e.what());
  }
}

// Returns nullopt when help was asked for.
std::optional<Options> ParseCheck(const std::vector<std::string>& args) {
  Options o;
  o.batch.jobs = 16;
  if (!ParseArguments(args, o, o.addresses)) return std::nullopt;
  if (o.addresses.empty() && o.lists.empty() && o.archives.empty())
    throw UsageError("no address to check");
  // The rules are known before anything is fetched, so a bad rule file stops
  // the run at once.
  ResolveRules(o);
  // Verbose human output lists the occurrences under each finding.
  if (o.style.verbose && !o.check.want_occurrences) {
    o.check.want_occurrences = true;
    o.check.max_occurrences = 100;
  }
  if (o.resume_force && !o.resume) throw UsageError("--resume-force needs --resume FILE");
  const bool list_on_stdin = std::count(o.lists.begin(), o.lists.end(), "-") > 0;
  if (std::count(o.lists.begin(), o.lists.end(), "-") > 1)
    throw UsageError("standard input can be read as a list only once");
  if (list_on_stdin && std::count(o.addresses.begin(), o.addresses.end(), "-") > 0)
    throw UsageError("standard input cannot be both the list (--list -) and a page (-)");
  // Standard input is read once: one archive, and nothing else from it.
  const auto archives_on_stdin = std::count(o.archives.begin(), o.archives.end(), "-");
  if (archives_on_stdin > 1)
    throw UsageError("standard input can be read as an archive (--warc -) only once");
  if (archives_on_stdin > 0 && list_on_stdin)
    throw UsageError("standard input cannot be both the list (--list -) and an archive (--warc -)");
  if (archives_on_stdin > 0 && std::count(o.addresses.begin(), o.addresses.end(), "-") > 0)
    throw UsageError("standard input cannot be both a page (-) and an archive (--warc -)");
  return o;
}

int Usage(const std::string& problem) {
  // The problem quotes what was typed: shown escaped, so that no argument can
  // act on the terminal.
  if (!problem.empty()) std::cerr << "vettrix: " << text::EscapeForDisplay(problem) << '\n';
  std::cerr << UsageText() << "Try \"vettrix check --help\" for more.\n";
  return kExitUsage;
}

// `vettrix rules [OPTIONS]`.
int RulesCommand(const std::vector<std::string>& args) {
  RuleChoice choice;
  bool json = false;
  try {
    for (std::size_t i = 0; i < args.size(); ++i) {
      const std::string& a = args[i];
      if (a == "-h" || a == "--help") {
        std::cout << RulesHelpText() << std::flush;
        return kExitClean;
      }
      if (a == "--json") {
        json = true;
        continue;
      }
      std::string name = a;
      std::optional<std::string> value;
      if (const auto eq = a.find('='); a.starts_with("--") && eq != std::string::npos) {
        name = a.substr(0, eq);
        value = a.substr(eq + 1);
      }
      static const std::vector<std::string_view> kNames = {"--rule-set", "--rules", "--enable",
                                                           "--disable",  "--json",  "--help"};
      if (std::find(kNames.begin(), kNames.end(), name) == kNames.end() || name == "--json" ||
          name == "--help")
        throw UsageError("unknown option \"" + a + "\" of rules" + DidYouMean(name, kNames));
      if (!value) {
        if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
        value = args[++i];
      }
      if (name == "--rule-set") choice.sets.push_back(*value);
      if (name == "--rules") choice.files.push_back(ReadableFile(name, *value));
      if (name == "--enable") choice.enable.push_back(*value);
      if (name == "--disable") choice.disable.push_back(*value);
    }
    const auto set = BuildRuleSet(choice);
    std::cout << RulesListing(*set, json) << std::flush;
  } catch (const UsageError& e) {
    return Usage(e.what());
  } catch (const RuleChoiceError& e) {
    return Usage(e.what());
  }
  return kExitClean;
}

// `vettrix merge [OPTIONS] FILE...`.
RunEnd MergeCommand(const std::vector<std::string>& args) {
  Options o;
  std::vector<std::string> files;
  try {
    if (!ParseArguments(args, o, files, &MergeOptionNames())) {
      std::cout << MergeHelpText() << std::flush;
      return kExitClean;
    }
    if (files.empty()) throw UsageError("merge needs the JSON reports to merge");
    if (std::count(files.begin(), files.end(), "-") > 1)
      throw UsageError("standard input can be merged only once");
    ResolveRules(o, /*marks_in_reports=*/true);
  } catch (const UsageError& e) {
    return Usage(e.what());
  }
  // A reader that goes away (`| head`) is noticed as EPIPE on the next write.
  ::signal(SIGPIPE, SIG_IGN);
  const int status = RunMerge(o, files);
  if (status == 128 + SIGPIPE) return {status, RunEnd::Way::ByBrokenPipe};
  return status;
}

}  // namespace

RunEnd Main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
  if (args.empty()) return Usage("");
  if (args[0] == "-h" || args[0] == "--help") {
    std::cout << HelpText() << '\n'
              << CheckHelpText() << '\n'
              << RulesHelpText() << '\n'
              << MergeHelpText() << std::flush;
    return kExitClean;
  }
  if (args[0] == "--version") {
    std::cout << VersionText() << std::flush;
    return kExitClean;
  }
  if (args[0] == "rules")
    return RulesCommand(std::vector<std::string>(args.begin() + 1, args.end()));
  if (args[0] == "merge")
    return MergeCommand(std::vector<std::string>(args.begin() + 1, args.end()));
  if (args[0] != "check") {
    const std::string& a = args[0];
    // An option of check given before it.
    if (a.starts_with("--") && std::find(CheckOptionNames().begin(), CheckOptionNames().end(),
                                         a.substr(0, a.find('='))) != CheckOptionNames().end()) {
      std::string meant = "vettrix check";
      for (const std::string& word : args) meant += " " + word;
      if (args.size() == 1) meant += " ADDRESS...";
      return Usage(a.substr(0, a.find('=')) + " is an option of check: " + meant);
    }
    if (a.starts_with("-")) {
      return Usage("unknown option \"" + a + "\"" +
                   DidYouMean(a.substr(0, a.find('=')), {"--help", "--version", "--form"}));
    }
    std::string hint = DidYouMean(a, {"check", "rules", "merge"});
    if (hint.empty()) hint = "; to check a page: vettrix check ADDRESS";
    return Usage("unknown command \"" + a + "\"" + hint);
  }
  std::optional<Options> options;
  try {
    options = ParseCheck(std::vector<std::string>(args.begin() + 1, args.end()));
  } catch (const UsageError& e) {
    return Usage(e.what());
  }
  if (!options) {
    std::cout << CheckHelpText() << std::flush;
    return kExitClean;
  }
  for (const std::string& warning : options->warnings)
    std::cerr << "vettrix: warning: " << text::EscapeForDisplay(warning) << '\n';
  return RunCheck(*options);
}

}  // namespace vx::app::cli
