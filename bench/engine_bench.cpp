// Engine benchmarks: measuring cells, matching them, and whole runs, at
// cell sizes 3, 12 and 30 and qualities 0, 2 and 10, on the sample picture
// scaled to 1000 x 1000. Each figure is per item (cell) unless noted.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "bench_common.h"
#include "convert/fast_run.h"
#include "convert/run.h"

namespace zindrel::bench {
namespace {

constexpr int kSide = 1000;

struct Picture {
  QImage image = BenchPicture(kSide, kSide);
  RowsPixelSource source{reinterpret_cast<const uint32_t*>(image.constBits()), image.width(), image.height(),
                         static_cast<int>(image.bytesPerLine() / 4)};
};
const Picture& SharedPicture() {
  static const Picture p;
  return p;
}

int Cells(int cellSize) { return kSide / cellSize; }

// Every cell of the picture, measured at one cell size.
const std::vector<CellDensity>& MeasuredCells(int16_t cellSize) {
  static std::map<int, std::vector<CellDensity>> cache;
  auto& cells = cache[cellSize];
  if (cells.empty()) {
    const PixelSource& src = SharedPicture().source;
    for (int16_t r = 0; r < Cells(cellSize); ++r)
      for (int16_t c = 0; c < Cells(cellSize); ++c) cells.push_back(MeasureCell(src, r, c, cellSize, 1.0f));
  }
  return cells;
}

// Plain per-cell measurement through Point.
void BM_MeasureCellByPoint(benchmark::State& state) {
  const auto cs = static_cast<int16_t>(state.range(0));
  const PixelSource& src = SharedPicture().source;
  for (auto _ : state)
    for (int16_t r = 0; r < Cells(cs); ++r)
      for (int16_t c = 0; c < Cells(cs); ++c) benchmark::DoNotOptimize(MeasureCellByPoint(src, r, c, cs, 1.0f));
  state.SetItemsProcessed(state.iterations() * Cells(cs) * Cells(cs));
}
BENCHMARK(BM_MeasureCellByPoint)->Arg(3)->Arg(12)->Arg(30)->Unit(benchmark::kMillisecond);

// Per-cell measurement from raw rows (the window's path).
void BM_MeasureCell(benchmark::State& state) {
  const auto cs = static_cast<int16_t>(state.range(0));
  const PixelSource& src = SharedPicture().source;
  for (auto _ : state)
    for (int16_t r = 0; r < Cells(cs); ++r)
      for (int16_t c = 0; c < Cells(cs); ++c) benchmark::DoNotOptimize(MeasureCell(src, r, c, cs, 1.0f));
  state.SetItemsProcessed(state.iterations() * Cells(cs) * Cells(cs));
}
BENCHMARK(BM_MeasureCell)->Arg(3)->Arg(12)->Arg(30)->Unit(benchmark::kMillisecond);

// Whole rows of cells at once (the command line's path).
void BM_MeasureCellRow(benchmark::State& state) {
  const auto cs = static_cast<int16_t>(state.range(0));
  const PixelSource& src = SharedPicture().source;
  RowScratch scratch;
  std::vector<CellDensity> cells(Cells(cs));
  for (auto _ : state)
    for (int16_t r = 0; r < Cells(cs); ++r) {
      MeasureCellRow(src, r, Cells(cs), cs, 1.0f, cells.data(), scratch);
      benchmark::DoNotOptimize(cells.data());
    }
  state.SetItemsProcessed(state.iterations() * Cells(cs) * Cells(cs));
}
BENCHMARK(BM_MeasureCellRow)->Arg(3)->Arg(12)->Arg(30)->Unit(benchmark::kMillisecond);

// Matching the cells of cell size 12, by quality: plain, indexed, indexed
// with the memo.
void BM_MatchPlain(benchmark::State& state) {
  const auto q = static_cast<int16_t>(state.range(0));
  const auto& cells = MeasuredCells(12);
  const GlyphTable& table = BenchTable();
  // The plain search is slow: a tenth of the cells.
  const size_t step = 10;
  for (auto _ : state)
    for (size_t i = 0; i < cells.size(); i += step) benchmark::DoNotOptimize(MatchGlyphPlain(table, cells[i], q));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(cells.size() / step));
}
BENCHMARK(BM_MatchPlain)->Arg(0)->Arg(2)->Arg(10)->Unit(benchmark::kMillisecond);

void BM_MatchIndexed(benchmark::State& state) {
  const auto q = static_cast<int16_t>(state.range(0));
  const bool memoised = state.range(1) != 0;
  const auto& cells = MeasuredCells(static_cast<int16_t>(state.range(2)));
  const GlyphTable& table = BenchTable();
  const GlyphSearchIndex index(table);
  for (auto _ : state) {
    MatchMemo memo;  // fresh for every pass, as for every run
    for (const CellDensity& cell : cells)
      benchmark::DoNotOptimize(MatchGlyphIndexed(index, table, cell, q, memoised ? &memo : nullptr));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(cells.size()));
}
BENCHMARK(BM_MatchIndexed)
    ->ArgsProduct({{0, 2, 10}, {0, 1}, {3, 12}})
    ->ArgNames({"quality", "memo", "cell"})
    ->Unit(benchmark::kMillisecond);

// A host that only counts what it is given.
class CountingHost : public RunHost {
 public:
  explicit CountingHost(const PixelSource& picture) : picture_(picture) {}
  int16_t CellSize() override { return cellSize; }
  int16_t Quality() override { return quality; }
  float BrightnessFactor() override { return 1.0f; }
  const PixelSource& Picture() override { return picture_; }
  void AppendGlyph(int glyph) override { sum += glyph; }
  void EndRow() override { ++rows; }
  int16_t cellSize = 12, quality = 2;
  long sum = 0, rows = 0;

