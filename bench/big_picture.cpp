// Very large JPEGs for the streaming benchmark, and the art of one decoded
// whole, to compare with what zindrel-convert writes while it streams.
//
//   big_picture make WIDTH HEIGHT OUT.jpg [SOURCE]
//       the source picture (default: the sample) scaled to WIDTH x HEIGHT,
//       written row by row with libjpeg (quality 90), never held whole
//   big_picture whole TABLE PICTURE CELL
//       decodes PICTURE whole into memory (4 bytes a pixel, no size limit)
//       and writes the art at cell size CELL as zindrel-convert writes it
#include <QCoreApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/art_text.h"
#include "convert/matcher.h"
#include "core/errors.h"
#include "glyphs/glyph_table.h"
#include "pictures/picture.h"
#include "pictures/picture_rows.h"

extern "C" {
#include <jpeglib.h>
}

namespace {

int Make(int width, int height, const char* out, const std::string& sourcePath) {
  const QImage source = zindrel::DecodePictureFile(sourcePath);
  std::FILE* file = std::fopen(out, "wb");
  if (!file) return 1;
  jpeg_compress_struct c{};
  jpeg_error_mgr errors{};
  c.err = jpeg_std_error(&errors);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, file);
  c.image_width = static_cast<JDIMENSION>(width);
  c.image_height = static_cast<JDIMENSION>(height);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<unsigned char> row(static_cast<size_t>(width) * 3);
  for (int y = 0; y < height; ++y) {
    // Bilinear between the source's rows and columns.
    const double sy = (y + 0.5) * source.height() / height - 0.5;
    const int y0 = std::max(0, static_cast<int>(sy)), y1 = std::min(source.height() - 1, y0 + 1);
    const double fy = std::max(0.0, sy - y0);
    const QRgb* r0 = reinterpret_cast<const QRgb*>(source.constScanLine(y0));
    const QRgb* r1 = reinterpret_cast<const QRgb*>(source.constScanLine(y1));
    for (int x = 0; x < width; ++x) {
      const double sx = (x + 0.5) * source.width() / width - 0.5;
      const int x0 = std::max(0, static_cast<int>(sx)), x1 = std::min(source.width() - 1, x0 + 1);
      const double fx = std::max(0.0, sx - x0);
      auto mix = [&](int (*channel)(QRgb)) {
        const double top = channel(r0[x0]) * (1 - fx) + channel(r0[x1]) * fx;
        const double bottom = channel(r1[x0]) * (1 - fx) + channel(r1[x1]) * fx;
        return static_cast<unsigned char>(top * (1 - fy) + bottom * fy + 0.5);
      };
      row[3 * static_cast<size_t>(x)] = mix(qRed);
      row[3 * static_cast<size_t>(x) + 1] = mix(qGreen);
      row[3 * static_cast<size_t>(x) + 2] = mix(qBlue);
    }
    JSAMPROW pointer = row.data();
    jpeg_write_scanlines(&c, &pointer, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return std::fclose(file) == 0 ? 0 : 1;
}

int Whole(const std::string& tablePath, const std::string& picturePath, int cell) {
  const zindrel::GlyphTable table = zindrel::LoadGlyphTable(tablePath);
  const zindrel::Matcher matcher(table);
  const QByteArray bytes = zindrel::ReadPictureBytes(picturePath);
  std::unique_ptr<zindrel::RowStream> rows = zindrel::OpenPictureRows(bytes, nullptr);
  if (!rows) {
    std::fprintf(stderr, "big_picture: %s is no JPEG or PNG read by rows\n", picturePath.c_str());
    return 1;
  }
  const int width = rows->Width(), height = rows->Height();
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  std::vector<uint32_t*> pointers(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) pointers[y] = pixels.data() + static_cast<size_t>(y) * width;
  rows->ReadRows(pointers.data(), height);
  const zindrel::RowsPixelSource picture(pixels.data(), width, height, width);
  zindrel::cli::Options options;
  options.cellSize = cell;
  const zindrel::cli::GlyphRows art =
      zindrel::cli::ConvertPicture(matcher, picture, zindrel::cli::ParametersOf(options));
  const std::string text = zindrel::cli::ArtText(table, art, options.encoding, options.newline);
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::string what = argc > 1 ? argv[1] : "";
  try {
    if (what == "make" && (argc == 5 || argc == 6))
      return Make(std::atoi(argv[2]), std::atoi(argv[3]), argv[4],
                  argc == 6 ? argv[5] : std::string(ZINDREL_BENCH_DATA_DIR) + "/Varnock.bmp");
    if (what == "whole" && argc == 5) return Whole(argv[2], argv[3], std::atoi(argv[4]));
  } catch (const zindrel::RuntimeError& e) {
    std::fprintf(stderr, "big_picture: %s\n", e.message().c_str());
    return 1;
  }
  std::fprintf(stderr,
               "usage: big_picture make WIDTH HEIGHT OUT.jpg [SOURCE]\n"
               "       big_picture whole TABLE PICTURE CELL\n");
  return 2;
}
