// The rule search alone over generated and real pages, in bytes per second.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "app/check/rule_hits.h"
#include "app/marker_search.h"
#include "bench/app/page_gen.h"

namespace {

const std::string& Page(std::size_t mib) {
  static const std::string one = vx::bench::MakePage(std::size_t{1} << 20);
  static const std::string sixty_four = vx::bench::MakePage(std::size_t{64} << 20);
  return mib == 1 ? one : sixty_four;
}

void BM_RuleHits(benchmark::State& state) {
  const std::string& page = Page(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    auto hits = vx::app::FindRuleHits(page);
    benchmark::DoNotOptimize(hits);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(page.size()));
}
BENCHMARK(BM_RuleHits)->Arg(1)->Arg(64)->Unit(benchmark::kMillisecond);

// The marker search alone with each filter (0: the widest the processor
// has, 1: AVX2, 2: the portable byte filter), on the generated page
// (range 0: MiB) or, with range 0 = 0, on the manual's pages one by one.
void BM_MarkerFilter(benchmark::State& state) {
  std::vector<std::string> patterns;
  for (const auto& rule : vx::app::kRuleTable) {
    for (std::string& form : vx::app::RuleForms(rule)) patterns.push_back(std::move(form));
  }
  const vx::app::MarkerSearch search(patterns);
  const auto filter = static_cast<vx::app::MarkerSearch::Filter>(state.range(1));
  std::vector<std::string_view> pages;
  if (state.range(0) == 0) {
    for (const std::string& page : vx::bench::ManualPages()) pages.push_back(page);
    if (pages.empty()) {
      state.SkipWithError("no pages: install python3.11-doc");
      return;
    }
  } else {
    pages.push_back(Page(static_cast<std::size_t>(state.range(0))));
  }
  std::int64_t bytes = 0;
  for (auto _ : state) {
    for (const std::string_view page : pages) {
      auto first = search.FindInOnePass(page, filter);
      benchmark::DoNotOptimize(first);
      bytes += static_cast<std::int64_t>(page.size());
    }
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_MarkerFilter)
    ->ArgsProduct({{0, 64}, {0, 1, 2}})
    ->ArgNames({"MiB", "filter"})
    ->Unit(benchmark::kMillisecond);

// Real pages one by one, as a folder run searches them.
void BM_RuleHitsManual(benchmark::State& state) {
  const auto& pages = vx::bench::ManualPages();
  if (pages.empty()) {
    state.SkipWithError("no pages: install python3.11-doc");
    return;
  }
  std::int64_t bytes = 0;
  for (auto _ : state) {
    for (const std::string& page : pages) {
      auto hits = vx::app::FindRuleHits(page);
      benchmark::DoNotOptimize(hits);
      bytes += static_cast<std::int64_t>(page.size());
    }
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_RuleHitsManual)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
