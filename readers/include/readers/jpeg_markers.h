// The marker structure of a JPEG file, checked before any decoder sees it:
// what makes a file unreadable (cut short, no image data, a segment that
// cannot be followed) is refused, and what a JPEG decoder recovers from is
// told apart and named, so that any reader built on libjpeg can share the
// same judgement and the same words.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zindrel {

// Recoverable: bytes that are no marker between two header segments. libjpeg
// skips them up to the next marker (an FF followed by a marker code; FF 00 is
// skipped with them) and warns "Corrupt JPEG data: N extraneous bytes before
// marker 0xXX", then decodes the picture in full.
std::string JpegStrayBytesWarning(size_t count, unsigned marker);

// Walks from the start-of-image marker through the header segments to the
// first scan, and from there to an end-of-image marker. Raises InvalidPicture
// for a file cut short anywhere before that marker, a file without image
// data, or a segment length under 2. Stray bytes between header segments are
// skipped as libjpeg skips them, and each run adds one JpegStrayBytesWarning
// to `warnings` when it is given.
void CheckJpegComplete(const unsigned char* data, size_t size, std::vector<std::string>* warnings = nullptr);

}  // namespace zindrel
