// zindrel-convert's options for everyday use, run as a program: --invert
// against the negative picture, --color on pictures of known flat colours,
// the HTML page read back by a strict HTML parser, --width on sizes that are
// and are not multiples of the cells, --fit and the hint in a terminal,
// several pictures in one call, each option alone and with the others.
#include <gtest/gtest.h>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <random>
#include <regex>

#include "cli/measured_image.h"
#include "cli/terminal_colour.h"
#include "cli_run.h"
#include "core/gbk.h"
#include "support/sample_files.h"
#include "support/tables.h"

namespace zindrel {
namespace {

using clitest::Expected;
using clitest::Outcome;
using clitest::RunCli;
using clitest::Str;

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The text without its SGR colour codes.
std::string WithoutCodes(const std::string& text) {
  return std::regex_replace(text, std::regex("\x1b\\[[0-9;]*m"), "");
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t begin = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', begin)) {
    lines.push_back(text.substr(begin, end - begin - (end > begin && text[end - 1] == '\r' ? 1 : 0)));
    begin = end + 1;
  }
  return lines;
}

// The UTF-8 characters of a line.
std::vector<std::string> Characters(const std::string& line) {
  std::vector<std::string> out;
  for (size_t i = 0; i < line.size(); ++i) {
    if ((static_cast<unsigned char>(line[i]) & 0xC0) == 0x80 && !out.empty())
      out.back() += line[i];
    else
      out.emplace_back(1, line[i]);
  }
  return out;
}

// The colour ("#rrggbb") every glyph of coloured text is shown in, in order.
std::vector<std::string> GlyphColours(const std::string& text, cli::ColourMode mode) {
  std::vector<std::string> colours;
  std::string current;
  const std::regex code("\x1b\\[38;(2;(\\d+);(\\d+);(\\d+)|5;(\\d+))m|\x1b\\[0m");
  for (const std::string& line : Lines(text)) {
    size_t at = 0;
    for (std::sregex_iterator it(line.begin(), line.end(), code), end;; ++it) {
      const size_t until = it == end ? line.size() : static_cast<size_t>(it->position());
      for (size_t k = 0; k < Characters(line.substr(at, until - at)).size(); ++k) colours.push_back(current);
      if (it == end) break;
      at = until + static_cast<size_t>(it->length());
      CellColour c;
      if ((*it)[2].matched)
        c = {static_cast<uint8_t>(std::stoi((*it)[2])), static_cast<uint8_t>(std::stoi((*it)[3])),
             static_cast<uint8_t>(std::stoi((*it)[4]))};
      else if ((*it)[5].matched)
        c = cli::PaletteColour(std::stoi((*it)[5]));
      else
        continue;  // the reset ends the line
      EXPECT_TRUE(mode != cli::ColourMode::Palette256 || (*it)[5].matched) << "a 24-bit code in 256-colour mode";
      char hex[8];
      std::snprintf(hex, sizeof hex, "#%02x%02x%02x", c.red, c.green, c.blue);
      current = hex;
    }
  }
  return colours;
}

// An HTML page as a strict HTML5 parser reads it (tests/cli/html_text.py).
struct Page {
  std::string error, title, pre, background, foreground;
  int pres = 0, styles = 0, scripts = 0;
  std::vector<std::string> colours;
};

QString Python() {
  // Debian's own interpreter carries python3-html5lib.
  return QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : QStandardPaths::findExecutable("python3");
}

bool HtmlParserMissing() {
  if (Python().isEmpty()) return true;
  return testing::RunProgram(Python().toStdString(), {"-c", "import html5lib"}).exitCode != 0;
}

Page ReadPage(const QString& path) {
  const testing::ProgramResult r =
      testing::RunProgram(Python().toStdString(), {Q(testing::SourceDir() + "/tests/cli/html_text.py"), path}, 120);
  Page page;
  const QJsonObject o = QJsonDocument::fromJson(r.out).object();
  if (r.exitCode != 0 || o.isEmpty()) {
    page.error = "the parser failed: " + Str(r.err);
    return page;
  }
  page.error = o["error"].toString().toStdString();
  page.title = o["title"].toString().toStdString();
  page.pre = o["pre"].toString().toStdString();
  page.background = o["background"].toString().toStdString();
  page.foreground = o["foreground"].toString().toStdString();
  page.pres = o["pres"].toInt(), page.styles = o["styles"].toInt(), page.scripts = o["scripts"].toInt();
  for (const QJsonValue& c : o["colours"].toArray()) page.colours.push_back(c.toString().toStdString());
  return page;
}

class OptionsCli : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new testing::TempFolder;
    table_ = clitest::WriteDistinctTable(*folder_);
    loaded_ = new GlyphTable(LoadGlyphTable(table_));
    noise_ = new QImage(clitest::NoisePicture());
    picture_ = Save("picture.png", *noise_);
  }
  static void TearDownTestSuite() {
    delete loaded_;
    delete noise_;
    delete folder_;
  }
  static std::string Save(const std::string& name, const QImage& image) {
    const std::string path = folder_->Path(name);
    EXPECT_TRUE(image.save(Q(path)));
    return path;
  }
  static std::string Write(const std::string& name, const QByteArray& bytes) {
    return folder_->Write(name, bytes.toStdString());
  }
  // A fresh folder for one test's files.
  static QString Folder(const std::string& name) { return clitest::FreshFolder(*folder_, name); }
  static Outcome Run(QStringList args) { return RunCli(QStringList{"-t", Q(table_)} + args); }

  static testing::TempFolder* folder_;
  static std::string table_, picture_;
  static GlyphTable* loaded_;
  static QImage* noise_;
};

