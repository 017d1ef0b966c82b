// The report reader: any text gives records or a ReportReadError, never
// another exception, a crash or unbounded memory; records it gives make
// report lines again.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "app/report_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vx::app::cli;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  ReportReadLimits limits;
  limits.max_line_bytes = 1 << 16;
  limits.max_findings = 64;
  limits.max_occurrences = 64;
  const auto rules = vx::app::check::RuleSet::Classic();
  ReportStyle style;
  style.occurrences = true;
  auto writer = MakeReportWriter(Format::Json, style);
  try {
    JsonReportReader reader(in, "fuzz.jsonl", limits);
    while (auto record = reader.Next()) {
      try {
        std::string out;
        writer->Item(out, record->address, ToOutcome(*record, *rules, "fuzz.jsonl"));
      } catch (const ReportReadError&) {
      }
    }
  } catch (const ReportReadError&) {
  }
  return 0;
}
