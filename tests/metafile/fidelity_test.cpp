// Metafiles drawn as Windows draws them: faces matched the way the system
// matches them, text direction under flipped mappings, symbol code pages,
// clip paths, binary raster operations and the halftone stretch. Every file
// is written byte by byte by the test (metafile_writer.h).
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QGuiApplication>
#include <QRawFont>
#include <functional>

#include "metafile/metafile.h"
#include "support/gui_app.h"
#include "support/metafile_writer.h"

using namespace mftest;

namespace {

const QColor kRed(255, 0, 0), kBlue(0, 0, 255), kGreen(0, 128, 0), kBlack(0, 0, 0), kWhite(255, 255, 255);

QImage Play(const Emf& e) { return zindrel::RenderMetafile(e.Finish(), 254); }

// The box around every pixel that is not white, or an empty box.
QRect InkBox(const QImage& image) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if ((image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) box |= QRect(x, y, 1, 1);
  return box;
}

// Transparent text of one face at a known place in a 200 x 100 picture.
QImage EmfText(const QString& face, const QString& text, int height = -40, int escapement = 0) {
  Emf e(QRect(0, 0, 2000, 1000));
  e.Rec(18, {1}).Font(1, height, face, escapement).Select(1).Rec(22, {24}).TextW(10, 60, text);
  return Play(e);
}

class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { zindrel::testing::EnsureGuiApp(); }
};
const auto* const kGui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

bool Installed(const QString& family) { return QFontInfo(QFont(family)).family() == family; }

}  // namespace

// ------------------------------------------------------------- faces

TEST(Faces, WindowsFacesDrawInTheirMetricCompatibleStandIns) {
  struct Case {
    const char* face;
    const char* standIn;
  } cases[] = {
      {"Arial", "Liberation Sans"}, {"Times New Roman", "Liberation Serif"}, {"Courier New", "Liberation Mono"}};
  for (const Case& c : cases) {
    if (!Installed(c.standIn)) GTEST_SKIP() << c.standIn << " is not installed (fonts-liberation2)";
    const QImage fileFace = EmfText(c.face, "Hamburgefonts");
    EXPECT_GT(InkIn(fileFace, fileFace.rect()), 200) << c.face;
    EXPECT_EQ(fileFace, EmfText(c.standIn, "Hamburgefonts")) << c.face;
    // Not the CJK face the player once put right after every face name.
    EXPECT_NE(fileFace, EmfText("AR PL UMing CN", "Hamburgefonts")) << c.face;
  }
}

TEST(Faces, CjkTextFallsBackToTheCjkFaceOnly) {
  if (!Installed("AR PL UMing CN") || !Installed("Liberation Sans")) GTEST_SKIP() << "fonts missing";
  // Han characters in a Latin face come from the CJK face, exactly as if the
  // file had named it; the Latin letters beside them keep the Latin face.
  const QString han = QString::fromUtf8("汉字");
  EXPECT_EQ(EmfText("Arial", han), EmfText("AR PL UMing CN", han));
  EXPECT_NE(EmfText("Arial", han), EmfText("Noto Sans CJK SC", han));
  const QImage mixed = EmfText("Arial", QString::fromUtf8("Hx汉"));
  const QImage latin = EmfText("Arial", "Hx");
  const QRect latinBox = InkBox(latin);
  EXPECT_EQ(mixed.copy(latinBox), latin.copy(latinBox));
  EXPECT_GT(InkIn(mixed, QRect(latinBox.right() + 2, 0, 60, 100)), 100);
}

// ------------------------------------------------------------- direction

