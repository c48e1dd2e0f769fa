// Paths and the GUI application the glyph-data tests share.
#pragma once

#include <QGuiApplication>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace zindrel::testing {

inline std::string SourceDir() {
  const char* dir = std::getenv("ZINDREL_SOURCE_DIR");
  return dir ? dir : ".";
}
inline std::string BinDir() {
  const char* dir = std::getenv("ZINDREL_BIN_DIR");
  return dir ? dir : ".";
}
inline std::string ShippedTablePath() { return SourceDir() + "/data/Data.han"; }

// The face the shipped table is measured on, as Debian installs it.
inline const char* const kTableFontFile = "/usr/share/fonts/truetype/arphic/uming.ttc";

inline std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Fonts and painting need a QGuiApplication; one lives for the whole run.
inline void EnsureGuiApp() {
  if (QGuiApplication::instance()) return;
  static int argc = 1;
  static char name[] = "glyph_data_tests";
  static char* argv[] = {name, nullptr};
  new QGuiApplication(argc, argv);
}

}  // namespace zindrel::testing
