#include "cli/full_converter.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/report.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif
#ifdef __APPLE__
#include <mach-o/dyld.h>
#endif

namespace zindrel::cli {

namespace {

#ifdef _WIN32
constexpr const char* kFullConverter = "zindrel-convert-full.exe";
#else
constexpr const char* kFullConverter = "zindrel-convert-full";
#endif

#ifdef _WIN32
std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}
#endif

// The running program's own file, or an empty path.
std::filesystem::path ProgramFile() {
#if defined(_WIN32)
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::filesystem::path(buffer.substr(0, n));
    buffer.resize(buffer.size() * 2);
  }
#elif defined(__APPLE__)
  uint32_t size = 0;
  _NSGetExecutablePath(nullptr, &size);
  std::string buffer(size, '\0');
  if (_NSGetExecutablePath(buffer.data(), &size) != 0) return {};
  buffer.resize(std::strlen(buffer.c_str()));
  return std::filesystem::path(buffer);
#else
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : self;
#endif
}

// The folder of the running program with the links to it resolved, or an
// empty path.
std::filesystem::path ProgramFolder() {
  const std::filesystem::path file = ProgramFile();
  if (file.empty()) return {};
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::canonical(file, ec);
  return (ec ? file : real).parent_path();
}

}  // namespace

std::string ProgramDirectory() {
#ifdef _WIN32
  return Utf8(ProgramFolder().generic_wstring());
#else
  return ProgramFolder().string();
#endif
}

int RunFullConverter(int argc, char** argv) {
  const std::filesystem::path full = ProgramFolder() / kFullConverter;
#ifdef _WIN32
  (void)argc;
  (void)argv;
  // The command line goes over as it came, so the full converter reads the
  // same arguments.
  std::wstring commandLine = GetCommandLineW();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(full.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process))
    return Report(Utf8(full.wstring()), "cannot be started (error " + std::to_string(GetLastError()) + ")", 1);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
#else
  // The program's arguments as given, after the full converter's own path.
  const std::string path = full.string();
  std::vector<char*> arguments;
  arguments.push_back(const_cast<char*>(path.c_str()));
  for (int i = 1; i < argc; ++i) arguments.push_back(argv[i]);
  arguments.push_back(nullptr);
  execv(path.c_str(), arguments.data());
  return Report(path, std::string("cannot be started (") + std::strerror(errno) + ")", 1);
#endif
}

}  // namespace zindrel::cli
