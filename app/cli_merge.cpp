// The shards' reports are each in input order (a shard's run prints in input
// order), so they are merged as sorted streams: memory is that of one record
// per report, however long the run was.
#include "app/cli_merge.h"

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>

#include "app/cli.h"
#include "app/cli_output.h"
#include "app/report_reader.h"

namespace vx::app::cli {
namespace {

// One report being read, with the records read ahead of the merge.
struct Report {
  std::string name;
  std::unique_ptr<std::ifstream> file;
  std::unique_ptr<JsonReportReader> reader;
  std::deque<ReportRecord> ahead;
  std::optional<std::uint64_t> last_index;
  bool done = false;

  // Reads one more record ahead; false at the end.
  bool ReadAhead() {
    if (done) return false;
    std::optional<ReportRecord> r = reader->Next();
    if (!r) {
      done = true;
      return false;
    }
    ahead.push_back(std::move(*r));
    return true;
  }
};

struct MergeError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Merge {
 public:
  Merge(const Options& options, const std::vector<std::string>& files)
      : options_(options), files_(files) {}

  int Run() {
    try {
      Open();
      return Write();
    } catch (const ReportReadError& e) {
      Fail(e.what());
    } catch (const MergeError& e) {
      Fail(e.what());
    }
    return kExitFailure;
  }

 private:
  void Fail(const std::string& why) {
    if (sink_) sink_->Discard();
    Progress none(false);
    WriteError(none, "vettrix: merge: " + Printable(why) + "\n");
  }

  void Open() {
    for (const std::string& name : files_) {
      Report r;
      r.name = name;
      std::istream* in = &std::cin;
      if (name != "-") {
        r.file = std::make_unique<std::ifstream>(name, std::ios::binary);
        if (!r.file->is_open())
          throw MergeError("cannot read " + name + ": " + std::strerror(errno));
        in = r.file.get();
      }
      r.reader = std::make_unique<JsonReportReader>(*in, name);
      reports_.push_back(std::move(r));
    }
    for (Report& r : reports_) {
      if (r.ReadAhead() && r.ahead.front().index) indexed_ = true;
    }
    for (Report& r : reports_) {
      if (!r.ahead.empty()) Check(r, r.ahead.front());
    }
    // Human output heads each address with its name when there are several:
    // known before the first is written.
    std::size_t known = 0;
    for (const Report& r : reports_) known += r.ahead.size();
    if (known == 1) {
      for (Report& r : reports_) {
        if (!r.ahead.empty()) r.ReadAhead();
      }
      known = 0;
      for (const Report& r : reports_) known += r.ahead.size();
    }
    for (Report& r : reports_) {
      if (r.ahead.size() > 1) Check(r, r.ahead.back());
    }
    several_ = known >= 2;
  }

  // Either every record tells its position or none does; positions rise
  // within a report.
  void Check(Report& r, const ReportRecord& record) {
    const std::string where = r.name + ":" + std::to_string(record.line) + ": ";
    if (indexed_ != record.index.has_value()) {
      throw MergeError(where + (indexed_ ? "has no \"index\" (not written by a --shard run)"
                                         : "has an \"index\" where the first reports have none"));
    }
    if (!indexed_) return;
    if (r.last_index && *record.index <= *r.last_index) {
      throw MergeError(where + "index " + std::to_string(*record.index) + " comes after " +
                       std::to_string(*r.last_index) +
                       ": a report must be in input order (written without --unordered)");
    }
    r.last_index = record.index;
  }

  // The next record in the whole input's order, or null at the end.
  Report* NextReport() {
    Report* best = nullptr;
    for (Report& r : reports_) {
      if (r.ahead.empty()) {
        if (!r.ReadAhead()) continue;
        Check(r, r.ahead.back());
      }
      if (!indexed_) return &r;
      if (!best || *r.ahead.front().index < *best->ahead.front().index) best = &r;
    }
    return best;
  }

