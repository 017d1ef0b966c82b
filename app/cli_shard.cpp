#include "app/cli_shard.h"

#include <charconv>
#include <string>

namespace vx::app::cli {
namespace {

// A scheduler's number: plain decimal digits, nothing around them.
std::optional<std::uint64_t> Number(const char* text) {
  if (text == nullptr) return std::nullopt;
  const std::string_view v(text);
  std::uint64_t out = 0;
  const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), out);
  if (v.empty() || ec != std::errc() || end != v.data() + v.size()) return std::nullopt;
  return out;
}

std::uint64_t Required(const EnvLookup& env, const char* name) {
  const char* text = env(name);
  if (text == nullptr) throw ShardError(std::string("--shard auto: ") + name + " is not set");
  const auto n = Number(text);
  if (!n)
    throw ShardError(std::string("--shard auto: ") + name + " is \"" + text +
                     "\", not a whole number");
  return *n;
}

constexpr std::uint64_t kMaxShards = 1u << 30;

ShardChoice FromIndex(std::uint64_t index, std::uint64_t n, const std::string& what) {
  if (n < 1 || n > kMaxShards)
    throw ShardError("--shard auto: the number of shards must be from 1 to " +
                     std::to_string(kMaxShards) + ", not " + std::to_string(n));
  if (index >= n)
    throw ShardError("--shard auto: " + what + " gives shard " + std::to_string(index) +
                     " (counted from 0), not below the " + std::to_string(n) + " shards");
  return {static_cast<unsigned>(index + 1), static_cast<unsigned>(n)};
}

}  // namespace

ShardChoice ShardFromEnvironment(std::optional<unsigned> n, const EnvLookup& env) {
  if (env("SLURM_ARRAY_TASK_ID") != nullptr) {
    const std::uint64_t id = Required(env, "SLURM_ARRAY_TASK_ID");
    const std::uint64_t min = Required(env, "SLURM_ARRAY_TASK_MIN");
    const std::uint64_t step =
        env("SLURM_ARRAY_TASK_STEP") ? Required(env, "SLURM_ARRAY_TASK_STEP") : 1;
    // Slurm always sets the count; a count given as auto/N must agree.
    std::uint64_t count =
        env("SLURM_ARRAY_TASK_COUNT") ? Required(env, "SLURM_ARRAY_TASK_COUNT") : 0;
    if (count == 0) {
      if (!n) throw ShardError("--shard auto: SLURM_ARRAY_TASK_COUNT is not set");
      count = *n;
    }
    if (n && *n != count)
      throw ShardError("--shard auto/" + std::to_string(*n) + ": the Slurm array has " +
                       std::to_string(count) + " tasks (SLURM_ARRAY_TASK_COUNT)");
    if (step == 0) throw ShardError("--shard auto: SLURM_ARRAY_TASK_STEP is 0");
    if (id < min || (id - min) % step != 0)
      throw ShardError("--shard auto: SLURM_ARRAY_TASK_ID " + std::to_string(id) +
                       " is not SLURM_ARRAY_TASK_MIN " + std::to_string(min) +
                       " plus a multiple of SLURM_ARRAY_TASK_STEP " + std::to_string(step));
    return FromIndex((id - min) / step, count, "SLURM_ARRAY_TASK_ID");
  }
  for (const char* name : {"JOB_COMPLETION_INDEX", "AWS_BATCH_JOB_ARRAY_INDEX"}) {
    if (env(name) == nullptr) continue;
    const std::uint64_t index = Required(env, name);
    if (!n)
      throw ShardError(std::string("--shard auto: ") + name +
                       " tells this task's index but not the number of tasks: give it as "
                       "--shard auto/N");
    return FromIndex(index, *n, name);
  }
  throw ShardError(
      "--shard auto: no scheduler's index is set: SLURM_ARRAY_TASK_ID (a Slurm array), "
      "JOB_COMPLETION_INDEX (a Kubernetes indexed job, with --shard auto/N) or "
      "AWS_BATCH_JOB_ARRAY_INDEX (an AWS Batch array, with --shard auto/N)");
}

}  // namespace vx::app::cli
