// zindrel-convert: a picture file to Chinese-character art on standard output.
#include <cstdio>
#include <iostream>
#include <string>

#include <QCoreApplication>
#include <QGuiApplication>

#include "convert/run.h"
#include "glyphs/glyph_table.h"
#include "platform/picture.h"

namespace {

class TextHost : public zindrel::RunHost {
 public:
  TextHost(const zindrel::GlyphTable& table, const zindrel::PixelSource& picture, std::string& out)
      : table_(table), picture_(picture), out_(out) {}
  int16_t CellSize() override { return 12; }
  int16_t Quality() override { return 2; }
  float BrightnessFactor() override { return 1.0f; }
  const zindrel::PixelSource& Picture() override { return picture_; }
  void AppendGlyph(int glyph) override {
    if (glyph) out_ += table_.GlyphUtf8(glyph);
  }
  void EndRow() override { out_ += "\r\n"; }

 private:
  const zindrel::GlyphTable& table_;
  const zindrel::PixelSource& picture_;
  std::string& out_;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: zindrel-convert PICTURE\n");
    return 2;
  }
  try {
    const std::string dir = QCoreApplication::applicationDirPath().toStdString();
    zindrel::GlyphTable table = zindrel::LoadGlyphTable(zindrel::DefaultTablePath(dir));
    zindrel::ImagePixelSource picture(zindrel::DecodePictureFile(argv[1]));
    std::string out;
    TextHost host(table, picture, out);
    zindrel::RunConversion(table, host);
    std::fwrite(out.data(), 1, out.size(), stdout);
  } catch (const zindrel::RuntimeError& e) {
    std::fprintf(stderr, "zindrel-convert: %s\n", e.message().c_str());
    return 1;
  }
  return 0;
}