 private:
  const PixelSource& picture_;
};

// The whole run with the fast path: cell size x quality x threads.
void BM_RunFast(benchmark::State& state) {
  const auto cs = static_cast<int16_t>(state.range(0));
  const auto q = static_cast<int16_t>(state.range(1));
  const int threads = static_cast<int>(state.range(2));
  const PixelSource& src = SharedPicture().source;
  CountingHost host(src);
  const Matcher matcher(BenchTable());
  for (auto _ : state) ConvertPictureFast(matcher, src, cs, q, 1.0f, host, threads);
  benchmark::DoNotOptimize(host.sum);
  state.SetItemsProcessed(state.iterations() * Cells(cs) * Cells(cs));
}
BENCHMARK(BM_RunFast)
    ->ArgsProduct({{3, 12, 30}, {0, 2, 10}, {1, 2}})
    ->ArgNames({"cell", "quality", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The reference run (plain per cell, as the window ran before), at cell size
// 30 only: it is slow.
void BM_RunPlainReference(benchmark::State& state) {
  const auto q = static_cast<int16_t>(state.range(0));
  const PixelSource& src = SharedPicture().source;
  CountingHost host(src);
  host.cellSize = 30;
  host.quality = q;
  const GlyphTable& table = BenchTable();
  for (auto _ : state) {
    // RunConversion with the plain search: measure by Point, match plainly.
    const int16_t last = LastCellIndex(src.Height(), 30);
    for (int16_t r = 0; r <= last; ++r)
      for (int16_t c = 0; c <= LastCellIndex(src.Width(), 30); ++c)
        benchmark::DoNotOptimize(MatchGlyphPlain(table, MeasureCellByPoint(src, r, c, 30, 1.0f), q));
  }
  state.SetItemsProcessed(state.iterations() * Cells(30) * Cells(30));
}
BENCHMARK(BM_RunPlainReference)->Arg(0)->Arg(2)->Arg(10)->Unit(benchmark::kMillisecond);

// Loading the table file and building its search index.
void BM_TableLoad(benchmark::State& state) {
  const std::string path = std::string(ZINDREL_BENCH_DATA_DIR) + "/Data.han";
  for (auto _ : state) {
    GlyphTable table = LoadGlyphTable(path);
    benchmark::DoNotOptimize(table.LevelStart(1));
  }
}
BENCHMARK(BM_TableLoad)->Unit(benchmark::kMillisecond);

void BM_IndexBuild(benchmark::State& state) {
  for (auto _ : state) {
    GlyphSearchIndex index(BenchTable());
    benchmark::DoNotOptimize(index.bucketCount());
  }
}
BENCHMARK(BM_IndexBuild)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zindrel::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("glyph table: %s\n", zindrel::bench::BenchTableIsShipped() ? "data/Data.han" : "synthetic");
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
