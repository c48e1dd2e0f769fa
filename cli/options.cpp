#include "cli/options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "cli/output.h"

namespace zindrel::cli {

namespace {

struct Range {
  int low, high;
};

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// A whole decimal number within range; anything else is a usage error.
int ReadNumber(const std::string& option, const std::string& text, Range range) {
  const std::string accepted =
      " (a whole number " + std::to_string(range.low) + ".." + std::to_string(range.high) + ")";
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  bool digits = i < text.size();
  for (std::size_t k = i; k < text.size(); ++k)
    if (text[k] < '0' || text[k] > '9') digits = false;
  if (!digits) throw UsageError(option + ": " + Quote(text) + " is not a number" + accepted);
  errno = 0;
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (errno == ERANGE || value < range.low || value > range.high)
    throw UsageError(option + ": " + text + " is out of range " + std::to_string(range.low) + ".." +
                     std::to_string(range.high));
  return static_cast<int>(value);
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Long name of an option given in either form, or empty when unknown.
std::string LongName(const std::string& name) {
  static const char* const kPairs[][2] = {{"-s", "--size"},  {"-q", "--quality"},  {"-b", "--brightness"},
                                          {"-t", "--table"}, {"-e", "--encoding"}, {"-o", "--output"},
                                          {"-h", "--help"}};
  for (const auto& pair : kPairs)
    if (name == pair[0] || name == pair[1]) return pair[1];
  for (const char* only : {"--newline", "--png", "--png-cell", "--html", "--save-picture", "--invert", "--color",
                           "--width", "--fit", "--version"})
    if (name == only) return only;
  return {};
}

// Options that are switches, without a value.
// Whether two paths name one folder, as written (a last separator aside).
bool SameFolder(const std::string& a, const std::string& b) {
  auto normal = [](const std::string& path) {
    std::filesystem::path p = std::filesystem::u8path(path).lexically_normal();
    return p.has_filename() ? p : p.parent_path();
  };
  return normal(a) == normal(b);
}

bool TakesValue(const std::string& longName) {
  return longName != "--help" && longName != "--version" && longName != "--invert" && longName != "--fit";
}

}  // namespace

bool WantsPng(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--") break;
    if (a == "--png" || a.rfind("--png=", 0) == 0) return true;
  }
  return false;
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  Options& o = parsed.options;
  std::vector<std::string> operands;
  bool helpAsked = false, versionAsked = false;
  bool pngCellGiven = false;
  bool optionsEnded = false;

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg == "-" || arg.size() < 2 || arg[0] != '-') {
      operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    // Split "--name=value" and "-sVALUE".
    std::string name = arg, value;
    bool inlineValue = false;
    if (arg.rfind("--", 0) == 0) {
      const std::size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
        inlineValue = true;
      }
    } else if (arg.size() > 2) {
      name = arg.substr(0, 2);
      value = arg.substr(2);
      inlineValue = true;
    }
    const std::string option = LongName(name);
    if (option.empty()) throw UsageError("unknown option " + Quote(name));
    if (!TakesValue(option)) {
      if (inlineValue) throw UsageError(option + " takes no value");
      if (option == "--help")
        helpAsked = true;
      else if (option == "--version")
        versionAsked = true;
      else if (option == "--invert")
        o.invert = true;
      else
        o.fit = true;
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) throw UsageError(option + ": a value is missing");
      value = args[++i];
    }
    if (option == "--size")
      o.cellSize = ReadNumber(option, value, {3, 30});
    else if (option == "--quality")
      o.quality = ReadNumber(option, value, {0, 10});
    else if (option == "--brightness")
      o.brightness = ReadNumber(option, value, {40, 120});
    else if (option == "--png-cell")
      o.pngCell = ReadNumber(option, value, {4, 64}), pngCellGiven = true;
    else if (option == "--width")
      o.width = ReadNumber(option, value, {1, kMaxColumns});
    else if (option == "--color") {
      const std::string v = Lower(value);
      if (v == "none")
        o.colour = ColourMode::None;
      else if (v == "256")
        o.colour = ColourMode::Palette256;
      else if (v == "truecolor")
        o.colour = ColourMode::TrueColour;
      else
        throw UsageError(option + ": " + Quote(value) + " is not a colour mode (none, 256 or truecolor)");
    } else if (option == "--encoding") {
      const std::string v = Lower(value);
      if (v == "utf-8" || v == "utf8")
        o.encoding = Encoding::Utf8;
      else if (v == "gbk")
        o.encoding = Encoding::Gbk;
      else
        throw UsageError(option + ": " + Quote(value) + " is not an encoding (utf-8 or gbk)");
    } else if (option == "--newline") {
      const std::string v = Lower(value);
      if (v == "crlf")
        o.newline = Newline::CrLf;
      else if (v == "lf")
        o.newline = Newline::Lf;
      else
        throw UsageError(option + ": " + Quote(value) + " is not a line end (crlf or lf)");
    } else {
      if (value.empty()) throw UsageError(option + ": the file name is empty");
      if (option == "--table")
        o.table = value;
      else if (option == "--output")
        o.output = value;
      else if (option == "--html")
        o.html = value;
      else if (option == "--save-picture")
        o.savePicture = value;
      else
        o.png = value;
    }
  }

  if (helpAsked)
    parsed.action = Action::Help;
  else if (versionAsked)
    parsed.action = Action::Version;
  if (parsed.action != Action::Convert) return parsed;

  if (operands.empty()) throw UsageError("a PICTURE to convert is missing");
  bool standardInput = false;
  for (const std::string& picture : operands) {
    if (picture.empty()) throw UsageError("a PICTURE file name is empty");
    if (picture == "-" && standardInput) throw UsageError("standard input (-) can be read once only");
    standardInput = standardInput || picture == "-";
  }
  o.pictures = operands;
  if (pngCellGiven && o.png.empty() && o.html.empty())
    throw UsageError("--png-cell: there is no --png or --html FILE to draw");
  if (o.fit && o.width != 0) throw UsageError("--fit and --width exclude each other");
  // Each picture's files in the folders must have names of their own; names
  // differing only in case are one file on some systems.
  const bool folders =
      !o.png.empty() || !o.html.empty() || !o.savePicture.empty() || (!o.output.empty() && o.output != "-");
  if (o.intoFolders() && folders) {
    std::map<std::string, std::string> names;
    for (const std::string& picture : o.pictures) {
      const auto [at, added] = names.emplace(Lower(OutputName(picture)), picture);
      if (!added)
        throw UsageError(Quote(at->second) + " and " + Quote(picture) + " would write the same files (" +
                         OutputName(picture) + ".*)");
    }
    // Both write NAME.png.
    if (!o.png.empty() && !o.savePicture.empty() && SameFolder(o.png, o.savePicture))
      throw UsageError("--png and --save-picture name the same folder " + Quote(o.png));
  }
  return parsed;
}

