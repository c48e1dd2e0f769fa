// The art in other colours: the PNG picture black on white or with a colour
// per character, and the HTML page: its font stack and square cells, runs of
// one colour, escaping, and what an HTML document cannot hold.
#include <gtest/gtest.h>

#include <QImage>
#include <string>

#include "render/art_html.h"
#include "render/art_render.h"
#include "support/gui_app.h"

namespace zindrel {
namespace {

class ArtColoursTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::EnsureGuiApp(); }
};

constexpr QRgb kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu, kGrey = 0xFF808080u;

TEST_F(ArtColoursTest, PlainColoursAreTheRenderingAndBlackOnWhiteItsNegative) {
  const QString text = QString::fromUtf8("国人\r\n龘\xe2\x96\x88\r\n");
  const QImage plain = RenderArt(text, 12);
  EXPECT_EQ(RenderArt(text, 12, ArtColours()), plain);
  QImage negative = plain;
  negative.invertPixels();
  EXPECT_EQ(RenderArt(text, 12, BlackOnWhite()), negative);
}

TEST_F(ArtColoursTest, EachCharacterInItsColourOverTheBackground) {
  // Full blocks fill their cells, the ideographic space leaves its own blank.
  ArtColours colours = BlackOnWhite();
  colours.characters = {{kRed, kGrey, kBlue}};  // the second line takes the foreground
  const QImage art = RenderArt(QString::fromUtf8("\xe2\x96\x88\xe3\x80\x80\xe2\x96\x88\n\xe2\x96\x88"), 8, colours);
  ASSERT_EQ(art.size(), QSize(24, 16));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(art.pixel(x, y), kRed);
      EXPECT_EQ(art.pixel(8 + x, y), 0xFFFFFFFFu);  // the blank shows the background
      EXPECT_EQ(art.pixel(16 + x, y), kBlue);
      EXPECT_EQ(art.pixel(x, 8 + y), 0xFF000000u);  // no colour given: the foreground
      EXPECT_EQ(art.pixel(8 + x, 8 + y), 0xFFFFFFFFu);
    }
}

TEST_F(ArtColoursTest, AGlyphsInkBlendsFromBackgroundToItsColour) {
  ArtColours colours;
  colours.characters = {{0xFFC86432u}};
  const QImage coverage = RenderArt(QString::fromUtf8("国"), 32);
  const QImage art = RenderArt(QString::fromUtf8("国"), 32, colours);
  int full = 0, empty = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const int ink = qGray(coverage.pixel(x, y));
      if (ink == 255) {
        EXPECT_EQ(art.pixel(x, y), 0xFFC86432u);
        ++full;
      }
      if (ink == 0) {
        EXPECT_EQ(art.pixel(x, y), 0xFF000000u);
        ++empty;
      }
      EXPECT_LE(qRed(art.pixel(x, y)), 0xC8);
    }
  EXPECT_GT(full, 0);
  EXPECT_GT(empty, 0);
}

// The text between <pre> and </pre>.
std::string PreText(const std::string& page) {
  const size_t begin = page.find("<pre>") + 5, end = page.find("</pre>");
  return page.substr(begin, end - begin);
}

// Title, style and script counts and the page's colours are read back by a
// strict HTML parser in tests/cli; here, what the parser does not tell.
TEST(ArtHtmlPage, TheFontStackAndSquareCells) {
  const std::string page = ArtHtml("国人\r\n", 20, ArtColours(), "photo.jpg");
  EXPECT_EQ(page.rfind("<!DOCTYPE html>\n", 0), 0u);
  EXPECT_NE(page.find("font-family: \"SimSun\", \"AR PL UMing CN\", serif;"), std::string::npos);
  EXPECT_NE(page.find("font-size: 20px; line-height: 20px;"), std::string::npos);
  // The line end after <pre> is the one the parser drops.
  EXPECT_EQ(PreText(page), "\n国人\n");
}

TEST(ArtHtmlPage, ARunOfOneColourIsOneSpan) {
  ArtColours colours;
  colours.characters = {{kRed, kRed, kBlue}, {kBlue}};
  const std::string page = ArtHtml("国国人\n人\n", 16, colours, "t");
  EXPECT_EQ(PreText(page),
            "\n<span class=\"c0\">国国</span><span class=\"c1\">人</span>\n<span class=\"c1\">人</span>\n");
  EXPECT_NE(page.find(".c0 { color: #ff0000; }"), std::string::npos);
  EXPECT_NE(page.find(".c1 { color: #0000ff; }"), std::string::npos);
}

struct EscapeCase {
  const char* name;
  std::string text, title;
  std::string pre, titleElement;
};

class ArtHtmlEscapes : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(ArtHtmlEscapes, MarkupIsEscapedAndForbiddenCharactersReplaced) {
  const std::string page = ArtHtml(GetParam().text, 16, ArtColours(), GetParam().title);
  EXPECT_EQ(PreText(page), GetParam().pre);
  EXPECT_NE(page.find(GetParam().titleElement), std::string::npos) << page;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArtHtmlEscapes,
    ::testing::Values(EscapeCase{"Markup", "a<b>&\"c\r\n", "<x> & \"y\".png", "\na&lt;b&gt;&amp;&quot;c\n",
                                 "<title>&lt;x&gt; &amp; &quot;y&quot;.png</title>"},
                      EscapeCase{"Controls",
                                 std::string("a\x01"
                                             "b\x7f\r\n",
                                             6),
                                 "t\x1b.png",
                                 "\na\xef\xbf\xbd"
                                 "b\xef\xbf\xbd\n",
                                 "<title>t\xef\xbf\xbd.png</title>"},
                      EscapeCase{"BrokenUtf8AndNoncharacters", "\xff\xef\xb7\x90\n", "\xc3",
                                 "\n\xef\xbf\xbd\xef\xbf\xbd\n", "<title>\xef\xbf\xbd</title>"},
                      EscapeCase{"LeadingEmptyLineKept", "\r\n\xe5\x9b\xbd\r\n", "", "\n\n\xe5\x9b\xbd\n",
                                 "<title>Zindrel art</title>"},
                      EscapeCase{"NoLastLineEnd", "\xe5\x9b\xbd", "t", "\n\xe5\x9b\xbd", "<title>t</title>"}),
    [](const ::testing::TestParamInfo<EscapeCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace zindrel
