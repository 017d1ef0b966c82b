// Decoding speed on a 64 MiB page: the size the command line is measured on.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/fetch/fetch.h"

namespace {

constexpr std::size_t kPage = std::size_t{64} << 20;

std::string ascii_page() {
  const std::string line = "<p class=\"row\"><a href=\"/item?id=12345\">An ordinary line</a></p>\n";
  std::string page;
  page.reserve(kPage);
  while (page.size() + line.size() <= kPage) page += line;
  page.resize(kPage, ' ');
  return page;
}

std::string mixed_page() {
  const std::string line =
      "<p>caf\u00e9 \u20ac5 \u041f\u0440\u0438\u0432\u0435\u0442 and some ASCII</p>\n";
  std::string page;
  page.reserve(kPage);
  while (page.size() + line.size() <= kPage) page += line;
  return page;
}

void BM_DecodeAscii(benchmark::State& state) {
  const std::string page = ascii_page();
  for (auto _ : state) benchmark::DoNotOptimize(vx::net::decode_body(page, "text/html"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

void BM_ValidateAscii(benchmark::State& state) {
  const std::string page = ascii_page();
  for (auto _ : state) benchmark::DoNotOptimize(vx::net::is_valid_utf8(page));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

void BM_DecodeOwnedAscii(benchmark::State& state) {
  const std::string page = ascii_page();
  for (auto _ : state) {
    state.PauseTiming();
    std::string copy = page;
    state.ResumeTiming();
    benchmark::DoNotOptimize(vx::net::decode_body_owned(std::move(copy), "text/html"));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

void BM_DecodeMixedUtf8(benchmark::State& state) {
  const std::string page = mixed_page();
  for (auto _ : state) benchmark::DoNotOptimize(vx::net::decode_body(page));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

void BM_DecodeWindows1252(benchmark::State& state) {
  std::string page = ascii_page();
  for (std::size_t i = 100; i < page.size(); i += 100) page[i] = '\xE9';
  for (auto _ : state) benchmark::DoNotOptimize(vx::net::decode_body(page));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

}  // namespace

BENCHMARK(BM_ValidateAscii)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeAscii)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeOwnedAscii)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeMixedUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeWindows1252)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
