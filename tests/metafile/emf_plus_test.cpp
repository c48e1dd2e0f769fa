// EMF+ content (GDI+ drawing kept in EMF comments): objects, fills and
// lines, transforms, clips and text drawn at known places; GDI records
// played only where GDI+ plays them; what is not drawn named as a warning.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QRawFont>
#include <functional>

#include "metafile/metafile.h"
#include "support/gui_app.h"
#include "support/metafile_writer.h"
#include "support/sample_files.h"

using namespace mftest;

namespace {

const QColor kRed(255, 0, 0), kBlue(0, 0, 255), kGreen(0, 128, 0), kWhite(255, 255, 255);
using F = EmfPlus;

class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { zindrel::testing::EnsureGuiApp(); }
};
const auto* const kGui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

struct Played {
  QImage image;
  std::vector<std::string> warnings;
};

// A 100 x 100 picture (one device unit a pixel) whose drawing is the EMF+
// records `draw` adds after an EMF+-only header.
Played PlayPlus(const std::function<void(EmfPlus&)>& draw, bool dual = false,
                const std::function<void(Emf&)>& gdi = {}) {
  EmfPlus plus;
  plus.Header(dual);
  draw(plus);
  Emf e;
  e.Plus(plus);
  if (gdi) gdi(e);
  Played p;
  p.image = zindrel::RenderMetafile(e.Finish(), 254, &p.warnings);
  return p;
}

}  // namespace

