// The WMF and EMF parsers and the drawing machine behind them, on arbitrary
// bytes: a picture within the limits or the invalid-picture error, never a
// crash, an endless loop or an allocation without bound. Built twice: the
// EMF target keeps only inputs that start like an enhanced metafile (first
// record type 1), the WMF target only the others, so each corpus stays on
// its own parser.
#include <QGuiApplication>
#include <cstddef>
#include <cstdint>

#include "core/errors.h"
#include "fuzz_support.h"
#include "metafile/metafile.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  zindrel::fuzz::UseOffscreenPlatform();
  static QGuiApplication app(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bool emf = size >= 4 && data[0] == 1 && data[1] == 0 && data[2] == 0 && data[3] == 0;
#ifdef ZINDREL_FUZZ_EMF
  if (!emf) return -1;
#else
  if (emf) return -1;
#endif
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (!zindrel::IsMetafile(bytes)) return -1;
  try {
    const QImage image = zindrel::RenderMetafile(bytes, 96.0);
    if (image.isNull() || image.format() != QImage::Format_RGB32) __builtin_trap();
    if (image.width() > 16384 || image.height() > 16384) __builtin_trap();
  } catch (const zindrel::RuntimeError& e) {
    if (e.kind() != zindrel::ErrorKind::InvalidPicture) __builtin_trap();
  }
  return 0;
}
