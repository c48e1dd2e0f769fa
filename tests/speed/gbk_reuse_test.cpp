// The GBK decoder is kept per thread: texts decoded one after another must
// not leak into each other (a lone lead byte at the end of one text, then a
// text that starts with a possible trail byte).
#include <gtest/gtest.h>

#include <thread>

#include "platform/gbk.h"

namespace zindrel {
namespace {

struct Pair {
  const char* first;
  const char* second;
  const char* firstUtf8;
  const char* secondUtf8;
};

class GbkReuse : public ::testing::TestWithParam<Pair> {};

TEST_P(GbkReuse, EachTextDecodedOnItsOwn) {
  const Pair& p = GetParam();
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(GbkToUtf8(p.first), p.firstUtf8);
    EXPECT_EQ(GbkToUtf8(p.second), p.secondUtf8);
  }
  // Also on a fresh thread, which opens its own decoder.
  std::string a, b;
  std::thread t([&] {
    b = GbkToUtf8(p.second);
    a = GbkToUtf8(p.first);
  });
  t.join();
  EXPECT_EQ(a, p.firstUtf8);
  EXPECT_EQ(b, p.secondUtf8);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GbkReuse,
    ::testing::Values(Pair{"\xB0", "\xA1\xA1", "\xEF\xBF\xBD", "\xE3\x80\x80"},    // lone lead, then a pair
                      Pair{"\xD6\xD0\xB0", "A", "\xE4\xB8\xAD\xEF\xBF\xBD", "A"},  // trail-capable ASCII after
                      Pair{"\xB0\xA1", "\xB0\xA1\xB0", "\xE5\x95\x8A", "\xE5\x95\x8A\xEF\xBF\xBD"},
                      Pair{"", "\x81\x40", "", "\xE4\xB8\x82"}));

}  // namespace
}  // namespace zindrel