testing::TempFolder* OptionsCli::folder_ = nullptr;
std::string OptionsCli::table_, OptionsCli::picture_;
GlyphTable* OptionsCli::loaded_ = nullptr;
QImage* OptionsCli::noise_ = nullptr;

// --invert is exactly the negative picture converted without it: on
// pictures of several kinds (transparent parts laid over white before the
// negative is taken, a palette, a JPEG, the shipped sample) and with the
// other conversion options, --width included.
TEST_F(OptionsCli, InvertIsTheNegativePicture) {
  namespace s = samples;
  QImage alpha(40, 30, QImage::Format_ARGB32);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) alpha.setPixel(x, y, qRgba(x * 6, 200 - y * 5, 90, x < 20 ? 255 : y * 8));
  const std::vector<std::string> pictures = {
      picture_,
      Save("alpha.png", alpha),
      Write("palette.gif", s::MakeGif(37, 23, 16)),
      Write("photo.jpg", s::EncodeWithQt(*noise_, "jpeg", 85)),
      testing::SourceDir() + "/data/Varnock.bmp",
  };
  const QStringList variants[] = {{"-s", "5"},
                                  {"-s", "12", "-b", "73", "-q", "0"},
                                  {"-s", "7", "--width", "9"},
                                  {"-e", "gbk", "-s", "4", "--newline", "lf"}};
  for (const std::string& picture : pictures) {
    QImage negative = DecodePictureFile(picture);
    negative.invertPixels();
    const std::string negativePath = Save(QFileInfo(Q(picture)).baseName().toStdString() + "-negative.png", negative);
    for (const QStringList& args : variants) {
      const Outcome inverted = Run(args + QStringList{"--invert", Q(picture)});
      const Outcome want = Run(args + QStringList{Q(negativePath)});
      const Outcome plain = Run(args + QStringList{Q(picture)});
      ASSERT_EQ(inverted.code, 0) << Str(inverted.err);
      EXPECT_FALSE(inverted.out.isEmpty());
      EXPECT_EQ(inverted.out, want.out) << picture << " " << args.join(' ').toStdString();
      EXPECT_NE(inverted.out, plain.out) << picture;
    }
  }
}

