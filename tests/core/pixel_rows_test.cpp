// Row transforms: the negative, and the box scale against the area mean
// written out in two dimensions, on enlarging, shrinking and mixed sizes;
// rows handed on as soon as the source rows under them have come.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "core/errors.h"
#include "core/pixel_rows.h"
#include "support/raises.h"

namespace zindrel {
namespace {

using Picture = std::vector<uint32_t>;

Picture Noise(int width, int height, uint32_t seed) {
  std::mt19937 rng(seed);
  Picture p(static_cast<size_t>(width) * height);
  for (uint32_t& pixel : p) pixel = 0xFF000000u | (rng() & 0xFFFFFFu);
  return p;
}

Picture Scale(const Picture& source, int sw, int sh, int tw, int th) {
  Picture out(static_cast<size_t>(tw) * th, 0);
  BoxScaler scaler(sw, sh, tw, th, [&](int y, const uint32_t* row) {
    std::copy(row, row + tw, out.begin() + static_cast<long>(y) * tw);
  });
  for (int y = 0; y < sh; ++y) scaler.PushRow(source.data() + static_cast<long>(y) * sw);
  EXPECT_EQ(scaler.rowsDone(), th);
  return out;
}

// Length of the overlap of [a0, a1) and [b0, b1).
int64_t Overlap(int64_t a0, int64_t a1, int64_t b0, int64_t b1) {
  return std::max<int64_t>(0, std::min(a1, b1) - std::max(a0, b0));
}

// Every target pixel as the area-weighted sum over every source pixel, on a
// scale where a source pixel is tw x th units and a target pixel sw x sh.
Picture AreaMean(const Picture& source, int sw, int sh, int tw, int th) {
  Picture out(static_cast<size_t>(tw) * th);
  const int64_t total = int64_t{sw} * sh;
  for (int ty = 0; ty < th; ++ty)
    for (int tx = 0; tx < tw; ++tx) {
      int64_t sum[3] = {0, 0, 0};
      for (int y = 0; y < sh; ++y) {
        const int64_t wy = Overlap(int64_t{y} * th, int64_t{y + 1} * th, int64_t{ty} * sh, int64_t{ty + 1} * sh);
        if (wy == 0) continue;
        for (int x = 0; x < sw; ++x) {
          const int64_t wx = Overlap(int64_t{x} * tw, int64_t{x + 1} * tw, int64_t{tx} * sw, int64_t{tx + 1} * sw);
          const uint32_t p = source[static_cast<size_t>(y) * sw + x];
          for (int c = 0; c < 3; ++c) sum[c] += wx * wy * ((p >> (16 - 8 * c)) & 0xFF);
        }
      }
      uint32_t pixel = 0xFF000000u;
      for (int c = 0; c < 3; ++c) {
        // Nearest whole value, halves up.
        const int64_t whole = sum[c] / total, rest = sum[c] % total;
        pixel |= static_cast<uint32_t>(whole + (2 * rest >= total ? 1 : 0)) << (16 - 8 * c);
      }
      out[static_cast<size_t>(ty) * tw + tx] = pixel;
    }
  return out;
}

struct SizeCase {
  int sw, sh, tw, th;
};

class BoxScale : public ::testing::TestWithParam<SizeCase> {};

TEST_P(BoxScale, IsTheAreaMeanOfTheSourcePixels) {
  const SizeCase c = GetParam();
  const Picture source = Noise(c.sw, c.sh, static_cast<uint32_t>(c.sw * 131 + c.sh));
  EXPECT_EQ(Scale(source, c.sw, c.sh, c.tw, c.th), AreaMean(source, c.sw, c.sh, c.tw, c.th));
}

TEST_P(BoxScale, HandsOnEachRowOnceTheSourceRowsUnderItHaveCome) {
  const SizeCase c = GetParam();
  const Picture source = Noise(c.sw, c.sh, 7);
  std::vector<int> seen;
  BoxScaler scaler(c.sw, c.sh, c.tw, c.th, [&](int y, const uint32_t*) { seen.push_back(y); });
  for (int y = 0; y < c.sh; ++y) {
    scaler.PushRow(source.data() + static_cast<long>(y) * c.sw);
    // Target row t ends at (t + 1) * sh units, source row y at (y + 1) * th.
    EXPECT_EQ(scaler.rowsDone(), (int64_t{y} + 1) * c.th / c.sh) << "after source row " << y;
  }
  std::vector<int> order(static_cast<size_t>(c.th));
  for (int t = 0; t < c.th; ++t) order[static_cast<size_t>(t)] = t;
  EXPECT_EQ(seen, order);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BoxScale,
                         ::testing::Values(SizeCase{12, 9, 12, 9},      // the same size
                                           SizeCase{100, 70, 120, 84},  // enlarging by 6/5
                                           SizeCase{100, 70, 36, 25},   // shrinking, no common factor
                                           SizeCase{37, 11, 5, 29},     // narrower and higher
                                           SizeCase{1, 1, 7, 3},        // one pixel spread out
                                           SizeCase{64, 48, 1, 1},      // everything into one pixel
                                           SizeCase{9, 300, 9, 1}));    // a column into a row

TEST(BoxScaleFlat, AFlatPictureStaysFlat) {
  for (const SizeCase c : {SizeCase{50, 40, 17, 13}, SizeCase{17, 13, 50, 40}}) {
    const Picture flat(static_cast<size_t>(c.sw) * c.sh, 0xFF7F3A01u);
    for (const uint32_t p : Scale(flat, c.sw, c.sh, c.tw, c.th)) ASSERT_EQ(p, 0xFF7F3A01u);
  }
}

TEST(BoxScaleErrors, SizesBelowOneAndRowsPastTheEnd) {
  const auto sink = [](int, const uint32_t*) {};
  EXPECT_RAISES(ErrorKind::InvalidCall, "", BoxScaler(0, 5, 5, 5, sink));
  EXPECT_RAISES(ErrorKind::InvalidCall, "", BoxScaler(5, 5, 5, 0, sink));
  EXPECT_RAISES(ErrorKind::InvalidCall, "2^40", BoxScaler(1 << 21, 1 << 20, 5, 5, sink));
  BoxScaler scaler(2, 1, 1, 1, sink);
  const uint32_t row[2] = {0, 0};
  scaler.PushRow(row);
  EXPECT_RAISES(ErrorKind::InvalidCall, "more rows", scaler.PushRow(row));
}

TEST(ScaledHeightRule, KeepsTheAspectRatioRoundingHalvesUp) {
  EXPECT_EQ(ScaledHeight(100, 70, 120), 84);
  EXPECT_EQ(ScaledHeight(100, 70, 50), 35);
  EXPECT_EQ(ScaledHeight(4, 1, 2), 1);     // 0.5 rounds up
  EXPECT_EQ(ScaledHeight(4, 3, 2), 2);     // 1.5 rounds up
  EXPECT_EQ(ScaledHeight(1000, 1, 3), 1);  // never below one pixel
  EXPECT_EQ(ScaledHeight(1, 1 << 28, 300000), INT32_MAX);
}

TEST(Negative, EveryChannelFromItsTopAndAlphaKept) {
  uint32_t row[3] = {0xFF000000u, 0x80FF8001u, 0x00123456u};
  NegateRow(row, 3);
  EXPECT_EQ(row[0], 0xFFFFFFFFu);
  EXPECT_EQ(row[1], 0x80007FFEu);
  EXPECT_EQ(row[2], 0x00EDCBA9u);
}

}  // namespace
}  // namespace zindrel
