// Faces for metafile text. A file names Windows faces ("Arial", "Times New
// Roman", "Symbol", ...); the system's font matching (fontconfig on Linux)
// picks the installed face that stands in for each, the metric-compatible
// one where there is one, and a CJK face follows it only for the characters
// the chosen face lacks. The two symbol faces keep their letters in their own
// code pages: their text is mapped to the Unicode characters they show.
#pragma once

#include <QFont>
#include <QRawFont>
#include <QString>
#include <QStringList>
#include <QVector>

namespace zindrel::metafile {

// Text needs Qt's font system: true when a QGuiApplication runs.
bool CanDrawText();

// The families to draw a face with: the installed face the system matches
// for `face` (with the generic family of the LOGFONT's pitch-and-family byte
// as a hint), then CJK faces and a last general face. Needs a
// QGuiApplication.
QStringList FamiliesFor(const QString& face, int pitchAndFamily);

// Whether glyph numbers written for `face` pick the same glyphs in `drawn`,
// the face that stands in for it: it is that face itself, or both put the
// Latin letters and figures at the places of the standard Macintosh glyph
// order, as Arial, Times New Roman and Courier New and their metric-
// compatible stand-ins do.
bool GlyphNumbersCarryOver(const QString& face, const QRawFont& drawn);

enum class SymbolFace { kNone, kSymbol, kWingdings };

// Which symbol code page a face draws in, by its name.
SymbolFace SymbolFaceOf(const QString& face);

// Text in a symbol face as the Unicode characters the face shows. Both the
// code page's bytes (U+0020..U+00FF) and their private-use form
// (U+F020..U+F0FF) are mapped. `advances`, when it holds one entry per UTF-16
// unit, is kept in step (a character outside the basic plane gets a zero
// advance for its second unit).
QString MapSymbolText(SymbolFace face, const QString& text, QVector<double>* advances);

}  // namespace zindrel::metafile
