// Our own JPEG and PNG row readers without Qt, as the converter's quick path
// uses them, on arbitrary bytes: the header opens or is refused with the
// invalid-picture error, and then every row reads, in bands of changing
// height, or the reading stops with that error.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/errors.h"
#include "readers/picture_rows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    zindrel::PictureWarnings warnings;
    const std::unique_ptr<zindrel::RowStream> rows =
        zindrel::OpenPictureRows(zindrel::HoldBytes(std::string(reinterpret_cast<const char*>(data), size)), &warnings);
    if (!rows) return 0;
    const int width = rows->Width(), height = rows->Height();
    // A side over 32767 opens only within the limit of a decoded picture.
    if (width <= 0 || height <= 0) __builtin_trap();
    if ((width > 32767 || height > 32767) && static_cast<int64_t>(width) * height * 4 > (int64_t{1} << 30))
      __builtin_trap();
    // Pictures too large to read in a moment are only opened.
    if (static_cast<int64_t>(width) * height > (int64_t{1} << 24)) return 0;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * 7);
    std::vector<uint32_t*> band;
    for (int y = 0, step = 1; y < height; y += step, step = step % 7 + 1) {
      const int count = std::min(step, height - y);
      band.clear();
      for (int i = 0; i < count; ++i) band.push_back(pixels.data() + static_cast<size_t>(i) * width);
      rows->ReadRows(band.data(), count);
      for (int i = 0; i < count; ++i)
        if ((band[i][width - 1] >> 24) != 0xFF) __builtin_trap();  // every pixel opaque
    }
    for (const std::string& warning : warnings)
      if (warning.empty()) __builtin_trap();
  } catch (const zindrel::RuntimeError& e) {
    if (e.kind() != zindrel::ErrorKind::InvalidPicture && e.kind() != zindrel::ErrorKind::OutOfMemory) __builtin_trap();
  }
  return 0;
}