TEST(TextDirection, EscapementFollowsTheMappingsYAxis) {
  // "HHHHHH" 20 pixels high from the picture point (100, 80), where the
  // y-up mapping puts logical (100, 20).
  struct Case {
    const char* name;
    bool yUp;
    int escapement;
    enum { kRight, kUp, kDown } runs;
  } cases[] = {
      {"level", false, 0, Case::kRight},
      {"90 in device-like mapping runs up", false, 900, Case::kUp},
      {"270 in device-like mapping runs down", false, 2700, Case::kDown},
      {"270 with y up runs up", true, 2700, Case::kUp},
      {"90 with y up runs down", true, 900, Case::kDown},
      {"level with y up stays upright", true, 0, Case::kRight},
  };
  for (const Case& c : cases) {
    Emf e(QRect(0, 0, 2000, 2000));
    e.Rec(18, {1}).Rec(22, {24}).Font(1, -20, "DejaVu Sans", c.escapement).Select(1);
    if (c.yUp) e.Rec(17, {8}).Rec(9, {200, -200}).Rec(11, {200, 200}).Rec(10, {0, 100});
    e.TextW(100, c.yUp ? 20 : 80, "HHHHHH");
    const QImage image = Play(e);
    const QRect box = InkBox(image);
    ASSERT_FALSE(box.isEmpty()) << c.name;
    switch (c.runs) {
      case Case::kRight:
        EXPECT_GT(box.width(), 3 * box.height()) << c.name;
        EXPECT_GE(box.left(), 99) << c.name;
        EXPECT_LE(box.bottom(), 81) << c.name;  // upright: the ink stands on the baseline
        break;
      case Case::kUp:
        EXPECT_GT(box.height(), 3 * box.width()) << c.name;
        EXPECT_LE(box.bottom(), 81) << c.name;
        EXPECT_LE(box.right(), 101) << c.name;  // glyph tops lean left when running up
        break;
      case Case::kDown:
        EXPECT_GT(box.height(), 3 * box.width()) << c.name;
        EXPECT_GE(box.top(), 79) << c.name;
        EXPECT_GE(box.left(), 99) << c.name;
        break;
    }
  }
}

TEST(TextDirection, AdvancedModeDrawsGlyphsThroughTheWholeMapping) {
  // The same text under a world transform turning x down the page, and under
  // a mapping with y up: the compatible mode keeps it upright and left to
  // right; the advanced mode turns it with the transform and mirrors it.
  auto ink = [](int mode, bool turned) {
    Emf e(QRect(0, 0, 2000, 2000));
    e.Rec(18, {1}).Rec(22, {24}).Font(1, -20, "DejaVu Sans").Select(1);
    if (turned)
      e.Transform(35, 0, 1, -1, 0, 60, 10).TextW(0, 0, "HHHHHH", 0, mode);  // logical (0, 0) is (60, 10)
    else
      e.Rec(17, {8}).Rec(9, {200, -200}).Rec(11, {200, 200}).Rec(10, {0, 100}).TextW(20, 50, "HHHHHH", 0, mode);
    return InkBox(Play(e));
  };
  const QRect compatibleTurned = ink(1, true), advancedTurned = ink(2, true);
  EXPECT_GT(compatibleTurned.width(), 3 * compatibleTurned.height());
  EXPECT_GT(advancedTurned.height(), 3 * advancedTurned.width());
  EXPECT_GE(advancedTurned.top(), 9);
  EXPECT_GE(advancedTurned.left(), 59);  // turned clockwise: the glyph tops face right
  // y up: the baseline is picture row 50; upright glyphs stand on it,
  // mirrored ones hang from it.
  const QRect compatibleUp = ink(1, false), advancedUp = ink(2, false);
  EXPECT_LE(compatibleUp.bottom(), 51);
  EXPECT_GE(advancedUp.top(), 49);
  EXPECT_GT(advancedUp.height(), 10);
}

// ------------------------------------------------------------- symbol faces

TEST(SymbolFaces, CodePagesMapToTheCharactersTheyShow) {
  struct Case {
    const char* name;
    const char* face;
    QString codePage, unicode;
  } cases[] = {
      {"Symbol letters are Greek", "Symbol", "abcp", QString::fromUtf8("αβχπ")},
      {"Symbol private-use form", "Symbol", QString::fromUtf8("\uF061\uF062\uF063\uF070"), QString::fromUtf8("αβχπ")},
      {"Symbol signs", "Symbol", QString::fromUtf8("\u00A3\u00A5\u00B1\u00D6"), QString::fromUtf8("≤∞±√")},
      {"Wingdings bullets and checks", "Wingdings", QString::fromUtf8("l\u00A7\u00FC\u00FB"),
       QString::fromUtf8("●▪✔✘")},
  };
  for (const Case& c : cases) {
    const QImage mapped = EmfText(c.face, c.codePage);
    EXPECT_GT(InkIn(mapped, mapped.rect()), 100) << c.name;
    EXPECT_EQ(mapped, EmfText(c.face, c.unicode)) << c.name;
    EXPECT_NE(mapped, EmfText("Liberation Serif", c.codePage)) << c.name;
  }
}

