// The scheduler's variables `--shard auto` reads: any values, in any mix,
// give a shard within range or a ShardError.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <map>
#include <optional>
#include <string>

#include "app/cli_shard.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const char* const kNames[] = {"SLURM_ARRAY_TASK_ID",   "SLURM_ARRAY_TASK_MIN",
                                       "SLURM_ARRAY_TASK_STEP", "SLURM_ARRAY_TASK_COUNT",
                                       "JOB_COMPLETION_INDEX",  "AWS_BATCH_JOB_ARRAY_INDEX"};
  // The first byte: the count given (0 for none); then values split at NUL.
  if (size == 0) return 0;
  std::optional<unsigned> n;
  if (data[0] != 0) n = data[0];
  std::map<std::string, std::string> vars;
  std::size_t name = 0;
  std::string value;
  for (std::size_t i = 1; i <= size && name < std::size(kNames); ++i) {
    if (i == size || data[i] == 0) {
      if (value != "-") vars[kNames[name]] = value;  // "-": not set
      ++name;
      value.clear();
    } else {
      value += static_cast<char>(data[i]);
    }
  }
  try {
    const vx::app::cli::ShardChoice c =
        vx::app::cli::ShardFromEnvironment(n, [&](const char* v) -> const char* {
          const auto it = vars.find(v);
          return it == vars.end() ? nullptr : it->second.c_str();
        });
    if (c.k < 1 || c.k > c.n) std::abort();
  } catch (const vx::app::cli::ShardError&) {
  }
  return 0;
}