TEST(EmfPlus, FillsAndLinesLandWhereTheRecordsSay) {
  struct Case {
    const char* name;
    std::function<void(EmfPlus&)> draw;
    std::vector<std::pair<QPoint, QColor>> expect;
  } cases[] = {
      {"fill rects, colour in the record",
       [](EmfPlus& p) {
         p.Rec(0x400A, 0x8000, F::Argb(kRed) + F::U32({1}) + F::Floats({10, 10, 30, 20}));
       },
       {{{25, 20}, kRed}, {{45, 20}, kWhite}, {{25, 35}, kWhite}}},
      {"fill rects, 16-bit rectangles and a brush object",
       [](EmfPlus& p) {
         QByteArray rects;
         for (int v : {60, 60, 20, 20}) Put16(rects, v);
         p.SolidBrush(3, kBlue).Rec(0x400A, 0x4000, F::U32({3, 1}) + rects);
       },
       {{{70, 70}, kBlue}, {{50, 50}, kWhite}}},
      {"fill polygon",
       [](EmfPlus& p) {
         p.Rec(0x400C, 0x8000, F::Argb(kGreen) + F::U32({3}) + F::Floats({10, 90, 50, 10, 90, 90}));
       },
       {{{50, 60}, kGreen}, {{15, 20}, kWhite}}},
      {"fill ellipse",
       [](EmfPlus& p) {
         p.SolidBrush(0, kRed).Rec(0x400E, 0, F::U32({0}) + F::Floats({20, 20, 60, 60}));
       },
       {{{50, 50}, kRed}, {{23, 23}, kWhite}}},
      {"fill pie: clockwise from three o'clock",
       [](EmfPlus& p) {
         p.Rec(0x4010, 0x8000, F::Argb(kBlue) + F::Floats({0, 90, 10, 10, 80, 80}));
       },
       {{{65, 65}, kBlue}, {{65, 35}, kWhite}, {{35, 65}, kWhite}}},
      {"fill path object",
       [](EmfPlus& p) {
         p.Polygon(5, {10, 10, 90, 10, 10, 90}).Rec(0x4014, 5 | 0x8000, F::Argb(kRed));
       },
       {{{25, 25}, kRed}, {{80, 80}, kWhite}}},
      {"draw lines with a wide pen",
       [](EmfPlus& p) {
         p.Pen(1, 6, kGreen).Rec(0x400D, 1, F::U32({2}) + F::Floats({10, 50, 90, 50}));
       },
       {{{50, 48}, kGreen}, {{50, 52}, kGreen}, {{50, 56}, kWhite}}},
      {"draw rects outline only",
       [](EmfPlus& p) {
         p.Pen(2, 2, kBlue).Rec(0x400B, 2, F::U32({1}) + F::Floats({20, 20, 60, 60}));
       },
       {{{20, 50}, kBlue}, {{50, 50}, kWhite}}},
      {"world transform: translate, then scale prepended",
       [](EmfPlus& p) {
         p.Rec(0x402D, 0, F::Floats({50, 0}))    // translate by 50 in x
             .Rec(0x402E, 0, F::Floats({2, 2}))  // scale first: (5..15) -> (10..30) + 50
             .Rec(0x400A, 0x8000, F::Argb(kRed) + F::U32({1}) + F::Floats({5, 5, 10, 10}));
       },
       {{{70, 20}, kRed}, {{20, 20}, kWhite}, {{85, 20}, kWhite}}},
      {"page transform in millimetres at 96 dpi",
       [](EmfPlus& p) {
         p.Rec(0x4030, 6, F::Floats({1})).Rec(0x400A, 0x8000, F::Argb(kBlue) + F::U32({1}) + F::Floats({10, 10, 5, 5}));
       },
       {{{40, 40}, kBlue}, {{35, 35}, kWhite}, {{60, 60}, kWhite}}},
      {"save and restore bring the transform back",
       [](EmfPlus& p) {
         p.Rec(0x4025, 0, F::U32({7}))
             .Rec(0x402D, 0, F::Floats({50, 50}))
             .Rec(0x4026, 0, F::U32({7}))
             .Rec(0x400A, 0x8000, F::Argb(kRed) + F::U32({1}) + F::Floats({0, 0, 20, 20}));
       },
       {{{10, 10}, kRed}, {{60, 60}, kWhite}}},
      {"clip rectangle, then an excluded path",
       [](EmfPlus& p) {
         p.Rec(0x4032, 0x0100, F::Floats({0, 0, 50, 100}))  // intersect with the left half
             .Polygon(4, {0, 0, 50, 0, 50, 50, 0, 50})
             .Rec(0x4033, 4 | 0x0400)  // exclude the upper left quarter
             .Rec(0x400A, 0x8000, F::Argb(kGreen) + F::U32({1}) + F::Floats({0, 0, 100, 100}));
       },
       {{{25, 75}, kGreen}, {{25, 25}, kWhite}, {{75, 75}, kWhite}}},
      {"closed curve filled through its points",
       [](EmfPlus& p) {
         p.Rec(0x4016, 0x8000,
               F::Argb(kRed) + F::Floats({0.5f}) + F::U32({4}) + F::Floats({20, 20, 80, 20, 80, 80, 20, 80}));
       },
       {{{50, 50}, kRed}, {{50, 21}, kRed}, {{5, 5}, kWhite}, {{95, 50}, kWhite}}},
      {"open curve through three points",
       [](EmfPlus& p) {
         p.Pen(1, 4, kGreen)
             .Rec(0x4018, 1, F::Floats({0.5f}) + F::U32({0, 2, 3}) + F::Floats({10, 60, 50, 20, 90, 60}));
       },
       {{{50, 21}, kGreen}, {{50, 50}, kWhite}, {{50, 10}, kWhite}}},
      {"clear fills the picture",
       [](EmfPlus& p) { p.Rec(0x4009, 0, F::Argb(kBlue)); },
       {{{1, 1}, kBlue}, {{98, 98}, kBlue}}},
  };
  for (const auto& c : cases) {
    const Played p = PlayPlus(c.draw);
    for (const auto& [at, colour] : c.expect)
      EXPECT_TRUE(Near(p.image.pixel(at), colour, 40))
          << c.name << " at " << at.x() << "," << at.y() << " got " << std::hex << p.image.pixel(at);
    EXPECT_TRUE(p.warnings.empty()) << c.name << ": " << (p.warnings.empty() ? "" : p.warnings.front());
  }
}

