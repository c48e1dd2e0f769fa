// zindrel-make-table: builds the glyph table file from a font.
//
// Every double-byte GBK code that decodes to a Han ideograph the face has is
// drawn white on black into its em square, without hinting, anti-aliased, at
// a size divisible by three, and so are a few full-width symbols with more
// ink than any Han glyph. The ink fraction of each of the 3x3 sub-blocks
// becomes a value on the 0..15 scale through a tone curve (tools/tone_curve.h),
// the level is their sum held within 1..83. U+3000 IDEOGRAPHIC SPACE opens
// level 1 and one glyph (U+2588 FULL BLOCK unless told otherwise) is the
// single glyph of level 84. When the face has more distinct vectors than the
// table holds, the symbols and the common characters (GB2312) are kept first
// and the rest are chosen to spread the vectors as widely as possible; when
// it has fewer, glyphs that repeat a vector fill the table after their twins.
// The output is a pure function of the font file and the options.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <QList>
#include <QString>
#include <QStringEncoder>

#include "core/gbk.h"
#include "tools/tone_curve.h"

namespace {

constexpr int kGlyphCount = 14924;
constexpr int kEm = 192;       // rendering size in pixels, divisible by 6
constexpr int kSub = kEm / 3;  // sub-block edge
constexpr int kTopLevel = 83;  // highest level a Han glyph may take
constexpr long kThinTop = 0;   // a densest level with this few glyphs or fewer is left out
// The shipped table's settings, chosen by measuring the art against photos
// (docs/glyph-table.md).
constexpr const char* kDefaultTone = zindrel::kShippedTone;
constexpr const char* kDefaultSymbols = "2593,25A0";

using Vector = std::array<int, 9>;

struct Candidate {
  std::string gbk;    // the two GBK bytes
  char32_t code = 0;  // Unicode code point
  int rank = 0;       // -1 symbol, 0 GB2312 level 1, 1 GB2312 level 2, 2 other GBK
  Vector v{};
  int sum = 0;
  int level = 0;
  long unevenness = 0;        // 81 x variance of the nine values
  double fineUnevenness = 0;  // 36^2 x variance of the ink over a 6x6 grid
  bool twin = false;          // repeats the vector of a glyph before it
};

std::string Hex(char32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(code));
  return text;
}

bool IsHan(char32_t c) {
  return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0xF900 && c <= 0xFAFF);
}

int GbkRank(unsigned lead, unsigned trail) {
  if (trail >= 0xA1 && trail <= 0xFE) {
    if (lead >= 0xB0 && lead <= 0xD7) return 0;
    if (lead >= 0xD8 && lead <= 0xF7) return 1;
  }
  return 2;
}

// Characters that GBK cannot hold become '?'.
std::string Utf8ToGbk(const std::string& utf8) {
  QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
  if (!encoder.isValid()) throw std::runtime_error("this Qt has no GBK text encoder");
  return QByteArray(encoder.encode(QString::fromStdString(utf8))).toStdString();
}

// Decodes one double-byte GBK code; 0 when it is not a single code point that
// encodes back to the same bytes.
char32_t DecodeGbk(const std::string& bytes) {
  const QString text = QString::fromStdString(zindrel::GbkToUtf8(bytes));
  const QList<uint> ucs = text.toUcs4();
  if (ucs.size() != 1 || ucs[0] == 0xFFFD) return 0;
  if (Utf8ToGbk(text.toStdString()) != bytes) return 0;
  return static_cast<char32_t>(ucs[0]);
}

void Finish(Candidate& c) {
  c.sum = 0;
  for (int x : c.v) c.sum += x;
  c.level = std::clamp(c.sum, 1, kTopLevel);
  c.unevenness = 0;
  for (int x : c.v) {
    const long d = 9L * x - c.sum;
    c.unevenness += d * d;
  }
}

