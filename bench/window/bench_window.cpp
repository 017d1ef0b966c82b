// A check run in the window against a bare QPlainTextEdit, on 10 MiB pages.
// Run with QT_QPA_PLATFORM=offscreen (set here when nothing is chosen).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/window/main_window.h"
#include "bench/app/page_gen.h"

namespace {

constexpr std::size_t kPageBytes = std::size_t{10} << 20;

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench_window";
  static char* argv[] = {name, nullptr};
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QApplication* app = [] {
    auto* a = new QApplication(argc, argv);
    vx::window::AddBundledFonts();
    return a;
  }();
  return *app;
}

// 0: minified, all on one line; 1: short lines (a line end after each tag
// that closes past 60 characters into its line).
const std::string& Page(int kind) {
  static const std::array<std::string, 2> pages = [] {
    std::array<std::string, 2> made;
    made[0] = vx::bench::MakePage(kPageBytes);
    for (char& c : made[0]) {
      if (c == '\n' || c == '\r') c = ' ';
    }
    made[1] = made[0];
    std::size_t line_start = 0;
    for (std::size_t i = 0; i + 1 < made[1].size(); ++i) {
      if (made[1][i] == '>' && made[1][i + 1] == ' ' && i - line_start > 60) {
        made[1][i + 1] = '\n';
        line_start = i + 2;
      }
    }
    return made;
  }();
  return pages[static_cast<std::size_t>(kind)];
}

std::string PageFile(int kind) {
  const auto path =
      std::filesystem::temp_directory_path() / ("bench_window_" + std::to_string(kind) + ".html");
  std::ofstream(path, std::ios::binary) << Page(kind);
  return path.string();
}

void SetLabels(benchmark::State& state, int kind) {
  state.SetLabel(kind == 0 ? "10 MiB, one line" : "10 MiB, short lines");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Page(kind).size()));
}

// Click to filled list, painted: fetch (a local file), source box, rules,
// rows, and the window brought up to date.
void BM_WindowRun(benchmark::State& state) {
  App();
  const int kind = static_cast<int>(state.range(0));
  const std::string file = PageFile(kind);
  vx::window::MainWindow window(vx::window::BuiltInForm());
  window.show();
  QApplication::processEvents();
  window.Text1().SetText(file);
  for (auto _ : state) {
    window.CmdCheck_Click();
    window.repaint();
    QApplication::processEvents();
    benchmark::DoNotOptimize(window.ListView1().topLevelItemCount());
  }
  if (window.Text2().Text() != Page(kind)) state.SkipWithError("the source box lost text");
  SetLabels(state, kind);
}

// The same text through a bare plain-text editor of the source box's size.
void BM_BareSetPlainText(benchmark::State& state) {
  App();
  const int kind = static_cast<int>(state.range(0));
  QPlainTextEdit edit;
  edit.resize(585, 137);
  edit.show();
  QApplication::processEvents();
  for (auto _ : state) {
    edit.setPlainText(
        QString::fromUtf8(Page(kind).data(), static_cast<qsizetype>(Page(kind).size())));
    edit.repaint();
    QApplication::processEvents();
  }
  SetLabels(state, kind);
}

BENCHMARK(BM_WindowRun)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();
BENCHMARK(BM_BareSetPlainText)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareSetPlainText)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
