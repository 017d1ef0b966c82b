// Which share of the input a run takes: K of N by position or by a hash of
// the address, with K and N from the command line or from the environment a
// batch scheduler gives each task of an array.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace vx::app::cli {

struct ShardChoice {
  unsigned k = 1;  // 1-based
  unsigned n = 1;
};

struct ShardError : std::invalid_argument {
  using std::invalid_argument::invalid_argument;
};

// Reads one environment variable; nullptr when it is not set.
using EnvLookup = std::function<const char*(const char*)>;

// K and N of `--shard auto` (n empty) or `--shard auto/N`, from a Slurm
// array (SLURM_ARRAY_TASK_ID, _MIN, _STEP, _COUNT), a Kubernetes indexed
// job (JOB_COMPLETION_INDEX) or an AWS Batch array
// (AWS_BATCH_JOB_ARRAY_INDEX), looked at in that order. Throws ShardError
// naming the variables when none is set or their values do not fit.
[[nodiscard]] ShardChoice ShardFromEnvironment(std::optional<unsigned> n, const EnvLookup& env);

// FNV-1a, 64 bits, of the address's bytes: with --shard-by hash an address
// goes to shard (hash % N) + 1, whatever else the list holds.
[[nodiscard]] constexpr std::uint64_t AddressHash(std::string_view address) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (const char c : address) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ULL;
  }
  return h;
}

}  // namespace vx::app::cli
