// zindrel-make-table: builds the glyph table file from a font.
//
// Every double-byte GBK code that decodes to a Han ideograph the face has is
// drawn white on black into its em square, without hinting, anti-aliased, at
// a size divisible by three. The ink fraction of each of the 3x3 sub-blocks
// becomes a value on the 0..15 scale (15 x fraction, rounded), the level is
// their sum held within 1..83. U+3000 IDEOGRAPHIC SPACE opens level 1 and
// U+2588 FULL BLOCK is the single glyph of level 84. When the face has more
// distinct vectors than the table holds, the common characters (GB2312) are
// kept first and the rest are chosen to spread the vectors as widely as
// possible; when it has fewer, glyphs that repeat a vector fill the table
// after their twins. The output is a pure function of the font file.
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

namespace {

constexpr int kGlyphCount = 14924;
constexpr int kEm = 192;       // rendering size in pixels, divisible by 6
constexpr int kSub = kEm / 3;  // sub-block edge
constexpr int kTopLevel = 83;  // highest level a Han glyph may take
constexpr long kThinTop = 20;  // a densest level with this few glyphs or fewer is left out

using Vector = std::array<int, 9>;

struct Candidate {
  std::string gbk;    // the two GBK bytes
  char32_t code = 0;  // Unicode code point
  int rank = 0;       // 0 GB2312 level 1, 1 GB2312 level 2, 2 other GBK
  Vector v{};
  int sum = 0;
  int level = 0;
  long unevenness = 0;        // 81 x variance of the nine values
  double fineUnevenness = 0;  // 36^2 x variance of the ink over a 6x6 grid
  bool twin = false;          // repeats the vector of a glyph before it
};

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
  FontMeasure(const std::string& path, long faceIndex) {
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
        // round(15 x ink / (255 x area)) in integers, halves up
        const long area = 255L * kSub * kSub;
        out[3 * g + k] = static_cast<int>((30 * sub + area) / (2 * area));
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

void Usage() {
  std::fprintf(stderr,
               "usage: zindrel-make-table --font PATH [--face-index N] [-o FILE] [--common-only]\n"
               "                          [--thin-top N]\n"
               "  Measures every GBK Han character of the face and writes the glyph table\n"
               "  (default output data/Data.han). Dense levels at the top holding N glyphs\n"
               "  or fewer are left out (default 20; 0 keeps every level).\n");
}

// Measures the face and writes the table; throws std::runtime_error.
int Run(const std::string& fontPath, long faceIndex, const std::string& outPath, bool spread, long thinTop);

}  // namespace

int main(int argc, char** argv) {
  std::string fontPath, outPath = "data/Data.han";
  long faceIndex = 0;
  long thinTop = kThinTop;
  bool spread = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a != "--common-only" && a != "-h" && a != "--help" && i + 1 >= argc) {
      Usage();
      return 2;
    }
    auto value = [&]() -> std::string { return argv[++i]; };
    if (a == "--font")
      fontPath = value();
    else if (a == "--face-index") {
      const std::string text = value();
      char* end = nullptr;
      faceIndex = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || faceIndex < 0) {
        std::fprintf(stderr, "zindrel-make-table: the face index must be a whole number from 0, not %s\n",
                     text.c_str());
        return 2;
      }
    } else if (a == "-o" || a == "--output")
      outPath = value();
    else if (a == "--common-only")
      spread = false;
    else if (a == "--thin-top") {
      const std::string text = value();
      char* end = nullptr;
      thinTop = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || thinTop < 0) {
        std::fprintf(stderr, "zindrel-make-table: --thin-top takes a whole number from 0, not %s\n", text.c_str());
        return 2;
      }
    } else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else {
      std::fprintf(stderr, "zindrel-make-table: unknown argument %s\n", a.c_str());
      Usage();
      return 2;
    }
  }
  if (fontPath.empty()) {
    Usage();
    return 2;
  }

  try {
    return Run(fontPath, faceIndex, outPath, spread, thinTop);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zindrel-make-table: %s\n", e.what());
    return 1;
  }
}

namespace {

int Run(const std::string& fontPath, long faceIndex, const std::string& outPath, bool spread, long thinTop) {
  FontMeasure font(fontPath, faceIndex);

  Candidate space;
  space.gbk = "\xA1\xA1";
  space.code = 0x3000;
  Finish(space);
  Candidate block;
  block.gbk = "\xA8\x80";
  block.code = 0x2588;
  block.v.fill(15);
  Finish(block);
  block.level = 84;
  const std::vector<Candidate> fixed{space, block};

  // Every Han character of the face, one per distinct vector (the preferred
  // code keeps it).
  std::map<Vector, Candidate> byVector;
  std::vector<Candidate> twins;
  byVector[space.v] = space;
  byVector[block.v] = block;
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
      auto it = byVector.find(c.v);
      if (it == byVector.end()) {
        byVector.emplace(c.v, c);
      } else if (it->second.code != 0x3000 && it->second.code != 0x2588 && Preferred(c, it->second)) {
        twins.push_back(it->second);
        it->second = c;
      } else {
        twins.push_back(c);
      }
    }
  }
  std::vector<Candidate> pool;
  for (auto& [v, c] : byVector)
    if (c.code != 0x3000 && c.code != 0x2588) pool.push_back(c);
  std::fprintf(stderr, "%s: %d Han glyphs measured, %d missing, %zu distinct vectors\n", font.FamilyName().c_str(),
               measured, missing, pool.size());

  // Every cell brighter than the densest Han level is served by the glyphs
  // of that level and the full block alone. When that level is thin (this
  // face's densest level holds one glyph), every light area becomes a
  // repeat of one glyph, and the art resembles photos less. So the Han
  // levels end at the densest level that holds more than thinTop glyphs;
  // denser glyphs are left out.
  std::array<long, kTopLevel + 1> perLevel{};
  for (const Candidate& c : pool) ++perLevel[c.level];
  int top = kTopLevel;
  while (top > 1 && perLevel[top] <= thinTop) --top;
  const size_t before = pool.size();
  pool.erase(std::remove_if(pool.begin(), pool.end(), [&](const Candidate& c) { return c.level > top; }), pool.end());
  twins.erase(std::remove_if(twins.begin(), twins.end(), [&](const Candidate& c) { return c.level > top; }),
              twins.end());
  if (pool.size() != before)
    std::fprintf(stderr, "Han levels end at %d: %zu denser glyphs left out\n", top, before - pool.size());
  const size_t room = kGlyphCount - fixed.size();
  std::vector<Candidate> table = Select(pool, fixed, room, spread);
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
  table.push_back(block);

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
  const std::string temp = outPath + ".tmp";
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
  std::remove(outPath.c_str());  // rename does not replace on every system
  if (std::rename(temp.c_str(), outPath.c_str()) != 0) {
    std::fprintf(stderr, "zindrel-make-table: cannot write %s\n", outPath.c_str());
    std::remove(temp.c_str());
    return 1;
  }

  std::array<int, 85> histogram{};
  for (const Candidate& c : table) ++histogram[c.level];
  std::fprintf(stderr, "wrote %zu records to %s; glyphs per level:\n", table.size(), outPath.c_str());
  for (int l = 1; l <= 84; ++l) std::fprintf(stderr, "%d:%d%s", l, histogram[l], l % 12 == 0 ? "\n" : " ");
  return 0;
}

}  // namespace
