// The art as a picture: every character of the art text in its own square
// cell, white on black, in the face the glyph table was measured on, so that
// people can look at what a conversion made. Needs a QGuiApplication.
#pragma once

#include <QImage>
#include <QString>
#include <string>

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

// Renders UTF-8 art text and writes it as a PNG file. The file is written
// beside the target and renamed, so a failure leaves no partial file and an
// existing file untouched. Raises what RenderArt raises, InvalidCall for art
// without characters, and WriteFailed when the file cannot be written.
void RenderArtPng(const std::string& utf8Text, int cellPx, const std::string& path);

}  // namespace zindrel
