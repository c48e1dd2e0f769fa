// Writes the fuzzers' seed corpora: small valid files of every kind, made
// here byte by byte (see support/sample_files.h). Usage: zindrel_fuzz_seeds OUTDIR
// Creates OUTDIR/<target>/ for every fuzz target.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>
#include <functional>

#include "support/picture_bytes.h"
#include "support/sample_files.h"
#include "support/tables.h"

namespace s = zindrel::samples;

namespace {

QString g_root;

void Write(const char* target, const QString& name, const QByteArray& bytes) {
  QDir().mkpath(g_root + "/" + target);
  QFile f(g_root + "/" + target + "/" + name);
  if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
    std::fprintf(stderr, "zindrel_fuzz_seeds: cannot write %s\n", qPrintable(f.fileName()));
    std::exit(1);
  }
}

// A picture seed: the file itself; JPEG and PNG files seed the row readers
// too.
void Picture(const QString& name, const char* extension, const QByteArray& file) {
  Write("picture", name + "." + extension, file);
  const QString kind = QString::fromLatin1(extension);
  if (kind == "jpg" || kind == "jpeg" || kind == "png") Write("rows", name + "." + extension, file);
}

using s::Bmp;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zindrel_fuzz_seeds OUTDIR\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  g_root = QString::fromLocal8Bit(argv[1]);
  using C = s::BmpCompression;

  // Glyph tables: short ones (they end early) and one whole table per layout.
  Write("glyph_table", "three-records", QByteArray::fromStdString(zindrel::testing::TableBytes(3)));
  Write("glyph_table", "blanks",
        QByteArray::fromStdString(zindrel::testing::TableBytes(5, zindrel::testing::NumberLayout::Blanks)));
  Write("glyph_table", "one-per-line",
        QByteArray::fromStdString(zindrel::testing::TableBytes(4, zindrel::testing::NumberLayout::OnePerLine)));
  Write("glyph_table", "bare-cr",
        QByteArray::fromStdString(zindrel::testing::TableBytes(4, zindrel::testing::NumberLayout::Commas, "\r")));
  Write("glyph_table", "bare-lf",
        QByteArray::fromStdString(zindrel::testing::TableBytes(4, zindrel::testing::NumberLayout::Commas, "\n")));
  Write("glyph_table", "whole", QByteArray::fromStdString(zindrel::testing::TableBytes(14924)));
  Write("glyph_table", "whole-tail", QByteArray::fromStdString(zindrel::testing::TableBytes(14924) + "junk\r\n1,2"));

  // Bitmaps of every depth and header, plain and run-length encoded.
  for (int bpp : {1, 4, 8, 24, 32}) Picture(QString("bmp-%1").arg(bpp), "bmp", Bmp(9, 5, bpp));
  Picture("bmp-16-555", "bmp", Bmp(7, 4, 16));
  Picture("bmp-16-565", "bmp", Bmp(7, 4, 16, C::Bitfields));
  Picture("bmp-32-fields", "bmp", Bmp(5, 3, 32, C::Bitfields));
  Picture("bmp-topdown", "bmp", Bmp(6, 4, 24, C::None, true));
  Picture("bmp-core", "bmp", Bmp(6, 4, 8, C::None, false, true));
  Picture("dib-8", "dib", Bmp(6, 4, 8));
  Picture("rle8", "rle", Bmp(13, 6, 8, C::Rle8));
  Picture("rle8-delta", "rle", Bmp(13, 6, 8, C::Rle8, false, false, true));
  Picture("rle4", "rle", Bmp(13, 6, 4, C::Rle4));
  Picture("rle4-delta", "rle", Bmp(13, 6, 4, C::Rle4, false, false, true));
  Picture("bmp-rle8", "bmp", Bmp(10, 4, 8, C::Rle8));
  for (int header : {16, 52, 56}) {
    s::BmpLayout layout;
    layout.headerSize = header;
    layout.bpp = header == 16 ? 8 : 32;
    layout.compression = header == 16 ? C::None : C::Bitfields;
    layout.alpha = header == 56;
    Picture(QString("bmp-header-%1").arg(header), "bmp", s::MakeBmp(layout));
  }
  {
    s::BmpLayout layout;
    layout.bpp = 32;
    layout.compression = C::AlphaBitfields;
    layout.alpha = true;
    Picture("bmp-alpha-fields", "bmp", s::MakeBmp(layout));
    layout.bpp = 8;
    layout.compression = C::None;
    layout.extraPaletteEntries = 44;
    Picture("bmp-palette-300", "bmp", s::MakeBmp(layout));
  }
  Picture("bmp-2", "bmp", Bmp(13, 5, 2));
  Picture("jpeg-stray", "jpg",
          s::InsertBeforeJpegMarker(s::EncodeWithQt(s::TestPicture(16, 12), "jpeg", 80), 0xDB, QByteArray(5, '\x01')));
  Picture("wmf-overstated", "wmf", s::WithWmfSizeOverstated(s::MakeWmf(true), 11));
  {
    std::vector<picture_bytes::IconImage> images;
    for (int side : {16, 24}) {
      const s::BmpLayout layout = s::Layout(side, side, side == 16 ? 8 : 4);
      images.push_back({side, side, 1, layout.bpp, s::MakeIconDib(layout)});
    }
    Picture("ico-several", "ico", picture_bytes::IconFile(1, images));
  }
  Picture("ico-32", "ico", s::MakeIcon(16, 32, false));
  Picture("ico-8", "ico", s::MakeIcon(16, 8, false));
  Picture("ico-4", "ico", s::MakeIcon(8, 4, false));
  Picture("cur-1", "cur", s::MakeIcon(16, 1, true));
  Picture("gif", "gif", s::MakeGif(11, 7, 4));
  Picture("gif-interlaced", "gif", s::MakeGif(9, 10, 16, true));
  Picture("gif-2", "gif", s::MakeGif(3, 2, 2));
  Picture("jpeg", "jpg", s::EncodeWithQt(s::TestPicture(16, 12), "jpeg", 80));
  Picture("jpeg-q10", "jpeg", s::EncodeWithQt(s::TestPicture(9, 17), "jpeg", 10));
  Picture("png", "png", s::EncodeWithQt(s::TestPicture(8, 6, true), "png"));
  Picture("wmf", "wmf", s::MakeWmf(true));
  Picture("wmf-plain", "wmf", s::MakeWmf(false));
  Picture("emf", "emf", s::MakeEmf());
  Picture("emf-plus", "emf", s::MakeEmfPlus(false));

  // The run-length decoder and the metafile players on their own.
  Write("rle", "rle8", Bmp(13, 6, 8, C::Rle8));
  Write("rle", "rle8-delta", Bmp(13, 6, 8, C::Rle8, false, false, true));
  Write("rle", "rle4", Bmp(13, 6, 4, C::Rle4));
  Write("rle", "rle4-delta", Bmp(13, 6, 4, C::Rle4, false, false, true));
  Write("rle", "rle8-wide", Bmp(300, 2, 8, C::Rle8));
  Write("wmf", "placeable", s::MakeWmf(true));
  Write("wmf", "plain", s::MakeWmf(false));
  Write("emf", "emf", s::MakeEmf());
  Write("emf", "emf-plus", s::MakeEmfPlus(false));
  Write("emf", "emf-plus-dual", s::MakeEmfPlus(true));

  // Engine: width, height, cell size, quality, brightness, table, stop; pixels.
  Write("engine", "grey", QByteArray::fromHex("1810090264000000808080ffffff"));
  Write("engine", "sparse", QByteArray::fromHex("2020000a00010010203040506070"));
  Write("engine", "stop", QByteArray::fromHex("303003055000080000ffffffff00"));
  Write("engine", "no-levels", QByteArray::fromHex("0505000250020000000000"));

  std::printf("seed corpora written to %s\n", argv[1]);
  return 0;
}