// ------------------------------------------------------------- clip paths

namespace {

// A five-pointed star drawn as one self-crossing polygon: centre (50, 50),
// tips 45 pixels out, the first straight up.
std::vector<int> Star() {
  std::vector<int> xy;
  for (int k = 0; k < 5; ++k) {
    const double a = (-90 + 144 * k) * 3.14159265358979 / 180;
    xy.push_back(static_cast<int>(std::lround(50 + 45 * std::cos(a))));
    xy.push_back(static_cast<int>(std::lround(50 + 45 * std::sin(a))));
  }
  return xy;
}

Emf& StarPolygon(Emf& e) {
  QByteArray p;
  for (int i = 0; i < 4; ++i) Put32(p, 0);
  const std::vector<int> xy = Star();
  Put32(p, static_cast<int64_t>(xy.size() / 2));
  for (int v : xy) Put32(p, v);
  return e.Raw(3, p);
}

}  // namespace

TEST(ClipPaths, StarClipsInEveryCombinationMode) {
  // The left half is clipped first; the star path then combines with it.
  const QPoint leftTip(14, 37), rightTip(86, 37), leftOut(8, 85), rightOut(92, 85), pentagon(50, 55);
  struct Case {
    const char* name;
    int mode, fillMode;
    std::vector<QPoint> red, white;
  } cases[] = {
      {"and", 1, 1, {leftTip}, {rightTip, leftOut, rightOut}},
      {"or", 2, 1, {leftTip, rightTip, leftOut}, {rightOut}},
      {"xor", 3, 1, {rightTip, leftOut}, {leftTip, rightOut}},
      {"diff", 4, 1, {leftOut}, {leftTip, rightTip, rightOut}},
      {"copy, alternate: the pentagon is a hole", 5, 1, {leftTip, rightTip}, {leftOut, rightOut, pentagon}},
      {"copy, winding: the pentagon is inside", 5, 2, {leftTip, rightTip, pentagon}, {leftOut, rightOut}},
  };
  for (const Case& c : cases) {
    Emf e;
    e.Brush(1, 0, kRed).Select(1).Select(0x80000008u).Rec(19, {c.fillMode});
    e.Rec(30, {0, 0, 50, 100});  // IntersectClipRect: the left half
    e.Rec(59, {});
    StarPolygon(e).Rec(60, {}).Rec(67, {c.mode});
    e.Rectangle(0, 0, 101, 101);
    const QImage image = Play(e);
    for (QPoint p : c.red) EXPECT_TRUE(Near(image.pixel(p), kRed)) << c.name << " at " << p.x() << "," << p.y();
    for (QPoint p : c.white) EXPECT_TRUE(Near(image.pixel(p), kWhite)) << c.name << " at " << p.x() << "," << p.y();
  }
}

// ------------------------------------------------------------- raster operations

