// The metafile player against expected pixels, one family of records at a
// time. Every file is written by the test itself (metafile_writer.h).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QStringEncoder>
#include <functional>

#include "core/errors.h"
#include "metafile/metafile.h"
#include "support/gui_app.h"
#include "support/metafile_writer.h"

using namespace mftest;

namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { zindrel::testing::EnsureGuiApp(); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

const QColor kRed(255, 0, 0), kBlue(0, 0, 255), kGreen(0, 128, 0), kBlack(0, 0, 0), kWhite(255, 255, 255);

QImage PlayWmf(const Wmf& w, double dpi = 96) { return zindrel::RenderMetafile(w.Finish(), dpi); }
QImage PlayEmf(const Emf& e) { return zindrel::RenderMetafile(e.Finish(), 254); }

// A WMF of 100 x 100 pixels whose pen is null and brush solid red, ready
// for shapes.
Wmf RedFill() {
  Wmf w;
  w.Pen(5, 0, kBlack).Select(0).Brush(0, kRed).Select(1);
  return w;
}

}  // namespace

// ------------------------------------------------------------- recognition and size

TEST(MetafileRecognition, Signatures) {
  struct Case {
    const char* name;
    QByteArray data;
    bool expected;
  } cases[] = {
      {"placeable wmf", Wmf().Finish(), true},
      {"standard wmf", Wmf(false).Finish(), true},
      {"emf", Emf().Finish(), true},
      {"bmp", QByteArray("BM\x10\x00\x00\x00", 6), false},
      {"empty", QByteArray(), false},
      {"short", QByteArray("\xD7\xCD", 2), false},
      {"header size 8", QByteArray::fromHex("01000800"), false},
      {"emf without signature", Emf().Finish().replace(40, 4, "XXXX"), false},
  };
  for (const Case& c : cases) EXPECT_EQ(zindrel::IsMetafile(c.data), c.expected) << c.name;
}

TEST(MetafileSize, FromHeadersAtTheGivenResolution) {
  struct Case {
    const char* name;
    QByteArray data;
    double dpi;
    QSize expected;
  } cases[] = {
      {"placeable, 1440 per inch", Wmf(true, QRect(0, 0, 1440, 720), 1440).Finish(), 96, QSize(96, 48)},
      {"placeable at 192 dpi", Wmf(true, QRect(0, 0, 1440, 720), 1440).Finish(), 192, QSize(192, 96)},
      {"placeable box off origin", Wmf(true, QRect(-500, 300, 1000, 500), 1000).Finish(), 100, QSize(100, 50)},
      {"emf frame 0.01 mm", Emf(QRect(0, 0, 2540, 1270)).Finish(), 96, QSize(96, 48)},
      {"standard wmf, window", Wmf(false).WindowOrg(0, 0).WindowExt(200, 50).Finish(), 96, QSize(200, 50)},
      {"standard wmf, window at 192", Wmf(false).WindowExt(200, 50).Finish(), 192, QSize(400, 100)},
      {"standard wmf, huge window fitted", Wmf(false).WindowExt(30000, 15000).Finish(), 96, QSize(4096, 2048)},
      {"standard wmf, drawing measured", Wmf(false).Rectangle(10, 20, 70, 50).Finish(), 96, QSize(61, 31)},
  };
  for (const Case& c : cases) {
    const QImage image = zindrel::RenderMetafile(c.data, c.dpi);
    EXPECT_EQ(image.size(), c.expected) << c.name;
    EXPECT_EQ(image.format(), QImage::Format_RGB32) << c.name;
  }
}

TEST(MetafileSize, BlankPictureIsWhite) {
  const QImage image = PlayWmf(Wmf());
  EXPECT_EQ(InkIn(image, image.rect()), 0);
}

// ------------------------------------------------------------- mapping and state

struct MappingCase {
  const char* name;
  std::function<void(Wmf&)> setup;
  QRect logical;   // rectangle drawn in logical units
  QRect expected;  // where it must land in picture pixels (inclusive)
};

class WmfMapping : public ::testing::TestWithParam<MappingCase> {};

