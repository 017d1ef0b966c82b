#include "app/cli.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/check_run.h"
#include "app/cli_input.h"
#include "app/rules.h"
#include "app/text_buffer.h"
#include "app/text_position.h"
#include "app/version.h"
#include "platform/fetch/fetch.h"

namespace vx::app::cli {
namespace {

constexpr const char* kUsage =
    "usage: vettrix check [--json] [--timeout SECONDS] [--max-bytes N] [--jobs N] ADDRESS...\n"
    "       vettrix [--form FILE]\n"
    "       vettrix --help | vettrix check --help | vettrix --version\n";

constexpr const char* kHelp =
    "Vettrix checks web pages for risky content: script, object, applet and embed\n"
    "tags, forms, pop-up windows, load and mouse handlers, Flash content, script\n"
    "that closes or focuses windows, object creation and CD-ROM access.\n"
    "\n"
    "Commands:\n"
    "  vettrix                              open the window\n"
    "  vettrix --form FILE                  open the window from another form file\n"
    "  vettrix check [OPTIONS] ADDRESS...   check pages and list what they contain\n"
    "  vettrix check --help                 describe the check command\n"
    "  vettrix --help                       this text\n"
    "  vettrix --version                    the versions of Vettrix and of libcurl\n";

constexpr const char* kCheckHelp =
    "usage: vettrix check [--json] [--timeout SECONDS] [--max-bytes N] [--jobs N] ADDRESS...\n"
    "\n"
    "Fetches each ADDRESS and tests its HTML source against twenty detection rules.\n"
    "\n"
    "ADDRESS is one of:\n"
    "  http://... or https://...   fetched from the web (redirects followed)\n"
    "  example.com/page            an address without a scheme is fetched over http\n"
    "  file:///path/page.html      a local file (%-escapes decoded)\n"
    "  path/page.html              a local file, when it exists (or is spelled /..., ./...)\n"
    "  -                           standard input\n"
    "Files and standard input are decoded as a browser would (byte-order mark,\n"
    "<meta> charset, else UTF-8 when valid, else Windows-1252).\n"
    "\n"
    "Options:\n"
    "  --json               one JSON object per address, one per line, in the order given\n"
    "  --timeout SECONDS    limit on each web fetch, redirects included (default 30;\n"
    "                       fractions allowed, above 0 and at most 1000000)\n"
    "  --max-bytes N        largest page accepted, in bytes (default 67108864)\n"
    "  --jobs N             check up to N addresses at once (default 1); output keeps\n"
    "                       the order of the addresses\n"
    "  -h, --help           this text\n"
    "  --                   everything after it is an address\n"
    "\n"
    "Output without --json, per address:\n"
    "  == ADDRESS                 (only when several addresses are given)\n"
    "  Web Server: NAME           the final response's server header, empty when it\n"
    "                             has none; not shown for files and standard input\n"
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
    "  findings       [{rule, label, description, line, column}]: rule is the number\n"
    "                 1 to 20 in the rule table; line and column (1-based, column in\n"
    "                 characters) locate the first occurrence of what matched\n"
    "\n"
    "Exit status: 0 every address checked and nothing found; 1 something found and\n"
    "no failure; 2 some address could not be checked; 64 a usage error.\n";

struct Options {
  bool json = false;
  net::FetchOptions fetch;
  unsigned jobs = 1;
  std::vector<std::string> addresses;
};

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

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

std::chrono::milliseconds ParseSeconds(std::string_view option, std::string_view value) {
  constexpr double kMaxSeconds = 1e6;
  const std::string text(value);
  // Plain decimal only: no spaces, no hex.
  double seconds = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(seconds) || seconds <= 0 || seconds > kMaxSeconds) {
    throw UsageError(std::string(option) +
                     " needs a number of seconds above 0 (at most 1000000), " + "not \"" + text +
                     "\"");
  }
  return std::chrono::milliseconds(std::max<long long>(1, std::llround(seconds * 1000)));
}

// Returns nullopt when help was asked for.
std::optional<Options> ParseCheck(const std::vector<std::string>& args) {
  Options o;
  bool only_addresses = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (only_addresses || a == "-" || !a.starts_with("-")) {
      o.addresses.push_back(a);
      continue;
    }
    if (a == "--") {
      only_addresses = true;
      continue;
    }
    if (a == "-h" || a == "--help") return std::nullopt;
    if (a == "--json") {
      o.json = true;
      continue;
    }
    // "--name value" or "--name=value".
    std::string name = a;
    std::optional<std::string> value;
    if (const auto eq = a.find('='); eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
    }
    if (name != "--timeout" && name != "--max-bytes" && name != "--jobs") {
      throw UsageError("unknown option \"" + a + "\"");
    }
    if (!value) {
      if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
      value = args[++i];
    }
    if (name == "--timeout") {
      o.fetch.timeout = ParseSeconds(name, *value);
    } else if (name == "--max-bytes") {
      o.fetch.max_bytes = ParseInteger<std::uint64_t>(name, *value, 1, UINT64_MAX);
    } else {
      o.jobs = ParseInteger<unsigned>(name, *value, 1, 1024);
    }
  }
  if (o.addresses.empty()) throw UsageError("no address to check");
  return o;
}

