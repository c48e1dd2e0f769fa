#include "cli/options.h"

#include <cerrno>
#include <cstdlib>

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
  for (const char* only : {"--newline", "--png", "--png-cell", "--save-picture", "--version"})
    if (name == only) return only;
  return {};
}

bool TakesValue(const std::string& longName) { return longName != "--help" && longName != "--version"; }

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
      (option == "--help" ? helpAsked : versionAsked) = true;
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
    else if (option == "--encoding") {
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
  if (operands.size() > 1) throw UsageError("one PICTURE only; " + Quote(operands[1]) + " is one too many");
  if (operands[0].empty()) throw UsageError("the PICTURE file name is empty");
  o.picture = operands[0];
  if (pngCellGiven && o.png.empty()) throw UsageError("--png-cell: there is no --png FILE to draw");
  return parsed;
}

std::string HelpText() {
  return R"(Usage: zindrel-convert [OPTIONS] PICTURE

Turns a picture into character art written with Chinese characters and
writes it to standard output, one line per row of cells.

PICTURE is a picture file (BMP, PNG, JPEG, GIF, ICO, ...), or - to read the
picture from standard input.

Conversion:
  -s, --size N          cell edge in pixels, 3..30 (default 12)
  -q, --quality N       levels either side of a cell's level that compete,
                        0..10 (default 2)
  -b, --brightness N    brightness in percent, 40..120 (default 100)
  -t, --table FILE      glyph table (default: Data.han beside this program)

Output:
  -o, --output FILE     write the art to FILE instead of standard output;
                        FILE is replaced only when the conversion succeeds
  -e, --encoding ENC    utf-8 or gbk (default utf-8); gbk writes the table's
                        bytes unchanged
      --newline NL      line end after every row: crlf or lf (default crlf)
      --png FILE        also draw the art, white on black, as a PNG picture
      --png-cell PX     cell edge of that picture in pixels, 4..64 (default 16)
      --save-picture FILE
                        also write the picture the art was made from (as
                        decoded or drawn, at the size converted) as a PNG

Other:
  -h, --help            show this help and exit
      --version         show the version and exit

Exit status: 0 done, 1 the conversion failed (unreadable picture or table,
a picture too large, output that cannot be written), 2 a usage error.

Examples:
  zindrel-convert photo.jpg
  zindrel-convert --size 6 --quality 4 -o art.txt photo.png
  zindrel-convert -e gbk --brightness 80 photo.bmp > art-gbk.txt
  cat photo.png | zindrel-convert --newline lf -
  zindrel-convert --png art.png --png-cell 24 photo.jpg
  zindrel-convert --save-picture drawn.png chart.emf
)";
}

}  // namespace zindrel::cli
