// zindrel-convert: pictures to Chinese-character art on standard output or
// into files. One JPEG or PNG file to text on standard output runs here on
// the quick path, without Qt; everything else runs in the full converter
// (full_main.cpp), started in this one's place before anything is written.
#include <string>
#include <vector>

#include "cli/full_converter.h"
#include "cli/output.h"
#include "cli/quick_convert.h"

int main(int argc, char** argv) {
  using namespace zindrel::cli;
  UseBinaryStandardStreams();
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (const std::optional<int> status = ConvertQuickly(args, ProgramDirectory())) return *status;
  return RunFullConverter(argc, argv);
}
