// zindrel-art-measure: how much the art of glyph tables looks like pictures.
//
// Converts every picture with every table, cell size, quality and brightness
// exactly as `zindrel-convert --png ART --png-cell CELL` does (the same
// engine, text and drawing, one art cell per picture cell), and prints per
// conversion the structure, the blurred SSIM and the brightness ratio of
// tools/art_measure.h and what share of the cells are Han characters, blank
// or other symbols; then the means per table and setting. With --sheet DIR
// it also writes, per picture and setting, a sheet of the picture beside the
// art of every table, for a person to compare.
//
// --pair PICTURE ART --cell N compares two pictures without converting
// anything (ART may be any rendering of PICTURE, from any program).
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "cli/art_text.h"
#include "convert/matcher.h"
#include "core/errors.h"
#include "glyphs/glyph_table.h"
#include "pictures/picture.h"
#include "render/art_render.h"
#include "tools/art_measure.h"

namespace {

using zindrel::measure::CellShares;
using zindrel::measure::Figures;

void Usage() {
  std::fprintf(stderr,
               "usage: zindrel-art-measure --table FILE [--table FILE]... [--cells 6,12,24]\n"
               "                           [--qualities 0,2,10] [--brightness 100[,...]]\n"
               "                           [--sheet DIR] PICTURE|FOLDER...\n"
               "       zindrel-art-measure --pair PICTURE ART [--cell N]\n"
               "  A FOLDER stands for the pictures in it (BMP, PNG, JPEG, GIF), by name.\n");
}

[[noreturn]] void BadUsage(const std::string& why) {
  std::fprintf(stderr, "zindrel-art-measure: %s\n", why.c_str());
  Usage();
  std::exit(2);
}

int Number(const std::string& text, int low, int high) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < low || v > high)
    BadUsage(text + " is not a whole number in " + std::to_string(low) + ".." + std::to_string(high));
  return static_cast<int>(v);
}