class FontMeasure {
 public:
  FontMeasure(const std::string& path, long faceIndex, const zindrel::ToneCurve& tone) : tone_(tone) {
    if (FT_Init_FreeType(&library_)) Fail("cannot start FreeType");
    if (FT_New_Face(library_, path.c_str(), faceIndex, &face_))
      Fail("cannot open face " + std::to_string(faceIndex) + " of " + path);
    if (!FT_IS_SCALABLE(face_)) Fail("the face has no outlines");
    if (FT_Set_Pixel_Sizes(face_, kEm, kEm)) Fail("cannot size the face");
    // The em square is the ideographic body: the typographic ascender and
    // descender when they span exactly one em (as in CJK faces, where the
    // full block fills them), else the em hanging from the ascender line.
    const long upem = face_->units_per_EM;
    long bottom = face_->ascender - upem;
    if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2)))
      if (os2->version != 0xFFFF && os2->sTypoAscender - os2->sTypoDescender == upem) bottom = os2->sTypoDescender;
    shiftY_ = -bottom * kEm * 64 / upem;  // 26.6 pixels
    buffer_.resize(static_cast<size_t>(kEm) * kEm);
  }
  ~FontMeasure() { Release(); }
  FontMeasure(const FontMeasure&) = delete;
  FontMeasure& operator=(const FontMeasure&) = delete;

  std::string FamilyName() const { return face_->family_name ? face_->family_name : "?"; }
  bool Has(char32_t code) const { return FT_Get_Char_Index(face_, code) != 0; }

  // Ink coverage of the nine sub-blocks of the em square on the 0..15 scale.
  bool Measure(char32_t code, Vector& out, double* fineUnevenness = nullptr) {
    const FT_UInt index = FT_Get_Char_Index(face_, code);
    if (index == 0) return false;
    if (FT_Load_Glyph(face_, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP)) return false;
    if (face_->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return false;
    FT_Outline* outline = &face_->glyph->outline;
    FT_Outline_Translate(outline, 0, shiftY_);
    std::fill(buffer_.begin(), buffer_.end(), 0);
    FT_Bitmap bitmap;
    std::memset(&bitmap, 0, sizeof bitmap);
    bitmap.rows = kEm;
    bitmap.width = kEm;
    bitmap.pitch = kEm;
    bitmap.buffer = buffer_.data();
    bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
    bitmap.num_grays = 256;
    if (FT_Outline_Get_Bitmap(library_, outline, &bitmap)) return false;
    // Ink of each cell of a 6x6 grid, in one pass; every sub-block of the
    // 3x3 grid is four of those cells.
    constexpr int kFine = kEm / 6;
    std::array<long, 36> ink{};
    for (int y = 0; y < kEm; ++y) {
      const unsigned char* row = buffer_.data() + static_cast<size_t>(y) * kEm;
      long* line = ink.data() + (y / kFine) * 6;
      for (int f = 0; f < 6; ++f) {
        long sum = 0;
        for (int x = f * kFine; x < (f + 1) * kFine; ++x) sum += row[x];
        line[f] += sum;
      }
    }
    if (fineUnevenness) {
      // The spread of the 6x6 ink says how evenly the glyph lays its ink,
      // finer than the nine values can.
      long total = 0;
      for (long v : ink) total += v;
      double spread = 0;
      for (long v : ink) spread += double(36 * v - total) * double(36 * v - total);
      *fineUnevenness = spread;
    }
    for (int g = 0; g < 3; ++g) {
      for (int k = 0; k < 3; ++k) {
        const long sub = ink[(2 * g) * 6 + 2 * k] + ink[(2 * g) * 6 + 2 * k + 1] + ink[(2 * g + 1) * 6 + 2 * k] +
                         ink[(2 * g + 1) * 6 + 2 * k + 1];
        out[3 * g + k] = tone_.Value(sub, 255L * kSub * kSub);
      }
    }
    return true;
  }

 private:
  // Releases what is open and reports the failure to main.
  [[noreturn]] void Fail(const std::string& what) {
    Release();
    throw std::runtime_error(what);
  }
  void Release() {
    if (face_) FT_Done_Face(face_);
    if (library_) FT_Done_FreeType(library_);
    face_ = nullptr;
    library_ = nullptr;
  }
  const zindrel::ToneCurve& tone_;
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
  long shiftY_ = 0;
  std::vector<unsigned char> buffer_;
};

long Distance(const Vector& a, const Vector& b) {
  long d = 0;
  for (int m = 0; m < 9; ++m) d += static_cast<long>(a[m] - b[m]) * (a[m] - b[m]);
  return d;
}

bool Preferred(const Candidate& a, const Candidate& b) {
  if (a.rank != b.rank) return a.rank < b.rank;
  return a.gbk < b.gbk;
}