std::string OutputName(const std::string& picture) {
  if (picture == "-") return "stdin";
  const std::string stem = std::filesystem::u8path(picture).stem().u8string();
  return stem.empty() || stem == "." || stem == ".." ? "picture" : stem;
}

std::string FolderFile(const std::string& folder, const std::string& picture, const std::string& extension) {
  return (std::filesystem::u8path(folder) / std::filesystem::u8path(OutputName(picture) + "." + extension)).u8string();
}

std::string HelpText() {
  return R"(Usage: zindrel-convert [OPTIONS] PICTURE...

Turns pictures into character art written with Chinese characters and
writes it to standard output, one line per row of cells; the art of several
pictures comes in their order, separated by one empty line.

PICTURE is a picture file (BMP, PNG, JPEG, GIF, ICO, ...), or - to read the
picture from standard input.

Conversion:
  -s, --size N          cell edge in pixels, 3..30 (default 12)
  -q, --quality N       levels either side of a cell's level that compete,
                        0..10 (default 2)
  -b, --brightness N    brightness in percent, 40..120 (default 100)
  -t, --table FILE      glyph table (default: Data.han beside this program)
      --invert          measure the negative of the picture: dark glyphs on
                        a light background
      --width COLUMNS   first scale the picture (box filter) so that the art
                        is COLUMNS glyphs wide, 1..10000; the height keeps
                        the picture's aspect ratio
      --fit             the same for the width of the terminal on standard
                        output, a glyph taking two of its columns

Output:
  -o, --output FILE     write the art to FILE instead of standard output;
                        FILE is replaced only when the conversion succeeds
  -e, --encoding ENC    utf-8 or gbk (default utf-8); gbk writes the table's
                        bytes unchanged
      --newline NL      line end after every row: crlf or lf (default crlf)
      --color MODE      each glyph in the mean colour of its cell, as
                        terminal codes: none, 256 or truecolor (default none)
      --png FILE        also draw the art as a PNG picture: white on black,
                        black on white with --invert, coloured with --color
      --html FILE       also write the art as an HTML page, in the same
                        colours
      --png-cell PX     cell edge in pixels of the PNG picture and of the
                        HTML page, 4..64 (default 16)
      --save-picture FILE
                        also write the picture the art was made from (as
                        decoded or drawn, at the size converted, the
                        negative with --invert) as a PNG

With several pictures, -o, --png, --html and --save-picture name folders,
and each picture writes NAME.txt, NAME.png, NAME.html or NAME.png into
them, NAME being its file name without the extension ("stdin" for standard
input).

Other:
  -h, --help            show this help and exit
      --version         show the version and exit

Exit status: 0 done, 1 a conversion failed (unreadable picture or table, a
picture too large, output that cannot be written; the other pictures are
still converted), 2 a usage error.

Examples:
  zindrel-convert photo.jpg
  zindrel-convert --size 6 --quality 4 -o art.txt photo.png
  zindrel-convert -e gbk --brightness 80 photo.bmp > art-gbk.txt
  cat photo.png | zindrel-convert --newline lf -
  zindrel-convert --png art.png --png-cell 24 photo.jpg
  zindrel-convert --save-picture drawn.png chart.emf
  zindrel-convert --fit --color truecolor photo.jpg
  zindrel-convert --invert --width 60 --html art.html photo.jpg
  zindrel-convert -o texts --png pictures *.jpg
)";
}

int ArtColumns(const Options& options) {
  if (!options.fit) return options.width;
  if (!StandardOutputIsTerminal())
    throw UsageError("--fit: standard output is not a terminal; give --width COLUMNS instead");
  const int terminal = TerminalColumns();
  if (terminal < 2)
    throw UsageError(std::string("--fit: ") +
                     (terminal == 0 ? "the terminal's width is unknown" : "the terminal is 1 column wide") +
                     "; give --width COLUMNS instead");
  return std::min(terminal / 2, kMaxColumns);
}

}  // namespace zindrel::cli
