// A resume journal as a crash, a full disk or another program may have left
// it: opened, repaired and read back, it gives records or refuses itself,
// and never crashes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/check/rule_set.h"
#include "app/cli_journal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/fuzz-journal-" + std::to_string(::getpid());
  static const auto rules = vx::app::check::RuleSet::Classic();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  try {
    // The key of the seeds' header: records are read, not refused.
    vx::app::cli::Journal journal(path, "00000000000000000000000000000000", true, rules);
    for (std::uint64_t i = 0; i < 4; ++i) (void)journal.Take(i, "a.html");
    vx::app::cli::Outcome o;
    o.ok = true;
    (void)journal.Append(9, "b.html", o);
  } catch (const vx::app::cli::JournalError&) {
  } catch (const vx::app::cli::JournalMismatch&) {
  }
  ::unlink(path.c_str());
  return 0;
}
