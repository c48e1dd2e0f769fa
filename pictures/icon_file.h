// Icons (.ico) and cursors (.cur): the directory, the choice of image and
// its decoding. Each image is a PNG or a bitmap without file header (colour
// rows, then a 1-bit mask of the same size; the header's height counts both).
#pragma once

#include <QImage>
#include <cstddef>
#include <string>
#include <vector>

namespace zindrel {

// Decodes the image a person expects of the file: the one with the most
// pixels, among those the one with the most colours (bits per pixel), the
// first listed on a tie. Sizes and depths are read from the images
// themselves, not from the directory.
//
// What the image holds decides, as Windows and other readers take it: a
// directory entry whose size, depth or byte count disagrees with an image
// that is all in the file does not stop it, and adds a warning naming the
// disagreement to `warnings` when it is given. Raises InvalidPicture for a
// directory cut short or without images, an image that lies past the end of
// the file, cannot be read or is cut short (a bitmap's colour rows and, below
// 32 bits, its mask must be there; a PNG must pass CheckPngComplete).
//
// Pixels the mask hides are transparent. A 32-bit image carries alpha in its
// fourth byte and needs no mask, unless every alpha is 0: then the mask
// decides, as Windows draws such icons.
QImage DecodeIconFile(const unsigned char* data, size_t size, std::vector<std::string>* warnings = nullptr);

}  // namespace zindrel
