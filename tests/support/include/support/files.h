// Where the tests find the source tree and the built programs, temporary
// folders that go away with the test, and whole-file reads. Standard C++
// only, so that the engine's tests need no Qt.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace zindrel::testing {

// The source tree and the folder of the built programs: as ctest gives them,
// else as the build was configured (a test program started by hand).
inline std::string SourceDir() {
  const char* dir = std::getenv("ZINDREL_SOURCE_DIR");
  return dir ? dir : ZINDREL_TEST_SOURCE_DIR;
}
inline std::string BinDir() {
  const char* dir = std::getenv("ZINDREL_BIN_DIR");
  return dir ? dir : ZINDREL_TEST_BIN_DIR;
}
// A built program by name: BinDir()/name, with .exe on Windows.
inline std::string ProgramPath(const std::string& name) {
#ifdef _WIN32
  return BinDir() + "/" + name + ".exe";
#else
  return BinDir() + "/" + name;
#endif
}
inline std::string ShippedTablePath() { return SourceDir() + "/data/Data.han"; }

// The face the shipped table is measured on, as Debian installs it.
inline const char* const kTableFontFile = "/usr/share/fonts/truetype/arphic/uming.ttc";

inline std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A temporary folder that goes away with the test.
class TempFolder {
 public:
  TempFolder() {
    namespace fs = std::filesystem;
    std::random_device seed;
    std::mt19937_64 rng((static_cast<uint64_t>(seed()) << 32) ^ seed());
    for (;;) {
      const fs::path candidate = fs::temp_directory_path() / ("zindrel-test-" + std::to_string(rng()));
      if (fs::create_directory(candidate)) {
        dir_ = candidate;
        break;
      }
    }
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string Write(const std::string& name, const std::string& bytes) const {
    const std::string path = Path(name);
    WriteBytes(path, bytes);
    return path;
  }

 private:
  std::filesystem::path dir_;
};

}  // namespace zindrel::testing