// Picks `room` of the candidates: GB2312 characters first, the rest by
// farthest-point selection (each step takes the candidate whose nearest kept
// vector lies farthest away; ties to the preferred code).
std::vector<Candidate> Select(std::vector<Candidate> pool, const std::vector<Candidate>& fixed, size_t room,
                              bool spread) {
  std::sort(pool.begin(), pool.end(), Preferred);
  if (pool.size() <= room) return pool;
  std::vector<Candidate> kept;
  std::vector<Candidate> rest;
  for (const Candidate& c : pool) {
    if (c.rank < 2 && kept.size() < room)
      kept.push_back(c);
    else
      rest.push_back(c);
  }
  if (!spread) {
    for (size_t i = 0; kept.size() < room; ++i) kept.push_back(rest[i]);
    return kept;
  }
  std::vector<long> nearest(rest.size(), 1L << 40);
  auto update = [&](const Vector& v) {
    for (size_t i = 0; i < rest.size(); ++i) nearest[i] = std::min(nearest[i], Distance(rest[i].v, v));
  };
  for (const Candidate& c : fixed) update(c.v);
  for (const Candidate& c : kept) update(c.v);
  std::vector<bool> taken(rest.size(), false);
  while (kept.size() < room) {
    size_t best = rest.size();
    for (size_t i = 0; i < rest.size(); ++i)
      if (!taken[i] && (best == rest.size() || nearest[i] > nearest[best])) best = i;
    taken[best] = true;
    kept.push_back(rest[best]);
    update(rest[best].v);
  }
  return kept;
}

struct Settings {
  std::string fontPath;
  long faceIndex = 0;
  std::string outPath = "data/Data.han";
  bool spread = true;
  long thinTop = kThinTop;
  std::vector<zindrel::ToneCurve::Knot> tone;
  std::vector<char32_t> symbols;
  char32_t top = 0x2588;
};

void Usage() {
  std::fprintf(stderr,
               "usage: zindrel-make-table --font PATH [--face-index N] [-o FILE] [--common-only]\n"
               "                          [--thin-top N] [--tone KNOTS] [--symbols LIST] [--top CODE]\n"
               "  Measures every GBK Han character of the face and the listed symbols and\n"
               "  writes the glyph table (default output data/Data.han).\n"
               "  --thin-top N   dense levels at the top holding N glyphs or fewer are left\n"
               "                 out (default %ld; 0 keeps every level)\n"
               "  --tone KNOTS   the tone curve from ink to value, INK:VALUE,... from 0:0 to\n"
               "                 an ink of 1 (default %s)\n"
               "  --symbols LIST full-width GBK symbols to add, as hexadecimal code points\n"
               "                 separated by commas, or \"none\" (default %s)\n"
               "  --top CODE     the glyph that alone makes level 84, a hexadecimal code\n"
               "                 point (default 2588, the full block; any other puts the\n"
               "                 full block among the glyphs of level 83)\n",
               kThinTop, kDefaultTone, kDefaultSymbols);
}

bool ParseCode(const std::string& text, char32_t& out) {
  char* end = nullptr;
  const unsigned long v = std::strtoul(text.c_str(), &end, 16);
  if (text.empty() || *end != '\0' || v == 0 || v > 0xFFFF) return false;
  out = static_cast<char32_t>(v);
  return true;
}

bool ParseSymbols(const std::string& text, std::vector<char32_t>& out) {
  out.clear();
  if (text == "none") return true;
  size_t pos = 0;
  while (pos <= text.size()) {
    const size_t comma = std::min(text.find(',', pos), text.size());
    char32_t code = 0;
    if (!ParseCode(text.substr(pos, comma - pos), code)) return false;
    out.push_back(code);
    pos = comma + 1;
  }
  return true;
}

