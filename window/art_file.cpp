#include "window/art_file.h"

#include "core/errors.h"
#include "core/gbk.h"

namespace zindrel {

const char* const kArtFilterUtf8 = "Text, UTF-8 (*.txt)";
const char* const kArtFilterGbk = "Text, GBK (*.txt)";

ArtEncoding ArtEncodingOfFilter(const QString& filter) {
  return filter == QLatin1String(kArtFilterGbk) ? ArtEncoding::Gbk : ArtEncoding::Utf8;
}

namespace {

[[noreturn]] void RaiseNoGbk(const QString& rows, qsizetype at) {
  const qsizetype rowStart = rows.lastIndexOf(QLatin1Char('\n'), at - 1) + 1;
  const qsizetype row = rows.left(at).count(QLatin1Char('\n')) + 1;
  // Columns count characters, a surrogate pair as one.
  qsizetype column = 1;
  for (qsizetype k = rowStart; k < at; ++k)
    if (!rows[k].isLowSurrogate()) ++column;
  char32_t c = rows[at].unicode();
  if (rows[at].isHighSurrogate() && at + 1 < rows.size() && rows[at + 1].isLowSurrogate())
    c = QChar::surrogateToUcs4(rows[at], rows[at + 1]);
  const QString code = QStringLiteral("U+") + QString::number(c, 16).toUpper().rightJustified(4, QLatin1Char('0'));
  const bool printable = QChar::isPrint(c) && !QChar::isSurrogate(c);
  const QString shown = printable ? QStringLiteral("\"") + QString::fromUcs4(&c, 1) + QStringLiteral("\" ") : QString();
  Raise(ErrorKind::InvalidCall,
        QStringLiteral("(GBK has no code for %1(%2) in row %3, column %4; save as UTF-8 to keep it)")
            .arg(shown, code)
            .arg(row)
            .arg(column)
            .toStdString());
}

}  // namespace

std::string ArtFileBytes(const QString& shown, ArtEncoding encoding) {
  QString rows = shown;
  rows.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  rows.replace(QChar::LineSeparator, QLatin1Char('\n'));
  rows.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  if (!rows.isEmpty() && !rows.endsWith(QLatin1Char('\n'))) rows += QLatin1Char('\n');
  rows.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  if (encoding == ArtEncoding::Utf8) return rows.toStdString();
  std::string gbk;
  const std::size_t bad = Utf16ToGbk(rows.toStdU16String(), gbk);
  if (bad != std::u16string::npos) RaiseNoGbk(rows, static_cast<qsizetype>(bad));
  return gbk;
}

}  // namespace zindrel
