// Small, valid files of every kind the program reads, written byte by byte so
// that tests and the fuzzers' seed corpora know exactly what they hold and can
// forge any field: bitmaps (plain, palette, run-length encoded, OS/2), icons,
// cursors, GIF, PNG, JPEG, Windows metafiles, enhanced metafiles and glyph
// tables.
#pragma once

#include <QByteArray>
#include <QImage>
#include <cstdint>
#include <string>
#include <vector>

#include "support/bytes.h"

namespace zindrel::samples {

// A byte writer with the little-endian writers of support/bytes.h.
class Bytes {
 public:
  Bytes& u8(int v) {
    return Do([&] { testing::Put8(data, v); });
  }
  Bytes& u16(int v) {
    return Do([&] { testing::Put16(data, v); });
  }
  Bytes& i16(int v) { return u16(v); }
  Bytes& u32(uint32_t v) {
    return Do([&] { testing::Put32(data, v); });
  }
  Bytes& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
  Bytes& f32(float v) {
    return Do([&] { testing::PutF32(data, v); });
  }
  Bytes& raw(const QByteArray& b) {
    return Do([&] { data.append(b); });
  }
  Bytes& raw(const char* s) {
    return Do([&] { data.append(s); });
  }
  // Zero bytes up to a multiple of `multiple`.
  Bytes& pad(int multiple) {
    while (data.size() % multiple) data.append('\0');
    return *this;
  }
  int size() const { return static_cast<int>(data.size()); }
  // Overwrites 4 or 2 bytes at `at`.
  void put32(int at, uint32_t v) { testing::Set32(data, at, v); }
  void put16(int at, int v) { testing::Set16(data, at, v); }
  QByteArray data;

 private:
  template <class F>
  Bytes& Do(F&& f) {
    f();
    return *this;
  }
};

// A picture pattern of `colours` palette entries: index of point (x, y).
inline int PatternIndex(int x, int y, int colours) { return ((x / 3) + (y / 2)) % colours; }
std::vector<uint32_t> GreyPalette(int colours);  // 0x00RRGGBB entries

enum class BmpCompression { None = 0, Rle8 = 1, Rle4 = 2, Bitfields = 3, Jpeg = 4, Png = 5, AlphaBitfields = 6 };

struct BmpLayout {
  int width = 8;
  int height = 6;
  int bpp = 24;             // 1, 2, 4, 8, 16, 24 or 32
  bool topDown = false;     // negative height in the header
  bool coreHeader = false;  // OS/2 BITMAPCOREHEADER (12 bytes), palette of triples
  BmpCompression compression = BmpCompression::None;
  bool rleDelta = false;  // put a delta escape into a run-length encoding
  // Otherwise the info header's length: 40, the OS/2 2.x lengths 16 to 64
  // (cut after the field the length reaches), 52 and 56 (colour and alpha
  // masks inside), 108 or 124. Masks of bit fields go inside a header of 52
  // bytes or more, after a shorter one.
  int headerSize = 40;
  int extraPaletteEntries = 0;  // palette entries past the 2^bpp the depth indexes
  // 32-bit pixels carry PatternAlpha in their fourth byte, and the masks
  // name it (with bit fields).
  bool alpha = false;
};

// The alpha MakeDib writes for point (x, y) of a layout with alpha: never
// all 0, one point transparent, one half and the rest opaque.
int PatternAlpha(int x, int y);

// A layout of the given size, depth and compression; the rest as above.
BmpLayout Layout(int width, int height, int bpp, BmpCompression compression = BmpCompression::None);

// The pixel data and header without the file header (a DIB, as icons,
// clipboard bitmaps and metafiles embed them).
QByteArray MakeDib(const BmpLayout& layout);
// A whole .bmp file (file header + DIB).
QByteArray MakeBmp(const BmpLayout& layout);
// The same with the layout's fields as arguments.
QByteArray Bmp(int width, int height, int bpp, BmpCompression compression = BmpCompression::None, bool topDown = false,
               bool coreHeader = false, bool rleDelta = false);
// Byte offsets of fields in a MakeBmp file, for forging headers.
constexpr int kBmpWidthAt = 18, kBmpHeightAt = 22, kBmpBppAt = 28, kBmpCompressionAt = 30, kBmpImageSizeAt = 34,
              kBmpColoursUsedAt = 46, kBmpDataOffsetAt = 10;

// The run-length encodings alone (one byte per index in; rows bottom-up as
// given, `indices` row-major from the top).
QByteArray EncodeRle8(const std::vector<uint8_t>& indices, int width, int height, bool delta);
QByteArray EncodeRle4(const std::vector<uint8_t>& indices, int width, int height, bool delta);

// An icon (.ico) or cursor (.cur) with one image of the given size and depth.
QByteArray MakeIcon(int size, int bpp, bool cursor);
// The image inside an icon or cursor: the layout's bitmap with its header's
// height doubled, then the mask, which hides the top-left square of a
// quarter of the width (IconMaskHides).
QByteArray MakeIconDib(const BmpLayout& layout);
inline bool IconMaskHides(int x, int y, int width) { return x < width / 4 && y < width / 4; }

// Odd files that other readers open: `jpeg` with `bytes` put just before its
// first marker FF `marker`; `jpeg` with an APP1 segment ("Exif", zeros)
// after its APP0 segment; a WMF whose header gives `extraWords` 16-bit words
// more than the file holds.
QByteArray InsertBeforeJpegMarker(const QByteArray& jpeg, int marker, const QByteArray& bytes);
QByteArray WithApp1Segment(const QByteArray& jpeg);
QByteArray WithWmfSizeOverstated(const QByteArray& wmf, int extraWords);

// A GIF87a/89a of palette pattern pictures, LZW without compression.
QByteArray MakeGif(int width, int height, int colours, bool interlaced = false);

// Through Qt's writers.
QByteArray EncodeWithQt(const QImage& image, const char* format, int quality = -1);
// A small colourful test picture.
QImage TestPicture(int width, int height, bool alpha = false);

// A Windows metafile: placeable header (when `placeable`) and records that
// draw rectangles, ellipses, polygons, lines, text and a stretched bitmap.
QByteArray MakeWmf(bool placeable = true);
// The record stream of a WMF with chosen records, for hand-made cases: each
// element is a record's function and its parameter words.
struct WmfRecord {
  int function;
  std::vector<int> params;  // 16-bit words
};
QByteArray MakeWmfFrom(const std::vector<WmfRecord>& records, bool placeable, int width = 100, int height = 80);

// An enhanced metafile drawing the same kind of content.
QByteArray MakeEmf();
struct EmfRecord {
  uint32_t type;
  QByteArray params;  // everything after type and size
};
QByteArray MakeEmfFrom(const std::vector<EmfRecord>& records, int width = 100, int height = 80);

// An enhanced metafile whose drawing is in EMF+ records: objects of every
// kind (brushes solid, hatched, gradient and textured; a dashed pen; a path;
// a region; a bitmap and a metafile; a font and a string format), each kind
// of fill and line, images, strings, transforms, a container and clips, then
// a GetDC and a GDI rectangle. `dual` marks it as carrying GDI records beside the
// EMF+ drawing.
QByteArray MakeEmfPlus(bool dual);

}  // namespace zindrel::samples