// A picture of eight flat cells of 6 pixels: red, red, blue, grey; a cube
// colour, a grey nearer the ramp than the cube, white, black.
class FlatColours : public OptionsCli {
 protected:
  void SetUp() override {
    QImage flat(24, 12, QImage::Format_RGB32);
    const QRgb cells[2][4] = {{qRgb(255, 0, 0), qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(128, 128, 128)},
                              {qRgb(95, 135, 175), qRgb(100, 100, 100), qRgb(255, 255, 255), qRgb(0, 0, 0)}};
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 24; ++x) flat.setPixel(x, y, cells[y / 6][x / 6]);
    path_ = Save("flat.png", flat);
  }
  // The art with `codes[row][column]` before each glyph ("" for none), a
  // reset before every line end; the glyphs are those of the plain run.
  std::string Coded(const QStringList& args, const std::vector<std::vector<std::string>>& codes) {
    const Outcome plain = Run(args + QStringList{"-s", "6", Q(path_)});
    EXPECT_EQ(plain.code, 0);
    const std::vector<std::string> lines = Lines(Str(plain.out));
    std::string text;
    for (size_t r = 0; r < lines.size() && r < codes.size(); ++r) {
      const std::vector<std::string> glyphs = Characters(lines[r]);
      for (size_t c = 0; c < glyphs.size() && c < codes[r].size(); ++c) text += codes[r][c] + glyphs[c];
      text += "\x1b[0m\r\n";
    }
    return text;
  }
  std::string Colour(const QStringList& args) {
    const Outcome o = Run(args + QStringList{"-s", "6", Q(path_)});
    EXPECT_EQ(o.code, 0) << Str(o.err);
    EXPECT_TRUE(o.err.isEmpty()) << Str(o.err);
    return Str(o.out);
  }
  static std::string Rgb(int r, int g, int b) {
    return "\x1b[38;2;" + std::to_string(r) + ";" + std::to_string(g) + ";" + std::to_string(b) + "m";
  }
  static std::string Index(int n) { return "\x1b[38;5;" + std::to_string(n) + "m"; }
  std::string path_;
};

TEST_F(FlatColours, TrueColourCodesPerRunOfOneColour) {
  EXPECT_EQ(Colour({"--color", "truecolor"}),
            Coded({}, {{Rgb(255, 0, 0), "", Rgb(0, 0, 255), Rgb(128, 128, 128)},
                       {Rgb(95, 135, 175), Rgb(100, 100, 100), Rgb(255, 255, 255), Rgb(0, 0, 0)}}));
}

TEST_F(FlatColours, PaletteCodesAreTheNearestFixedColours) {
  // Red and blue are cube corners, grey 128 and 100 lie on or near the grey
  // ramp, (95, 135, 175) is a cube colour, white and black the cube's ends.
  EXPECT_EQ(Colour({"--color", "256"}),
            Coded({}, {{Index(196), "", Index(21), Index(244)}, {Index(67), Index(241), Index(231), Index(16)}}));
}

TEST_F(FlatColours, TheBrightnessScalesTheColours) {
  EXPECT_EQ(Colour({"--color", "truecolor", "-b", "50"}),
            Coded({"-b", "50"}, {{Rgb(128, 0, 0), "", Rgb(0, 0, 128), Rgb(64, 64, 64)},
                                 {Rgb(48, 68, 88), Rgb(50, 50, 50), Rgb(128, 128, 128), Rgb(0, 0, 0)}}));
}

// With --invert the negative is measured, and its colours turned back: the
// glyphs show the picture's own colours (the brightness darkening them, as
// it makes the glyphs denser).
TEST_F(FlatColours, InvertedArtShowsThePicturesOwnColours) {
  EXPECT_EQ(Colour({"--color", "truecolor", "--invert"}),
            Coded({"--invert"}, {{Rgb(255, 0, 0), "", Rgb(0, 0, 255), Rgb(128, 128, 128)},
                                 {Rgb(95, 135, 175), Rgb(100, 100, 100), Rgb(255, 255, 255), Rgb(0, 0, 0)}}));
  EXPECT_EQ(Colour({"--color", "truecolor", "--invert", "-b", "50"}),
            Coded({"--invert", "-b", "50"},
                  {{Rgb(255, 127, 127), "", Rgb(127, 127, 255), Rgb(191, 191, 191)},
                   {Rgb(175, 195, 215), Rgb(177, 177, 177), Rgb(255, 255, 255), Rgb(127, 127, 127)}}));
}

