#include "bench_common.h"

#include "support/tables.h"

#include <QFile>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <random>

namespace zindrel::bench {

namespace {

GlyphTable SyntheticTable() {
  GlyphTable table;
  std::mt19937 rng(5);
  std::normal_distribution<double> bell(31.0, 6.5);
  std::vector<int> levels(GLYPH_COUNT);
  for (int& l : levels) l = std::clamp(static_cast<int>(std::lround(bell(rng))), 2, 83);
  levels[0] = 1;
  levels[GLYPH_COUNT - 1] = LEVEL_COUNT;
  std::sort(levels.begin(), levels.end());
  for (int i = 1; i <= GLYPH_COUNT; ++i) {
    std::array<int16_t, 10> v{};
    // Nine values whose sum is near the level.
    int left = levels[i - 1];
    for (int m = 0; m < 9; ++m) {
      const int share = std::clamp(
          static_cast<int>(std::lround(left / double(9 - m) + std::uniform_int_distribution<int>(-4, 4)(rng))), 0, 15);
      v[m] = static_cast<int16_t>(std::min(share, left));
      left -= v[m];
    }
    v[9] = static_cast<int16_t>(levels[i - 1]);
    table.SetGlyph(i, "\xB0\xA1", v);
  }
  testing::IndexLevels(table, GLYPH_COUNT);
  table.DecodeTexts();
  return table;
}

struct Loaded {
  GlyphTable table;
  bool shipped = false;
  Loaded() {
    const std::string path = std::string(ZINDREL_BENCH_DATA_DIR) + "/Data.han";
    try {
      if (QFile::exists(QString::fromStdString(path))) {
        table = LoadGlyphTable(path);
        shipped = true;
        return;
      }
    } catch (const RuntimeError&) {
    }
    table = SyntheticTable();
  }
};

const Loaded& Shared() {
  static const Loaded loaded;
  return loaded;
}

}  // namespace

const GlyphTable& BenchTable() { return Shared().table; }
bool BenchTableIsShipped() { return Shared().shipped; }

QImage BenchPicture(int width, int height) {
  QImage sample(QString::fromStdString(std::string(ZINDREL_BENCH_DATA_DIR) + "/Varnock.bmp"));
  if (sample.isNull()) {
    sample = QImage(256, 256, QImage::Format_RGB32);
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) sample.setPixel(x, y, qRgb(x, (x * y) & 255, std::abs(128 - y) * 2 & 255));
  }
  return sample.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
      .convertToFormat(QImage::Format_RGB32);
}

}  // namespace zindrel::bench
