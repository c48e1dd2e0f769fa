// The whole picture-decoding path on arbitrary bytes: every kind is told by
// its signature, so the input is the file. A picture either decodes to a
// Format_RGB32 image or raises the invalid-picture error with a reason.
#include <QGuiApplication>
#include <cstddef>
#include <cstdint>

#include "core/errors.h"
#include "fuzz_support.h"
#include "pictures/picture.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  zindrel::fuzz::UseOffscreenPlatform();
  static QGuiApplication app(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  try {
    zindrel::PictureWarnings warnings;
    QImage image = zindrel::DecodePictureBytes(bytes, "input", &warnings);
    for (const std::string& warning : warnings)
      if (warning.empty()) __builtin_trap();
    if (image.isNull() || image.format() != QImage::Format_RGB32) __builtin_trap();
    zindrel::ImagePixelSource source(std::move(image));
    // Touch the corners through both access paths.
    const int w = source.Width(), h = source.Height();
    if (w > 0 && h > 0) {
      volatile int32_t sink = source.Point(0, 0) ^ source.Point(w - 1, h - 1);
      (void)sink;
      if (source.Point(w - 1, h - 1) != zindrel::RawToColour(source.Row(h - 1)[w - 1])) __builtin_trap();
    }
  } catch (const zindrel::RuntimeError& e) {
    if (e.kind() != zindrel::ErrorKind::InvalidPicture && e.kind() != zindrel::ErrorKind::OutOfMemory) __builtin_trap();
  }
  return 0;
}