TEST_F(FlatColours, GbkKeepsTheTablesBytesBetweenTheCodes) {
  for (const char* mode : {"256", "truecolor"}) {
    const std::string coloured = Colour({"--color", mode, "-e", "gbk"});
    EXPECT_EQ(WithoutCodes(coloured), Str(Run({"-e", "gbk", "-s", "6", Q(path_)}).out)) << mode;
    EXPECT_NE(coloured.find("\x1b[0m\r\n"), std::string::npos);
  }
}

// --width scales to COLUMNS glyphs at the cell size; a picture that is
// already that wide is not changed at all.
TEST_F(OptionsCli, WidthOfAPictureThatIsAMultipleOfTheCellsChangesNothing) {
  const std::string exact = Save("exact.png", noise_->copy(0, 0, 96, 60));
  for (const QStringList& args : {QStringList{"--width", "8"}, QStringList{"-s", "6", "--width", "16", "--invert"}}) {
    QStringList without = args;
    without.removeAt(without.indexOf("--width") + 1);
    without.removeAll("--width");
    const Outcome scaled = Run(args + QStringList{Q(exact)});
    ASSERT_EQ(scaled.code, 0) << Str(scaled.err);
    EXPECT_EQ(scaled.out, Run(without + QStringList{Q(exact)}).out) << args.join(' ').toStdString();
  }
}

struct WidthCase {
  int size, columns, rows;
};

class Widths : public OptionsCli, public ::testing::WithParamInterface<WidthCase> {};

TEST_P(Widths, ArtIsColumnsWideAndKeepsTheAspectRatio) {
  const WidthCase c = GetParam();
  const Outcome o =
      Run({"-s", QString::number(c.size), "--width", QString::number(c.columns), "--newline", "lf", Q(picture_)});
  ASSERT_EQ(o.code, 0) << Str(o.err);
  const std::vector<std::string> lines = Lines(Str(o.out));
  EXPECT_EQ(static_cast<int>(lines.size()), c.rows);
  for (const std::string& line : lines) EXPECT_EQ(static_cast<int>(Characters(line).size()), c.columns);
  // The art of the box-scaled picture, made in this process.
  const QImage scaled =
      cli::MeasuredPicture(*noise_, false, cli::ArtPictureSize(100, 70, c.columns, static_cast<int16_t>(c.size)));
  EXPECT_EQ(scaled.width(), c.columns * c.size);
  EXPECT_EQ(Str(o.out), Expected(*loaded_, scaled, c.size, 2, 100, false, true));
}

INSTANTIATE_TEST_SUITE_P(Sizes, Widths,
                         ::testing::Values(WidthCase{12, 10, 7},      // 100 x 70 to 120 x 84
                                           WidthCase{12, 3, 2},       // to 36 x 25: 25 / 12 rounds to 2 rows
                                           WidthCase{7, 41, 29},      // to 287 x 201, enlarged
                                           WidthCase{30, 1, 1},       // one glyph
                                           WidthCase{3, 200, 140}));  // to 600 x 420

TEST_F(OptionsCli, WidthReachesBeyondTheLimitOfThePictureOnlyAfterScaling) {
  // 40000 x 200 to 600 x 3: one row of 200 glyphs.
  QImage wide(40000, 200, QImage::Format_RGB32);
  wide.fill(Qt::gray);
  const std::string path = Save("wide.png", wide);
  const Outcome fits = Run({"--width", "200", "-s", "3", Q(path)});
  EXPECT_EQ(fits.code, 0) << Str(fits.err);
  ASSERT_EQ(Lines(Str(fits.out)).size(), 1u);
  EXPECT_EQ(Characters(Lines(Str(fits.out))[0]).size(), 200u);
  const Outcome tooWide = Run({"--width", "10000", "-s", "30", Q(picture_)});
  EXPECT_EQ(tooWide.code, 1);
  EXPECT_EQ(Str(tooWide.err), "zindrel-convert: " + picture_ +
                                  ": overflow (the scaled picture would be 300000x210000 pixels; at most 32767 on a "
                                  "side)\n");
}

