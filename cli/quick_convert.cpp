#include "cli/quick_convert.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>

#include "cli/art_text.h"
#include "cli/measured_picture.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/report.h"
#include "convert/matcher.h"
#include "core/errors.h"
#include "glyphs/glyph_table.h"
#include "readers/picture_rows.h"

namespace zindrel::cli {

namespace {

// Whether text is well-formed UTF-8. The full converter reads its arguments
// as UTF-8 text; a name that is not would reach it changed, so such a
// command line is left to it.
bool IsUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80           ? 1
                          : (lead >> 5) == 0x6  ? 2
                          : (lead >> 4) == 0xE  ? 3
                          : (lead >> 3) == 0x1E ? 4
                                                : 0;
    if (length == 0 || i + length > text.size()) return false;
    uint32_t code = length == 1 ? lead : lead & (0xFFu >> (length + 1));
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3Fu);
    }
    // Overlong forms, surrogates and code points past U+10FFFF.
    static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
    i += length;
  }
  return true;
}

// What the quick path does: one picture file, its art on standard output.
bool QuickJob(const Options& o) {
  return o.pictures.size() == 1 && o.pictures.front() != "-" && (o.output.empty() || o.output == "-") &&
         o.png.empty() && o.html.empty() && o.savePicture.empty();
}

// The bytes of a regular file no larger than any picture accepted; nothing
// when it is anything else or cannot be read whole.
std::optional<std::string> ReadPictureFile(const std::string& name) {
  const std::filesystem::path path = std::filesystem::u8path(name);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  const uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec || size > static_cast<uintmax_t>(kMaxPictureFileBytes)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes(static_cast<size_t>(size), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  // A file that changed while it was read.
  if (static_cast<uintmax_t>(in.gcount()) != size || in.peek() != std::ifstream::traits_type::eof())
    return std::nullopt;
  return bytes;
}

// The art of the quick job, or nothing when the full converter is to make
// it. Warnings of the picture go to `warnings`.
std::optional<StreamedArt> QuickArt(const Options& o, int columns, const std::string& tablePath,
                                    PictureWarnings& warnings) {
  std::optional<std::string> bytes = ReadPictureFile(o.pictures.front());
  if (!bytes) return std::nullopt;
  std::unique_ptr<RowStream> decoded = OpenPictureRows(HoldBytes(std::move(*bytes)), &warnings);
  if (!decoded) return std::nullopt;
  const PictureSize target =
      columns > 0 ? ArtPictureSize(decoded->Width(), decoded->Height(), columns, static_cast<int16_t>(o.cellSize))
                  : PictureSize{};
  const std::unique_ptr<RowStream> measured = MeasuredRows(std::move(decoded), o.invert, target);
  // The table loads on this thread while the decoder, started first, works.
  std::unique_ptr<GlyphTable> table;
  std::unique_ptr<Matcher> matcher;
  const auto loaded = [&]() -> const Matcher& {
    if (!matcher) {
      table = std::make_unique<GlyphTable>(LoadGlyphTable(tablePath));
      matcher = std::make_unique<Matcher>(*table);
    }
    return *matcher;
  };
  // Only the text is written here: the rows of glyphs need not be kept.
  return ConvertStreamedArt(loaded, *measured, o, false);
}

}  // namespace

std::optional<int> ConvertQuickly(const std::vector<std::string>& args, const std::string& programDirectory) {
  if (!std::all_of(args.begin(), args.end(), IsUtf8)) return std::nullopt;
  ParsedCommandLine parsed;
  int columns = 0;
  try {
    parsed = ParseCommandLine(args);
    if (parsed.action != Action::Convert || !QuickJob(parsed.options)) return std::nullopt;
    columns = ArtColumns(parsed.options);
  } catch (const UsageError&) {
    return std::nullopt;
  }
  const Options& o = parsed.options;
  if (o.table.empty() && programDirectory.empty()) return std::nullopt;
  const std::string tablePath = o.table.empty() ? DefaultTablePath(programDirectory) : o.table;

  PictureWarnings warnings;
  std::optional<StreamedArt> art;
  try {
    art = QuickArt(o, columns, tablePath, warnings);
  } catch (...) {
    // Whatever failed, the full converter meets it again and reports it.
    return std::nullopt;
  }
  if (!art) return std::nullopt;

  if (!warnings.empty()) Warn(o.pictures.front(), warnings);
  try {
    WriteStandardOutput(art->text);
  } catch (const RuntimeError& e) {
    return Report("standard output", e.message(), 1);
  }
  HintWhenWiderThanTerminal(o.width != 0 || o.fit, art->widest);
  return 0;
}

}  // namespace zindrel::cli
