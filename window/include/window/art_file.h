// The art of the output box as a file: the text as the box shows it, every
// row ended by CR LF, in UTF-8 or in GBK (the code page the glyph table
// holds its glyphs in).
#pragma once

#include <QString>
#include <string>

namespace zindrel {

enum class ArtEncoding { Utf8, Gbk };

// The save dialog's filters, one per encoding.
extern const char* const kArtFilterUtf8;  // "Text, UTF-8 (*.txt)"
extern const char* const kArtFilterGbk;   // "Text, GBK (*.txt)"

// The encoding a filter of the save dialog stands for; UTF-8 for any other.
ArtEncoding ArtEncodingOfFilter(const QString& filter);

// The bytes of the file: rows end at LF, CR LF, U+2028 and U+2029 as the
// box shows them, and each row, the last one included, gets CR LF; an empty
// text gives no bytes. Raises InvalidCall for a character that GBK cannot
// hold, naming it with its row and column, before any byte is produced.
std::string ArtFileBytes(const QString& shown, ArtEncoding encoding);

}  // namespace zindrel
