// The command line of zindrel-convert: what it asks for, how it is read, and
// the help text.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "cli/terminal_colour.h"

namespace zindrel::cli {

enum class Encoding { Utf8, Gbk };
enum class Newline { CrLf, Lf };

// Largest --width.
constexpr int kMaxColumns = 10000;

struct Options {
  int cellSize = 12;     // 3..30
  int quality = 2;       // 0..10
  int brightness = 100;  // percent, 40..120
  std::string table;     // empty: Data.han beside the program
  Encoding encoding = Encoding::Utf8;
  Newline newline = Newline::CrLf;
  std::string output;       // empty or "-": standard output
  std::string png;          // empty: no picture of the art
  std::string html;         // empty: no HTML page of the art
  int pngCell = 16;         // 4..64, the cell of the PNG picture and the HTML page
  std::string savePicture;  // empty: the picture the art was made from is not saved
  bool invert = false;      // measure the negative: dark glyphs on a light page
  ColourMode colour = ColourMode::None;
  int width = 0;     // art columns to scale the picture to; 0: not scaled
  bool fit = false;  // scale to the terminal's width
  // Paths, or "-" for standard input (once at most), in order.
  std::vector<std::string> pictures;

  // With several pictures, -o, --png, --html and --save-picture name folders.
  bool intoFolders() const { return pictures.size() > 1; }
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

// The number of glyphs a row of art is scaled to: --width's, or with --fit
// half the terminal's width (two columns a glyph), at most kMaxColumns; 0
// when neither is given. Raises UsageError when --fit cannot be met
// (standard output is no terminal, or its width is unknown or 1).
int ArtColumns(const Options& options);

// The help text, ending with a line end.
std::string HelpText();

// What a picture's own files are called in the folders of several pictures:
// its file name without the last extension ("photo" for
// "pictures/photo.jpg"), "stdin" for standard input.
std::string OutputName(const std::string& picture);

// The file of a picture in one of those folders: folder/NAME.extension.
std::string FolderFile(const std::string& folder, const std::string& picture, const std::string& extension);

// True when the arguments ask for a picture of the art (--png), which needs
// the GUI part of Qt; a quick look, before the full reading.
bool WantsPng(const std::vector<std::string>& args);

}  // namespace zindrel::cli
