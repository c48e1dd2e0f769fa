// Picture decoding: time and peak memory per kind, each decode in a process
// of its own so that its peak is its own. The goal printed beside each
// figure: peak memory at most twice the decoded picture plus 20 MiB.
//
//   picture_bench [SIDE]      make pictures of SIDE x SIDE pixels (default
//                             8000) of every raster kind and decode each
//   picture_bench --one FILE  decode FILE and print one line of figures
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <string>

#include "core/errors.h"
#include "pictures/picture.h"
#include "support/picture_bytes.h"

#ifdef _WIN32
#include <windows.h>
// psapi.h needs windows.h first.
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace {

double PeakMiB() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters{};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<double>(counters.PeakWorkingSetSize) / 1048576.0;
#else
  // VmHWM starts afresh with the program; ru_maxrss would carry over the
  // peak of the process that started this one.
  if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, status))
      if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
    std::fclose(status);
    if (kib >= 0) return static_cast<double>(kib) / 1024.0;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
#endif
}

int DecodeOne(const char* path) {
  QElapsedTimer timer;
  timer.start();
  try {
    const QImage image = zindrel::DecodePictureFile(path);
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    const double decoded = static_cast<double>(image.sizeInBytes()) / 1048576.0;
    const double peak = PeakMiB();
    std::printf("%-14s %6d x %-6d %8.0f ms %9.1f MiB decoded %9.1f MiB peak  %.2f x  %s\n",
                QString(path).section('/', -1).toUtf8().constData(), image.width(), image.height(), ms, decoded, peak,
                peak / decoded, peak <= 2 * decoded + 20 ? "within 2 x + 20 MiB" : "OVER 2 x + 20 MiB");
    return 0;
  } catch (const zindrel::RuntimeError& e) {
    std::printf("%s: %s\n", path, e.message().c_str());
    return 1;
  }
}

QImage Sample(int side) {
  QImage image(side, side, QImage::Format_RGB32);
  for (int y = 0; y < side; ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < side; ++x) line[x] = qRgb(x & 255, y & 255, (x ^ y) & 255);
  }
  return image;
}

// A run-length bitmap: runs, a delta and an early end on every row.
QByteArray RleSample(int side) {
  QByteArray row;
  int x = 0;
  for (int k = 0; x + 250 <= side - 60; ++k, x += 250) row += picture_bytes::Bytes({250, k & 255});
  row += picture_bytes::Bytes({0, 2, 10, 0, 20, 9, 0, 0});
  QByteArray stream;
  stream.reserve(row.size() * side + 2);
  for (int y = 0; y < side; ++y) stream += row;
  stream += picture_bytes::Bytes({0, 1});
  return picture_bytes::RleBmp(side, side, 8, stream, 256);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc == 3 && std::string(argv[1]) == "--one") return DecodeOne(argv[2]);
  const int side = argc > 1 ? std::atoi(argv[1]) : 8000;
  if (side < 16 || side > 16384) {
    std::fprintf(stderr, "usage: picture_bench [SIDE 16..16384] | --one FILE\n");
    return 2;
  }
  QTemporaryDir dir;
  std::printf("making pictures of %d x %d pixels in %s\n", side, side, dir.path().toUtf8().constData());
  std::fflush(stdout);
  {
    const QImage rgb = Sample(side);
    rgb.save(dir.filePath("rgb24.bmp"), "bmp");
    rgb.convertToFormat(QImage::Format_Indexed8).save(dir.filePath("indexed8.bmp"), "bmp");
    rgb.save(dir.filePath("rgb.png"), "png");
    QImage alpha = rgb.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < side; y += 2)
      for (int x = 0; x < side; ++x) alpha.setPixel(x, y, qRgba(10, 20, 30, x & 255));
    alpha.save(dir.filePath("alpha.png"), "png");
    rgb.save(dir.filePath("rgb.jpg"), "jpg", 90);
  }
  QFile rle(dir.filePath("runs.rle"));
  if (rle.open(QIODevice::WriteOnly)) rle.write(RleSample(side));
  rle.close();
  int failures = 0;
  for (const char* name : {"rgb24.bmp", "indexed8.bmp", "runs.rle", "rgb.png", "alpha.png", "rgb.jpg"}) {
    QProcess one;
    one.setProcessChannelMode(QProcess::ForwardedChannels);
    std::fflush(stdout);
    one.start(QCoreApplication::applicationFilePath(), {"--one", dir.filePath(name)});
    one.waitForFinished(-1);
    if (one.exitCode() != 0) ++failures;
  }
  return failures == 0 ? 0 : 1;
}