std::vector<int> NumberList(const std::string& list, int low, int high) {
  std::vector<int> out;
  size_t start = 0;
  while (true) {
    const size_t comma = list.find(',', start);
    out.push_back(Number(list.substr(start, comma - start), low, high));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

std::vector<std::string> PicturesIn(const std::string& path) {
  const QFileInfo info(QString::fromStdString(path));
  if (!info.isDir()) return {path};
  std::vector<std::string> out;
  const QStringList names = QDir(info.filePath())
                                .entryList({"*.bmp", "*.png", "*.jpg", "*.jpeg", "*.gif", "*.BMP", "*.PNG", "*.JPG"},
                                           QDir::Files, QDir::Name);
  for (const QString& name : names) out.push_back(QDir(info.filePath()).filePath(name).toStdString());
  return out;
}

std::string BaseName(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).fileName().toStdString();
}

// The picture beside the art of every table, each under its name.
QImage Sheet(const QImage& picture, const std::vector<QImage>& arts, const std::vector<std::string>& names) {
  constexpr int kGap = 8, kCaption = 18;
  const int w = picture.width(), h = picture.height();
  QImage sheet(int(arts.size() + 1) * (w + kGap) - kGap, h + kCaption, QImage::Format_RGB32);
  sheet.fill(QColor(64, 64, 64));
  QPainter painter(&sheet);
  painter.setPen(Qt::white);
  painter.drawText(QRect(0, 0, w, kCaption), Qt::AlignCenter, QStringLiteral("picture"));
  painter.drawImage(0, kCaption, picture);
  for (size_t i = 0; i < arts.size(); ++i) {
    const int left = int(i + 1) * (w + kGap);
    painter.drawText(QRect(left, 0, w, kCaption), Qt::AlignCenter, QString::fromStdString(names[i]));
    painter.drawImage(QPoint(left, kCaption), arts[i], QRect(0, 0, w, h));
  }
  painter.end();
  return sheet;
}

int Pair(const std::string& picturePath, const std::string& artPath, int cell) {
  const QImage picture = zindrel::DecodePictureFile(picturePath);
  const QImage art = zindrel::DecodePictureFile(artPath);
  const Figures f = zindrel::measure::CompareArt(art, picture, cell);
  std::printf("structure %.4f  blurred SSIM %.4f  brightness %.4f\n", f.structure, f.ssim, f.brightness);
  return 0;
}

struct Sums {
  double structure = 0, ssim = 0, brightness = 0, han = 0;
  int count = 0;
  void Add(const Figures& f, const CellShares& s) {
    structure += f.structure;
    ssim += f.ssim;
    brightness += f.brightness;
    han += s.han;
    ++count;
  }
};

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  std::vector<std::string> tables, inputs;
  std::vector<int> cells{6, 12, 24}, qualities{0, 2, 10}, brightnesses{100};
  std::string sheetDir, pairPicture, pairArt;
  int pairCell = 12;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) BadUsage(a + " needs a value");
      return argv[++i];
    };
    if (a == "--table")
      tables.push_back(value());
    else if (a == "--cells")
      cells = NumberList(value(), 3, 30);
    else if (a == "--qualities")
      qualities = NumberList(value(), 0, 10);
    else if (a == "--brightness")
      brightnesses = NumberList(value(), 40, 120);
    else if (a == "--sheet")
      sheetDir = value();
    else if (a == "--cell")
      pairCell = Number(value(), 1, 1024);
    else if (a == "--pair") {
      pairPicture = value();
      pairArt = value();
    } else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else if (!a.empty() && a[0] == '-')
      BadUsage("unknown option " + a);
    else
      inputs.push_back(a);
  }
  try {
    if (!pairPicture.empty()) {
      if (!inputs.empty() || !tables.empty()) BadUsage("--pair takes no tables and no other pictures");
      return Pair(pairPicture, pairArt, pairCell);
    }
    std::vector<std::string> pictures;
    for (const std::string& input : inputs)
      for (const std::string& p : PicturesIn(input)) pictures.push_back(p);
    if (tables.empty() || pictures.empty()) BadUsage("give at least one table and one picture");
    if (!sheetDir.empty()) QDir().mkpath(QString::fromStdString(sheetDir));

    std::vector<zindrel::GlyphTable> loaded;
    for (const std::string& t : tables) loaded.push_back(zindrel::LoadGlyphTable(t));
    // One matcher per table, made once the tables stay where they are.
    std::vector<zindrel::Matcher> matchers;
    for (const zindrel::GlyphTable& table : loaded) matchers.emplace_back(table);
    std::vector<std::string> names;
    for (const std::string& t : tables) names.push_back(BaseName(t));

    // Means per table and setting, and per table over everything.
    std::map<std::tuple<size_t, int, int, int>, Sums> perSetting;
    std::map<size_t, Sums> perTable;
    std::printf("%-28s %-18s %4s %3s %4s %9s %7s %6s %5s %5s %5s\n", "picture", "table", "cell", "q", "bri",
                "structure", "SSIM", "bright", "han", "blank", "other");
    for (const std::string& path : pictures) {
      const QImage picture = zindrel::DecodePictureFile(path);
      const zindrel::ImagePixelSource source(picture);
      for (int brightness : brightnesses)
        for (int cell : cells)
          for (int quality : qualities) {
            zindrel::cli::ArtParameters parameters;
            parameters.cellSize = static_cast<int16_t>(cell);
            parameters.quality = static_cast<int16_t>(quality);
            // As the command line stores it: percent / 100 in double, then float.
            parameters.brightnessFactor = static_cast<float>(brightness / 100.0);
            std::vector<QImage> arts;
            for (size_t t = 0; t < loaded.size(); ++t) {
              const zindrel::cli::GlyphRows rows = zindrel::cli::ConvertPicture(matchers[t], source, parameters);
              const std::string text =
                  zindrel::cli::ArtText(loaded[t], rows, zindrel::cli::Encoding::Utf8, zindrel::cli::Newline::CrLf);
              const QImage art = zindrel::RenderArt(QString::fromStdString(text), cell);
              const Figures f = zindrel::measure::CompareArt(art, picture, cell);
              const CellShares s = zindrel::measure::SharesOf(text);
              perSetting[{t, cell, quality, brightness}].Add(f, s);
              perTable[t].Add(f, s);
              std::printf("%-28s %-18s %4d %3d %4d %9.4f %7.4f %6.3f %5.3f %5.3f %5.3f\n", BaseName(path).c_str(),
                          names[t].c_str(), cell, quality, brightness, f.structure, f.ssim, f.brightness, s.han,
                          s.blank, s.symbol);
              if (!sheetDir.empty()) arts.push_back(art);
            }
            std::fflush(stdout);
            if (!sheetDir.empty()) {
              const std::string file = sheetDir + "/" + BaseName(path) + "-c" + std::to_string(cell) + "-q" +
                                       std::to_string(quality) + "-b" + std::to_string(brightness) + ".png";
              if (!Sheet(picture, arts, names).save(QString::fromStdString(file)))
                zindrel::Raise(zindrel::ErrorKind::WriteFailed, "cannot write " + file);
            }
          }
    }
    std::printf("\nmeans over %zu pictures\n", pictures.size());
    for (const auto& [key, s] : perSetting) {
      const auto& [t, cell, quality, brightness] = key;
      std::printf("%-28s %-18s %4d %3d %4d %9.4f %7.4f %6.3f %5.3f\n", "mean", names[t].c_str(), cell, quality,
                  brightness, s.structure / s.count, s.ssim / s.count, s.brightness / s.count, s.han / s.count);
    }
    for (const auto& [t, s] : perTable)
      std::printf("%-28s %-18s %4s %3s %4s %9.4f %7.4f %6.3f %5.3f\n", "mean, all settings", names[t].c_str(), "", "",
                  "", s.structure / s.count, s.ssim / s.count, s.brightness / s.count, s.han / s.count);
  } catch (const zindrel::RuntimeError& e) {
    std::fprintf(stderr, "zindrel-art-measure: %s\n", e.message().c_str());
    return 1;
  }
  return 0;
}
