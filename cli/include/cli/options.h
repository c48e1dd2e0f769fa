// The command line of zindrel-convert: what it asks for, how it is read, and
// the help text.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace zindrel::cli {

enum class Encoding { Utf8, Gbk };
enum class Newline { CrLf, Lf };

struct Options {
  int cellSize = 12;     // 3..30
  int quality = 2;       // 0..10
  int brightness = 100;  // percent, 40..120
  std::string table;     // empty: Data.han beside the program
  Encoding encoding = Encoding::Utf8;
  Newline newline = Newline::CrLf;
  std::string output;       // empty or "-": standard output
  std::string png;          // empty: no picture of the art
  int pngCell = 16;         // 4..64
  std::string savePicture;  // empty: the decoded picture is not saved
  std::string picture;      // a path, or "-" for standard input
};

// What the command line asks for.
enum class Action { Convert, Help, Version };

struct ParsedCommandLine {
  Action action = Action::Convert;
  Options options;
};

// A command line that cannot be used; the text names the option and the
// accepted values, e.g. "--size: 31 is out of range 3..30".
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the arguments (without the program name). Raises UsageError.
// --help and --version win over everything else on the line.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The help text, ending with a line end.
std::string HelpText();

// True when the arguments ask for a picture of the art (--png), which needs
// the GUI part of Qt; a quick look, before the full reading.
bool WantsPng(const std::vector<std::string>& args);

}  // namespace zindrel::cli
