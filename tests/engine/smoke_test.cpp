#include <gtest/gtest.h>

#include "convert/measure.h"

TEST(Smoke, WhiteCell) {
  std::vector<uint32_t> px(24 * 24, 0xFFFFFFFFu);
  zindrel::RowsPixelSource src(px.data(), 24, 24, 24);
  auto cell = zindrel::MeasureCell(src, 0, 0, 12, 1.0f);
  EXPECT_EQ(cell.Block[0], 15.0f);
  EXPECT_EQ(cell.Total, 84.0f);
}
