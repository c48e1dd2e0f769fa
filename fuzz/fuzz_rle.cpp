// Our run-length BMP decoder on arbitrary bytes: a picture of the header's
// size or the invalid-picture error, never a read outside the input or an
// allocation beyond the picture limit.
#include <cstddef>
#include <cstdint>

#include "core/errors.h"
#include "dib/bmp_rle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!zindrel::IsRunLengthBmp(data, size)) return 0;
  try {
    const QImage image = zindrel::DecodeRunLengthBmp(data, size);
    if (image.isNull() || image.format() != QImage::Format_RGB32) __builtin_trap();
  } catch (const zindrel::RuntimeError& e) {
    if (e.kind() != zindrel::ErrorKind::InvalidPicture) __builtin_trap();
  }
  return 0;
}