TEST(EmfPlus, StringsDrawInTheLayoutRectangle) {
  auto text = [](int align) {
    return PlayPlus([align](EmfPlus& p) {
      // String format: alignment near, centre or far.
      p.Font(1, 20, "DejaVu Sans").Object(2, 7, F::U32({0xDBC01002, 0, 0, align, 0}));
      p.Rec(0x401C, 1 | 0x8000, F::Argb(Qt::black) + F::U32({2, 4}) + F::Floats({0, 40, 100, 30}) + F::Utf16("HHHH"));
    });
  };
  const Played near = text(0), centre = text(1), far = text(2);
  for (const Played* p : {&near, &centre, &far}) {
    EXPECT_GT(InkIn(p->image, QRect(0, 40, 100, 30)), 100);
    EXPECT_EQ(InkIn(p->image, QRect(0, 0, 100, 38)), 0);
    EXPECT_EQ(InkIn(p->image, QRect(0, 72, 100, 28)), 0);
  }
  // Near starts at the left edge, far ends at the right, centre between.
  EXPECT_GT(InkIn(near.image, QRect(0, 40, 10, 30)), 0);
  EXPECT_EQ(InkIn(near.image, QRect(80, 40, 20, 30)), 0);
  EXPECT_GT(InkIn(far.image, QRect(90, 40, 10, 30)), 0);
  EXPECT_EQ(InkIn(far.image, QRect(0, 40, 20, 30)), 0);
  EXPECT_EQ(InkIn(centre.image, QRect(0, 40, 8, 30)), 0);
  EXPECT_EQ(InkIn(centre.image, QRect(92, 40, 8, 30)), 0);
}

TEST(EmfPlus, DriverStringsInGlyphNumbersDrawLikeCharacters) {
  // "Hxmo" at (10, 60), 30 pixels to the em, given as characters (the cmap
  // lookup option) and as glyph numbers of the face: the same glyphs land.
  QFont face("DejaVu Sans");
  face.setPixelSize(30);
  const QVector<quint32> numbers = QRawFont::fromFont(face).glyphIndexesForString("Hxmo");
  auto draw = [](uint32_t options, const QVector<quint32>& units) {
    return PlayPlus([&](EmfPlus& p) {
      QByteArray data = F::Argb(Qt::black) + F::U32({options, 0, units.size()});
      for (quint32 u : units) data += QByteArray(reinterpret_cast<const char*>(&u), 2);
      data += F::Floats({10, 60});
      p.Font(1, 30, "DejaVu Sans").Rec(0x4036, 1 | 0x8000, data + F::Floats({0, 0, 0, 0, 0, 0}));
    });
  };
  const Played characters = draw(1 | 4, {'H', 'x', 'm', 'o'}), glyphs = draw(4, numbers);
  EXPECT_TRUE(glyphs.warnings.empty());
  const int a = InkIn(characters.image, characters.image.rect()), b = InkIn(glyphs.image, glyphs.image.rect());
  EXPECT_GT(a, 200);
  EXPECT_NEAR(b, a, a / 10);
  EXPECT_EQ(InkIn(glyphs.image, QRect(8, 33, 92, 30)), b);  // on the baseline from x 10
}

TEST(EmfPlus, GdiRecordsPlayOnlyWhereGdiPlusPlaysThem) {
  auto gdiSquare = [](Emf& e) { e.Brush(1, 0, kBlue).Select(1).Select(0x80000008u).Rectangle(60, 60, 90, 90); };
  const auto redPlus = [](EmfPlus& p) {
    p.Rec(0x400A, 0x8000, F::Argb(kRed) + F::U32({1}) + F::Floats({10, 10, 30, 30}));
  };
  // Dual: the GDI square mirrors EMF+ drawing and is skipped.
  const Played dual = PlayPlus(redPlus, true, gdiSquare);
  EXPECT_TRUE(Near(dual.image.pixel(20, 20), kRed));
  EXPECT_TRUE(Near(dual.image.pixel(75, 75), kWhite));
  // After GetDC the GDI records draw.
  const Played getDc = PlayPlus([redPlus](EmfPlus& p) { redPlus(p), p.Rec(0x4004, 0); }, false, gdiSquare);
  EXPECT_TRUE(Near(getDc.image.pixel(20, 20), kRed));
  EXPECT_TRUE(Near(getDc.image.pixel(75, 75), kBlue));
  // A record not drawn here: a dual file's GDI records stand in for it, and
  // nothing is left to warn about.
  const auto effect = [](EmfPlus& p) { p.Rec(0x4038, 0, F::U32({0, 0, 0, 0, 0})); };
  const Played covered = PlayPlus(effect, true, gdiSquare);
  EXPECT_TRUE(Near(covered.image.pixel(75, 75), kBlue));
  EXPECT_TRUE(covered.warnings.empty());
}

