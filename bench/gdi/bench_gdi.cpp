// Fills, lines and the other surface operations a button redraw uses, on the
// caption-sized 89 x 19 surface and on a large one.
#include <benchmark/benchmark.h>

#include "platform/gdi/dc.h"
#include "platform/gdi/raster.h"
#include "platform/gdi/region.h"

namespace {

using vx::ColorRef;
using vx::Surface;
using namespace vx::gdi;

void SizeArgs(benchmark::internal::Benchmark* b) {
  b->Args({89, 19})->Args({1024, 768});
}

void BM_FillRect(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  Surface s(w, h);
  ColorRef c = 0;
  for (auto _ : state) {
    FillRect(s, {0, 0, w, h}, CreateSolidBrush(++c));
    benchmark::DoNotOptimize(s.row(0));
  }
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_FillRect)->Apply(SizeArgs);

void BM_FrameRect(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  Surface s(w, h);
  for (auto _ : state) {
    FrameRect(s, {0, 0, w, h}, CreateSolidBrush(0x808080));
    benchmark::DoNotOptimize(s.row(0));
  }
}
BENCHMARK(BM_FrameRect)->Apply(SizeArgs);

// A two-ring bevel as the button draws it: four pens, eight LineTo calls.
void BM_BevelLines(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)) - 1, h = static_cast<int>(state.range(1)) - 1;
  Surface s(w + 1, h + 1);
  Dc dc(s);
  for (auto _ : state) {
    DeleteObject(dc.SelectObject(CreatePen(0xFFFFFF)));
    dc.MoveToEx(0, h);
    dc.LineTo(0, 0);
    dc.LineTo(w, 0);
    DeleteObject(dc.SelectObject(CreatePen(0x404040)));
    dc.LineTo(w, h);
    dc.LineTo(-1, h);
    dc.MoveToEx(1, h);
    DeleteObject(dc.SelectObject(CreatePen(0xC8D0D4)));
    dc.LineTo(1, 1);
    dc.LineTo(w - 1, 1);
    DeleteObject(dc.SelectObject(CreatePen(0x808080)));
    dc.LineTo(w - 1, h - 1);
    dc.LineTo(0, h - 1);
    benchmark::DoNotOptimize(s.row(0));
  }
}
BENCHMARK(BM_BevelLines)->Apply(SizeArgs);

// Slanted lines corner to corner, both diagonals.
void BM_DiagonalLines(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  Surface s(w, h);
  for (auto _ : state) {
    DrawLineSegment(s, 0, 0, w - 1, h - 1, 0xFF);
    DrawLineSegment(s, 0, h - 1, w - 1, 0, 0xFF00);
    benchmark::DoNotOptimize(s.row(0));
  }
}
BENCHMARK(BM_DiagonalLines)->Apply(SizeArgs);

// A line from far outside across the surface: cost follows the visible part.
void BM_FarOutLine(benchmark::State& state) {
  Surface s(89, 19);
  for (auto _ : state) {
    DrawLineSegment(s, -1000000000, -3000, 1000000000, 3000, 0xFF);
    benchmark::DoNotOptimize(s.row(0));
  }
}
BENCHMARK(BM_FarOutLine);

void BM_FocusRect(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  Surface s(w, h);
  for (auto _ : state) {
    DrawFocusRect(s, {4, 4, w - 4, h - 4});
    benchmark::DoNotOptimize(s.row(0));
  }
}
BENCHMARK(BM_FocusRect)->Apply(SizeArgs);

void BM_GradientFill(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  Surface s(w, h);
  for (auto _ : state) {
    GradientFill(s, MakeVertex(0, 0, 0), MakeVertex(w, h, 0xFF0000), kGradientFillRectH);
    GradientFill(s, MakeVertex(0, 0, 0), MakeVertex(w, h, 0xFF0000), kGradientFillRectV);
    benchmark::DoNotOptimize(s.row(0));
  }
}
BENCHMARK(BM_GradientFill)->Apply(SizeArgs);

void BM_StretchIcon(benchmark::State& state) {
  Surface src(32, 32, 0xC8D0D4), dst(32, 32);
  const int to = static_cast<int>(state.range(0));
  for (auto _ : state) {
    StretchBlt(dst, 0, 0, to, to, src, 0, 0, 32 * 16 / to, 32 * 16 / to);
    benchmark::DoNotOptimize(dst.row(0));
  }
}
BENCHMARK(BM_StretchIcon)->Arg(16)->Arg(32);

void BM_SegmentRegion(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  const Point pts[] = {{0, 0}, {18, h}, {w, h}, {w - 18, 0}};
  for (auto _ : state) {
    Region r = CreatePolygonRgn(pts, FillMode::kWinding);
    benchmark::DoNotOptimize(r.bands().data());
  }
}
BENCHMARK(BM_SegmentRegion)->Apply(SizeArgs);

}  // namespace

BENCHMARK_MAIN();