  int Write() {
    if (!options_.output) {
      sink_ = OutputSink::Stdout();
    } else {
      std::string why;
      sink_ = OutputSink::ToFile(*options_.output, &why);
      if (!sink_) throw MergeError("cannot write " + *options_.output + ": " + why);
    }
    ReportStyle style = options_.style;
    style.for_merge = false;
    // Reports written with --occurrences are merged with them.
    for (const Report& r : reports_) {
      for (const ReportRecord& record : r.ahead) {
        for (const ReportedFinding& f : record.findings) style.occurrences |= f.has_occurrences;
        // Reports of a run with a baseline keep their absent findings.
        style.baseline |= record.absent.has_value();
      }
    }
    const auto rules = options_.check.rules ? options_.check.rules : check::RuleSet::Classic();
    style.rules = rules;
    std::unique_ptr<ReportWriter> writer = MakeReportWriter(options_.format, style);
    writer->SetSeveral(several_);
    std::string buffer;
    writer->Begin(buffer);
    bool ok = sink_->Write(buffer);
    RunCounts counts;
    std::size_t matched = 0, missing = 0;
    std::optional<std::uint64_t> last;
    while (Report* r = NextReport()) {
      ReportRecord record = std::move(r->ahead.front());
      r->ahead.pop_front();
      if (indexed_) {
        const std::uint64_t expected = last ? *last + 1 : 0;
        if (last && *record.index == *last)
          throw MergeError(r->name + ":" + std::to_string(record.line) + ": index " +
                           std::to_string(*last) + " is in two reports");
        missing += *record.index - expected;
        last = record.index;
      }
      Outcome o;
      try {
        o = ToOutcome(record, *rules, r->name);
      } catch (const ReportReadError& e) {
        throw MergeError(std::string(e.what()) +
                         " (give merge the run's --rule-set, --rules, --enable and --disable)");
      }
      writer->Item(buffer, record.address, o);
      if (ok) ok = sink_->Write(buffer);
      buffer.clear();
      ++counts.addresses;
      if (!o.ok) ++counts.failed;
      if (o.ok && o.web && IsHttpError(o.status)) ++counts.http_errors;
      std::size_t suppressed = 0;
      for (const Finding& f : o.findings) suppressed += !f.suppressed.empty();
      if (suppressed > 0) counts.suppressed = counts.suppressed.value_or(0) + suppressed;
      if (OutcomeCountsForStatus(options_, o)) ++matched;
      if (!ok) break;
    }
    if (!ok && sink_->broken_pipe() && !options_.output) return 128 + SIGPIPE;
    Progress none(false);
    if (missing > 0) {
      WriteError(none, "vettrix: merge: note: " + std::to_string(missing) +
                           " positions of the input are in none of the reports (is a shard's "
                           "report missing?)\n");
    }
    if (several_ && !options_.quiet) WriteError(none, SummaryText(counts));
    const int status = counts.failed > 0 ? kExitFailure : matched > 0 ? kExitFindings : kExitClean;
    writer->End(buffer, RunSummary{status, true});
    if (ok) ok = sink_->Write(buffer) && sink_->Commit();
    // The reader has all it wanted: end as a filter does when its pipe closes.
    if (!ok && sink_->broken_pipe() && !options_.output) return 128 + SIGPIPE;
    if (!ok) {
      const std::string why = sink_->error();
      throw MergeError("cannot write " + (options_.output ? Printable(*options_.output) + ": " + why
                                                          : "the output (" + why + ")"));
    }
    return status;
  }

  const Options& options_;
  const std::vector<std::string>& files_;
  std::deque<Report> reports_;
  bool indexed_ = false;
  bool several_ = false;
  std::unique_ptr<OutputSink> sink_;
};

}  // namespace

int RunMerge(const Options& options, const std::vector<std::string>& files) {
  return Merge(options, files).Run();
}

}  // namespace vx::app::cli