// Standard input is read once, however often "-" is given.
struct StdinText {
  bool ok = false;
  std::string text;
  std::string error;
};

struct Finding {
  std::size_t rule = 0;  // 0-based
  LineColumn at;
};

struct Outcome {
  bool ok = false;
  bool web = false;
  std::string error;
  long status = 0;
  std::string final_address;
  std::string server_line;  // "Web Server: ..." as the run set it
  std::string server;
  std::size_t bytes = 0;
  std::vector<Finding> findings;
};

// The transfer control of the command line: web addresses go to the fetcher,
// files and standard input are read from here.
class CliFetcher : public PageFetcher {
 public:
  CliFetcher(const net::FetchOptions& options, const StdinText& in) : options_(options), in_(in) {}

  std::string OpenURL(const std::string& address) override {
    try {
      const Source source = Classify(address);
      web_ = source.kind == Source::Kind::Web;
      switch (source.kind) {
        case Source::Kind::Stdin:
          if (!in_.ok) throw std::runtime_error(in_.error);
          return in_.text;
        case Source::Kind::File:
          return ReadFileText(source.path, options_.max_bytes);
        case Source::Kind::Web:
          result_ = net::fetch(address, options_);
          if (!result_.ok) {
            std::string reason = result_.error.empty() ? "fetch failed" : result_.error;
            if (source.could_be_file) reason += " (no local file has that name either)";
            throw std::runtime_error(reason);
          }
          return std::move(result_.text);
      }
      throw std::logic_error("unknown address kind");
    } catch (const std::exception& e) {
      failed_ = true;
      error_ = e.what();
      throw;
    }
  }

  std::string GetHeader(const std::string& name) override {
    return web_ ? result_.header(name) : std::string();
  }

  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }
  bool web() const { return web_; }
  const net::FetchResult& result() const { return result_; }

 private:
  const net::FetchOptions& options_;
  const StdinText& in_;
  net::FetchResult result_;
  bool web_ = false;
  bool failed_ = false;
  std::string error_;
};

class RowCollector : public FindingsList {
 public:
  void Clear() override { rows.clear(); }
  void AddRow(const std::string& label, const std::string& description) override {
    rows.emplace_back(label, description);
  }
  std::vector<std::pair<std::string, std::string>> rows;
};

class CaptionCollector : public CaptionView {
 public:
  void SetCaption(const std::string& c) override { caption = c; }
  std::string caption;
};

// One address through the same check run the window uses.
Outcome CheckOne(const std::string& address, const Options& options, const StdinText& in) {
  TextBuffer text1(address), text2, text3;
  CliFetcher inet1(options.fetch, in);
  RowCollector list;
  CaptionCollector label4;
  Checker checker(CheckControls{text1, inet1, text2, list, label4, text3, [] {}});
  checker.Run();

  Outcome out;
  out.web = inet1.web();
  if (inet1.web()) {
    out.status = inet1.result().status;
    out.final_address = inet1.result().final_url;
  }
  if (inet1.failed()) {
    out.error = inet1.error();
    return out;
  }
  out.ok = true;
  out.server_line = label4.caption;
  out.server = inet1.GetHeader("server");
  out.bytes = text2.Text().size();
  // The search placed each hit; only the column needs a look at its line.
  const RuleHits& hits = checker.Hits(text2);
  for (const auto& [label, description] : list.rows) {
    const std::size_t rule = RuleIndexOf(label, description);
    if (rule == kRuleCount || !hits.Matches(rule)) continue;  // cannot happen with our list
    out.findings.push_back({rule, {hits.line[rule], ColumnAt(text2.Text(), hits.first[rule])}});
  }
  return out;
}

void PrintJson(const std::string& address, const Outcome& o) {
  using Json = nlohmann::ordered_json;
  Json j;
  j["address"] = address;
  j["ok"] = o.ok;
  j["error"] = o.ok ? Json(nullptr) : Json(o.error);
  j["status"] = o.web && o.status > 0 ? Json(o.status) : Json(nullptr);
  j["final_address"] = o.web && !o.final_address.empty() ? Json(o.final_address) : Json(nullptr);
  j["server"] = o.web && o.ok ? Json(o.server) : Json(nullptr);
  j["bytes"] = o.bytes;
  Json findings = Json::array();
  for (const Finding& f : o.findings) {
    const DetectionRule& r = kRuleTable[f.rule];
    findings.push_back(Json{{"rule", f.rule + 1},
                            {"label", r.label},
                            {"description", r.description},
                            {"line", f.at.line},
                            {"column", f.at.column}});
  }
  j["findings"] = std::move(findings);
  // Addresses and server names may hold bytes that are not UTF-8.
  std::cout << j.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
}