TEST(RasterOperations, BinaryOperationsMixThePenWithThePixelsBeneath) {
  // A thick vertical line of pen colour 0x0000FF (blue) over four stripes:
  // white, red, green and black, drawn under each binary operation.
  const QColor stripes[4] = {kWhite, kRed, QColor(0, 255, 0), kBlack};
  struct Case {
    const char* name;
    int rop2;
    std::function<QRgb(QRgb pen, QRgb under)> mix;
  } cases[] = {
      {"black", 1, [](QRgb, QRgb) { return 0u; }},
      {"not merge pen", 2, [](QRgb p, QRgb d) { return ~(p | d); }},
      {"mask not pen", 3, [](QRgb p, QRgb d) { return ~p & d; }},
      {"not copy pen", 4, [](QRgb p, QRgb) { return ~p; }},
      {"mask pen not", 5, [](QRgb p, QRgb d) { return p & ~d; }},
      {"not", 6, [](QRgb, QRgb d) { return ~d; }},
      {"xor pen", 7, [](QRgb p, QRgb d) { return p ^ d; }},
      {"not mask pen", 8, [](QRgb p, QRgb d) { return ~(p & d); }},
      {"mask pen", 9, [](QRgb p, QRgb d) { return p & d; }},
      {"not xor pen", 10, [](QRgb p, QRgb d) { return ~(p ^ d); }},
      {"nop", 11, [](QRgb, QRgb d) { return d; }},
      {"merge not pen", 12, [](QRgb p, QRgb d) { return ~p | d; }},
      {"copy pen", 13, [](QRgb p, QRgb) { return p; }},
      {"merge pen not", 14, [](QRgb p, QRgb d) { return p | ~d; }},
      {"merge pen", 15, [](QRgb p, QRgb d) { return p | d; }},
      {"white", 16, [](QRgb, QRgb) { return 0xFFFFFFu; }},
  };
  for (const Case& c : cases) {
    Emf e;
    e.Select(0x80000008u);
    for (int i = 0; i < 4; ++i) e.Brush(1 + i, 0, stripes[i]).Select(1 + i).Rectangle(0, 25 * i, 101, 25 * i + 25);
    e.Pen(9, 0, 10, kBlue).Select(9).Rec(20, {c.rop2}).Rec(27, {50, 0}).Rec(54, {50, 100});
    e.Pen(11, 0, 1, kBlue).Select(11).Rec(27, {30, 0}).Rec(54, {30, 100});           // a one-pixel pen
    e.Brush(10, 0, kBlue).Select(10).Select(0x80000008u).Rectangle(70, 0, 90, 100);  // fills mix too
    const QImage image = Play(e);
    for (int i = 0; i < 4; ++i) {
      const QRgb want = c.mix(kBlue.rgb() & 0xFFFFFF, stripes[i].rgb() & 0xFFFFFF) & 0xFFFFFF;
      for (QPoint p : {QPoint(30, 25 * i + 12), QPoint(50, 25 * i + 12), QPoint(80, 25 * i + 12)})
        EXPECT_EQ(image.pixel(p) & 0xFFFFFF, want) << c.name << " over stripe " << i << " at " << p.x();
      EXPECT_TRUE(Near(image.pixel(20, 25 * i + 12), stripes[i])) << c.name << ": outside the line";
    }
  }
}

// ------------------------------------------------------------- bitmaps

TEST(Bitmaps, HalftoneAveragesWhenShrinking) {
  // A 40 x 40 checker of single black and white pixels shrunk into 10 x 10:
  // HALFTONE gives even grey; the colour-on-colour mode keeps single pixels.
  std::vector<uint32_t> checker(40 * 40);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) checker[static_cast<size_t>(y * 40 + x)] = (x + y) % 2 ? 0xFFFFFF : 0x000000;
  const QByteArray dib = Dib(40, 40, 24, checker);
  for (int mode : {4, 3}) {
    Emf e;
    e.Rec(21, {mode}).StretchDib(QRect(20, 20, 10, 10), QRect(0, 0, 40, 40), dib);
    const QImage image = Play(e);
    for (int y = 21; y < 29; ++y)
      for (int x = 21; x < 29; ++x) {
        const int grey = qGray(image.pixel(x, y));
        if (mode == 4)
          EXPECT_NEAR(grey, 128, 12) << "halftone at " << x << "," << y;
        else
          EXPECT_TRUE(grey < 10 || grey > 245) << "colour on colour at " << x << "," << y << ": " << grey;
      }
    EXPECT_TRUE(Near(image.pixel(15, 15), kWhite));
  }
}

