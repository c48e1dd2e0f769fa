#include "tools/art_measure.h"

#include <QString>
#include <algorithm>
#include <cmath>

namespace zindrel::measure {

Plane GreyOf(const QImage& picture, int width, int height) {
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
  Plane p;
  p.width = width > 0 ? std::min(width, rgb.width()) : rgb.width();
  p.height = height > 0 ? std::min(height, rgb.height()) : rgb.height();
  p.values.resize(size_t(p.width) * size_t(p.height));
  for (int y = 0; y < p.height; ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < p.width; ++x) p.at(x, y) = 0.3 * qRed(row[x]) + 0.6 * qGreen(row[x]) + 0.1 * qBlue(row[x]);
  }
  return p;
}

Plane GaussianBlur(const Plane& in, double sigma) {
  if (sigma <= 0 || in.values.empty()) return in;
  const int radius = static_cast<int>(std::ceil(3 * sigma));
  std::vector<double> kernel(size_t(2 * radius + 1));
  double sum = 0;
  for (int i = -radius; i <= radius; ++i) sum += kernel[size_t(i + radius)] = std::exp(-i * i / (2 * sigma * sigma));
  for (double& k : kernel) k /= sum;
  const size_t w = size_t(in.width);
  // Across: each row padded with its edge pixels, so the inner loop needs
  // no bounds.
  Plane across = in;
  std::vector<double> padded(w + size_t(2 * radius));
  for (int y = 0; y < in.height; ++y) {
    const double* row = in.values.data() + size_t(y) * w;
    std::fill(padded.begin(), padded.begin() + radius, row[0]);
    std::copy(row, row + w, padded.begin() + radius);
    std::fill(padded.begin() + radius + long(w), padded.end(), row[w - 1]);
    double* out = across.values.data() + size_t(y) * w;
    for (size_t x = 0; x < w; ++x) {
      double s = 0;
      for (size_t i = 0; i < kernel.size(); ++i) s += kernel[i] * padded[x + i];
      out[x] = s;
    }
  }
  // Down: whole rows weighted and added, the edge rows repeated.
  Plane out = in;
  std::fill(out.values.begin(), out.values.end(), 0.0);
  for (int y = 0; y < in.height; ++y) {
    double* target = out.values.data() + size_t(y) * w;
    for (int i = -radius; i <= radius; ++i) {
      const double k = kernel[size_t(i + radius)];
      const double* source = across.values.data() + size_t(std::clamp(y + i, 0, in.height - 1)) * w;
      for (size_t x = 0; x < w; ++x) target[x] += k * source[x];
    }
  }
  return out;
}

double Mean(const Plane& p) {
  if (p.values.empty()) return 0;
  double sum = 0;
  for (double v : p.values) sum += v;
  return sum / double(p.values.size());
}

double Pearson(const Plane& a, const Plane& b) {
  const double ma = Mean(a), mb = Mean(b);
  double ab = 0, aa = 0, bb = 0;
  for (size_t i = 0; i < a.values.size(); ++i) {
    const double da = a.values[i] - ma, db = b.values[i] - mb;
    ab += da * db;
    aa += da * da;
    bb += db * db;
  }
  // Below this the plane is flat up to rounding.
  const double flat = 1e-9 * double(a.values.size());
  if (aa <= flat || bb <= flat) return 0;
  return ab / std::sqrt(aa * bb);
}

double Ssim(const Plane& a, const Plane& b, double windowSigma) {
  const double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
  Plane aa = a, bb = b, ab = a;
  for (size_t i = 0; i < a.values.size(); ++i) {
    aa.values[i] = a.values[i] * a.values[i];
    bb.values[i] = b.values[i] * b.values[i];
    ab.values[i] = a.values[i] * b.values[i];
  }
  const Plane ma = GaussianBlur(a, windowSigma), mb = GaussianBlur(b, windowSigma);
  const Plane maa = GaussianBlur(aa, windowSigma), mbb = GaussianBlur(bb, windowSigma),
              mab = GaussianBlur(ab, windowSigma);
  double total = 0;
  for (size_t i = 0; i < a.values.size(); ++i) {
    const double mx = ma.values[i], my = mb.values[i];
    const double vx = maa.values[i] - mx * mx, vy = mbb.values[i] - my * my, cov = mab.values[i] - mx * my;
    total += ((2 * mx * my + c1) * (2 * cov + c2)) / ((mx * mx + my * my + c1) * (vx + vy + c2));
  }
  return a.values.empty() ? 0 : total / double(a.values.size());
}

Figures CompareArt(const QImage& art, const QImage& picture, int cell) {
  const int width = std::min(art.width(), picture.width()), height = std::min(art.height(), picture.height());
  Figures f;
  if (width <= 0 || height <= 0) return f;
  const Plane a = GreyOf(art, width, height), p = GreyOf(picture, width, height);
  const double sigma = cell / 2.0;
  const Plane blurredArt = GaussianBlur(a, sigma), blurredPicture = GaussianBlur(p, sigma);
  f.structure = Pearson(blurredArt, blurredPicture);
  f.ssim = Ssim(blurredArt, blurredPicture, cell);
  const double meanPicture = Mean(p);
  f.brightness = meanPicture > 0 ? Mean(a) / meanPicture : 0;
  return f;
}

bool IsHan(char32_t c) {
  return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0xF900 && c <= 0xFAFF);
}

CellShares SharesOf(const std::string& utf8Art) {
  long han = 0, blank = 0, symbol = 0;
  for (uint c : QString::fromStdString(utf8Art).toUcs4()) {
    if (c == '\r' || c == '\n') continue;
    if (c == 0x3000)
      ++blank;
    else if (IsHan(static_cast<char32_t>(c)))
      ++han;
    else
      ++symbol;
  }
  CellShares s;
  const double cells = double(han + blank + symbol);
  if (cells == 0) return s;
  s.han = double(han) / cells;
  s.blank = double(blank) / cells;
  s.symbol = double(symbol) / cells;
  return s;
}

}  // namespace zindrel::measure
