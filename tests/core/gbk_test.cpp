// GBK to UTF-8 without Qt gives what Qt's "GBK" decoder gives: on every
// double-byte code, on every pair of bytes that starts with a byte above
// 0x7F, on every single byte and on random byte strings. Text back to GBK
// gives what Qt's encoder gives, on every character of the BMP.
#include <gtest/gtest.h>

#include <QStringDecoder>
#include <QStringEncoder>
#include <cstdio>
#include <random>
#include <string>

#include "core/gbk.h"

namespace zindrel {
namespace {

// How the glyph texts were decoded with Qt: one stateless decoder, and a
// blank after the text so that a lead byte at its very end decodes to
// U+FFFD instead of being held back as an unfinished sequence.
std::string QtGbkToUtf8(const std::string& gbk) {
  static QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
  const std::string padded = gbk + ' ';
  QString text = decoder.decode(QByteArrayView(padded.data(), static_cast<qsizetype>(padded.size())));
  text.chop(1);
  return text.toStdString();
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char buffer[4];
  for (unsigned char c : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02X ", c);
    out += buffer;
  }
  return out;
}

TEST(Gbk, QtHasTheCodec) { ASSERT_TRUE(QStringDecoder("GBK").isValid()); }

TEST(Gbk, EveryDoubleByteCodeDecodesAsQtDecodesIt) {
  int codes = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string gbk = {static_cast<char>(lead), static_cast<char>(trail)};
      ASSERT_EQ(GbkToUtf8(gbk), QtGbkToUtf8(gbk)) << Hex(gbk);
      ++codes;
    }
  }
  EXPECT_EQ(codes, 126 * 190);
}

TEST(Gbk, EverySingleByteAndEveryPairAfterAHighByteDecodesAsQtDecodesIt) {
  for (int a = 0; a < 256; ++a) {
    const std::string one(1, static_cast<char>(a));
    ASSERT_EQ(GbkToUtf8(one), QtGbkToUtf8(one)) << Hex(one);
    if (a < 0x80) continue;
    for (int b = 0; b < 256; ++b) {
      const std::string two = {static_cast<char>(a), static_cast<char>(b)};
      ASSERT_EQ(GbkToUtf8(two), QtGbkToUtf8(two)) << Hex(two);
    }
  }
}

TEST(Gbk, RandomByteStringsDecodeAsQtDecodesThem) {
  std::mt19937 rng(12);
  // Mostly lead and trail bytes, so that pairs form, break and overlap.
  const std::string alphabet = "\x81\xA1\xB0\xD6\xFE\x80\xFF\x40\x7E\x7F\xA1\xFE\x30 A";
  for (int n = 0; n < 20000; ++n) {
    std::string text(std::uniform_int_distribution<size_t>(0, 9)(rng), ' ');
    for (char& c : text) {
      c = std::uniform_int_distribution<int>(0, 3)(rng) == 0
              ? static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng))
              : alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(rng)];
    }
    ASSERT_EQ(GbkToUtf8(text), QtGbkToUtf8(text)) << Hex(text);
  }
}

TEST(Gbk, KnownTexts) {
  EXPECT_EQ(GbkToUtf8("a, b"), "a, b");
  EXPECT_EQ(GbkToUtf8("\xB0\xA1\xD6\xD0"), "\xE5\x95\x8A\xE4\xB8\xAD");   // U+554A U+4E2D
  EXPECT_EQ(GbkToUtf8("\xA1\xA1\xA8\x80"), "\xE3\x80\x80\xE2\x96\x88");   // U+3000 U+2588
  EXPECT_EQ(GbkToUtf8("\xD6\xD0\xB0"), "\xE4\xB8\xAD\xEF\xBF\xBD");       // a lead byte at the end
  EXPECT_EQ(GbkToUtf8("\xB0\x20\xB0\xA1"), "\xEF\xBF\xBD \xE5\x95\x8A");  // a lead byte before a blank
}

TEST(GbkEncoding, EveryBmpCharacterEncodesAsQtEncodesIt) {
  int encoded = 0;
  for (char32_t c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::u16string text = {u'a', static_cast<char16_t>(c), u'b'};
    QStringEncoder qt("GBK", QStringConverter::Flag::Stateless);
    const QByteArray expected = qt.encode(QString::fromStdU16String(text));
    std::string gbk;
    const std::size_t bad = Utf16ToGbk(text, gbk);
    if (qt.hasError()) {
      ASSERT_EQ(bad, 1u) << std::hex << static_cast<unsigned>(c);
      continue;
    }
    ASSERT_EQ(bad, std::u16string::npos) << std::hex << static_cast<unsigned>(c);
    ASSERT_EQ(gbk, expected.toStdString()) << std::hex << static_cast<unsigned>(c);
    // And back: the decoder gives the character again.
    ASSERT_EQ(GbkToUtf8(gbk), QString::fromStdU16String(text).toStdString()) << Hex(gbk);
    ++encoded;
  }
  // ASCII less NUL, the euro sign, U+F8F5 and the 23,940 double-byte codes.
  EXPECT_EQ(encoded, 127 + 2 + 23940);
}

TEST(GbkEncoding, TheFirstCharacterGbkCannotHoldIsNamedByItsIndex) {
  struct Case {
    std::u16string text;
    std::size_t bad;
    std::string gbk;  // when all is encoded
  };
  const Case cases[] = {
      {u"", std::u16string::npos, ""},
      {u"\u554A\u4E2D\r\n", std::u16string::npos, "\xB0\xA1\xD6\xD0\r\n"},
      {u"\u3000\u2588\u20AC", std::u16string::npos, "\xA1\xA1\xA8\x80\x80"},
      {u"ab\U0001F600c", 2, ""},  // a character beyond the BMP, from its first half
      {u"\u554A\xD800x", 1, ""},  // a lone surrogate
      {u"\u554A\xDC00", 1, ""},   // a lone second half
      {u"\u0E01\u2028", 0, ""},   // Thai, then a line separator
      {u"\u554A\uFFFD", 1, ""},   // the replacement character has no code
  };
  for (const Case& c : cases) {
    std::string gbk;
    EXPECT_EQ(Utf16ToGbk(c.text, gbk), c.bad) << Hex(QString::fromStdU16String(c.text).toStdString());
    if (c.bad == std::u16string::npos) {
      EXPECT_EQ(gbk, c.gbk);
    }
  }
}

}  // namespace
}  // namespace zindrel
