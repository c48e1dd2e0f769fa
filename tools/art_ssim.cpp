// zindrel-art-ssim: how closely the art of a glyph table resembles pictures.
//
// Converts each picture with the engine at each cell size, renders the art
// white on black with one glyph per cell of the same size, and compares it
// with the picture's grey (the engine's luminance) by SSIM (Gaussian window
// of 11 pixels, sigma 1.5) over the area both cover: once pixel by pixel,
// and once with both reduced to the sub-block scale (every cell to 3x3
// averages), which judges the tone and shape seen from a distance rather
// than the strokes. Prints one line per picture and cell size, and the
// means.
#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "convert/run.h"
#include "core/errors.h"
#include "glyphs/glyph_table.h"
#include "pictures/picture.h"
#include "render/art_render.h"

namespace {

class TextHost : public zindrel::RunHost {
 public:
  TextHost(const zindrel::GlyphTable& table, const zindrel::PixelSource& picture, int16_t cell, int16_t quality,
           float brightness)
      : table_(table), picture_(picture), cell_(cell), quality_(quality), brightness_(brightness) {}
  int16_t CellSize() override { return cell_; }
  int16_t Quality() override { return quality_; }
  float BrightnessFactor() override { return brightness_; }
  const zindrel::PixelSource& Picture() override { return picture_; }
  void AppendGlyph(int glyph) override { text += glyph ? table_.GlyphUtf8(glyph) : std::string("\u3000"); }
  void EndRow() override { text += "\r\n"; }
  std::string text;

 private:
  const zindrel::GlyphTable& table_;
  const zindrel::PixelSource& picture_;
  int16_t cell_, quality_;
  float brightness_;
};

using Plane = std::vector<double>;

Plane Blur(const Plane& in, int w, int h) {
  static const std::vector<double> kernel = [] {
    std::vector<double> k(11);
    double sum = 0;
    for (int i = 0; i < 11; ++i) sum += k[i] = std::exp(-(i - 5) * (i - 5) / (2 * 1.5 * 1.5));
    for (double& v : k) v /= sum;
    return k;
  }();
  Plane tmp(in.size()), out(in.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double s = 0;
      for (int i = -5; i <= 5; ++i) s += kernel[i + 5] * in[y * w + std::clamp(x + i, 0, w - 1)];
      tmp[y * w + x] = s;
    }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double s = 0;
      for (int i = -5; i <= 5; ++i) s += kernel[i + 5] * tmp[std::clamp(y + i, 0, h - 1) * w + x];
      out[y * w + x] = s;
    }
  return out;
}

double Ssim(const Plane& a, const Plane& b, int w, int h) {
  const double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
  Plane aa(a.size()), bb(a.size()), ab(a.size());
  for (size_t i = 0; i < a.size(); ++i) {
    aa[i] = a[i] * a[i];
    bb[i] = b[i] * b[i];
    ab[i] = a[i] * b[i];
  }
  const Plane ma = Blur(a, w, h), mb = Blur(b, w, h), maa = Blur(aa, w, h), mbb = Blur(bb, w, h), mab = Blur(ab, w, h);
  double total = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double va = maa[i] - ma[i] * ma[i], vb = mbb[i] - mb[i] * mb[i], cov = mab[i] - ma[i] * mb[i];
    total += ((2 * ma[i] * mb[i] + c1) * (2 * cov + c2)) / ((ma[i] * ma[i] + mb[i] * mb[i] + c1) * (va + vb + c2));
  }
  return total / double(a.size());
}

// Box-averages a plane by an integer factor (the remainder is cut off).
Plane Reduce(const Plane& in, int w, int h, int factor, int& rw, int& rh) {
  rw = w / factor;
  rh = h / factor;
  Plane out(size_t(rw) * rh, 0.0);
  for (int y = 0; y < rh * factor; ++y)
    for (int x = 0; x < rw * factor; ++x) out[size_t(y / factor) * rw + x / factor] += in[size_t(y) * w + x];
  for (double& v : out) v /= double(factor) * factor;
  return out;
}

void Usage() {
  std::fprintf(stderr,
               "usage: zindrel-art-ssim --table FILE [--cells 6,12,24] [--quality N] [--brightness F]\n"
               "                        [--png-dir DIR] PICTURE...\n");
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  std::string tablePath, pngDir;
  std::vector<int> cells{6, 12, 24};
  int quality = 2;
  float brightness = 1.0f;
  std::vector<std::string> pictures;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        Usage();
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--table")
      tablePath = value();
    else if (a == "--quality")
      quality = std::stoi(value());
    else if (a == "--brightness")
      brightness = std::stof(value());
    else if (a == "--png-dir")
      pngDir = value();
    else if (a == "--cells") {
      cells.clear();
      const std::string list = value();
      size_t start = 0;
      while (start <= list.size()) {
        const size_t comma = list.find(',', start);
        cells.push_back(std::stoi(list.substr(start, comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    } else if (!a.empty() && a[0] == '-') {
      Usage();
      return 2;
    } else {
      pictures.push_back(a);
    }
  }
  if (tablePath.empty() || pictures.empty()) {
    Usage();
    return 2;
  }
  try {
    const zindrel::GlyphTable table = zindrel::LoadGlyphTable(tablePath);
    double sum = 0, sumReduced = 0;
    int count = 0;
    for (const std::string& path : pictures) {
      const QImage picture = zindrel::DecodePictureFile(path);
      const zindrel::ImagePixelSource source(picture);
      for (int cell : cells) {
        TextHost host(table, source, static_cast<int16_t>(cell), static_cast<int16_t>(quality), brightness);
        zindrel::RunConversion(table, host);
        const QImage art = zindrel::RenderArt(QString::fromStdString(host.text), cell);
        const int w = std::min(art.width(), picture.width()), h = std::min(art.height(), picture.height());
        Plane a(size_t(w) * h), b(size_t(w) * h);
        for (int y = 0; y < h; ++y) {
          const uchar* artRow = art.constScanLine(y);
          for (int x = 0; x < w; ++x) {
            const QRgb p = picture.pixel(x, y);
            a[size_t(y) * w + x] = artRow[x];
            b[size_t(y) * w + x] = 0.3 * qRed(p) + 0.6 * qGreen(p) + 0.1 * qBlue(p);
          }
        }
        const double ssim = Ssim(a, b, w, h);
        const int factor = std::max(1, cell / 3);
        int rw = 0, rh = 0;
        const Plane ra = Reduce(a, w, h, factor, rw, rh), rb = Reduce(b, w, h, factor, rw, rh);
        const double reduced = Ssim(ra, rb, rw, rh);
        sum += ssim;
        sumReduced += reduced;
        ++count;
        std::printf("%-40s cell %2d  SSIM %.4f  sub-block SSIM %.4f\n", path.c_str(), cell, ssim, reduced);
        if (!pngDir.empty()) {
          std::string base = path.substr(path.find_last_of("/\\") + 1);
          art.save(QString::fromStdString(pngDir + "/" + base + "-" + std::to_string(cell) + ".png"));
        }
      }
    }
    std::printf("mean SSIM %.4f  sub-block SSIM %.4f over %d\n", sum / count, sumReduced / count, count);
  } catch (const zindrel::RuntimeError& e) {
    std::fprintf(stderr, "zindrel-art-ssim: %s\n", e.message().c_str());
    return 1;
  }
  return 0;
}
