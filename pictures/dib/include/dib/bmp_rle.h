// Run-length encoded BMP files (8 bits per pixel with compression 1, 4 bits
// with compression 2), decoded by our own code so that the result never
// depends on memory that nothing wrote.
//
// The stream (dib/rle.h) is read strictly. Pixels it skips keep palette
// index 0: the picture starts filled with index 0. An index past the end of
// the colour table is black.
//
// Rows are stored bottom-up; a negative height (top-down) is not allowed for
// run-length bitmaps and is refused. Every count is checked against the row,
// the picture and the file, and a malformed stream raises InvalidPicture
// with the reason and the byte offset where it went wrong.
#pragma once

#include <QImage>
#include <cstddef>

namespace zindrel {

// True when the bytes are a BMP file whose header names compression 1 or 2.
bool IsRunLengthBmp(const unsigned char* data, size_t size);

// Decodes a whole run-length BMP file into a Format_RGB32 picture.
QImage DecodeRunLengthBmp(const unsigned char* data, size_t size);

}  // namespace zindrel