// Measures the face and writes the table; throws std::runtime_error.
int Run(const Settings& settings);

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  zindrel::ToneCurve::Parse(kDefaultTone, settings.tone);
  ParseSymbols(kDefaultSymbols, settings.symbols);
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a != "--common-only" && a != "-h" && a != "--help" && i + 1 >= argc) {
      Usage();
      return 2;
    }
    auto value = [&]() -> std::string { return argv[++i]; };
    auto refuse = [](const std::string& what) {
      std::fprintf(stderr, "zindrel-make-table: %s\n", what.c_str());
      return 2;
    };
    if (a == "--font")
      settings.fontPath = value();
    else if (a == "--face-index") {
      const std::string text = value();
      char* end = nullptr;
      settings.faceIndex = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || settings.faceIndex < 0)
        return refuse("the face index must be a whole number from 0, not " + text);
    } else if (a == "-o" || a == "--output")
      settings.outPath = value();
    else if (a == "--common-only")
      settings.spread = false;
    else if (a == "--thin-top") {
      const std::string text = value();
      char* end = nullptr;
      settings.thinTop = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || settings.thinTop < 0)
        return refuse("--thin-top takes a whole number from 0, not " + text);
    } else if (a == "--tone") {
      const std::string text = value();
      if (!zindrel::ToneCurve::Parse(text, settings.tone))
        return refuse("--tone takes INK:VALUE knots from 0:0 to an ink of 1, rising, not " + text);
    } else if (a == "--symbols") {
      const std::string text = value();
      if (!ParseSymbols(text, settings.symbols))
        return refuse("--symbols takes hexadecimal code points separated by commas, not " + text);
    } else if (a == "--top") {
      const std::string text = value();
      if (!ParseCode(text, settings.top)) return refuse("--top takes a hexadecimal code point, not " + text);
    } else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else {
      std::fprintf(stderr, "zindrel-make-table: unknown argument %s\n", a.c_str());
      Usage();
      return 2;
    }
  }
  if (settings.fontPath.empty()) {
    Usage();
    return 2;
  }

  try {
    return Run(settings);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zindrel-make-table: %s\n", e.what());
    return 1;
  }
}

