// The art as a picture: every character of the art text in its own square
// cell, white on black, in the face the glyph table was measured on, so that
// people can look at what a conversion made. Needs a QGuiApplication.
#pragma once

#include <QImage>
#include <QRgb>
#include <QString>
#include <string>
#include <vector>

namespace zindrel {

// Largest width or height of a rendered art picture, in pixels.
constexpr int kMaxArtPixels = 32767;
// Largest cell edge, in pixels.
constexpr int kMaxArtCell = 1024;

// Renders text (lines end at CR LF or LF; a last line end is optional) with
// one character per cell of cellPx x cellPx pixels: as many cell rows as
// lines, as many columns as the longest line has characters; short lines
// leave black. U+3000 stays black and U+2588 fills its cell. Returns a
// Format_Grayscale8 picture, or a null QImage for text without characters.
// Raises InvalidCall for a cell size outside 1..kMaxArtCell and OutOfMemory
// when the picture would exceed kMaxArtPixels on a side.
QImage RenderArt(const QString& text, int cellPx);

// The colours the art is drawn in: a background, and for every character
// its own colour (per line, per character of the line) or, past the end of
// those lists, the foreground. Opaque colours (0xFFRRGGBB).
struct ArtColours {
  QRgb background = 0xFF000000u;
  QRgb foreground = 0xFFFFFFFFu;
  std::vector<std::vector<QRgb>> characters;

  // White on black, as the art is made to be seen.
  bool plain() const { return background == 0xFF000000u && foreground == 0xFFFFFFFFu && characters.empty(); }
  QRgb At(size_t line, size_t character) const {
    return line < characters.size() && character < characters[line].size() ? characters[line][character] : foreground;
  }
};

// Black glyphs on white: the art for a light page.
ArtColours BlackOnWhite();

// The art of RenderArt, with each cell's ink in its character's colour over
// the background: every pixel blends the two by the glyph's coverage. The
// plain colours give RenderArt's picture itself (Format_Grayscale8), black
// on white its negative (Format_Grayscale8), any other colours an RGB32
// picture. Raises what RenderArt raises.
QImage RenderArt(const QString& text, int cellPx, const ArtColours& colours);

// Renders UTF-8 art text and writes it as a PNG file. The file is written
// beside the target and renamed, so a failure leaves no partial file and an
// existing file untouched. Raises what RenderArt raises, InvalidCall for art
// without characters, and WriteFailed when the file cannot be written.
void RenderArtPng(const std::string& utf8Text, int cellPx, const std::string& path);
// The same in the given colours.
void RenderArtPng(const std::string& utf8Text, int cellPx, const std::string& path, const ArtColours& colours);

}  // namespace zindrel
