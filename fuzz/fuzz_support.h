// Helpers shared by the fuzz targets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <process.h>
#define ZINDREL_GETPID _getpid
#else
#include <unistd.h>
#define ZINDREL_GETPID getpid
#endif

namespace zindrel::fuzz {

// One scratch file per fuzzing process, rewritten with every input, for the
// parsers that read from a path.
inline const std::string& ScratchPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    std::string p = (dir && *dir) ? dir : "/tmp";
    return p + "/zindrel-fuzz-" + std::to_string(ZINDREL_GETPID()) + ".in";
  }();
  return path;
}

inline const std::string& WriteScratch(const uint8_t* data, size_t size) {
  const std::string& path = ScratchPath();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}

// Removes the scratch file when the process ends normally.
struct ScratchCleanup {
  ~ScratchCleanup() { std::remove(ScratchPath().c_str()); }
};

// Pictures and fonts need a GUI application object; no display is used.
inline void UseOffscreenPlatform() {
#ifdef _WIN32
  _putenv_s("QT_QPA_PLATFORM", "offscreen");
#else
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
}

}  // namespace zindrel::fuzz
