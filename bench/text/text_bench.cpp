// The button's caption on every redraw: create the caption font, measure
// the line, draw it, delete the font. "Check Source" in Times New Roman
// 8.25 pt on the 89 x 19 button.
#include <benchmark/benchmark.h>

#include "platform/gdi/surface.h"
#include "platform/text/font.h"

namespace {

using namespace vx::text;

LogFont CaptionRecord(int escapement = 0) {
  LogFont lf;
  lf.lfHeight = -11;  // 8.25 pt at 96 dpi
  lf.lfEscapement = escapement;
  lf.SetFaceName("Times New Roman");
  return lf;
}

void BM_CaptionCreateMeasureDrawDelete(benchmark::State& state) {
  vx::Surface surface(89, 19, 0x00C8D0D4);
  const LogFont lf = CaptionRecord();
  for (auto _ : state) {
    Font font = CreateFontIndirect(lf);
    const TextExtent e = MeasureText(font, "Check Source");
    TextOut(surface, font, (89 - e.cx) / 2, (19 - e.cy) / 2, "Check Source", 0);
    DeleteObject(font);
    benchmark::DoNotOptimize(surface.pixels().data());
  }
}
BENCHMARK(BM_CaptionCreateMeasureDrawDelete);

void BM_CaptionVerticalUp(benchmark::State& state) {
  vx::Surface surface(19, 89, 0x00C8D0D4);
  for (auto _ : state) {
    Font font = CreateFontIndirect(CaptionRecord());
    const TextExtent e = MeasureText(font, "Check Source");
    DeleteObject(font);
    Font turned = CreateFontIndirect(CaptionRecord(900));
    TextOut(surface, turned, (19 - e.cy) / 2, 89 - (89 - e.cx) / 2, "Check Source", 0);
    DeleteObject(turned);
    benchmark::DoNotOptimize(surface.pixels().data());
  }
}
BENCHMARK(BM_CaptionVerticalUp);

void BM_CreateDeleteFont(benchmark::State& state) {
  const LogFont lf = CaptionRecord();
  for (auto _ : state) {
    Font font = CreateFontIndirect(lf);
    benchmark::DoNotOptimize(font);
    DeleteObject(font);
  }
}
BENCHMARK(BM_CreateDeleteFont);

void BM_MeasureCaption(benchmark::State& state) {
  const Font font = CreateFontIndirect(CaptionRecord());
  for (auto _ : state) benchmark::DoNotOptimize(MeasureText(font, "Check Source"));
}
BENCHMARK(BM_MeasureCaption);

void BM_DrawCaption(benchmark::State& state) {
  vx::Surface surface(89, 19, 0x00C8D0D4);
  const Font font = CreateFontIndirect(CaptionRecord());
  for (auto _ : state) {
    TextOut(surface, font, 13, 3, "Check Source", 0);
    benchmark::DoNotOptimize(surface.pixels().data());
  }
}
BENCHMARK(BM_DrawCaption);

// First use of a face in a process: fontconfig resolution and FreeType
// loading, paid once (each iteration asks for a size not seen before).
void BM_FirstUseOfASize(benchmark::State& state) {
  int size = 12;
  for (auto _ : state) {
    LogFont lf = CaptionRecord();
    lf.lfHeight = -(size++);
    Font font = CreateFontIndirect(lf);
    benchmark::DoNotOptimize(MeasureText(font, "Check Source"));
  }
}
BENCHMARK(BM_FirstUseOfASize)->Iterations(48);

}  // namespace

BENCHMARK_MAIN();
