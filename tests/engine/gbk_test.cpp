// The Chinese code page: every GBK double-byte code that names a character
// decodes to one character and encodes back to the same two bytes.
#include <gtest/gtest.h>

#include <QList>
#include <QString>

#include "platform/gbk.h"

namespace zindrel {
namespace {

TEST(Gbk, EveryDoubleByteCodeRoundTrips) {
  int characters = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string gbk = {static_cast<char>(lead), static_cast<char>(trail)};
      const QString text = QString::fromStdString(GbkToUtf8(gbk));
      if (text == QString(QChar(0xFFFD))) continue;  // a code without a character
      ASSERT_EQ(text.toUcs4().size(), 1) << std::hex << lead << trail;
      ASSERT_EQ(Utf8ToGbk(text.toStdString()), gbk) << std::hex << lead << trail;
      ++characters;
    }
  }
  // GB2312's hanzi alone are 6763; GBK holds over 21000.
  EXPECT_GT(characters, 21000);
}

TEST(Gbk, AsciiPassesAndBrokenBytesBecomeReplacementCharacters) {
  EXPECT_EQ(GbkToUtf8("a, b"), "a, b");
  EXPECT_EQ(GbkToUtf8("\xB0\xA1\xD6\xD0"), "\xE5\x95\x8A\xE4\xB8\xAD");
  EXPECT_NE(GbkToUtf8("\xB0").find("\xEF\xBF\xBD"), std::string::npos);  // a lead byte alone
  EXPECT_EQ(Utf8ToGbk("\xE5\x95\x8A"), "\xB0\xA1");
}

}  // namespace
}  // namespace zindrel