TEST(Bitmaps, SourceOutsideTheBitmapLeavesItsPartOfTheDestination) {
  // A 4 x 4 red bitmap. Each copy's source rectangle reaches past the
  // bitmap: only the part inside lands, at its proportional place.
  const QByteArray red = Dib(4, 4, 24, std::vector<uint32_t>(16, 0xFF0000));
  const QByteArray redTopDown = Dib(4, -4, 24, std::vector<uint32_t>(16, 0xFF0000));
  struct Case {
    const char* name;
    std::function<void(Emf&)> draw;
    QRect red, white;
  } cases[] = {
      // EMR_BITBLT of 40 x 40 from a 4 x 4 bitmap: 4 x 4 pixels copied.
      {"bitblt larger than the bitmap",
       [&](Emf& e) { e.Raw(76, StretchLayout(QRect(10, 10, 40, 40), QRect(0, 0, 40, 40), 0x00CC0020, red, 40)); },
       QRect(10, 10, 4, 4), QRect(16, 16, 30, 30)},
      // StretchDIBits of source (-4, -4, 8, 8) onto 0..80: the rows of a
      // top-down bitmap count from its top, so the bitmap is the lower right
      // quarter of the source and lands in the lower right of the dest.
      {"stretch from before the origin",
       [redTopDown](Emf& e) { e.StretchDib(QRect(0, 0, 80, 80), QRect(-4, -4, 8, 8), redTopDown); },
       QRect(42, 42, 36, 36), QRect(2, 2, 36, 36)},
      // A bottom-up bitmap's source rows count from its bottom row: the same
      // rectangle holds the bitmap in its upper right quarter.
      {"bottom-up rows count from the bottom",
       [&](Emf& e) { e.StretchDib(QRect(0, 0, 80, 80), QRect(-4, -4, 8, 8), red); }, QRect(42, 2, 36, 36),
       QRect(2, 42, 36, 36)},
      {"source wholly outside draws nothing",
       [&](Emf& e) { e.StretchDib(QRect(0, 0, 80, 80), QRect(-6, -6, 2, 2), red); }, QRect(), QRect(0, 0, 80, 80)},
  };
  for (const auto& c : cases) {
    Emf e;
    c.draw(e);
    const QImage image = Play(e);
    if (!c.red.isEmpty()) {
      EXPECT_EQ(CountNear(image, c.red, kRed, 8), c.red.width() * c.red.height()) << c.name;
    }
    EXPECT_EQ(InkIn(image, c.white), 0) << c.name;
  }
}

// ------------------------------------------------------------- text in paths, glyph numbers

namespace {

// "HHHH" in DejaVu Sans, 40 pixels, baseline at y 70 from x 10, between
// BeginPath and EndPath, then `use` (the records that consume the path).
QImage PathText(const std::function<void(Emf&)>& use) {
  Emf e(QRect(0, 0, 2000, 1000));
  e.Rec(18, {1}).Rec(22, {24}).Font(1, -40, "DejaVu Sans").Select(1);
  e.Brush(2, 0, kRed).Select(2).Pen(3, 0, 1, kBlue).Select(3);
  e.Rec(59, {}).TextW(10, 70, "HHHH").Rec(60, {});
  use(e);
  return Play(e);
}

}  // namespace

TEST(TextInPaths, GlyphOutlinesBecomeThePath) {
  if (!Installed("DejaVu Sans")) GTEST_SKIP() << "DejaVu Sans is not installed";
  // Drawn plainly, the same text in black, to know where its ink lies.
  Emf plain(QRect(0, 0, 2000, 1000));
  plain.Rec(18, {1}).Rec(22, {24}).Font(1, -40, "DejaVu Sans").Select(1).TextW(10, 70, "HHHH");
  const QImage reference = Play(plain);
  const QRect textBox = InkBox(reference);
  ASSERT_GT(textBox.width(), 80);
  const int textInk = InkIn(reference, textBox);
  const QRect outside(0, 0, 200, 100);
  struct Case {
    const char* name;
    std::function<void(Emf&)> use;
    QColor colour;
  } cases[] = {
      {"FillPath fills the glyphs with the brush",
       [](Emf& e) {
         e.Rec(62, {0, 0, 0, 0});
       },
       kRed},
      {"StrokeAndFillPath",
       [](Emf& e) {
         e.Rec(63, {0, 0, 0, 0});
       },
       kRed},
      {"StrokePath outlines them with the pen",
       [](Emf& e) {
         e.Rec(64, {0, 0, 0, 0});
       },
       kBlue},
      {"SelectClipPath lets a later fill through the glyphs only",
       [](Emf& e) { e.Rec(67, {5}).Brush(4, 0, kGreen).Select(4).Select(0x80000008u).Rectangle(0, 0, 200, 100); },
       kGreen},
  };
  for (const Case& c : cases) {
    const QImage image = PathText(c.use);
    const int coloured = CountNear(image, textBox, c.colour, 40);
    EXPECT_GT(coloured, textInk / 3) << c.name;
    EXPECT_EQ(CountNear(image, textBox, kBlack, 60), 0) << c.name << ": the text is not painted as text";
    EXPECT_EQ(InkIn(image, outside) - InkIn(image, textBox.adjusted(-2, -2, 2, 2)), 0)
        << c.name << ": nothing outside the glyphs";
  }
  // Filled, the path covers about what the text itself inks.
  const int filled = CountNear(PathText([](Emf& e) { e.Rec(62, {0, 0, 0, 0}); }), textBox, kRed, 40);
  EXPECT_NEAR(filled, textInk, textInk / 4);
  // A path aborted after the text draws nothing at all.
  EXPECT_EQ(InkIn(PathText([](Emf& e) { e.Rec(68, {}).Rec(62, {0, 0, 0, 0}); }), outside), 0);
}

