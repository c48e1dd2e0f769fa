// The converter's options on their own: the negative and the box scale of a
// 4000 x 3000 picture, and the colour of every cell of a 1000 x 1000
// picture at cell sizes 3, 12 and 30 (--invert, --width, --color). Figures
// are per picture; items are source pixels or cells.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_common.h"
#include "convert/cell_colour.h"
#include "core/pixel_rows.h"

namespace zindrel::bench {
namespace {

const QImage& Large() {
  static const QImage image = BenchPicture(4000, 3000);
  return image;
}

const uint32_t* Line(const QImage& image, int y) { return reinterpret_cast<const uint32_t*>(image.constScanLine(y)); }

void BM_NegateRows(benchmark::State& state) {
  const QImage& image = Large();
  std::vector<uint32_t> row(static_cast<size_t>(image.width()));
  for (auto _ : state)
    for (int y = 0; y < image.height(); ++y) {
      std::copy(Line(image, y), Line(image, y) + image.width(), row.begin());
      NegateRow(row.data(), image.width());
      benchmark::DoNotOptimize(row.data());
    }
  state.SetItemsProcessed(state.iterations() * image.width() * image.height());
}
BENCHMARK(BM_NegateRows)->Unit(benchmark::kMillisecond);

// To 2400 x 1800 (--width 200 at cell size 12), to 400 x 300, and up from
// a quarter of the picture to 6000 x 4500.
void BM_BoxScale(benchmark::State& state) {
  const QImage& image = Large();
  const int targetWidth = static_cast<int>(state.range(0));
  const int sourceWidth = targetWidth > image.width() ? 1000 : image.width();
  const int sourceHeight = sourceWidth * 3 / 4;
  const int targetHeight = ScaledHeight(sourceWidth, sourceHeight, targetWidth);
  for (auto _ : state) {
    int rows = 0;
    BoxScaler scaler(sourceWidth, sourceHeight, targetWidth, targetHeight, [&](int, const uint32_t* row) {
      benchmark::DoNotOptimize(row);
      ++rows;
    });
    for (int y = 0; y < sourceHeight; ++y) scaler.PushRow(Line(image, y));
    benchmark::DoNotOptimize(rows);
  }
  state.SetItemsProcessed(state.iterations() * sourceWidth * sourceHeight);
}
BENCHMARK(BM_BoxScale)->Arg(2400)->Arg(400)->Arg(6000)->Unit(benchmark::kMillisecond);

void BM_CellColours(benchmark::State& state) {
  static const QImage image = BenchPicture(1000, 1000);
  const RowsPixelSource source(reinterpret_cast<const uint32_t*>(image.constBits()), image.width(), image.height(),
                               static_cast<int>(image.bytesPerLine() / 4));
  const auto cellSize = static_cast<int16_t>(state.range(0));
  const int cells = 1000 / cellSize;
  std::vector<CellColour> row(static_cast<size_t>(cells));
  for (auto _ : state)
    for (int r = 0; r < cells; ++r) {
      MeasureCellColours(source, r, cells, cellSize, 1.0f, row.data());
      benchmark::DoNotOptimize(row.data());
    }
  state.SetItemsProcessed(state.iterations() * cells * cells);
}
BENCHMARK(BM_CellColours)->Arg(3)->Arg(12)->Arg(30)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zindrel::bench

BENCHMARK_MAIN();
