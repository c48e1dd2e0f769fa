// The row-at-a-time measurement and the threaded fast run against the plain
// ones: the same cell values to the bit, and the same calls to the host in
// the same order, ending the same way (finished, stopped or the same error).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <thread>

#include "convert/fast_run.h"
#include "convert/stream_run.h"
#include "random_tables.h"

namespace zindrel {
namespace {

using speedtest::TableKind;

// A picture with flat areas, gradients, noise and pure colours, held in rows
// wider than the picture.
struct TestPicture {
  int width, height, stride;
  std::vector<uint32_t> pixels;
  TestPicture(int w, int h, uint32_t seed) : width(w), height(h), stride(w + 3) {
    std::mt19937 rng(seed);
    pixels.resize(static_cast<size_t>(stride) * std::max(h, 1));
    const int style = static_cast<int>(rng() % 4);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < stride; ++x) {
        uint32_t r, g, b;
        switch (style) {
          case 0: r = g = b = (x * 255 / std::max(w, 1) + y) & 0xFF; break;  // grey ramp
          case 1:
            r = rng() & 0xFF;
            g = rng() & 0xFF;
            b = rng() & 0xFF;
            break;   // noise
          case 2: {  // flat patches
            const uint32_t c[] = {0xFFFFFF, 0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x808080};
            const uint32_t v = c[((x / 7) + (y / 5)) % 6];
            r = v >> 16;
            g = (v >> 8) & 0xFF;
            b = v & 0xFF;
            break;
          }
          default:
            r = (x * 3) & 0xFF;
            g = (y * 5) & 0xFF;
            b = ((x + y) * 7 + (rng() & 7)) & 0xFF;
        }
        pixels[static_cast<size_t>(y) * stride + x] = 0xFF000000u | r << 16 | g << 8 | b;
      }
  }
  RowsPixelSource Source() const { return RowsPixelSource(pixels.data(), width, height, stride); }
};

bool SameBits(const CellDensity& a, const CellDensity& b) {
  return std::memcmp(a.Block.data(), b.Block.data(), sizeof(float) * 9) == 0 &&
         std::memcmp(&a.Total, &b.Total, sizeof(float)) == 0;
}

struct MeasureCase {
  int width, height;
  int16_t cellSize;
  float brightness;
};

class RowMeasurement : public ::testing::TestWithParam<MeasureCase> {};

TEST_P(RowMeasurement, EqualsMeasureCellToTheBit) {
  const MeasureCase& c = GetParam();
  // A brightness this far off the scale makes some cells' values overflow.
  const bool overflows = !(c.brightness < 1e30f);
  int stops = 0;
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    const TestPicture pic(c.width, c.height, seed * 31u + static_cast<uint32_t>(c.cellSize));
    const RowsPixelSource src = pic.Source();
    const PointOnlySource points(src);
    ASSERT_TRUE(CanMeasureRows(src, c.cellSize));
    RowScratch scratch;
    const int columns = c.width / c.cellSize + 2;  // one cell reaches past the right edge
    std::vector<CellDensity> cells(columns);
    for (int16_t row = 0; row * c.cellSize < c.height + c.cellSize; ++row) {
      const int count = MeasurableColumns(c.cellSize, row, columns);
      const int done = MeasureCellRow(src, row, count, c.cellSize, c.brightness, cells.data(), scratch);
      if (!overflows) {
        ASSERT_EQ(done, count);
      }
      for (int16_t col = 0; col < done; ++col) {
        const CellDensity plain = MeasureCellByPoint(points, row, col, c.cellSize, c.brightness);
        ASSERT_TRUE(SameBits(plain, cells[col])) << "row " << row << " column " << col << " seed " << seed;
      }
      // A row stops at the cell whose measuring raises.
      if (done < count) {
        ++stops;
        EXPECT_THROW(MeasureCellByPoint(points, row, static_cast<int16_t>(done), c.cellSize, c.brightness),
                     RuntimeError)
            << "row " << row << " column " << done << " seed " << seed;
      }
    }
  }
  if (overflows) {
    EXPECT_GT(stops, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, RowMeasurement,
                         ::testing::Values(MeasureCase{40, 30, 3, 1.0f}, MeasureCase{41, 29, 4, 1.0f},
                                           MeasureCase{50, 33, 5, 0.73f}, MeasureCase{64, 40, 10, 1.2f},
                                           MeasureCase{67, 45, 11, 1.0f}, MeasureCase{90, 61, 12, 0.4f},
                                           MeasureCase{95, 70, 13, 1.17f}, MeasureCase{130, 95, 30, 1.0f},
                                           MeasureCase{9, 7, 2, 1.0f}, MeasureCase{200, 190, 97, 0.9f},
                                           MeasureCase{70, 50, 6, 1.0f}, MeasureCase{150, 100, 24, 0.85f},
                                           MeasureCase{120, 77, 12, 1.0f}, MeasureCase{93, 21, 3, 0.55f},
                                           MeasureCase{77, 16, 4, 1.1f}, MeasureCase{61, 20, 3, 2.6e37f},
                                           MeasureCase{130, 40, 4, 1e38f}, MeasureCase{100, 40, 12, 2.6e37f},
                                           MeasureCase{50, 12, 3, std::numeric_limits<float>::quiet_NaN()}));

// The row measurement computes luminance from a colour's weight: for every
// one of the 2^24 colours it is the float of 0.6 green + 0.3 red + 0.1 blue
// in double, bit for bit (4096 rows of 4096 colours).
TEST(RowMeasurement, LuminanceOfEveryColourIsTheRule) {
  std::vector<uint32_t> row(4096);
  std::vector<float> luminance(row.size());
  int wrong = 0;
  for (uint32_t high = 0; high < 4096; ++high) {
    for (uint32_t low = 0; low < 4096; ++low) row[low] = 0xFF000000u | high << 12 | low;
    LuminanceLine(row.data(), static_cast<int>(row.size()), luminance.data());
    for (size_t x = 0; x < row.size(); ++x) {
      const uint32_t red = row[x] >> 16 & 0xFF, green = row[x] >> 8 & 0xFF, blue = row[x] & 0xFF;
      const float rule = static_cast<float>(0.6 * green + 0.3 * red + 0.1 * blue);
      uint32_t got = 0, want = 0;
      std::memcpy(&got, &luminance[x], sizeof got);
      std::memcpy(&want, &rule, sizeof want);
      if (got != want && ++wrong <= 5) ADD_FAILURE() << "colour " << std::hex << (row[x] & 0xFFFFFF);
    }
  }
  EXPECT_EQ(wrong, 0);
}

// At cell size 3 every pixel is a sub-block of its own, so a picture of all
// 2^24 colours checks every one through the whole row measurement against
// the plain path.
TEST(RowMeasurement, EveryColourHasThePlainLuminance) {
  constexpr int kSide = 4098;  // 1366 cells of 3; colours fill 4096 x 4096
  std::vector<uint32_t> pixels(static_cast<size_t>(kSide) * kSide, 0xFFFFFFFFu);
  for (uint32_t colour = 0; colour < (1u << 24); ++colour)
    pixels[static_cast<size_t>(colour >> 12) * kSide + (colour & 4095)] = 0xFF000000u | colour;
  const RowsPixelSource src(pixels.data(), kSide, kSide, kSide);
  const PointOnlySource points(src);
  RowScratch scratch;
  std::vector<CellDensity> cells(kSide / 3);
  int wrong = 0;
  for (int16_t row = 0; row < kSide / 3; ++row) {
    ASSERT_EQ(MeasureCellRow(src, row, kSide / 3, 3, 1.0f, cells.data(), scratch), kSide / 3);
    for (int16_t col = 0; col < kSide / 3; ++col)
      if (!SameBits(MeasureCellByPoint(points, row, col, 3, 1.0f), cells[col])) ++wrong;
  }
  EXPECT_EQ(wrong, 0);
}

// Records what a run hands its host.
class Recorder : public RunHost {
 public:
  Recorder(const PixelSource& picture, int16_t cellSize, int16_t quality, float brightness, long stopAfter)
      : picture_(picture), cellSize_(cellSize), quality_(quality), brightness_(brightness), stopAfter_(stopAfter) {}
  int16_t CellSize() override { return cellSize_; }
  int16_t Quality() override { return quality_; }
  float BrightnessFactor() override { return brightness_; }
  const PixelSource& Picture() override { return picture_; }
  void AppendGlyph(int glyph) override { events.push_back(glyph); }
  void EndRow() override { events.push_back(-1); }
  bool AfterCell() override { return ++cells_ == stopAfter_; }
  std::vector<int> events;
  std::string ending;

 private:
  const PixelSource& picture_;
  int16_t cellSize_, quality_;
  float brightness_;
  long stopAfter_, cells_ = 0;
};

template <class F>
void Finish(Recorder& r, F&& run) {
  try {
    r.ending = run() == RunResult::Finished ? "finished" : "stopped";
  } catch (const RuntimeError& e) {
    r.ending = std::string("error: ") + ErrorDescription(e.kind());
  }
}

std::string ExpectSameRun(const GlyphTable& table, const PixelSource& picture, int16_t cellSize, int16_t quality,
                          float brightness, int threads, long stopAfter, const std::string& what) {
  Recorder plain(picture, cellSize, quality, brightness, stopAfter);
  Finish(plain, [&] { return RunConversion(table, plain); });
  Recorder fast(picture, cellSize, quality, brightness, stopAfter);
  Finish(fast,
         [&] { return ConvertPictureFast(Matcher(table), picture, cellSize, quality, brightness, fast, threads); });
  EXPECT_EQ(plain.ending, fast.ending) << what;
  EXPECT_EQ(plain.events.size(), fast.events.size()) << what;
  EXPECT_TRUE(plain.events == fast.events) << what;
  return plain.ending;
}

const GlyphTable& SharedTable(int which) {
  static const GlyphTable plain = speedtest::RandomTable(TableKind::Plain, 101);
  static const GlyphTable gaps = speedtest::RandomTable(TableKind::Gaps, 102);
  static const GlyphTable far = speedtest::RandomTable(TableKind::FarValues, 103);
  static const GlyphTable distant = speedtest::RandomTable(TableKind::Distant, 104);
  return which == 0 ? plain : which == 1 ? gaps : which == 2 ? far : distant;
}

TEST(FastRun, RandomPicturesAndParameters) {
  std::mt19937 rng(2024);
  auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  std::map<std::string, int> endings;
  for (int trial = 0; trial < 80; ++trial) {
    const TestPicture pic(uni(0, 160), uni(0, 120), static_cast<uint32_t>(trial));
    const RowsPixelSource rows = pic.Source();
    const PointOnlySource points(rows);
    const PixelSource& src = trial % 5 == 4 ? static_cast<const PixelSource&>(points) : rows;
    const int16_t cellSize = static_cast<int16_t>(trial % 7 == 0 ? uni(1, 2) : uni(3, 31));
    const int16_t quality = static_cast<int16_t>(trial % 9 == 0 ? uni(-3, 40) : uni(0, 10));
    float brightness = static_cast<float>(uni(40, 120)) / 100.0f;
    if (trial % 13 == 5) brightness = 3.0e38f;  // the brightness step overflows
    if (trial % 13 == 6) brightness = std::numeric_limits<float>::quiet_NaN();
    if (trial % 13 == 7) brightness = -0.5f;
    const int threads = uni(1, 3);
    const long stopAfter = trial % 6 == 3 ? uni(1, 40) : -1;
    const std::string ending =
        ExpectSameRun(SharedTable(trial % 4), src, cellSize, quality, brightness, threads, stopAfter,
                      "trial " + std::to_string(trial) + " size " + std::to_string(pic.width) + "x" +
                          std::to_string(pic.height) + " cell " + std::to_string(cellSize) + " quality " +
                          std::to_string(quality) + " threads " + std::to_string(threads));
    ++endings[ending];
  }
  // Every way of ending occurred.
  EXPECT_GE(endings.size(), 4u);
  for (const auto& [ending, count] : endings) std::printf("  %s: %d runs\n", ending.c_str(), count);
}

// The picture of a TestPicture delivered row by row, as a decoder would,
// failing with an invalid-picture error at row failAt (never when -1).
class TestStream : public RowStream {
 public:
  TestStream(const TestPicture& picture, int failAt) : picture_(picture), failAt_(failAt) {}
  int Width() const override { return picture_.width; }
  int Height() const override { return picture_.height; }
  void ReadRows(uint32_t* const* rows, int count) override {
    EXPECT_LE(read + count, picture_.height);
    for (int i = 0; i < count; ++i, ++read) {
      if (read == failAt_) Raise(ErrorKind::InvalidPicture, "(damaged)");
      std::memcpy(rows[i], &picture_.pixels[static_cast<size_t>(read) * picture_.stride],
                  static_cast<size_t>(picture_.width) * 4);
    }
  }
  std::atomic<int> read{0};

 private:
  const TestPicture& picture_;
  int failAt_;
};

// The streaming run hands the host what the fast run on the whole picture
// hands it, and reads the whole picture; a picture damaged anywhere ends it
// with the picture's error, whatever the conversion did before.
TEST(StreamRun, RandomPicturesAndParameters) {
  std::mt19937 rng(77);
  auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  std::map<std::string, int> endings;
  for (int trial = 0; trial < 120; ++trial) {
    // Some pictures are taller than the ring (more than 1 MiB of rows).
    const bool tall = trial % 10 == 9;
    const TestPicture pic(tall ? uni(2000, 3000) : uni(0, 170), tall ? uni(150, 400) : uni(0, 130),
                          static_cast<uint32_t>(trial));
    const int16_t cellSize = static_cast<int16_t>(trial % 11 == 0 ? uni(1, 2) : uni(3, 31));
    const int16_t quality = static_cast<int16_t>(uni(0, 10));
    float brightness = static_cast<float>(uni(40, 120)) / 100.0f;
    if (trial % 13 == 5) brightness = 3.0e38f;
    const int threads = uni(1, 3);
    const int failAt = trial % 4 == 1 && pic.height > 0 ? uni(0, pic.height - 1) : -1;
    const long stopAfter = failAt < 0 && trial % 6 == 3 ? uni(1, 40) : -1;
    const std::string what = "trial " + std::to_string(trial) + " size " + std::to_string(pic.width) + "x" +
                             std::to_string(pic.height) + " cell " + std::to_string(cellSize) + " threads " +
                             std::to_string(threads) + " fail at " + std::to_string(failAt);
    const RowsPixelSource whole = pic.Source();
    const GlyphTable& table = SharedTable(trial % 4);
    Recorder fast(whole, cellSize, quality, brightness, stopAfter);
    Finish(fast,
           [&] { return ConvertPictureFast(Matcher(table), whole, cellSize, quality, brightness, fast, threads); });
    Recorder streamed(whole, cellSize, quality, brightness, stopAfter);
    TestStream stream(pic, failAt);
    // Every other run gets its matcher late, as from a table still loading:
    // the rows are read and measured before it comes.
    const bool late = trial % 2 == 0;
    std::unique_ptr<Matcher> matcher;
    const auto whenRead = [&]() -> const Matcher& {
      const int want = std::min(pic.height, 64);
      for (int wait = 0; wait < 2000 && stream.read < want && failAt < 0; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (failAt < 0) {
        EXPECT_GE(stream.read, want) << "rows read before the matcher came";
      }
      matcher = std::make_unique<Matcher>(table);
      return *matcher;
    };
    Finish(streamed, [&] {
      return late ? ConvertRowStream(whenRead, stream, cellSize, quality, brightness, streamed, threads)
                  : ConvertRowStream(Matcher(table), stream, cellSize, quality, brightness, streamed, threads);
    });
    if (failAt >= 0) {
      EXPECT_EQ(streamed.ending, std::string("error: ") + ErrorDescription(ErrorKind::InvalidPicture)) << what;
    } else {
      EXPECT_EQ(streamed.ending, fast.ending) << what;
      EXPECT_TRUE(streamed.events == fast.events) << what;
      if (streamed.ending != "stopped") {
        EXPECT_EQ(stream.read, pic.height) << what;
      }
    }
    ++endings[streamed.ending];
  }
  EXPECT_GE(endings.size(), 3u);
}

// Pictures so wide that the ring holds fewer rows than the decoder reads at
// a time: the decoder, which waits for room for a whole band while the rows
// of cells have rows to go on with, must still go on with less, whatever
// the threads and whether the matcher comes late.
struct NarrowRingCase {
  int width, height;
  int16_t cellSize;
  int threads;
  bool late;
};
class NarrowRings : public ::testing::TestWithParam<NarrowRingCase> {};

TEST_P(NarrowRings, StreamedRunHandsWhatTheFastRunHands) {
  const NarrowRingCase& c = GetParam();
  ASSERT_LT(StreamRingRows(c.width, c.height, c.cellSize), 16);
  const TestPicture pic(c.width, c.height, 11);
  const RowsPixelSource whole = pic.Source();
  const GlyphTable& table = SharedTable(0);
  Recorder fast(whole, c.cellSize, 2, 1.0f, -1);
  Finish(fast, [&] { return ConvertPictureFast(Matcher(table), whole, c.cellSize, 2, 1.0f, fast, c.threads); });
  Recorder streamed(whole, c.cellSize, 2, 1.0f, -1);
  TestStream stream(pic, -1);
  std::unique_ptr<Matcher> matcher;
  const auto late = [&]() -> const Matcher& {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    matcher = std::make_unique<Matcher>(table);
    return *matcher;
  };
  Finish(streamed, [&] {
    return c.late ? ConvertRowStream(late, stream, c.cellSize, 2, 1.0f, streamed, c.threads)
                  : ConvertRowStream(Matcher(table), stream, c.cellSize, 2, 1.0f, streamed, c.threads);
  });
  EXPECT_EQ(streamed.ending, fast.ending);
  EXPECT_TRUE(streamed.events == fast.events);
  EXPECT_EQ(stream.read, pic.height);
}

INSTANTIATE_TEST_SUITE_P(
    WidePictures, NarrowRings,
    ::testing::Values(NarrowRingCase{20000, 61, 3, 1, false}, NarrowRingCase{20000, 61, 3, 2, true},
                      NarrowRingCase{24000, 47, 3, 3, false}, NarrowRingCase{30000, 40, 2, 2, false},
                      NarrowRingCase{30000, 33, 1, 2, true}, NarrowRingCase{19000, 90, 3, 2, false}));

// A matcher that cannot be made (a table that fails to load) ends the run
// with its own error, before the picture's, whose rows are not all read.
TEST(StreamRun, TheMatchersErrorComesFirst) {
  const TestPicture pic(300, 5000, 5);  // more rows than the ring and the rows of cells waiting can hold
  for (int failAt : {-1, 10}) {
    TestStream stream(pic, failAt);
    Recorder host(pic.Source(), 3, 2, 1.0f, -1);
    const auto failing = []() -> const Matcher& { Raise(ErrorKind::FileNotFound); };
    try {
      ConvertRowStream(failing, stream, 3, 2, 1.0f, host, 2);
      ADD_FAILURE() << "no error";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.kind(), ErrorKind::FileNotFound);
    }
    EXPECT_TRUE(host.events.empty());
    EXPECT_LT(stream.read, pic.height);
  }
}

TEST(StreamRun, RingHoldsRowsForSeveralRowsOfCellsWithinItsBudget) {
  for (const int16_t cell : {int16_t{3}, int16_t{12}, int16_t{30}}) {
    const int reach = 3 * int{SubBlockEdge(cell)};
    EXPECT_GE(StreamRingRows(32767, 100000, cell), 4 * int{cell} + reach) << cell;
    EXPECT_LE(StreamRingRows(4000, 100000, cell), 4 * int{cell} + reach + 64) << cell;  // 16 KB a row
    EXPECT_EQ(StreamRingRows(4000, 20, cell), 20) << cell;  // never more rows than the picture has
  }
}

struct WideCase {
  int width;
  int16_t cellSize;
  int threads;
};
class WidePictures : public ::testing::TestWithParam<WideCase> {};

// Cells past pixel column 32767 raise the overflow error; the cells before
// them are handed over first, exactly as in the plain run.
TEST_P(WidePictures, OverflowAfterTheSameCells) {
  const WideCase& c = GetParam();
  const TestPicture pic(c.width, 2 * c.cellSize, 7);
  const std::string ending = ExpectSameRun(SharedTable(0), pic.Source(), c.cellSize, 2, 1.0f, c.threads, -1,
                                           "width " + std::to_string(c.width));
  EXPECT_EQ(ending, std::string("error: ") + ErrorDescription(ErrorKind::Overflow));
}

INSTANTIATE_TEST_SUITE_P(Overflow, WidePictures,
                         ::testing::Values(WideCase{32800, 12, 2}, WideCase{32768, 3, 1}, WideCase{33000, 30, 3},
                                           WideCase{32768, 1, 2}, WideCase{32769, 1, 1}, WideCase{70000, 5, 2}));

}  // namespace
}  // namespace zindrel