TEST_P(WmfMapping, RectangleLandsWhereTheMappingSays) {
  const MappingCase& c = GetParam();
  Wmf w = RedFill();
  c.setup(w);
  w.Rectangle(c.logical.left(), c.logical.top(), c.logical.right() + 1, c.logical.bottom() + 1);
  const QImage image = PlayWmf(w);
  const QRect e = c.expected;
  EXPECT_TRUE(Near(image.pixel(e.center()), kRed)) << c.name;
  EXPECT_TRUE(Near(image.pixel(e.left() + 1, e.top() + 1), kRed)) << c.name;
  EXPECT_TRUE(Near(image.pixel(e.right() - 1, e.bottom() - 1), kRed)) << c.name;
  const QRect outside = e.adjusted(-3, -3, 3, 3);
  for (QPoint p : {outside.topLeft(), outside.bottomRight(), outside.topRight(), outside.bottomLeft()})
    if (image.rect().contains(p)) {
      EXPECT_TRUE(Near(image.pixel(p), kWhite)) << c.name << " at " << p.x() << "," << p.y();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WmfMapping,
    ::testing::Values(
        MappingCase{"placeable box is the window", [](Wmf&) {}, QRect(10, 10, 20, 20), QRect(10, 10, 20, 20)},
        MappingCase{"window origin", [](Wmf& w) { w.WindowOrg(50, 50); }, QRect(60, 60, 20, 20), QRect(10, 10, 20, 20)},
        MappingCase{"window extent halves", [](Wmf& w) { w.WindowExt(200, 200); }, QRect(100, 100, 80, 60),
                    QRect(50, 50, 40, 30)},
        MappingCase{"anisotropic stretch", [](Wmf& w) { w.WindowExt(50, 200); }, QRect(10, 40, 20, 80),
                    QRect(20, 20, 40, 40)},
        MappingCase{"isotropic keeps the aspect",
                    [](Wmf& w) { w.MapMode(7).WindowExt(200, 100).ViewportExt(100, 100); }, QRect(20, 20, 100, 60),
                    QRect(10, 10, 50, 30)},
        MappingCase{"flipped window", [](Wmf& w) { w.WindowOrg(0, 100).WindowExt(100, -100); }, QRect(10, 70, 20, 20),
                    QRect(10, 11, 20, 20)},
        MappingCase{"viewport origin", [](Wmf& w) { w.ViewportOrg(30, 40); }, QRect(0, 0, 20, 20),
                    QRect(30, 40, 20, 20)},
        MappingCase{"offset window origin",
                    [](Wmf& w) {
                      w.Rec(0x020F, {-10, -20});
                    },
                    QRect(0, 0, 20, 20), QRect(20, 10, 20, 20)},
        MappingCase{"scale window extent",
                    [](Wmf& w) {
                      w.Rec(0x0410, {1, 2, 1, 2});
                    },
                    QRect(10, 10, 20, 20), QRect(5, 5, 10, 10)},
        MappingCase{"text mode ignores extents", [](Wmf& w) { w.MapMode(1).WindowExt(1000, 1000); },
                    QRect(10, 10, 20, 20), QRect(10, 10, 20, 20)},
        MappingCase{"saved mapping restored", [](Wmf& w) { w.Rec(0x001E, {}).WindowExt(400, 400).Rec(0x0127, {-1}); },
                    QRect(10, 10, 20, 20), QRect(10, 10, 20, 20)},
        MappingCase{
            "restore by absolute level",
            [](Wmf& w) { w.Rec(0x001E, {}).WindowOrg(50, 50).Rec(0x001E, {}).WindowExt(400, 400).Rec(0x0127, {1}); },
            QRect(10, 10, 20, 20), QRect(10, 10, 20, 20)}),
    [](const ::testing::TestParamInfo<MappingCase>& param) { return std::to_string(param.index); });

TEST(EmfMapping, WorldTransformsAndMetricModes) {
  struct Case {
    const char* name;
    std::function<void(Emf&)> setup;
    QRect logical;
    QRect expected;
  } cases[] = {
      {"device units", [](Emf&) {}, QRect(10, 10, 20, 20), QRect(10, 10, 20, 20)},
      {"world scale", [](Emf& e) { e.Transform(35, 2, 0, 0, 2, 0, 0); }, QRect(10, 10, 20, 20), QRect(20, 20, 40, 40)},
      {"world translate then left-multiplied scale",
       [](Emf& e) { e.Transform(35, 1, 0, 0, 1, 30, 0).Transform(36, 2, 0, 0, 2, 0, 0, 2); }, QRect(5, 5, 10, 10),
       QRect(40, 10, 20, 20)},
      {"right-multiplied translate",
       [](Emf& e) { e.Transform(35, 2, 0, 0, 2, 0, 0).Transform(36, 1, 0, 0, 1, 30, 0, 3); }, QRect(5, 5, 10, 10),
       QRect(40, 10, 20, 20)},
      {"identity reset", [](Emf& e) { e.Transform(35, 3, 0, 0, 3, 0, 0).Transform(36, 1, 0, 0, 1, 0, 0, 1); },
       QRect(10, 10, 20, 20), QRect(10, 10, 20, 20)},
      {"lometric (0.1 mm, y up)",
       [](Emf& e) {
         e.Rec(17, {2}).Rec(12, {0, 100});
       },
       QRect(20, 20, 20, 40), QRect(20, 40, 20, 40)},
      {"anisotropic",
       [](Emf& e) {
         e.Rec(17, {8}).Rec(9, {1000, 1000}).Rec(11, {100, 100});
       },
       QRect(100, 200, 300, 400), QRect(10, 20, 30, 40)},
  };
  for (const auto& c : cases) {
    Emf e;
    e.Pen(1, 5, 0, kBlack).Select(1).Brush(2, 0, kBlue).Select(2);
    c.setup(e);
    e.Rectangle(c.logical.left(), c.logical.top(), c.logical.right() + 1, c.logical.bottom() + 1);
    const QImage image = PlayEmf(e);
    const QRect x = c.expected;
    EXPECT_TRUE(Near(image.pixel(x.center()), kBlue)) << c.name;
    EXPECT_TRUE(Near(image.pixel(x.left() + 1, x.top() + 1), kBlue)) << c.name;
    EXPECT_TRUE(Near(image.pixel(x.right() - 1, x.bottom() - 1), kBlue)) << c.name;
    EXPECT_TRUE(Near(image.pixel(x.left() - 3, x.top() - 3), kWhite)) << c.name;
    EXPECT_TRUE(Near(image.pixel(std::min(99, x.right() + 3), std::min(99, x.bottom() + 3)), kWhite)) << c.name;
  }
}

TEST(ObjectTable, NewObjectsTakeTheLowestFreeSlot) {
  // Slots: 0 pen, 1 blue brush; delete 0; a red brush then lands in 0.
  Wmf w;
  w.Pen(5, 0, kBlack).Brush(0, kBlue).Select(0).Delete(0).Brush(0, kRed).Select(0).Rectangle(0, 0, 50, 100);
  w.Select(1).Rectangle(50, 0, 100, 100);
  const QImage image = PlayWmf(w);
  EXPECT_TRUE(Near(image.pixel(25, 50), kRed));
  EXPECT_TRUE(Near(image.pixel(75, 50), kBlue));
}

TEST(ObjectTable, FreedSlotsAreReusedLowestFirst) {
  // Slots 0, 1, 2 taken; 2 then 0 freed; the next two brushes land in 0 and 2.
  Wmf w;
  w.Pen(5, 0, kBlack).Select(0).Brush(0, kBlack).Brush(0, kBlack).Delete(2).Delete(0);
  w.Brush(0, kRed).Brush(0, kBlue).Brush(0, kGreen);  // slots 0, 2, 3
  w.Select(0).Rectangle(0, 0, 30, 100).Select(2).Rectangle(30, 0, 60, 100).Select(3).Rectangle(60, 0, 100, 100);
  const QImage image = PlayWmf(w);
  EXPECT_TRUE(Near(image.pixel(15, 50), kRed));
  EXPECT_TRUE(Near(image.pixel(45, 50), kBlue));
  EXPECT_TRUE(Near(image.pixel(80, 50), kGreen));
}

TEST(ObjectTable, SelectingAMissingObjectKeepsTheCurrentOne) {
  Wmf w = RedFill();
  w.Select(40).Delete(1).Rectangle(0, 0, 100, 100);
  EXPECT_TRUE(Near(PlayWmf(w).pixel(50, 50), kRed));
}

TEST(EmfObjects, StockObjects) {
  Emf e;
  e.Brush(1, 0, kBlue).Select(1).Select(0x80000008u).Select(0x80000004u).Rectangle(0, 0, 50, 100);
  e.Select(0x80000005u).Select(0x80000007u).Rectangle(50, 0, 100, 100);
  const QImage image = PlayEmf(e);
  EXPECT_TRUE(Near(image.pixel(25, 50), kBlack));  // black stock brush, null stock pen
  EXPECT_TRUE(Near(image.pixel(75, 50), kWhite));  // null brush: hollow
  EXPECT_TRUE(Near(image.pixel(50, 50), kBlack));  // black pen outline
}

// ------------------------------------------------------------- pens

TEST(Pens, StylesWidthsAndColours) {
  struct Case {
    const char* name;
    int style, width;
    int minInk, maxInk;  // ink pixels along row 50 between x = 10 and 89
  } cases[] = {
      {"solid thin", 0, 1, 80, 80},   {"solid wide", 0, 9, 80, 80},   {"null", 5, 1, 0, 0},
      {"dash", 1, 1, 50, 72},         {"dot", 2, 1, 30, 50},          {"dash dot", 3, 1, 40, 68},
      {"dash dot dot", 4, 1, 40, 68}, {"inside frame", 6, 3, 80, 80},
  };
  for (const Case& c : cases) {
    Wmf w;
    w.Rec(0x0102, {1});  // transparent background: dash gaps stay white
    w.Pen(c.style, c.width, kGreen).Select(0).MoveTo(10, 50).LineTo(90, 50);
    const QImage image = PlayWmf(w);
    const int ink = InkIn(image, QRect(10, 50, 80, 1));
    EXPECT_GE(ink, c.minInk) << c.name;
    EXPECT_LE(ink, c.maxInk) << c.name;
    if (c.maxInk > 0) {
      EXPECT_TRUE(Near(image.pixel(11, 50), kGreen, 40)) << c.name;
    }
    // A wide pen is wide: rows 46 and 54 are inked only by the 9-pixel pen.
    EXPECT_EQ(InkIn(image, QRect(20, 46, 60, 1)) > 0, c.width == 9) << c.name;
  }
}

TEST(Pens, OpaqueBackgroundFillsDashGaps) {
  Wmf w;
  w.Colour(0x0201, kBlue).Pen(1, 1, kRed).Select(0).MoveTo(10, 50).LineTo(90, 50);
  const QImage image = PlayWmf(w);
  int red = 0, blue = 0;
  for (int x = 10; x < 90; ++x) {
    red += Near(image.pixel(x, 50), kRed);
    blue += Near(image.pixel(x, 50), kBlue);
  }
  EXPECT_GT(red, 40);
  EXPECT_GT(blue, 10);
  EXPECT_EQ(red + blue, 80);
}

// ------------------------------------------------------------- brushes

TEST(Brushes, SixHatchStylesDrawTheirLines) {
  // Each style: which of the 8 x 8 cell's pixels are inked (the pattern is
  // anchored at the picture's origin).
  const std::function<bool(int, int)> expected[6] = {
      [](int, int y) { return y == 0; },
      [](int x, int) { return x == 0; },
      [](int x, int y) { return x == y; },
      [](int x, int y) { return x == 7 - y; },
      [](int x, int y) { return x == 0 || y == 0; },
      [](int x, int y) { return x == y || x == 7 - y; },
  };
  for (int style = 0; style < 6; ++style) {
    for (bool opaque : {false, true}) {
      Wmf w;
      w.Rec(0x0102, {opaque ? 2 : 1}).Colour(0x0201, kBlue);
      w.Pen(5, 0, kBlack).Select(0).Brush(2, kRed, style).Select(1).Rectangle(0, 0, 100, 100);
      const QImage image = PlayWmf(w);
      for (int y = 16; y < 24; ++y) {
        for (int x = 16; x < 24; ++x) {
          const QColor want = expected[style](x % 8, y % 8) ? kRed : opaque ? kBlue : kWhite;
          ASSERT_TRUE(Near(image.pixel(x, y), want))
              << "style " << style << " opaque " << opaque << " at " << x << "," << y;
        }
      }
    }
  }
}

TEST(Brushes, DibPatternBrushTilesTheBitmap) {
  // A 2 x 2 checker of red and blue (24 bits) as the pattern.
  const QByteArray dib = Dib(2, 2, 24, {0xFF0000, 0x0000FF, 0x0000FF, 0xFF0000});
  QByteArray payload;
  Put16(payload, 5);
  Put16(payload, 0);
  payload += dib;
  Wmf w;
  w.Pen(5, 0, kBlack).Select(0).Raw(0x0142, payload).Select(1).Rectangle(0, 0, 100, 100);
  const QImage image = PlayWmf(w);
  for (int y = 10; y < 14; ++y)
    for (int x = 10; x < 14; ++x) EXPECT_TRUE(Near(image.pixel(x, y), (x + y) % 2 ? kBlue : kRed)) << x << "," << y;
}

TEST(Brushes, EmfMonochromePatternUsesTextAndBackgroundColours) {
  const QByteArray dib = Dib(2, 2, 1, {0, 1, 1, 0}, {kBlack, kWhite});
  QByteArray p;
  for (int v : {1, 0, 32, 48, 80, 8}) Put32(p, v);  // slot, usage, offBmi, cbBmi, offBits, cbBits
  p += dib;
  Emf e;
  e.Rec(24, {Ref(kGreen)}).Rec(25, {Ref(kBlue)});
  e.Raw(93, p).Select(1).Select(0x80000008u).Rectangle(0, 0, 100, 100);
  const QImage image = PlayEmf(e);
  EXPECT_TRUE(Near(image.pixel(10, 10), kGreen));
  EXPECT_TRUE(Near(image.pixel(11, 10), kBlue));
}

// ------------------------------------------------------------- shapes

struct ShapeCase {
  const char* name;
  std::function<void(Wmf&)> draw;
  std::vector<QPoint> inked;
  std::vector<QPoint> blank;
};

class WmfShapes : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(WmfShapes, InkWhereTheShapeIs) {
  const ShapeCase& c = GetParam();
  Wmf w;
  w.Pen(0, 1, kBlack).Select(0).Brush(0, kRed).Select(1);
  c.draw(w);
  const QImage image = PlayWmf(w);
  for (QPoint p : c.inked)
    EXPECT_GT(InkIn(image, QRect(p.x() - 1, p.y() - 1, 3, 3)), 0) << c.name << " at " << p.x() << "," << p.y();
  for (QPoint p : c.blank) EXPECT_EQ(image.pixel(p) & 0xFFFFFF, 0xFFFFFFu) << c.name << " at " << p.x() << "," << p.y();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WmfShapes,
    ::testing::Values(
        ShapeCase{"rectangle",
                  [](Wmf& w) { w.Rectangle(20, 20, 80, 80); },
                  {{50, 50}, {20, 50}, {22, 22}},
                  {{15, 50}, {85, 50}}},
        ShapeCase{"round rectangle",
                  [](Wmf& w) {
                    w.Rec(0x061C, {30, 30, 80, 80, 20, 20});
                  },
                  {{50, 50}, {50, 21}},
                  {{21, 21}, {78, 78}}},
        ShapeCase{
            "ellipse", [](Wmf& w) { w.Ellipse(20, 20, 80, 80); }, {{50, 50}, {50, 22}, {22, 50}}, {{23, 23}, {77, 77}}},
        // Pie from the right (angle 0) counter-clockwise to the top: the upper-right quarter.
        ShapeCase{"pie",
                  [](Wmf& w) {
                    w.Rec(0x081A, {0, 50, 50, 100, 80, 80, 20, 20});
                  },
                  {{60, 40}, {70, 35}},
                  {{40, 60}, {40, 40}, {60, 60}}},
        ShapeCase{"chord",
                  [](Wmf& w) {
                    w.Rec(0x0830, {0, 50, 50, 100, 80, 80, 20, 20});
                  },
                  {{70, 30}},
                  {{55, 45}, {40, 60}}},
        ShapeCase{"arc",
                  [](Wmf& w) {
                    w.Rec(0x0817, {0, 50, 50, 100, 80, 80, 20, 20});
                  },
                  {{50, 20}, {79, 50}},
                  {{60, 40}, {50, 50}, {20, 50}}},
        ShapeCase{"polygon",
                  [](Wmf& w) {
                    w.Poly(0x0324, {10, 90, 50, 10, 90, 90});
                  },
                  {{50, 60}, {50, 12}},
                  {{15, 20}, {85, 20}}},
        ShapeCase{"polyline",
                  [](Wmf& w) {
                    w.Poly(0x0325, {10, 90, 50, 10, 90, 90});
                  },
                  {{30, 50}, {50, 11}},
                  {{50, 60}}},
        ShapeCase{"line", [](Wmf& w) { w.MoveTo(10, 10).LineTo(90, 90); }, {{50, 50}, {20, 20}}, {{50, 20}}},
        ShapeCase{"pixel",
                  [](Wmf& w) {
                    w.Rec(0x041F, {0x00FF, 0x0000, 40, 30});
                  },
                  {{30, 40}},
                  {{31, 41}, {29, 39}}},
        // Two nested squares: alternate fill leaves the hole, winding fills it.
        ShapeCase{"poly-polygon alternate",
                  [](Wmf& w) {
                    w.Rec(0x0538, {2, 4, 4, 10, 10, 90, 10, 90, 90, 10, 90, 30, 30, 70, 30, 70, 70, 30, 70});
                  },
                  {{20, 20}, {80, 50}},
                  {{50, 50}}},
        ShapeCase{
            "poly-polygon winding",
            [](Wmf& w) {
              w.Rec(0x0106, {2}).Rec(0x0538, {2, 4, 4, 10, 10, 90, 10, 90, 90, 10, 90, 30, 30, 70, 30, 70, 70, 30, 70});
            },
            {{20, 20}, {50, 50}},
            {{5, 5}}}),
    [](const ::testing::TestParamInfo<ShapeCase>& param) { return std::to_string(param.index); });

TEST(EmfShapes, BeziersPolygonsAndPolyPolygonsInBothPointSizes) {
  struct Case {
    const char* name;
    std::function<void(Emf&)> draw;
    std::vector<QPoint> inked, blank;
  } cases[] = {
      // A cubic from (10,90) bowing up to y = 30 at its middle.
      {"bezier",
       [](Emf& e) {
         e.Poly(2, {10, 90, 30, 10, 70, 10, 90, 90});
       },
       {{50, 30}, {10, 90}},
       {{50, 50}, {50, 20}}},
      {"bezier 16",
       [](Emf& e) {
         e.Poly16(85, {10, 90, 30, 10, 70, 10, 90, 90});
       },
       {{50, 30}},
       {{50, 50}}},
      {"bezier to from the position",
       [](Emf& e) {
         e.Rec(27, {10, 90}).Poly16(88, {30, 10, 70, 10, 90, 90});
       },
       {{50, 30}},
       {{50, 50}}},
      {"polygon 16",
       [](Emf& e) {
         e.Poly16(86, {10, 90, 50, 10, 90, 90});
       },
       {{50, 60}},
       {{15, 20}}},
      {"polyline to",
       [](Emf& e) {
         e.Rec(27, {10, 10}).Poly(6, {90, 10, 90, 90});
       },
       {{50, 10}, {90, 50}},
       {{50, 50}}},
      {"poly-polygon 16",
       [](Emf& e) {
         QByteArray p;
         for (int v : {0, 0, 0, 0, 2, 6, 3, 3}) Put32(p, v);
         for (int v : {10, 10, 40, 10, 10, 40, 60, 60, 90, 60, 60, 90}) Put16(p, v);
         e.Raw(91, p);
       },
       {{15, 15}, {65, 65}},
       {{50, 50}, {35, 35}}},
      {"angle arc",
       [](Emf& e) {
         QByteArray p;
         for (int v : {50, 50, 30}) Put32(p, v);
         PutF32(p, 0);
         PutF32(p, 90);
         e.Rec(27, {50, 50}).Raw(41, p);
       },
       {{80, 50}, {50, 20}, {65, 50}},
       {{20, 50}, {50, 80}}},
  };
  for (const auto& c : cases) {
    Emf e;
    e.Pen(1, 0, 1, kBlack).Select(1).Brush(2, 0, kRed).Select(2);
    c.draw(e);
    const QImage image = PlayEmf(e);
    for (QPoint p : c.inked)
      EXPECT_GT(InkIn(image, QRect(p.x() - 1, p.y() - 1, 3, 3)), 0) << c.name << " at " << p.x() << "," << p.y();
    for (QPoint p : c.blank)
      EXPECT_EQ(image.pixel(p) & 0xFFFFFF, 0xFFFFFFu) << c.name << " at " << p.x() << "," << p.y();
  }
}

// ------------------------------------------------------------- paths

TEST(EmfPaths, FillStrokeAndClipToAPath) {
  struct Case {
    const char* name;
    int finish;  // record ending the path use
    QColor centre, edge;
  } cases[] = {
      {"fill", 62, kRed, kRed},
      {"stroke", 64, kWhite, kBlue},
      {"stroke and fill", 63, kRed, kBlue},
  };
  for (const auto& c : cases) {
    Emf e;
    e.Pen(1, 0, 1, kBlue).Select(1).Brush(2, 0, kRed).Select(2);
    e.Rec(59, {}).Rec(27, {20, 20}).Rec(54, {80, 20}).Rec(54, {80, 80}).Rec(54, {20, 80}).Rec(61, {}).Rec(60, {});
    e.Rec(c.finish, {0, 0, 0, 0});
    const QImage image = PlayEmf(e);
    EXPECT_TRUE(Near(image.pixel(50, 50), c.centre)) << c.name;
    EXPECT_TRUE(Near(image.pixel(50, 20), c.edge)) << c.name;
    EXPECT_TRUE(Near(image.pixel(10, 10), kWhite)) << c.name;
  }
}

TEST(EmfPaths, ShapesInsideAPathAreOnlyRecorded) {
  Emf e;
  e.Brush(1, 0, kRed).Select(1);
  e.Rec(59, {}).Ellipse(10, 10, 50, 50).Rec(60, {});  // recorded, not drawn
  e.Rectangle(60, 60, 90, 90);                        // drawn
  const QImage image = PlayEmf(e);
  EXPECT_TRUE(Near(image.pixel(30, 30), kWhite));
  EXPECT_TRUE(Near(image.pixel(75, 75), kRed));
}

TEST(EmfPaths, SelectClipPathLimitsLaterDrawing) {
  Emf e;
  e.Brush(1, 0, kRed).Select(1).Select(0x80000008u);
  e.Rec(59, {}).Ellipse(0, 0, 100, 100).Rec(60, {}).Rec(67, {5});
  e.Rectangle(0, 0, 100, 100);
  const QImage image = PlayEmf(e);
  EXPECT_TRUE(Near(image.pixel(50, 50), kRed));
  EXPECT_TRUE(Near(image.pixel(3, 3), kWhite));
}

// ------------------------------------------------------------- clipping

TEST(Clipping, RectanglesRegionsAndSavedStates) {
  struct Case {
    const char* name;
    std::function<void(Wmf&)> setup;
    std::vector<QPoint> red, white;
  } cases[] = {
      {"intersect",
       [](Wmf& w) {
         w.Rec(0x0416, {60, 60, 20, 20});
       },
       {{30, 30}, {55, 55}},
       {{10, 10}, {70, 70}}},
      {"exclude",
       [](Wmf& w) {
         w.Rec(0x0415, {60, 60, 20, 20});
       },
       {{10, 10}, {70, 70}},
       {{30, 30}, {55, 55}}},
      {"two intersections",
       [](Wmf& w) {
         w.Rec(0x0416, {60, 60, 20, 20}).Rec(0x0416, {80, 80, 40, 40});
       },
       {{50, 50}},
       {{30, 30}, {70, 70}}},
      {"null region selected clears",
       [](Wmf& w) {
         w.Rec(0x0416, {60, 60, 20, 20}).Rec(0x012C, {0});
       },
       {{10, 10}, {50, 50}},
       {}},
      {"restore brings the clip back",
       [](Wmf& w) {
         w.Rec(0x001E, {}).Rec(0x0416, {60, 60, 20, 20}).Rec(0x0127, {-1});
       },
       {{10, 10}, {50, 50}},
       {}},
      {"offset clip",
       [](Wmf& w) {
         w.Rec(0x0416, {40, 40, 20, 20}).Rec(0x0220, {30, 30});
       },
       {{60, 60}},
       {{30, 30}}},
      {"region from scans",
       [](Wmf& w) {
         // One scan: rows 10..30, columns 10..30 and 60..80.
         w.Rec(0x06FF, {0, 6, 0, 0, 0, 1, 20, 10, 10, 80, 30, 4, 10, 30, 10, 30, 60, 80, 4}).Rec(0x012C, {2});
       },
       {{20, 20}, {70, 20}},
       {{45, 20}, {20, 50}}},
  };
  for (const auto& c : cases) {
    Wmf w = RedFill();
    c.setup(w);
    w.Rectangle(0, 0, 100, 100);
    const QImage image = PlayWmf(w);
    for (QPoint p : c.red) EXPECT_TRUE(Near(image.pixel(p), kRed)) << c.name << " at " << p.x() << "," << p.y();
    for (QPoint p : c.white) EXPECT_TRUE(Near(image.pixel(p), kWhite)) << c.name << " at " << p.x() << "," << p.y();
  }
}

TEST(Clipping, EmfRegionSelection) {
  QByteArray region;
  for (int v : {32, 1, 1, 16, 20, 20, 60, 60, 20, 20, 60, 60}) Put32(region, v);
  QByteArray p;
  Put32(p, region.size());
  Put32(p, 5);
  p += region;
  Emf e;
  e.Brush(1, 0, kRed).Select(1).Raw(75, p).Rectangle(0, 0, 100, 100);
  QByteArray reset;
  Put32(reset, 0);
  Put32(reset, 5);
  e.Raw(75, reset).Brush(3, 0, kBlue).Select(3).Rectangle(0, 0, 10, 10);
  const QImage image = PlayEmf(e);
  EXPECT_TRUE(Near(image.pixel(40, 40), kRed));
  EXPECT_TRUE(Near(image.pixel(70, 70), kWhite));
  EXPECT_TRUE(Near(image.pixel(5, 5), kBlue));
}

// ------------------------------------------------------------- text

TEST(Text, WmfTextInkLandsWhereAlignmentSays) {
  struct Case {
    const char* name;
    int align;
    QRect ink, blank;
  } cases[] = {
      {"top left", 0, QRect(50, 50, 40, 20), QRect(0, 0, 48, 48)},
      {"right bottom", 2 | 8, QRect(5, 25, 44, 24), QRect(52, 52, 40, 40)},
      {"centre baseline", 6 | 24, QRect(30, 30, 40, 19), QRect(0, 55, 100, 45)},
  };
  for (const auto& c : cases) {
    Wmf w;
    w.Rec(0x0102, {1}).Font(-20, 0, "DejaVu Sans").Select(0).Rec(0x012E, {c.align}).TextOut(50, 50, "HHHH");
    const QImage image = PlayWmf(w);
    EXPECT_GT(InkIn(image, c.ink), 20) << c.name;
    EXPECT_EQ(InkIn(image, c.blank), 0) << c.name;
  }
}

TEST(Text, GbkTextInChineseCharsetDrawsChineseGlyphs) {
  QStringEncoder gbk("GBK");
  const QByteArray bytes = gbk.encode(QString::fromUtf8("中文字"));
  ASSERT_EQ(bytes.size(), 6);
  // The face name itself is GBK too ("宋体"); the player must fall back to an
  // installed Chinese font.
  const QByteArray face = gbk.encode(QString::fromUtf8("宋体"));
  Wmf w(true, QRect(0, 0, 200, 60));
  w.Rec(0x0102, {1}).Font(-40, 134, face).Select(0).TextOut(10, 10, bytes);
  const QImage image = PlayWmf(w);
  // Three ideographs of 40 pixels: ink across about 120 pixels, dense.
  EXPECT_GT(InkIn(image, QRect(10, 10, 40, 40)), 100);
  EXPECT_GT(InkIn(image, QRect(90, 10, 40, 40)), 100);
  EXPECT_EQ(InkIn(image, QRect(140, 0, 60, 60)), 0);

  // Read as Latin-1 the same six bytes are six accented letters: narrower.
  Wmf latin(true, QRect(0, 0, 200, 60));
  latin.Rec(0x0102, {1}).Font(-40, 0, "DejaVu Sans").Select(0).TextOut(10, 10, bytes);
  EXPECT_NE(PlayWmf(latin), image);
}

TEST(Text, ExtTextOutOpaqueRectangleAndAdvances) {
  Wmf w;
  w.Colour(0x0201, kBlue).Font(-16, 0, "DejaVu Sans").Select(0);
  QByteArray p;
  for (int v : {40, 10, 2, 2, 5, 30, 95, 70}) Put16(p, v);  // y, x, length, ETO_OPAQUE, rectangle
  p += "AB";
  for (int v : {60, 10}) Put16(p, v);  // advances: B sits 60 units to the right of A
  w.Raw(0x0A32, p);
  const QImage image = PlayWmf(w);
  EXPECT_TRUE(Near(image.pixel(90, 65), kBlue));  // inside the opaque rectangle, away from the text
  EXPECT_TRUE(Near(image.pixel(2, 2), kWhite));
  // Black text ink: B well to the right of A, nothing in between.
  EXPECT_GT(CountNear(image, QRect(70, 40, 16, 20), kBlack, 100), 10);
  EXPECT_GT(CountNear(image, QRect(10, 40, 14, 20), kBlack, 100), 10);
  EXPECT_EQ(CountNear(image, QRect(30, 40, 35, 20), kBlack, 100), 0);
}

TEST(Text, EmfWideTextDrawsInk) {
  QByteArray font;
  for (int v : {1, -30, 0, 0, 0, 400}) Put32(font, v);
  Put32(font, 0x86000000);  // italic, underline, strike-out off; charset 134
  Put32(font, 0);
  for (QChar ch : QString::fromUtf8("Noto Sans CJK SC")) Put16(font, ch.unicode());
  while (font.size() < 4 + 92) font.append('\0');
  Emf e;
  e.Raw(82, font).Select(1).Rec(18, {1}).TextW(10, 20, QString::fromUtf8("汉字"));
  const QImage image = PlayEmf(e);
  EXPECT_GT(InkIn(image, QRect(10, 20, 30, 30)), 50);
  EXPECT_GT(InkIn(image, QRect(40, 20, 30, 30)), 50);
  EXPECT_EQ(InkIn(image, QRect(75, 0, 25, 100)), 0);
}

// ------------------------------------------------------------- blits

TEST(Blits, DibFormatsScaleIntoTheDestination) {
  // Each bitmap is 2 x 2: top-left red, top-right blue, bottom-left green,
  // bottom-right black, stretched onto 0..100 (each quarter 50 pixels).
  const std::vector<QColor> palette = {kRed, kBlue, kGreen, kBlack};
  struct Case {
    const char* name;
    QByteArray dib;
  } cases[] = {
      {"24 bits", Dib(2, 2, 24, {0xFF0000, 0x0000FF, 0x008000, 0x000000})},
      {"32 bits", Dib(2, 2, 32, {0xFF0000, 0x0000FF, 0x008000, 0x000000})},
      {"32 bits with masks", Dib(2, 2, 32, {0xFF0000, 0x0000FF, 0x008000, 0x000000}, {}, 3)},
      {"8 bits", Dib(2, 2, 8, {0, 1, 2, 3}, palette)},
      {"4 bits", Dib(2, 2, 4, {0, 1, 2, 3}, palette)},
      {"top-down 24 bits", Dib(2, -2, 24, {0xFF0000, 0x0000FF, 0x008000, 0x000000})},
      {"16 bits", Dib(2, 2, 16, {0xFF0000, 0x0000FF, 0x008000, 0x000000})},
  };
  for (const auto& c : cases) {
    // WMF META_STRETCHDIB
    QByteArray p;
    Put32(p, 0x00CC0020);
    for (int v : {0, 2, 2, 0, 0, 100, 100, 0, 0}) Put16(p, v);
    Wmf w;
    w.Raw(0x0F43, p + c.dib);
    // EMF EMR_STRETCHDIBITS
    Emf e;
    e.StretchDib(QRect(0, 0, 100, 100), QRect(0, 0, 2, 2), c.dib);
    // WMF META_DIBSTRETCHBLT
    QByteArray d;
    Put32(d, 0x00CC0020);
    for (int v : {2, 2, 0, 0, 100, 100, 0, 0}) Put16(d, v);
    Wmf stretch;
    stretch.Raw(0x0B41, d + c.dib);
    for (const QImage& image : {PlayWmf(w), PlayEmf(e), PlayWmf(stretch)}) {
      EXPECT_TRUE(Near(image.pixel(25, 25), kRed)) << c.name;
      EXPECT_TRUE(Near(image.pixel(75, 25), kBlue)) << c.name;
      EXPECT_TRUE(Near(image.pixel(25, 75), kGreen)) << c.name;
      EXPECT_TRUE(Near(image.pixel(75, 75), kBlack)) << c.name;
    }
  }
}

TEST(Blits, RasterOperations) {
  struct Case {
    const char* name;
    uint32_t rop;
    QColor expected;  // a red source over a blue-filled destination
  } cases[] = {
      {"copy", 0x00CC0020, kRed},
      {"and", 0x008800C6, kBlack},
      {"or", 0x00EE0086, QColor(255, 0, 255)},
      {"xor", 0x00660046, QColor(255, 0, 255)},
      {"not source", 0x00330008, QColor(0, 255, 255)},
      {"pattern copy (green brush)", 0x00F00021, kGreen},
      {"blackness", 0x00000042, kBlack},
      {"whiteness", 0x00FF0062, kWhite},
      {"invert destination", 0x00550009, QColor(255, 255, 0)},
  };
  const QByteArray red = Dib(1, 1, 24, {0xFF0000});
  for (const auto& c : cases) {
    Emf e;
    e.Brush(1, 0, kBlue).Select(1).Select(0x80000008u).Rectangle(0, 0, 101, 101);
    e.Brush(2, 0, kGreen).Select(2);
    e.StretchDib(QRect(20, 20, 60, 60), QRect(0, 0, 1, 1), red, c.rop);
    const QImage image = PlayEmf(e);
    EXPECT_TRUE(Near(image.pixel(50, 50), c.expected)) << c.name << " got " << std::hex << image.pixel(50, 50);
    EXPECT_TRUE(Near(image.pixel(10, 10), kBlue)) << c.name;
  }
}

TEST(Blits, WmfDibBitBltAndSetDibToDeviceTakeSourceOffsets) {
  // 4 x 1 bitmap: red, blue, green, black. Copy from x = 2 (green, black).
  const QByteArray dib = Dib(4, 1, 24, {0xFF0000, 0x0000FF, 0x008000, 0x000000});
  QByteArray blt;
  Put32(blt, 0x00CC0020);
  for (int v : {0, 2, 1, 2, 10, 10}) Put16(blt, v);  // ySrc, xSrc, height, width, yDest, xDest
  QByteArray set;
  for (int v : {0, 1, 0, 0, 1, 1, 3, 30, 50}) Put16(set, v);  // usage, scans, start, yDib, xDib, h, w, yDest, xDest
  Wmf w;
  w.Raw(0x0940, blt + dib).Raw(0x0D33, set + dib);
  const QImage image = PlayWmf(w);
  EXPECT_TRUE(Near(image.pixel(10, 10), kGreen));
  EXPECT_TRUE(Near(image.pixel(11, 10), kBlack));
  EXPECT_TRUE(Near(image.pixel(12, 10), kWhite));
  EXPECT_TRUE(Near(image.pixel(50, 30), kBlue));
  EXPECT_TRUE(Near(image.pixel(51, 30), kGreen));
  EXPECT_TRUE(Near(image.pixel(52, 30), kBlack));
}

TEST(Blits, RunLengthBitmapSkipsAsColourZero) {
  // 4 x 2 RLE8: bottom row "1 1" then a delta of (1, 1) to the top row at x
  // = 3, a single 2, end. Every skipped pixel is index 0 (black here).
  const QByteArray bits = QByteArray::fromHex(
      "0201"
      "0002"
      "0101"
      "0102"
      "0001");
  const QByteArray dib = Dib(4, 2, 8, {}, {kBlack, kRed, kBlue}, 1, bits);
  Emf e;
  e.StretchDib(QRect(0, 0, 4, 2), QRect(0, 0, 4, 2), dib, 0x00CC0020, 40 + 12);
  const QImage image = PlayEmf(e);
  const QColor want[2][4] = {{kBlack, kBlack, kBlack, kBlue}, {kRed, kRed, kBlack, kBlack}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_TRUE(Near(image.pixel(x, y), want[y][x])) << x << "," << y;
}

TEST(Blits, AlphaBlendAndTransparentBlt) {
  // 2 x 1 bitmap of 32 bits with premultiplied alpha: left opaque red,
  // right fully transparent.
  const QByteArray alphaDib = Dib(2, 1, 32, {0xFFFF0000, 0x00000000});
  const QByteArray keyDib = Dib(2, 1, 24, {0xFF0000, 0x00FF00});
  struct Case {
    const char* name;
    uint32_t type, fourth;
    QByteArray dib;
    QColor left, right;
  } cases[] = {
      {"constant half alpha", 114, 0x00800000, Dib(2, 1, 24, {0xFF0000, 0xFF0000}), QColor(128, 0, 127),
       QColor(128, 0, 127)},
      {"per-pixel alpha", 114, 0x01FF0000, alphaDib, kRed, kBlue},
      {"transparent green key", 116, Ref(QColor(0, 255, 0)), keyDib, kRed, kBlue},
      {"stretch blt copy", 77, 0x00CC0020, keyDib, kRed, QColor(0, 255, 0)},
  };
  for (const auto& c : cases) {
    Emf e;
    e.Brush(1, 0, kBlue).Select(1).Select(0x80000008u).Rectangle(0, 0, 101, 101);
    e.Raw(c.type, StretchLayout(QRect(0, 0, 100, 100), QRect(0, 0, 2, 1), c.fourth, c.dib, 40));
    const QImage image = PlayEmf(e);
    EXPECT_TRUE(Near(image.pixel(25, 50), c.left, 3)) << c.name << " got " << std::hex << image.pixel(25, 50);
    EXPECT_TRUE(Near(image.pixel(75, 50), c.right, 3)) << c.name << " got " << std::hex << image.pixel(75, 50);
  }
}

TEST(Blits, OneBitBitmapUsesItsColourTable) {
  const QByteArray dib = Dib(8, 1, 1, {1, 0, 1, 0, 0, 0, 0, 1}, {kBlue, kRed});
  Emf e;
  e.StretchDib(QRect(0, 0, 8, 1), QRect(0, 0, 8, 1), dib);
  const QImage image = PlayEmf(e);
  const int want[8] = {1, 0, 1, 0, 0, 0, 0, 1};
  for (int x = 0; x < 8; ++x) EXPECT_TRUE(Near(image.pixel(x, 0), want[x] ? kRed : kBlue)) << x;
}

TEST(Text, FontWidthNarrowsTheText) {
  auto inkWidth = [](int width) {
    Wmf w(true, QRect(0, 0, 300, 60));
    QByteArray p;
    for (int v : {-30, width, 0, 0, 400}) Put16(p, v);
    p += QByteArray(8, '\0') + "DejaVu Sans";
    w.Rec(0x0102, {1}).Raw(0x02FB, p).Select(0).TextOut(5, 10, "HHHHHH");
    const QImage image = PlayWmf(w);
    int right = 0;
    for (int x = 0; x < image.width(); ++x)
      if (InkIn(image, QRect(x, 0, 1, 60)) > 0) right = x;
    return right;
  };
  const int normal = inkWidth(0), narrow = inkWidth(6);
  EXPECT_GT(normal, 100);
  EXPECT_LT(narrow, normal * 3 / 4);
}

TEST(Text, UpdateCurrentPositionCarriesOnWhereTheLastTextEnded) {
  // Two pieces of text with the current position updated: the second starts
  // where the first ended, so the ink runs on without a second start at 10.
  Wmf w;
  w.Rec(0x0102, {1}).Font(-20, 0, "DejaVu Sans").Select(0).Rec(0x012E, {1}).MoveTo(10, 10);
  w.TextOut(0, 0, "HH").TextOut(0, 0, "HH");
  const QImage both = PlayWmf(w);
  Wmf once;
  once.Rec(0x0102, {1}).Font(-20, 0, "DejaVu Sans").Select(0).TextOut(10, 10, "HHHH");
  EXPECT_EQ(both, PlayWmf(once));
}

TEST(Text, EmfAnsiTextIsLatin1) {
  QByteArray p;
  for (int i = 0; i < 4; ++i) Put32(p, 0);
  Put32(p, 1);
  PutF32(p, 1);
  PutF32(p, 1);
  for (int v : {10, 20, 3, 76, 0, 0, 0, 0, 0, 0}) Put32(p, v);
  p += QByteArray("\xC9t\xE9", 3);
  Emf a, w;
  a.Rec(18, {1}).Raw(83, p);
  w.Rec(18, {1}).TextW(10, 20, QString::fromUtf8("Été"));
  const QImage ansi = PlayEmf(a);
  EXPECT_GT(InkIn(ansi, ansi.rect()), 20);
  EXPECT_EQ(ansi, PlayEmf(w));
}