TEST(EmfPlus, UndrawnContentIsNamedNeverSilentlyBlank) {
  const Played blank = PlayPlus([](EmfPlus& p) {
    for (int i = 0; i < 3; ++i) p.Rec(0x4038, 0, F::U32({0, 0, 0, 0, 0}));
    // Glyph numbers of a face that is not installed.
    p.Font(1, 20, "Zindrel Missing Face");
    p.Rec(0x4036, 1 | 0x8000, F::Argb(kRed) + F::U32({0, 0, 1}) + F::U32({36}) + F::Floats({10, 10}));
  });
  EXPECT_EQ(InkIn(blank.image, blank.image.rect()), 0);
  ASSERT_EQ(blank.warnings.size(), 2u);
  EXPECT_EQ(blank.warnings[0], "1 EMF+ DrawDriverString record not drawn");
  EXPECT_EQ(blank.warnings[1], "3 EMF+ SerializableObject records not drawn");
}

TEST(EmfPlus, StrokeFillPathClosesStrokesAndFillsTheDeviceContextsPath) {
  // An open V-shaped figure (20,80)-(50,20)-(80,80) in the device context's
  // path, after a GetDC, then consumed by EMR_STROKEANDFILLPATH or by the
  // EMF+ record that stands for it: filled red, and its outline, closing
  // edge included, stroked blue.
  for (const bool plusRecord : {false, true}) {
    EmfPlus head;
    head.Header(false).Rec(0x4004, 0);
    Emf e;
    e.Plus(head).Pen(1, 0, 5, kBlue).Select(1).Brush(2, 0, kRed).Select(2);
    e.Rec(59, {}).Poly(4, {20, 80, 50, 20, 80, 80}).Rec(60, {});
    if (plusRecord) {
      EmfPlus use;
      use.Rec(0x4037, 0);
      e.Plus(use);
    } else {
      e.Rec(63, {0, 0, 0, 0});
    }
    std::vector<std::string> warnings;
    const QImage image = zindrel::RenderMetafile(e.Finish(), 254, &warnings);
    const char* name = plusRecord ? "EMF+ StrokeFillPath" : "EMR_STROKEANDFILLPATH";
    EXPECT_TRUE(Near(image.pixel(50, 60), kRed)) << name;
    EXPECT_TRUE(Near(image.pixel(50, 80), kBlue)) << name << ": the closing edge";
    EXPECT_TRUE(Near(image.pixel(35, 50), kBlue)) << name;
    EXPECT_TRUE(Near(image.pixel(50, 90), kWhite)) << name;
    EXPECT_TRUE(warnings.empty()) << name;
  }
}