namespace {

// Text given as glyph numbers of its face (ETO_GLYPH_INDEX), with warnings.
QImage GlyphText(const QString& face, const QVector<quint32>& glyphs, std::vector<std::string>* warnings) {
  QString units;
  for (quint32 g : glyphs) units += QChar(static_cast<char16_t>(g));
  Emf e(QRect(0, 0, 2000, 1000));
  e.Rec(18, {1}).Rec(22, {24}).Font(1, -40, face).Select(1).TextW(10, 60, units, 0x10);
  return zindrel::RenderMetafile(e.Finish(), 254, warnings);
}

}  // namespace

TEST(GlyphNumbers, DrawnWithTheFaceTheyBelongTo) {
  if (!Installed("DejaVu Sans") || !Installed("Liberation Sans")) GTEST_SKIP() << "fonts missing";
  struct Case {
    const char* name;
    const char* face;
    const char* glyphFace;  // whose numbers the file holds
  } cases[] = {
      {"an installed face", "DejaVu Sans", "DejaVu Sans"},
      // Arial's numbers for the Latin letters are those of its stand-in.
      {"Arial through Liberation Sans", "Arial", "Liberation Sans"},
  };
  for (const Case& c : cases) {
    QFont font(c.glyphFace);
    font.setPixelSize(40);
    const QVector<quint32> glyphs = QRawFont::fromFont(font).glyphIndexesForString("Hxmo");
    std::vector<std::string> warnings;
    const QImage numbers = GlyphText(c.face, glyphs, &warnings);
    const QImage characters = EmfText(c.face, "Hxmo");
    EXPECT_TRUE(warnings.empty()) << c.name;
    const QRect box = InkBox(characters);
    EXPECT_GT(box.width(), 60) << c.name;
    const QRect drawn = InkBox(numbers);
    EXPECT_LE((drawn.topLeft() - box.topLeft()).manhattanLength(), 2) << c.name;
    EXPECT_LE((drawn.bottomRight() - box.bottomRight()).manhattanLength(), 3) << c.name;
    const int a = InkIn(numbers, numbers.rect()), b = InkIn(characters, characters.rect());
    EXPECT_NEAR(a, b, b / 10) << c.name;
  }
}

TEST(GlyphNumbers, OfAFaceNotInstalledAreNamedNotGuessed) {
  std::vector<std::string> warnings;
  const QImage image = GlyphText("Zindrel Missing Face", {36, 68, 19}, &warnings);
  EXPECT_EQ(InkIn(image, image.rect()), 0);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0], "text in glyph numbers of Zindrel Missing Face not drawn (the face is not installed)");
}

// ------------------------------------------------------------- a WMF carrying its EMF