// --save-picture writes the picture as the measurement took it, negated
// and scaled, so converting it without those options gives the same art;
// with several pictures it names a folder.
TEST_F(OptionsCli, SavedPictureIsThePictureAsMeasured) {
  const QString dir = Folder("saved");
  const Outcome o = Run({"--invert", "--width", "9", "-s", "7", "--save-picture", dir + "/seen.png", Q(picture_)});
  ASSERT_EQ(o.code, 0) << Str(o.err);
  EXPECT_EQ(QImage(dir + "/seen.png").size(), QSize(63, 44));
  EXPECT_EQ(Run({"-s", "7", dir + "/seen.png"}).out, o.out);
  const std::string second = Save("second.png", noise_->mirrored(true, false));
  const Outcome many = Run({"--save-picture", dir + "/pictures", Q(picture_), Q(second)});
  ASSERT_EQ(many.code, 0) << Str(many.err);
  EXPECT_EQ(QDir(dir + "/pictures").entryList(QDir::Files, QDir::Name), (QStringList{"picture.png", "second.png"}));
  EXPECT_EQ(QImage(dir + "/pictures/second.png").convertToFormat(QImage::Format_RGB32),
            noise_->mirrored(true, false).convertToFormat(QImage::Format_RGB32));
}

// The HTML page, read back by a strict HTML5 parser: no parse error, one
// <pre> block whose text is the text output, one style block, no scripts,
// the picture's name as the title, and every character in the colour the
// terminal codes give it.
class HtmlPage : public OptionsCli, public ::testing::WithParamInterface<QStringList> {};

TEST_P(HtmlPage, ParsedBackIsTheTextInItsColours) {
  if (HtmlParserMissing()) GTEST_SKIP() << "python3 with html5lib is missing (python3-html5lib)";
  const QStringList args = GetParam();
  const QString dir = Folder("html");
  const QString page = dir + "/art page.html";
  const Outcome o = Run(args + QStringList{"--newline", "lf", "--html", page, Q(picture_)});
  ASSERT_EQ(o.code, 0) << Str(o.err);
  const Page read = ReadPage(page);
  ASSERT_EQ(read.error, "");
  const std::string out = args.contains("gbk") ? GbkToUtf8(Str(o.out)) : Str(o.out);
  EXPECT_EQ(read.pre, WithoutCodes(out));
  EXPECT_EQ(read.pres, 1);
  EXPECT_EQ(read.styles, 1);
  EXPECT_EQ(read.scripts, 0);
  EXPECT_EQ(read.title, "picture.png");
  const bool invert = args.contains("--invert");
  EXPECT_EQ(read.background, invert ? "#ffffff" : "#000000");
  EXPECT_EQ(read.foreground, invert ? "#000000" : "#ffffff");
  const qsizetype colour = args.indexOf("--color");
  if (colour < 0) {
    EXPECT_EQ(read.colours, std::vector<std::string>(read.colours.size(), read.foreground));
  } else {
    const auto mode = args[colour + 1] == "256" ? cli::ColourMode::Palette256 : cli::ColourMode::TrueColour;
    EXPECT_EQ(read.colours, GlyphColours(out, mode));
  }
}

INSTANTIATE_TEST_SUITE_P(Options, HtmlPage,
                         ::testing::Values(QStringList{}, QStringList{"--invert"}, QStringList{"--color", "truecolor"},
                                           QStringList{"--color", "256", "--invert", "-b", "80"},
                                           QStringList{"--width", "7", "-s", "6", "--png-cell", "9"},
                                           QStringList{"-e", "gbk", "--color", "truecolor", "-s", "5"}));

// Each option alone and together: colour never changes a glyph, --png draws
// every cell in its glyph's colour over the background, --width sets the
// columns, and the run says nothing on standard error.
class Together : public OptionsCli, public ::testing::WithParamInterface<QStringList> {};

