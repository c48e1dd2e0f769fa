// The numeric rules where they change results: ties to even, 16-bit overflow
// instead of wrapping, and 32-bit float stores.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/errors.h"
#include "core/numeric.h"
#include "support/raises.h"

namespace zindrel {
namespace {

struct RoundCase {
  double in;
  int16_t out;
};

class ToInt16Rounding : public ::testing::TestWithParam<RoundCase> {};

TEST_P(ToInt16Rounding, RoundsHalfToEven) {
  EXPECT_EQ(ToInt16(GetParam().in), GetParam().out) << "input " << GetParam().in;
  EXPECT_EQ(ToInt32(GetParam().in), GetParam().out) << "input " << GetParam().in;
}

INSTANTIATE_TEST_SUITE_P(Ties, ToInt16Rounding,
                         ::testing::Values(RoundCase{0.5, 0}, RoundCase{1.5, 2}, RoundCase{2.5, 2}, RoundCase{3.5, 4},
                                           RoundCase{-0.5, 0}, RoundCase{-1.5, -2}, RoundCase{-2.5, -2},
                                           RoundCase{7.5, 8}, RoundCase{2.4999999, 2}, RoundCase{2.5000001, 3},
                                           RoundCase{-13.49999988, -13}, RoundCase{32767.4, 32767},
                                           RoundCase{-32768.5, -32768}, RoundCase{32766.5, 32766}));

TEST(ToInt16, OutOfRangeOrNotANumberRaisesOverflow) {
  for (double v : {32767.5, 32768.0, -32768.51, -32769.0, 1e300, std::numeric_limits<double>::quiet_NaN(),
                   std::numeric_limits<double>::infinity()}) {
    EXPECT_RAISES(ErrorKind::Overflow, "Overflow", ToInt16(v)) << v;
  }
  EXPECT_THROW(ToInt32(2147483647.5), RuntimeError);
  EXPECT_EQ(ToInt32(-2147483648.4), -2147483647 - 1);
}

struct ArithCase {
  const char* op;
  int16_t a, b;
  bool overflows;
  int16_t result;
};

class Checked16 : public ::testing::TestWithParam<ArithCase> {};

TEST_P(Checked16, RaisesInsteadOfWrapping) {
  const ArithCase& c = GetParam();
  auto run = [&] {
    switch (c.op[0]) {
      case '+': return Add16(c.a, c.b);
      case '-': return Sub16(c.a, c.b);
      default: return Mul16(c.a, c.b);
    }
  };
  if (c.overflows) {
    EXPECT_RAISES(ErrorKind::Overflow, "", run()) << c.a << c.op << c.b;
  } else {
    EXPECT_EQ(run(), c.result);
  }
}

INSTANTIATE_TEST_SUITE_P(Edges, Checked16,
                         ::testing::Values(ArithCase{"+", 32767, 1, true, 0}, ArithCase{"+", 32766, 1, false, 32767},
                                           ArithCase{"+", -32768, -1, true, 0}, ArithCase{"-", -32768, 1, true, 0},
                                           ArithCase{"-", 0, -32768, true, 0}, ArithCase{"-", -1, 32767, false, -32768},
                                           ArithCase{"*", 182, 182, true, 0}, ArithCase{"*", 181, 181, false, 32761},
                                           ArithCase{"*", 12, 2731, true, 0}, ArithCase{"*", 12, 2730, false, 32760},
                                           ArithCase{"*", -32768, -1, true, 0}));

TEST(StoreF32, RoundsToNearestFloatAtEveryStore) {
  // 2^24 + 1 has no float: it goes to the even neighbour 2^24.
  EXPECT_EQ(StoreF32(16777217.0), 16777216.0f);
  EXPECT_EQ(StoreF32(16777219.0), 16777220.0f);
  // A double sum stored once differs from float arithmetic step by step:
  // 0.1 + 0.2 in double, then stored, is the float nearest 0.30000000000000004.
  EXPECT_EQ(StoreF32(0.1 + 0.2), static_cast<float>(0.30000000000000004));
  // 63.5 - 2^-18 is a float; 2 + it is a tie in float and goes to 65.5.
  const float t = 63.5f - std::ldexp(1.0f, -18);
  EXPECT_EQ(StoreF32(2.0 + t), 65.5f);
}

TEST(StoreF32, NotANumberAndOverflowRaise) {
  EXPECT_RAISES(ErrorKind::Overflow, "(floating-point overflow)", StoreF32(1e39));
  EXPECT_RAISES(ErrorKind::InvalidCall, "(invalid floating-point operation)",
                StoreF32(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_RAISES(ErrorKind::Overflow, "", StoreF32(-std::numeric_limits<double>::infinity()));
  EXPECT_RAISES(ErrorKind::DivisionByZero, "Division by zero", DivideF(1.0, 0.0));
}

TEST(RuntimeErrorText, MessageIsOneLowerCaseLineWithDetail) {
  const RuntimeError e(ErrorKind::ReadPastEnd, "in record 14924");
  EXPECT_EQ(e.number(), 62);
  EXPECT_EQ(e.description(), "Input past end of file");
  EXPECT_EQ(e.message(), "input past end of file in record 14924");
  EXPECT_EQ(RuntimeError(ErrorKind::Cancelled).message(), "Cancel was selected.");
}

}  // namespace
}  // namespace zindrel
