// The window with large pages, on the offscreen platform (set here when no
// platform is chosen): a check run from its start to the filled list, and
// the source box's keyboard on a 10 MiB line (jump to the end and select the
// last character; type one character at the end).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>
#include <cstdlib>
#include <string>

#include "app/window/main_window.h"
#include "app/window/source_bars.h"
#include "bench/window/bench_pages.h"

namespace {

using vx::bench::window::Page;
using vx::bench::window::PageFile;
using vx::bench::window::PageKind;

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

void SetLabels(benchmark::State& state, PageKind kind, std::int64_t rounds) {
  state.SetLabel(vx::bench::window::Describe(kind));
  state.SetBytesProcessed(rounds * static_cast<std::int64_t>(Page(kind).size()));
}

// Click to filled list, painted: fetch (a local file), source box, rules,
// rows, and the window brought up to date.
void BM_WindowRun(benchmark::State& state) {
  App();
  const auto kind = static_cast<PageKind>(state.range(0));
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
  SetLabels(state, kind, state.iterations());
}

// A window holding the 10 MiB line, the source box focused and painted.
struct LineWindow {
  vx::window::MainWindow window{vx::window::BuiltInForm()};
  QWidget* box = nullptr;
  LineWindow() {
    window.show();
    window.Text1().SetText(PageFile(PageKind::kOneLine));
    window.CmdCheck_Click();
    box = &window.Text2();
    box->setFocus();
    window.repaint();
    QApplication::processEvents();
  }
  void Paint() {
    box->repaint();
    QApplication::processEvents();
  }
};

// From the start of the line: Ctrl+End, then Shift+Left selects the last
// character; the box painted.
void BM_JumpToEndAndSelectLast(benchmark::State& state) {
  App();
  LineWindow w;
  const std::string& page = Page(PageKind::kOneLine);
  for (auto _ : state) {
    state.PauseTiming();
    QTest::keyClick(w.box, Qt::Key_Home, Qt::ControlModifier);
    w.Paint();
    state.ResumeTiming();
    QTest::keyClick(w.box, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(w.box, Qt::Key_Left, Qt::ShiftModifier);
    w.Paint();
  }
  if (w.window.Text2().SelText() != page.substr(page.size() - 1)) {
    state.SkipWithError("the last character is not selected");
  }
  state.SetLabel("10 MiB, one line");
}

// One character typed at the end of the line, the box painted; with 1, the
// find bar open on a word the page is full of, its count kept up to date.
void BM_TypeAtEndOfLine(benchmark::State& state) {
  App();
  LineWindow w;
  if (state.range(0) != 0) {
    auto& box = w.window.Text2();
    box.openFind();
    box.findBar().setNeedle(QStringLiteral("div"));
    box.setFocus();
  }
  QTest::keyClick(w.box, Qt::Key_End, Qt::ControlModifier);
  w.Paint();
  for (auto _ : state) {
    QTest::keyClick(w.box, Qt::Key_X);
    w.Paint();
  }
  const std::string& text = w.window.Text2().Text();
  const auto typed = static_cast<std::size_t>(state.iterations());
  if (text.size() != Page(PageKind::kOneLine).size() + typed ||
      text.compare(text.size() - typed, typed, std::string(typed, 'x')) != 0) {
    state.SkipWithError("the typed characters are not at the end");
  }
  state.SetLabel(state.range(0) != 0 ? "10 MiB, one line, find bar open" : "10 MiB, one line");
}

// The same text through a bare plain-text editor of the source box's size.
void BM_BareSetPlainText(benchmark::State& state) {
  App();
  const auto kind = static_cast<PageKind>(state.range(0));
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
  SetLabels(state, kind, state.iterations());
}

BENCHMARK(BM_WindowRun)
    ->Arg(static_cast<int>(PageKind::kOneLine))
    ->Arg(static_cast<int>(PageKind::kShortLines))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();
BENCHMARK(BM_WindowRun)
    ->Arg(static_cast<int>(PageKind::kShortLines64))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK(BM_JumpToEndAndSelectLast)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();
BENCHMARK(BM_TypeAtEndOfLine)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(50)
    ->UseRealTime();
BENCHMARK(BM_BareSetPlainText)
    ->Arg(static_cast<int>(PageKind::kOneLine))
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_BareSetPlainText)
    ->Arg(static_cast<int>(PageKind::kShortLines))
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