TEST_P(Together, ColourLeavesTheGlyphsAndThePictureTakesTheColours) {
  const QStringList args = GetParam();
  const QString dir = Folder("together");
  const Outcome o = Run(args + QStringList{"--png", dir + "/art.png", "--png-cell", "12", Q(picture_)});
  ASSERT_EQ(o.code, 0) << Str(o.err);
  EXPECT_TRUE(o.err.isEmpty()) << Str(o.err);
  const qsizetype colour = args.indexOf("--color");
  QStringList plainArgs = args;
  if (colour >= 0) plainArgs.remove(colour, 2);
  const Outcome plain = Run(plainArgs + QStringList{Q(picture_)});
  EXPECT_EQ(WithoutCodes(Str(o.out)), Str(plain.out));
  // Characters are counted in UTF-8.
  const bool gbk = args.contains("gbk");
  const std::string out = gbk ? GbkToUtf8(Str(o.out)) : Str(o.out);
  const std::vector<std::string> lines = Lines(WithoutCodes(out));
  const qsizetype width = args.indexOf("--width");
  if (width >= 0) {
    for (const std::string& line : lines) EXPECT_EQ(Characters(line).size(), args[width + 1].toUInt());
  }

  const QImage art(dir + "/art.png");
  ASSERT_EQ(art.width(), 12 * static_cast<int>(Characters(lines.at(0)).size()));
  ASSERT_EQ(art.height(), 12 * static_cast<int>(lines.size()));
  const QRgb background = args.contains("--invert") ? 0xFFFFFFFFu : 0xFF000000u;
  const QRgb foreground = background ^ 0x00FFFFFFu;
  const std::vector<std::string> colours =
      colour >= 0
          ? GlyphColours(out, args[colour + 1] == "256" ? cli::ColourMode::Palette256 : cli::ColourMode::TrueColour)
          : std::vector<std::string>();
  // Every pixel of a cell lies between the background and its glyph's
  // colour, and the cell has ink.
  const int columns = art.width() / 12;
  for (int cell = 0; cell < columns * static_cast<int>(lines.size()); ++cell) {
    const QRgb ink = colours.empty() ? foreground : (QColor(Q(colours.at(static_cast<size_t>(cell)))).rgb());
    const int left = cell % columns * 12, top = cell / columns * 12;
    for (int y = top; y < top + 12; ++y)
      for (int x = left; x < left + 12; ++x) {
        const QRgb p = art.pixel(x, y);
        // The share of ink, from the channel where the two colours differ most.
        int spread = 0, channel = 0;
        for (int k = 0; k < 3; ++k) {
          const int d = std::abs(int((ink >> (8 * k)) & 0xFF) - int((background >> (8 * k)) & 0xFF));
          if (d > spread) spread = d, channel = k;
        }
        if (spread == 0) {
          ASSERT_EQ(p, background);
          continue;
        }
        const double share = (int((p >> (8 * channel)) & 0xFF) - int((background >> (8 * channel)) & 0xFF)) /
                             double(int((ink >> (8 * channel)) & 0xFF) - int((background >> (8 * channel)) & 0xFF));
        ASSERT_GE(share, 0.0);
        ASSERT_LE(share, 1.0);
        for (int k = 0; k < 3; ++k) {
          const int b = (background >> (8 * k)) & 0xFF, i = (ink >> (8 * k)) & 0xFF;
          ASSERT_NEAR((p >> (8 * k)) & 0xFF, b + (i - b) * share, 2.0) << "cell " << cell;
        }
      }
  }
}

INSTANTIATE_TEST_SUITE_P(Options, Together,
                         ::testing::Values(QStringList{"--invert"}, QStringList{"--color", "truecolor"},
                                           QStringList{"--color", "256"}, QStringList{"--width", "13"},
                                           QStringList{"--invert", "--color", "truecolor", "--width", "9", "-s", "5"},
                                           QStringList{"--color", "256", "-e", "gbk", "-b", "60", "--newline", "lf"},
                                           QStringList{"--invert", "--width", "40", "-q", "4"}));

