// zindrel-make-gbk-table: writes core/gbk_table.cpp, the characters of every
// double-byte GBK code as Qt's GBK decoder gives them, so that the core can
// decode the glyph table's text without Qt.
//   zindrel-make-gbk-table OUTPUT.cpp
// Each lead byte 0x81..0xFE gets two string literals: the characters of the
// trail bytes 0x40..0x7E and of 0x80..0xFE, in UTF-8. The decoder gives one
// character of the Basic Multilingual Plane for each of these 23940 codes
// (private-use characters for the codes GBK leaves unassigned).
#include <QStringDecoder>
#include <cstdio>
#include <string>

namespace {

std::string Row(int lead, int first, int last) {
  QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
  std::string row;
  for (int trail = first; trail <= last; ++trail) {
    const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    const QString text = decoder.decode(QByteArrayView(pair, 2));
    if (text.size() != 1 || text[0].isSurrogate()) {
      std::fprintf(stderr, "zindrel-make-gbk-table: %02X %02X is not one character\n", lead, trail);
      std::exit(1);
    }
    row += text.toStdString();
  }
  return row;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zindrel-make-gbk-table OUTPUT.cpp\n");
    return 2;
  }
  if (!QStringDecoder("GBK").isValid()) {
    std::fprintf(stderr, "zindrel-make-gbk-table: this Qt has no GBK decoder\n");
    return 1;
  }
  std::FILE* out = std::fopen(argv[1], "wb");
  if (!out) {
    std::fprintf(stderr, "zindrel-make-gbk-table: cannot write %s\n", argv[1]);
    return 1;
  }
  std::fprintf(out,
               "// Written by tools/make_gbk_table.cpp (zindrel-make-gbk-table): the character of\n"
               "// every double-byte GBK code, lead byte 0x81..0xFE, trail bytes 0x40..0x7E and\n"
               "// 0x80..0xFE, as UTF-8. Regenerate rather than edit.\n"
               "#include \"gbk_table.h\"\n\n"
               "namespace zindrel::gbk {\n\n"
               "// clang-format off\n"
               "const char* const kRows[kLeadCount][2] = {\n");
  for (int lead = 0x81; lead <= 0xFE; ++lead)
    std::fprintf(out, "    {\"%s\",\n     \"%s\"},\n", Row(lead, 0x40, 0x7E).c_str(), Row(lead, 0x80, 0xFE).c_str());
  std::fprintf(out, "};\n// clang-format on\n\n}  // namespace zindrel::gbk\n");
  return std::fclose(out) == 0 ? 0 : 1;
}