TEST(EmfPlus, MetafileImagesAreDrawnIntoTheirRectangle) {
  // A placeable WMF filled red, as an EMF+ image object drawn onto 20..60.
  Wmf inner(true, QRect(0, 0, 50, 50), 96);
  inner.Pen(5, 0, Qt::black).Select(0).Brush(0, kRed).Select(1).Rectangle(0, 0, 51, 51);
  const QByteArray wmf = inner.Finish();
  const Played p = PlayPlus([&](EmfPlus& plus) {
    plus.Object(3, 5, F::U32({0xDBC01002, 2, 2, wmf.size()}) + wmf)
        .Rec(0x401A, 3, F::U32({0xFFFFFFFF, 2}) + F::Floats({0, 0, 50, 50, 20, 20, 40, 40}));
  });
  EXPECT_TRUE(Near(p.image.pixel(40, 40), kRed));
  EXPECT_TRUE(Near(p.image.pixel(22, 22), kRed));
  EXPECT_TRUE(Near(p.image.pixel(15, 40), kWhite));
  EXPECT_TRUE(Near(p.image.pixel(65, 40), kWhite));
  EXPECT_TRUE(p.warnings.empty());
  // A damaged one is named as not drawn.
  const Played damaged = PlayPlus([&](EmfPlus& plus) {
    plus.Object(3, 5, F::U32({0xDBC01002, 2, 2, 8}) + QByteArray(8, 'x'))
        .Rec(0x401A, 3, F::U32({0xFFFFFFFF, 2}) + F::Floats({0, 0, 50, 50, 20, 20, 40, 40}));
  });
  EXPECT_EQ(damaged.warnings, std::vector<std::string>{"1 EMF+ DrawImage record not drawn"});
}

TEST(EmfPlus, ObjectsSpreadOverRecordsAreJoined) {
  // A solid brush object sent in two parts: the first carries the total size.
  const QByteArray brush = F::U32({0xDBC01002, 0}) + F::Argb(kGreen);
  const Played p = PlayPlus([&](EmfPlus& plus) {
    plus.Object(6, 1, F::U32({brush.size()}) + brush.left(6), true)
        .Object(6, 1, brush.mid(6))
        .Rec(0x400A, 0, F::U32({6, 1}) + F::Floats({0, 0, 50, 50}));
  });
  EXPECT_TRUE(Near(p.image.pixel(25, 25), kGreen));
}

TEST(EmfPlus, DamagedRecordsAreSkipped) {
  // Counts past the record, unknown objects, ids past the table: each is
  // skipped and the next record still draws.
  const Played p = PlayPlus([](EmfPlus& plus) {
    plus.Rec(0x400A, 0x8000, F::Argb(kBlue) + F::U32({100000}) + F::Floats({0, 0, 10, 10}))
        .Rec(0x400C, 0x8000, F::Argb(kBlue) + F::U32({0x7FFFFFFF}))
        .Rec(0x4014, 200, F::U32({0}))
        .Rec(0x400B, 99, F::U32({1}) + F::Floats({0, 0, 10, 10}))
        .Object(9, 3, F::U32({0xDBC01002, 1000000, 0}))
        .Rec(0x4014, 9 | 0x8000, F::Argb(kBlue))
        .Object(10, 4, F::U32({0xDBC01002, 1, 1, 1, 1, 1, 1, 1}))
        .Rec(0x4013, 10 | 0x8000, F::Argb(kBlue))
        .Rec(0x400A, 0x8000, F::Argb(kRed) + F::U32({1}) + F::Floats({60, 60, 20, 20}));
  });
  EXPECT_TRUE(Near(p.image.pixel(70, 70), kRed));
}

TEST(EmfPlus, EveryKindOfObjectAndRecordTogether) {
  // The fuzzing seed: every object kind and drawing record in one file. Only
  // its image effect is left undrawn, and a dual file's GDI records cover it.
  std::vector<std::string> warnings;
  const QImage image = zindrel::RenderMetafile(zindrel::samples::MakeEmfPlus(false), 96, &warnings);
  EXPECT_EQ(warnings, std::vector<std::string>{"1 EMF+ SerializableObject record not drawn"});
  EXPECT_GT(InkIn(image, image.rect()), image.width() * image.height() / 4);
  EXPECT_GT(CountNear(image, QRect(2, 2, 20, 10), kBlue, 60), 80);  // the solid rectangle, under lines
  EXPECT_TRUE(Near(image.pixel(85, 10), QColor(192, 192, 0), 40));  // the GDI rectangle after GetDC
  warnings.clear();
  zindrel::RenderMetafile(zindrel::samples::MakeEmfPlus(true), 96, &warnings);
  EXPECT_TRUE(warnings.empty());
}