// A server's header goes to a terminal: its control characters (escape
// sequences could rewrite the screen) are shown as '?'.
// A server name as the terminal may safely show it: control characters (C0,
// DEL and C1, which terminals may take as the start of an escape sequence)
// and bytes that are no UTF-8 become '?'.
std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto u = static_cast<unsigned char>(text[i]);
    if (u < 0x80) {
      out += (u < 0x20 && u != '\t') || u == 0x7F ? '?' : static_cast<char>(u);
      ++i;
      continue;
    }
    const std::size_t len = u >= 0xC2 && u <= 0xDF   ? 2
                            : u >= 0xE0 && u <= 0xEF ? 3
                            : u >= 0xF0 && u <= 0xF4 ? 4
                                                     : 0;
    const std::string_view seq = text.substr(i, len);
    if (len == 0 || seq.size() < len || !net::is_valid_utf8(seq)) {
      out += '?';
      ++i;
      continue;
    }
    const bool c1 = u == 0xC2 && static_cast<unsigned char>(seq[1]) < 0xA0;
    if (c1) {
      out += '?';
    } else {
      out += seq;
    }
    i += len;
  }
  return out;
}

void PrintHuman(const std::string& address, const Outcome& o, bool several) {
  if (several) std::cout << "== " << address << '\n';
  if (!o.ok) return;
  if (o.web) std::cout << Printable(o.server_line) << '\n';
  for (const Finding& f : o.findings) {
    const DetectionRule& r = kRuleTable[f.rule];
    std::cout << r.label << '\t' << r.description << '\n';
  }
}

int RunCheck(const Options& options) {
  StdinText in;
  if (std::find(options.addresses.begin(), options.addresses.end(), "-") !=
      options.addresses.end()) {
    try {
      in.text = net::decode_body_owned(ReadAllBytes(STDIN_FILENO, options.fetch.max_bytes));
      in.ok = true;
    } catch (const std::exception& e) {
      in.error = std::string("standard input: ") + e.what();
    }
  }

  const std::size_t count = options.addresses.size();
  std::vector<std::optional<Outcome>> outcomes(count);
  std::mutex mutex;
  std::condition_variable ready;
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < count;) {
      Outcome o;
      try {
        o = CheckOne(options.addresses[i], options, in);
      } catch (const std::exception& e) {
        o = Outcome{};
        o.error = e.what();
      }
      std::lock_guard lock(mutex);
      outcomes[i] = std::move(o);
      ready.notify_all();
    }
  };
  std::vector<std::thread> workers;
  const std::size_t threads = std::min<std::size_t>(options.jobs, count);
  if (threads <= 1) {
    work();
  } else {
    for (std::size_t t = 0; t < threads; ++t) workers.emplace_back(work);
  }

  // Printed in the order given, each as soon as it and those before it are done.
  bool failure = false, finding = false;
  for (std::size_t i = 0; i < count; ++i) {
    Outcome o;
    {
      std::unique_lock lock(mutex);
      ready.wait(lock, [&] { return outcomes[i].has_value(); });
      o = std::move(*outcomes[i]);
    }
    const std::string& address = options.addresses[i];
    if (options.json) {
      PrintJson(address, o);
    } else {
      PrintHuman(address, o, count > 1);
    }
    std::cout.flush();
    if (!o.ok) {
      failure = true;
      std::cerr << "vettrix: " << address << ": " << o.error << '\n';
    }
    finding = finding || !o.findings.empty();
  }
  for (auto& w : workers) w.join();
  if (!std::cout) {
    // A full disk or a closed output must not pass for a clean check.
    std::cerr << "vettrix: cannot write the output\n";
    return kExitFailure;
  }
  if (failure) return kExitFailure;
  return finding ? kExitFindings : kExitClean;
}

int Usage(const std::string& problem) {
  if (!problem.empty()) std::cerr << "vettrix: " << problem << '\n';
  std::cerr << kUsage << "Try \"vettrix check --help\" for more.\n";
  return kExitUsage;
}

}  // namespace

int Main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
  if (args.empty()) return Usage("");
  if (args[0] == "-h" || args[0] == "--help") {
    std::cout << kUsage << '\n' << kHelp << '\n' << kCheckHelp;
    return kExitClean;
  }
  if (args[0] == "--version") {
    std::cout << VersionText();
    return kExitClean;
  }
  if (args[0] != "check") return Usage("unknown command \"" + args[0] + "\"");
  try {
    const auto options = ParseCheck(std::vector<std::string>(args.begin() + 1, args.end()));
    if (!options) {
      std::cout << kCheckHelp;
      return kExitClean;
    }
    return RunCheck(*options);
  } catch (const UsageError& e) {
    return Usage(e.what());
  }
}

}  // namespace vx::app::cli