namespace {

// The GBK bytes of a code point, empty when GBK has no double-byte code for
// it.
std::string GbkOf(char32_t code) {
  const std::string gbk = Utf8ToGbk(QString::fromUcs4(&code, 1).toStdString());
  if (gbk.size() != 2 || DecodeGbk(gbk) != code) return {};
  return gbk;
}

int Run(const Settings& settings) {
  const zindrel::ToneCurve tone(settings.tone);
  FontMeasure font(settings.fontPath, settings.faceIndex, tone);

  Candidate space;
  space.gbk = "\xA1\xA1";
  space.code = 0x3000;
  Finish(space);
  Candidate block;
  block.gbk = "\xA8\x80";
  block.code = 0x2588;
  block.rank = -1;
  block.v.fill(15);
  Finish(block);

  // The symbols, measured like the Han glyphs; the one on top alone makes
  // level 84, and the full block joins the others when it is not that one.
  std::vector<Candidate> symbols;
  Candidate top;
  std::vector<char32_t> codes = settings.symbols;
  if (settings.top != 0x2588) codes.push_back(settings.top);
  for (char32_t code : codes) {
    Candidate c;
    c.code = code;
    c.rank = -1;
    c.gbk = GbkOf(code);
    if (c.gbk.empty() || code == 0x3000 || code == 0x2588 || IsHan(code))
      throw std::runtime_error("U+" + Hex(code) +
                               " is not a full-width GBK symbol besides the blank and the full block");
    if (!font.Measure(code, c.v, &c.fineUnevenness)) throw std::runtime_error("the face has no U+" + Hex(code));
    Finish(c);
    if (code == settings.top)
      top = c;
    else
      symbols.push_back(c);
  }
  if (settings.top == 0x2588)
    top = block;
  else
    symbols.push_back(block);
  top.level = 84;
  int topSum = 0;
  for (int x : top.v) topSum += x;
  if (topSum < 84)
    throw std::runtime_error("U+" + Hex(settings.top) + " measures " + std::to_string(topSum) +
                             ", too little for level 84");
  const std::vector<Candidate> fixed{space, top};

  // Every symbol and Han character of the face, one per distinct vector (a
  // symbol, then the preferred code keeps it).
  std::map<Vector, Candidate> byVector;
  std::vector<Candidate> twins;
  byVector[space.v] = space;
  byVector[top.v] = top;
  auto add = [&](const Candidate& c) {
    auto it = byVector.find(c.v);
    if (it == byVector.end()) {
      byVector.emplace(c.v, c);
    } else if (it->second.code != space.code && it->second.code != top.code && Preferred(c, it->second)) {
      twins.push_back(it->second);
      it->second = c;
    } else {
      twins.push_back(c);
    }
  };
  for (const Candidate& c : symbols) add(c);
  int measured = 0, missing = 0;
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      Candidate c;
      c.gbk = std::string{static_cast<char>(lead), static_cast<char>(trail)};
      c.code = DecodeGbk(c.gbk);
      if (!IsHan(c.code)) continue;
      if (!font.Measure(c.code, c.v, &c.fineUnevenness)) {
        ++missing;
        continue;
      }
      ++measured;
      c.rank = GbkRank(lead, trail);
      Finish(c);
      add(c);
    }
  }
  std::vector<Candidate> pool;
  for (auto& [v, c] : byVector)
    if (c.code != space.code && c.code != top.code) pool.push_back(c);
  std::fprintf(stderr, "%s: %d Han glyphs measured, %d missing, %zu symbols, %zu distinct vectors\n",
               font.FamilyName().c_str(), measured, missing, symbols.size(), pool.size());
  // Optionally the Han levels end at the densest level that holds more
  // than thinTop glyphs, and denser glyphs are left out. On the straight
  // line 15 x ink the densest level held a single glyph that every light
  // area repeated; with the tone curve and the symbols above the Han
  // glyphs, keeping every level resembles photos best.
  std::array<long, kTopLevel + 1> perLevel{};
  for (const Candidate& c : pool)
    if (c.rank >= 0) ++perLevel[c.level];
  int densest = kTopLevel;
  while (densest > 1 && perLevel[densest] <= settings.thinTop) --densest;
  const auto cut = [&](const Candidate& c) { return c.rank >= 0 && c.level > densest; };
  const size_t before = pool.size();
  pool.erase(std::remove_if(pool.begin(), pool.end(), cut), pool.end());
  twins.erase(std::remove_if(twins.begin(), twins.end(), cut), twins.end());
  if (pool.size() != before)
    std::fprintf(stderr, "Han levels end at %d: %zu denser glyphs left out\n", densest, before - pool.size());
  const size_t room = kGlyphCount - fixed.size();
  std::vector<Candidate> table = Select(pool, fixed, room, settings.spread);
  if (table.size() < room) {
    // The face has fewer distinct vectors than the table has records. The
    // rest are filled with glyphs that repeat a vector; they stand after
    // their twin in the same level, so they never change a match.
    std::sort(twins.begin(), twins.end(), Preferred);
    const size_t need = room - table.size();
    if (twins.size() < need) {
      std::fprintf(stderr, "zindrel-make-table: the face has only %zu Han glyphs, %zu needed\n",
                   table.size() + twins.size(), room);
      return 1;
    }
    for (size_t i = 0; i < need; ++i) {
      twins[i].twin = true;
      table.push_back(twins[i]);
    }
    std::fprintf(stderr, "%zu records repeat a vector\n", need);
  }
  table.push_back(space);
  table.push_back(top);

  // Ascending level; U+3000 opens level 1; within a level the glyph whose ink
  // lies most evenly over a 6x6 grid first (the only one a zero-width level
  // window can pick; measured on photos, an even texture there resembles
  // them better than the glyph most even in its nine values alone).
  std::sort(table.begin(), table.end(), [](const Candidate& a, const Candidate& b) {
    if (a.level != b.level) return a.level < b.level;
    if ((a.code == 0x3000) != (b.code == 0x3000)) return a.code == 0x3000;
    if (a.twin != b.twin) return b.twin;
    if (a.fineUnevenness != b.fineUnevenness) return a.fineUnevenness < b.fineUnevenness;
    if (a.unevenness != b.unevenness) return a.unevenness < b.unevenness;
    return Preferred(a, b);
  });

  std::string out;
  for (const Candidate& c : table) {
    out += c.gbk;
    out += "\r\n";
    for (int m = 0; m < 9; ++m) {
      out += std::to_string(c.v[m]);
      out += ',';
    }
    out += std::to_string(c.level);
    out += "\r\n";
  }
  // Written beside the target and renamed, so a failed run leaves any old
  // table as it was.
  const std::string temp = settings.outPath + ".tmp";
  {
    std::ofstream file(temp, std::ios::binary | std::ios::trunc);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    file.close();
    if (!file) {
      std::fprintf(stderr, "zindrel-make-table: cannot write %s\n", temp.c_str());
      std::remove(temp.c_str());
      return 1;
    }
  }
  std::remove(settings.outPath.c_str());  // rename does not replace on every system
  if (std::rename(temp.c_str(), settings.outPath.c_str()) != 0) {
    std::fprintf(stderr, "zindrel-make-table: cannot write %s\n", settings.outPath.c_str());
    std::remove(temp.c_str());
    return 1;
  }

  std::array<int, 85> histogram{};
  for (const Candidate& c : table) ++histogram[c.level];
  std::fprintf(stderr, "wrote %zu records to %s; glyphs per level:\n", table.size(), settings.outPath.c_str());
  for (int l = 1; l <= 84; ++l) std::fprintf(stderr, "%d:%d%s", l, histogram[l], l % 12 == 0 ? "\n" : " ");
  return 0;
}

}  // namespace