namespace {

// A placeable WMF, 100 x 100 pixels at 96 dpi, whose own records fill it
// black, carrying `emf` in MFCOMMENT escapes of `piece` bytes each; `damage`
// changes a piece's count of bytes still to come.
QByteArray WmfCarrying(const QByteArray& emf, int piece, bool damage = false) {
  Wmf w(true, QRect(0, 0, 100, 100), 96);
  w.Brush(0, kBlack).Select(0).Rectangle(0, 0, 101, 101);
  for (int at = 0; at < emf.size(); at += piece) {
    const QByteArray part = emf.mid(at, piece);
    const int remaining = static_cast<int>(emf.size() - at - part.size()) + (damage && at > 0 ? 1 : 0);
    QByteArray p;
    Put16(p, 0x000F);            // MFCOMMENT
    Put16(p, 34 + part.size());  // bytes that follow
    p += "WMFC";
    for (int64_t v : {1, 0x10000}) Put32(p, v);  // kind, version
    Put16(p, 0);                                 // checksum
    const int64_t pieces = (emf.size() + piece - 1) / piece;
    for (int64_t v : std::initializer_list<int64_t>{0, pieces, part.size(), remaining, emf.size()})
      Put32(p, v);  // flags, pieces, this piece, still to come, whole size
    w.Raw(0x0626, p + part);
  }
  return w.Finish();
}

}  // namespace

TEST(EmbeddedEmf, TheEmfAWmfCarriesDrawsInItsPlace) {
  // The EMF draws a red square over a frame of 0..1000 (0.01 mm), played
  // onto the WMF's 100 x 100 picture.
  Emf inner;
  inner.Brush(1, 0, kRed).Select(1).Select(0x80000008u).Rectangle(20, 20, 60, 60);
  const QByteArray emf = inner.Finish();
  struct Case {
    const char* name;
    QByteArray wmf;
    QColor atCentre, atCorner;
  } cases[] = {
      {"in one piece", WmfCarrying(emf, 100000), kRed, kWhite},
      {"in pieces of 64 bytes", WmfCarrying(emf, 64), kRed, kWhite},
      {"pieces that do not add up: the WMF records draw", WmfCarrying(emf, 64, true), kBlack, kBlack},
      // The EMF's own header still gives the size it had.
      {"an EMF cut short: the WMF records draw", WmfCarrying(emf.left(emf.size() - 8), 64), kBlack, kBlack},
  };
  for (const Case& c : cases) {
    const QImage image = zindrel::RenderMetafile(c.wmf, 96);
    ASSERT_EQ(image.size(), QSize(100, 100)) << c.name;
    EXPECT_TRUE(Near(image.pixel(40, 40), c.atCentre)) << c.name;
    EXPECT_TRUE(Near(image.pixel(5, 90), c.atCorner)) << c.name;
  }
}

// ------------------------------------------------------------- advances

namespace {

// EMR_EXTTEXTOUTW with one advance per character.
Emf& TextWithAdvances(Emf& e, int x, int y, const QString& text, const std::vector<int>& dx) {
  QByteArray p;
  for (int i = 0; i < 4; ++i) Put32(p, 0);  // bounds
  Put32(p, 1);
  PutF32(p, 1);
  PutF32(p, 1);
  Put32(p, x);
  Put32(p, y);
  Put32(p, text.size());
  Put32(p, 76);  // the string right after the fixed part
  Put32(p, 0);   // options
  for (int i = 0; i < 4; ++i) Put32(p, 0);
  const int64_t offDx = 76 + ((text.size() * 2 + 3) / 4) * 4;
  Put32(p, offDx);
  for (QChar c : text) Put16(p, c.unicode());
  while (p.size() + 8 < offDx) p.append('\0');
  for (int d : dx) Put32(p, d);
  return e.Raw(84, p);
}

}  // namespace

TEST(Advances, ZeroAdvancesJoinTheCharacterBefore) {
  // "xffiy" laid out with the ligature's advance on the first "f" and none
  // on the "f" and "i" after it: drawn as "x", "ffi" and "y" each at its
  // place, not as three glyphs piled where the "y" goes.
  auto setup = [](Emf& e) { e.Rec(18, {1}).Rec(22, {24}).Font(1, -30, "DejaVu Sans").Select(1); };
  Emf laidOut(QRect(0, 0, 2000, 1000));
  setup(laidOut);
  TextWithAdvances(laidOut, 10, 60, "xffiy", {20, 40, 0, 0, 20});
  Emf pieces(QRect(0, 0, 2000, 1000));
  setup(pieces);
  pieces.TextW(10, 60, "x").TextW(30, 60, "ffi").TextW(70, 60, "y");
  const QImage image = Play(laidOut);
  EXPECT_GT(InkIn(image, image.rect()), 150);
  EXPECT_EQ(image, Play(pieces));
}
