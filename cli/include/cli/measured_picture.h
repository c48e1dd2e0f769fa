// The picture as the measurement sees it: the decoded picture's rows, from
// the top, through the negative (--invert) and then the box scale (--width,
// --fit). The rows pass one at a time, as a decoder that delivers rows one
// by one would feed them (core/pixel_rows.h).
#pragma once

#include <cstdint>
#include <memory>

#include "core/pixel_source.h"
#include "core/row_stream.h"

namespace zindrel::cli {

struct PictureSize {
  int width = 0, height = 0;
};

// The size a width x height picture is scaled to for art `columns` glyphs
// wide at cellSize: columns * cellSize pixels wide, so the grid has exactly
// that many columns, and as high as keeps the aspect ratio (ScaledHeight),
// so the cells stay square.
PictureSize ArtPictureSize(int width, int height, int columns, int16_t cellSize);

// The measured picture's size: target when it has a size (0 x 0: not
// scaled), else the decoded size. Raises Overflow when it passes
// kMaxPictureSide.
PictureSize MeasuredSize(int decodedWidth, int decodedHeight, PictureSize target);

// The measured picture of one a decoder delivers row by row: a stream of its
// rows, negated when invert and then scaled to target (box-scaled, see
// core/pixel_rows.h), each as the rows it needs arrive, holding no more than
// a band of the decoded rows. Its rows are exactly those of MeasuredPicture
// (cli/measured_image.h) on the decoded picture. Raises as MeasuredSize
// does, before any row is read.
std::unique_ptr<RowStream> MeasuredRows(std::unique_ptr<RowStream> decoded, bool invert, PictureSize target);

}  // namespace zindrel::cli
