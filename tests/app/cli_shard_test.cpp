// The share of the input a scheduler's task takes: the arithmetic over each
// scheduler's variables, and the hash that keeps an address on its shard.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "app/cli_shard.h"

namespace vx::app::cli {
namespace {

// A made-up environment.
EnvLookup Env(std::map<std::string, std::string> vars) {
  return [vars = std::move(vars)](const char* name) -> const char* {
    const auto it = vars.find(name);
    return it == vars.end() ? nullptr : it->second.c_str();
  };
}

std::string ErrorOf(std::optional<unsigned> n, std::map<std::string, std::string> vars) {
  try {
    (void)ShardFromEnvironment(n, Env(std::move(vars)));
  } catch (const ShardError& e) {
    return e.what();
  }
  return "";
}

TEST(ShardAuto, SlurmArraysCountFromTheirMinimumInSteps) {
  // --array=0-3
  ShardChoice c = ShardFromEnvironment(std::nullopt, Env({{"SLURM_ARRAY_TASK_ID", "2"},
                                                          {"SLURM_ARRAY_TASK_MIN", "0"},
                                                          {"SLURM_ARRAY_TASK_COUNT", "4"}}));
  EXPECT_EQ(c.k, 3u);
  EXPECT_EQ(c.n, 4u);
  // --array=10-40:10: ids 10, 20, 30, 40 are shards 1 to 4.
  for (unsigned id : {10u, 20u, 30u, 40u}) {
    c = ShardFromEnvironment(std::nullopt, Env({{"SLURM_ARRAY_TASK_ID", std::to_string(id)},
                                                {"SLURM_ARRAY_TASK_MIN", "10"},
                                                {"SLURM_ARRAY_TASK_STEP", "10"},
                                                {"SLURM_ARRAY_TASK_COUNT", "4"}}));
    EXPECT_EQ(c.k, id / 10) << id;
    EXPECT_EQ(c.n, 4u);
  }
  // auto/N agrees with the array's count, or is refused.
  c = ShardFromEnvironment(4, Env({{"SLURM_ARRAY_TASK_ID", "1"},
                                   {"SLURM_ARRAY_TASK_MIN", "1"},
                                   {"SLURM_ARRAY_TASK_COUNT", "4"}}));
  EXPECT_EQ(c.k, 1u);
  EXPECT_NE(ErrorOf(5, {{"SLURM_ARRAY_TASK_ID", "1"},
                        {"SLURM_ARRAY_TASK_MIN", "1"},
                        {"SLURM_ARRAY_TASK_COUNT", "4"}})
                .find("SLURM_ARRAY_TASK_COUNT"),
            std::string::npos);
}

TEST(ShardAuto, BadSlurmValuesAreNamed) {
  const std::map<std::string, std::string> good = {{"SLURM_ARRAY_TASK_ID", "3"},
                                                   {"SLURM_ARRAY_TASK_MIN", "1"},
                                                   {"SLURM_ARRAY_TASK_STEP", "2"},
                                                   {"SLURM_ARRAY_TASK_COUNT", "2"}};
  EXPECT_EQ(ErrorOf(std::nullopt, good), "");
  const std::map<std::string, std::string> changes[] = {
      {{"SLURM_ARRAY_TASK_ID", "2"}},      // between two steps
      {{"SLURM_ARRAY_TASK_ID", "0"}},      // below the minimum
      {{"SLURM_ARRAY_TASK_ID", "5"}},      // past the count
      {{"SLURM_ARRAY_TASK_ID", "3x"}},     // not a number
      {{"SLURM_ARRAY_TASK_STEP", "0"}},    // no step
      {{"SLURM_ARRAY_TASK_MIN", ""}},      // empty
      {{"SLURM_ARRAY_TASK_COUNT", "-2"}},  // signed
  };
  for (const auto& change : changes) {
    auto vars = good;
    for (const auto& [k, v] : change) vars[k] = v;
    const std::string error = ErrorOf(std::nullopt, vars);
    EXPECT_NE(error.find("SLURM_ARRAY_TASK_"), std::string::npos)
        << change.begin()->first << "=" << change.begin()->second << ": " << error;
  }
  auto no_min = good;
  no_min.erase("SLURM_ARRAY_TASK_MIN");
  EXPECT_NE(ErrorOf(std::nullopt, no_min).find("SLURM_ARRAY_TASK_MIN is not set"),
            std::string::npos);
}

TEST(ShardAuto, IndexedJobsNeedTheCountGiven) {
  for (const char* name : {"JOB_COMPLETION_INDEX", "AWS_BATCH_JOB_ARRAY_INDEX"}) {
    const ShardChoice c = ShardFromEnvironment(8, Env({{name, "0"}}));
    EXPECT_EQ(c.k, 1u) << name;
    EXPECT_EQ(c.n, 8u) << name;
    EXPECT_EQ(ShardFromEnvironment(8, Env({{name, "7"}})).k, 8u) << name;
    EXPECT_NE(ErrorOf(8, {{name, "8"}}).find(name), std::string::npos);
    EXPECT_NE(ErrorOf(std::nullopt, {{name, "1"}}).find("auto/N"), std::string::npos) << name;
    EXPECT_NE(ErrorOf(8, {{name, "one"}}).find(name), std::string::npos);
  }
  // Slurm's variables come first when a task somehow has several.
  EXPECT_EQ(ShardFromEnvironment(4, Env({{"JOB_COMPLETION_INDEX", "0"},
                                         {"SLURM_ARRAY_TASK_ID", "3"},
                                         {"SLURM_ARRAY_TASK_MIN", "0"},
                                         {"SLURM_ARRAY_TASK_COUNT", "4"}}))
                .k,
            4u);
}

TEST(ShardAuto, NoSchedulerNamesEveryVariable) {
  const std::string error = ErrorOf(4, {{"PATH", "/bin"}});
  for (const char* name :
       {"SLURM_ARRAY_TASK_ID", "JOB_COMPLETION_INDEX", "AWS_BATCH_JOB_ARRAY_INDEX"})
    EXPECT_NE(error.find(name), std::string::npos) << error;
}

TEST(ShardBy, TheHashIsFnv1a64OfTheBytes) {
  // The published FNV-1a test values: shards stay where the README says.
  EXPECT_EQ(AddressHash(""), 0xcbf29ce484222325ULL);
  EXPECT_EQ(AddressHash("a"), 0xaf63dc4c8601ec8cULL);
  EXPECT_EQ(AddressHash("foobar"), 0x85944171f73967e8ULL);
  // Bytes above 0x7F are taken unsigned.
  EXPECT_EQ(AddressHash("\xC3\xA9"), 0x0ac21707b7181e01ULL);
  std::set<std::uint64_t> shards;
  for (int i = 0; i < 200; ++i)
    shards.insert(AddressHash("https://example.com/p" + std::to_string(i)) % 4);
  EXPECT_EQ(shards.size(), 4u);  // every shard gets some
}

}  // namespace
}  // namespace vx::app::cli