// Several pictures, a bad one in the middle: the others are converted, each
// failure has its line, and the exit status is 1.
TEST_F(OptionsCli, SeveralPicturesToStandardOutput) {
  const std::string bad = Write("bad.png", "this is not a picture");
  const std::string second = Save("second.png", noise_->mirrored(true, false));
  const Outcome all = Run({"--newline", "lf", Q(picture_), Q(bad), Q(second)});
  EXPECT_EQ(all.code, 1);
  EXPECT_EQ(Str(all.err), "zindrel-convert: " + bad + ": invalid picture (not a supported picture)\n");
  const Outcome one = Run({"--newline", "lf", Q(picture_)}), two = Run({"--newline", "lf", Q(second)});
  // One empty row between the art of two pictures.
  EXPECT_EQ(Str(all.out), Str(one.out) + "\n" + Str(two.out));
  const Outcome good = Run({Q(picture_), Q(second), Q(picture_ + "")});
  EXPECT_EQ(good.code, 0);
  EXPECT_EQ(Str(good.out),
            Str(Run({Q(picture_)}).out) + "\r\n" + Str(Run({Q(second)}).out) + "\r\n" + Str(Run({Q(picture_)}).out));
}

TEST_F(OptionsCli, SeveralPicturesIntoFolders) {
  const std::string bad = Write("broken.png", "this is not a picture");
  const std::string second = Save("second.png", noise_->mirrored(true, false));
  const QString dir = Folder("several");
  const QByteArray input = samples::EncodeWithQt(*noise_, "bmp");
  const Outcome o = RunCli({"-t", Q(table_), "--invert", "-o", dir + "/text", "--png", dir + "/png", "--html",
                            dir + "/html", Q(picture_), Q(bad), "-", Q(second)},
                           input);
  EXPECT_EQ(o.code, 1);
  EXPECT_TRUE(o.out.isEmpty());
  EXPECT_EQ(Str(o.err), "zindrel-convert: " + bad + ": invalid picture (not a supported picture)\n");
  for (const auto& [sub, ext] : {std::pair{"text", "txt"}, std::pair{"png", "png"}, std::pair{"html", "html"}})
    EXPECT_EQ(QDir(dir + "/" + sub).entryList(QDir::Files, QDir::Name),
              (QStringList{QString("picture.") + ext, QString("second.") + ext, QString("stdin.") + ext}));
  // Each file holds what a run of that picture alone gives.
  const QString single = Folder("single");
  for (const auto& [name, path] : {std::pair{"picture", picture_}, std::pair{"second", second}}) {
    const Outcome alone = Run({"--invert", "--png", single + "/a.png", "--html", single + "/a.html", Q(path)});
    EXPECT_EQ(testing::ReadAll((dir + "/text/" + name + ".txt").toStdString()), alone.out) << name;
    EXPECT_EQ(QImage(dir + "/png/" + name + ".png"), QImage(single + "/a.png")) << name;
    EXPECT_EQ(testing::ReadAll((dir + "/html/" + name + ".html").toStdString()),
              testing::ReadAll((single + "/a.html").toStdString()))
        << name;
  }
  EXPECT_EQ(testing::ReadAll((dir + "/text/stdin.txt").toStdString()), Run({"--invert", Q(picture_)}).out);
}

TEST_F(OptionsCli, SeveralPicturesIntoAFileThatIsNoFolder) {
  const QString dir = Folder("nofolder");
  QFile file(dir + "/out");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("kept");
  file.close();
  const Outcome o = Run({"-o", dir + "/out", Q(picture_), Q(picture_ + "/../picture.png")});
  EXPECT_EQ(o.code, 2) << "the two have one name";
  const std::string second = Save("other.png", *noise_);
  const Outcome p = Run({"-o", dir + "/out", Q(picture_), Q(second)});
  EXPECT_EQ(p.code, 1);
  EXPECT_EQ(Str(p.err),
            "zindrel-convert: " + (dir + "/out").toStdString() + ": path/File access error (not a folder)\n");
  EXPECT_EQ(testing::ReadAll((dir + "/out").toStdString()), "kept");
}

