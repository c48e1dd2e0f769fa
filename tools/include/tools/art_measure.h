// Figures that say how much the art of a picture looks like the picture, as
// a person sees text art: from a distance, where the strokes of the glyphs
// melt into tones. Both pictures are blurred with a Gaussian of sigma =
// cell / 2 before they are compared.
//
// - structure: the Pearson correlation of the two blurred pictures. It says
//   whether the dark and the light parts lie where they lie in the picture
//   and shade as they do there, whatever the art's overall brightness and
//   contrast. 1 for the same picture, -1 for its negative.
// - blurred SSIM: the structural similarity of the two blurred pictures
//   (Gaussian window of sigma = cell), which also counts local brightness
//   and contrast.
// - brightness: the mean grey of the art over the mean grey of the picture.
#pragma once

#include <QImage>
#include <string>
#include <vector>

namespace zindrel::measure {

// A grey picture, row by row, values on the 0..255 scale.
struct Plane {
  int width = 0;
  int height = 0;
  std::vector<double> values;
  double& at(int x, int y) { return values[size_t(y) * size_t(width) + size_t(x)]; }
  double at(int x, int y) const { return values[size_t(y) * size_t(width) + size_t(x)]; }
};

// The picture's grey as the engine measures it (0.3 red + 0.6 green + 0.1
// blue), over its top-left width x height pixels (the whole picture when
// they are 0).
Plane GreyOf(const QImage& picture, int width = 0, int height = 0);

// Separable Gaussian blur; the edges repeat their last pixel. sigma <= 0
// returns the plane unchanged.
Plane GaussianBlur(const Plane& in, double sigma);

// Pearson correlation of two planes of the same size; 0 when either is flat.
double Pearson(const Plane& a, const Plane& b);

// Mean SSIM of two planes of the same size with a Gaussian window.
double Ssim(const Plane& a, const Plane& b, double windowSigma);

double Mean(const Plane& p);

struct Figures {
  double structure = 0;
  double ssim = 0;
  double brightness = 0;  // mean art / mean picture; 0 for a black picture
};

// Compares art with the picture it was made from, over the area both cover,
// at the scale of the given cell size.
Figures CompareArt(const QImage& art, const QImage& picture, int cell);

// What the cells of the art are written with.
struct CellShares {
  double han = 0;     // Han characters
  double blank = 0;   // U+3000 IDEOGRAPHIC SPACE
  double symbol = 0;  // everything else (blocks, shades, shapes)
};
CellShares SharesOf(const std::string& utf8Art);

bool IsHan(char32_t c);

}  // namespace zindrel::measure
