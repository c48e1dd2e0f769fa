// Telling picture kinds apart by their first bytes, and the checks we make
// on a file's structure before a decoder sees it, where a decoder would
// otherwise turn a cut-short file into a picture with made-up parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zindrel {

// What was odd about a picture that decoded all the same, one phrase each.
using PictureWarnings = std::vector<std::string>;

// A picture file's bytes, held for as long as a reader needs them: `owner`
// keeps them alive (a std::string, a QByteArray, ...) and `data`/`size` say
// where they are.
struct PictureBytes {
  std::shared_ptr<const void> owner;
  const unsigned char* data = nullptr;
  size_t size = 0;
};

// The bytes of a string, held by the string itself.
PictureBytes HoldBytes(std::string bytes);

// Largest decoded picture accepted, in bytes of 32-bit pixels: 1 GiB.
constexpr int64_t kMaxPictureBytes = int64_t{1} << 30;

// Largest picture file read: no larger file can hold a picture within the
// limit, as even stored without compression a picture takes little more
// than its pixels.
constexpr int64_t kMaxPictureFileBytes = kMaxPictureBytes + kMaxPictureBytes / 4;

// Raises InvalidPicture with the reason in brackets, the way every reader
// words it: "(GIF file has no image)".
[[noreturn]] void RaiseInvalidPicture(const std::string& why);

// Raises InvalidPicture when a picture of width x height pixels (as claimed
// by a header) is empty or would take more than kMaxPictureBytes decoded.
void CheckPictureSize(int64_t width, int64_t height);

enum class PictureKind { Unknown, Bmp, Png, Jpeg, Gif, Icon, Wmf, Emf };

// The kind named by the file's signature; Unknown when none fits. Icon
// covers both icons (type 1) and cursors (type 2).
PictureKind DetectPictureKind(const unsigned char* data, size_t size);

// A short name for messages: "BMP", "PNG", "JPEG", "GIF", "icon", ...
const char* PictureKindName(PictureKind kind);

// A GIF must hold its first image whole: header, colour tables, the blocks
// before the image and every data block of the image up to its terminator.
// Raises InvalidPicture otherwise.
void CheckGifComplete(const unsigned char* data, size_t size);

// A PNG must run from its signature through chunks whose lengths fit the
// file to the end chunk, start with a header within the size limit, and
// carry the right checksum on every critical chunk (an ancillary chunk with
// a wrong one is skipped by the decoder, as the format allows). Raises
// InvalidPicture otherwise. The header's size is checked against the limit
// of a decoded picture, or, for a picture read row by row and never held
// whole, only when a side is over 32767 pixels (which the conversion
// refuses; the message stays the one of the decoded size).
enum class PngSizeCheck { Decoded, SidesOnly };
void CheckPngComplete(const unsigned char* data, size_t size, PngSizeCheck check = PngSizeCheck::Decoded);

}  // namespace zindrel