TEST_F(OptionsCli, SeveralPicturesWithABrokenTableFailOnce) {
  const std::string broken = folder_->Write("short.han", testing::TableBytes(GLYPH_COUNT - 1));
  const Outcome o = RunCli({"-t", Q(broken), Q(picture_), Q(picture_)});
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(Str(o.err), "zindrel-convert: " + broken + ": input past end of file in record 14924\n");
  EXPECT_TRUE(o.out.isEmpty());
}

// --fit and the hint need a terminal on standard output: `script` runs the
// program on a pseudo-terminal of a chosen width.
class Terminal : public OptionsCli {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "no pseudo-terminals here";
#endif
    script_ = QStandardPaths::findExecutable("script");
    // util-linux's script, whose -c runs a command.
    if (script_.isEmpty() || !testing::RunProgram(script_.toStdString(), {"--version"}).out.contains("util-linux"))
      GTEST_SKIP() << "no script(1) of util-linux for a pseudo-terminal";
  }
  // Runs the program with `args` on a terminal `columns` wide; standard
  // error goes to a file, since the terminal would mix it into the art.
  Outcome OnTerminal(int columns, const QStringList& args) {
    const QString err = Q(folder_->Path("terminal-err.txt"));
    QString command = QString("stty cols %1 -onlcr; '%2' -t '%3'").arg(columns).arg(clitest::Program(), Q(table_));
    for (const QString& a : args) command += " '" + a + "'";
    command += " 2>'" + err + "'";
    const testing::ProgramResult r = testing::RunProgram(script_.toStdString(), {"-qec", command, "/dev/null"}, 120);
    Outcome o;
    o.code = r.exitCode;
    o.out = r.out;
    o.err = testing::ReadAll(err.toStdString());
    return o;
  }
  QString script_;
};

TEST_F(Terminal, FitTakesTheTerminalsWidthTwoColumnsAGlyph) {
  const Outcome fit = OnTerminal(61, {"--fit", "--newline", "lf", Q(picture_)});
  ASSERT_EQ(fit.code, 0) << Str(fit.err);
  EXPECT_EQ(Str(fit.err), "");
  EXPECT_EQ(fit.out, Run({"--width", "30", "--newline", "lf", Q(picture_)}).out);
}

TEST_F(Terminal, ArtWiderThanTheTerminalGetsOneHint) {
  // 100 pixels at cell 4: 25 glyphs, 50 columns.
  const Outcome wide = OnTerminal(49, {"-s", "4", Q(picture_), Q(picture_)});
  EXPECT_EQ(wide.code, 0);
  EXPECT_EQ(Str(wide.err), "zindrel-convert: hint: the art is 50 columns wide, the terminal 49; try --fit\n");
  EXPECT_EQ(wide.out, Run({"-s", "4", Q(picture_), Q(picture_)}).out) << "the art itself is unchanged";
  // One picture (the converter's quick path) gets the same hint.
  EXPECT_EQ(Str(OnTerminal(49, {"-s", "4", Q(picture_)}).err),
            "zindrel-convert: hint: the art is 50 columns wide, the terminal 49; try --fit\n");
  EXPECT_EQ(Str(OnTerminal(50, {"-s", "4", Q(picture_)}).err), "");
  EXPECT_EQ(Str(OnTerminal(49, {"-s", "4", "-o", Q(folder_->Path("t.txt")), Q(picture_)}).err), "")
      << "no art on the terminal";
}

TEST_F(OptionsCli, FitWithoutATerminalIsAUsageError) {
  const Outcome o = Run({"--fit", Q(picture_)});
  EXPECT_EQ(o.code, 2);
  EXPECT_TRUE(o.out.isEmpty());
  EXPECT_EQ(Str(o.err),
            "zindrel-convert: --fit: standard output is not a terminal; give --width COLUMNS instead (see --help)\n");
}

}  // namespace
}  // namespace zindrel
