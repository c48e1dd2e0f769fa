#include "readers/jpeg_markers.h"

#include <cstdio>
#include <cstring>

#include "core/errors.h"
#include "readers/picture_kinds.h"

namespace zindrel {

namespace {

[[noreturn]] void CutShortInHeaders() { RaiseInvalidPicture("JPEG file cut short before its image data"); }

// From `pos`, skips what is no marker the way libjpeg does: any byte but FF,
// and FF 00 (a stuffed zero, data rather than a marker). Stops on the FF of
// the next marker, with `skipped` counting the bytes passed over.
size_t SkipToMarker(const unsigned char* data, size_t size, size_t pos, size_t* skipped) {
  for (;;) {
    const size_t from = pos;
    while (pos < size && data[pos] != 0xFF) ++pos;
    size_t fill = pos;
    while (fill < size && data[fill] == 0xFF) ++fill;  // fill bytes before a marker code
    if (fill >= size) CutShortInHeaders();
    if (data[fill] != 0x00) {
      *skipped += pos - from;
      return pos;
    }
    *skipped += fill + 1 - from;
    pos = fill + 1;
  }
}

}  // namespace

std::string JpegStrayBytesWarning(size_t count, unsigned marker) {
  char code[8];
  std::snprintf(code, sizeof code, "0x%02X", marker & 0xFF);
  return "JPEG: " + std::to_string(count) + " stray byte" + (count == 1 ? "" : "s") + " before marker " + code;
}

void CheckJpegComplete(const unsigned char* data, size_t size, std::vector<std::string>* warnings) {
  size_t pos = 2;  // after the start-of-image marker
  for (;;) {
    size_t stray = 0;
    pos = SkipToMarker(data, size, pos, &stray);
    while (data[pos] == 0xFF) ++pos;  // SkipToMarker saw the marker code after them
    const unsigned marker = data[pos++];
    if (stray > 0 && warnings) warnings->push_back(JpegStrayBytesWarning(stray, marker));
    if (marker == 0xD9) RaiseInvalidPicture("JPEG file has no image data");
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;  // markers without a length
    if (size - pos < 2) RaiseInvalidPicture("JPEG file cut short in a header");
    const size_t length = static_cast<size_t>((data[pos] << 8) | data[pos + 1]);
    if (length < 2)
      RaiseInvalidPicture("JPEG segment of length " + std::to_string(length) + " at byte " + std::to_string(pos));
    if (size - pos < length) RaiseInvalidPicture("JPEG file cut short in a header");
    pos += length;
    if (marker == 0xDA) break;  // start of scan: entropy-coded data follows
  }
  // Inside the coded data an 0xFF is always followed by 0x00 or a restart
  // marker, so the first FF D9 from here on is the end of the image.
  while (pos + 1 < size) {
    const void* ff = std::memchr(data + pos, 0xFF, size - 1 - pos);
    if (ff == nullptr) break;
    pos = static_cast<size_t>(static_cast<const unsigned char*>(ff) - data);
    if (data[pos + 1] == 0xD9) return;
    ++pos;
  }
  RaiseInvalidPicture("JPEG file cut short: no end-of-image marker");
}

}  // namespace zindrel
