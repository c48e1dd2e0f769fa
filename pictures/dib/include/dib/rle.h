// The run-length encodings of device-independent bitmaps (8 bits per pixel
// with compression 1, 4 bits with compression 2): one decoder for the BMP
// files the program opens and for the bitmaps inside metafiles.
//
// The stream is read as pairs of bytes:
//   n c (n > 0)    a run of n pixels: index c (8 bits), or the two nibbles of
//                  c in turn, high first (4 bits);
//   00 00          end of line;
//   00 01          end of bitmap;
//   00 02 dx dy    delta: move right dx pixels and up dy rows;
//   00 n (n >= 3)  absolute mode: n indices follow (bytes or nibbles), padded
//                  to a 16-bit boundary.
// Pixels the stream skips are left to the caller (both callers start from
// palette index 0). Rows count from the bottom, as the stream stores them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zindrel::dib {

enum class RleMode {
  // A picture file: every count is checked against the row, the picture and
  // the file, and a malformed stream raises InvalidPicture with the reason
  // and the byte offset where it went wrong.
  Strict,
  // A bitmap inside a metafile: pixels outside the picture are dropped, and
  // a stream that goes wrong simply ends there.
  Lenient,
};

// Raises InvalidPicture: "(run-length data at byte AT: WHY)".
[[noreturn]] void BadRleStream(size_t at, const std::string& why);

// Walks the stream data[begin, size) of a width x height bitmap (nibbles for
// 4-bit streams), calling put(x, row, index) for every pixel it sets, with
// x < width and row < height.
template <class Put>
void WalkRle(const uint8_t* data, size_t begin, size_t size, int64_t width, int64_t height, bool nibbles, RleMode mode,
             Put&& put) {
  const bool strict = mode == RleMode::Strict;
  int64_t x = 0, row = 0;

  // Whether count pixels may be written at the current position: a strict
  // walk raises when they do not fit, a lenient one drops those outside.
  auto reserve = [&](size_t at, int64_t count) {
    if (!strict) return;
    if (row >= height) BadRleStream(at, "pixels past the last row");
    if (x + count > width)
      BadRleStream(at,
                   "a run of " + std::to_string(count) + " pixels passes the end of a row of " + std::to_string(width));
  };
  auto pixel = [&](unsigned index) {
    if (x < width && row < height) put(x, row, index);
    ++x;
  };

  size_t pos = begin;
  for (;;) {
    const size_t at = pos;
    if (!strict && row >= height) return;
    if (size - pos < 2) {
      if (!strict) return;
      // A stream may stop without its end mark once every row is written.
      if (row >= height || (row == height - 1 && x == width)) return;
      BadRleStream(at, "the data ends before the end of the bitmap");
    }
    const unsigned count = data[pos], code = data[pos + 1];
    pos += 2;
    if (count > 0) {
      reserve(at, count);
      for (unsigned i = 0; i < count; ++i) pixel(!nibbles ? code : (i & 1) ? (code & 15) : (code >> 4));
    } else if (code == 0) {  // end of line
      x = 0;
      ++row;
    } else if (code == 1) {  // end of bitmap
      return;
    } else if (code == 2) {  // delta
      if (size - pos < 2) {
        if (!strict) return;
        BadRleStream(at, "a delta cut short");
      }
      x += data[pos];
      row += data[pos + 1];
      pos += 2;
      if (strict && x > width) BadRleStream(at, "a delta moves past the end of the row");
      if (strict && row >= height) BadRleStream(at, "a delta moves past the last row");
    } else {  // absolute mode
      const size_t bytes = nibbles ? (code + 1) / 2 : code;
      reserve(at, code);
      if (size - pos < bytes) {
        if (!strict) return;
        BadRleStream(at, "an absolute run of " + std::to_string(code) + " pixels cut short");
      }
      for (unsigned i = 0; i < code; ++i) {
        const uint8_t b = data[pos + (nibbles ? i / 2 : i)];
        pixel(!nibbles ? b : (i & 1) ? (b & 15) : (b >> 4));
      }
      pos += bytes + (bytes & 1);  // absolute runs keep 16-bit alignment
      if (pos > size) pos = size;
    }
  }
}

}  // namespace zindrel::dib
