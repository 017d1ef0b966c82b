// The context scanner against gumbo's parse of the same text, in bytes per
// second: over a generated page (8 MiB for both, 64 MiB for the scanner
// alone) and over the real pages of the Python documentation
// (python3.11-doc). Peak memory: run one benchmark at a time under
// /usr/bin/time -v (--benchmark_filter=...).
#include <benchmark/benchmark.h>
#include <gumbo.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/check/html_context.h"
#include "app/check/markup_blocks.h"
#include "app/rules.h"
#include "bench/app/page_gen.h"

namespace {

// Each size made only when asked, so that a run of one benchmark holds one.
const std::string& Page(std::size_t mib) {
  if (mib == 8) {
    static const std::string eight = vx::bench::MakePage(std::size_t{8} << 20);
    return eight;
  }
  static const std::string sixty_four = vx::bench::MakePage(std::size_t{64} << 20);
  return sixty_four;
}

// Every marker occurrence, in page order.
std::vector<std::size_t> MarkerOffsets(const std::string& page) {
  std::vector<std::size_t> offsets;
  for (const auto& rule : vx::app::kRuleTable) {
    for (const std::string& form : vx::app::RuleForms(rule)) {
      for (auto at = page.find(form); at != std::string::npos; at = page.find(form, at + 1)) {
        offsets.push_back(at);
      }
    }
  }
  std::sort(offsets.begin(), offsets.end());
  return offsets;
}

// Where a check asks: every marker occurrence and every 4 KiB.
std::vector<std::size_t> Offsets(const std::string& page) {
  std::vector<std::size_t> offsets = MarkerOffsets(page);
  for (std::size_t at = 0; at < page.size(); at += 4096) offsets.push_back(at);
  offsets.push_back(page.size() - 1);
  std::sort(offsets.begin(), offsets.end());
  return offsets;
}

std::size_t Scan(const std::string& page, const std::vector<std::size_t>& offsets,
                 bool blocks = true) {
  vx::app::check::ContextScanner::Ahead alone;
  alone.blocks = blocks;
  vx::app::check::ContextScanner scanner(page, alone);
  std::size_t tags = 0;
  for (const std::size_t at : offsets) {
    tags += scanner.At(at).context == vx::app::check::Context::Tag;
  }
  return tags;
}

void BM_ContextScan(benchmark::State& state) {
  const std::string& page = Page(static_cast<std::size_t>(state.range(0)));
  const std::vector<std::size_t> offsets = Offsets(page);
  for (auto _ : state) benchmark::DoNotOptimize(Scan(page, offsets));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(page.size()));
  state.counters["offsets"] = static_cast<double>(offsets.size());
}
BENCHMARK(BM_ContextScan)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond);

void BM_GumboParse(benchmark::State& state) {
  const std::string& page = Page(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    GumboOutput* out = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
    benchmark::DoNotOptimize(out->root);
    gumbo_destroy_output(&kGumboDefaultOptions, out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(page.size()));
}
BENCHMARK(BM_GumboParse)->Arg(8)->Unit(benchmark::kMillisecond);

// Each page of the manual scanned, asked at `asked(page)`.
void ScanCorpus(benchmark::State& state, std::vector<std::size_t> (*asked)(const std::string&),
                bool blocks = true) {
  const auto& pages = vx::bench::ManualPages();
  if (pages.empty()) {
    state.SkipWithError("no corpus: install python3.11-doc");
    return;
  }
  std::vector<std::vector<std::size_t>> offsets;
  std::int64_t bytes = 0;
  for (const auto& p : pages) {
    offsets.push_back(asked(p));
    bytes += static_cast<std::int64_t>(p.size());
  }
  for (auto _ : state) {
    for (std::size_t i = 0; i < pages.size(); ++i) {
      benchmark::DoNotOptimize(Scan(pages[i], offsets[i], blocks));
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}

void BM_ContextScanCorpus(benchmark::State& state) {
  ScanCorpus(state, Offsets);
}
BENCHMARK(BM_ContextScanCorpus)->Unit(benchmark::kMillisecond);

// What a check with occurrences asks of each page: its markers' places
// alone, most of them in tags.
void BM_ContextScanCorpusMarkers(benchmark::State& state) {
  // Arg 1: markup read a block at a time where the machine can; 0: piece by
  // piece.
  ScanCorpus(state, MarkerOffsets, state.range(0) != 0);
}
BENCHMARK(BM_ContextScanCorpusMarkers)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The block reader alone over the manual's pages, started again past each
// place it stops, with AVX2 (arg 0) and AVX-512 (arg 1).
void BM_MarkupBlocksCorpus(benchmark::State& state) {
  using vx::app::check::MarkupBlocks;
  const auto vectors =
      state.range(0) == 0 ? MarkupBlocks::Vectors::kAvx2 : MarkupBlocks::Vectors::kAvx512;
  const auto& pages = vx::bench::ManualPages();
  if (pages.empty() || !MarkupBlocks::Available(vectors)) {
    state.SkipWithError(pages.empty() ? "no corpus: install python3.11-doc"
                                      : "this machine lacks the instructions");
    return;
  }
  const MarkupBlocks& blocks = vx::app::check::SkimBlocks();
  std::int64_t bytes = 0;
  for (const auto& p : pages) bytes += static_cast<std::int64_t>(p.size());
  for (auto _ : state) {
    std::size_t tags = 0;
    for (const auto& page : pages) {
      const std::size_t end = page.size() - MarkupBlocks::kAfter;
      for (std::size_t p = 0; p + MarkupBlocks::kBlock <= end;) {
        const MarkupBlocks::Result r = blocks.Read(page.data(), p, end, vectors);
        tags += r.tags_closed;
        p = std::max(r.stopped, p) + 1;
      }
    }
    benchmark::DoNotOptimize(tags);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}
BENCHMARK(BM_MarkupBlocksCorpus)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_GumboParseCorpus(benchmark::State& state) {
  const auto& pages = vx::bench::ManualPages();
  if (pages.empty()) {
    state.SkipWithError("no corpus: install python3.11-doc");
    return;
  }
  std::int64_t bytes = 0;
  for (const auto& p : pages) bytes += static_cast<std::int64_t>(p.size());
  for (auto _ : state) {
    for (const auto& p : pages) {
      GumboOutput* out = gumbo_parse_with_options(&kGumboDefaultOptions, p.data(), p.size());
      benchmark::DoNotOptimize(out->root);
      gumbo_destroy_output(&kGumboDefaultOptions, out);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}
BENCHMARK(BM_GumboParseCorpus)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
