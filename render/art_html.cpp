#include "render/art_html.h"

#include <QString>
#include <QStringList>
#include <map>

#include "render/art_font.h"

namespace zindrel {

namespace {

// A code point an HTML document may carry as it is.
bool Allowed(char32_t c) {
  if (c == U'\t' || c == U'\n') return true;
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return false;
  if (c >= 0xFDD0 && c <= 0xFDEF) return false;
  return (c & 0xFFFE) != 0xFFFE;
}

// Text for an element's content: markup characters escaped, characters an
// HTML document cannot hold replaced.
QString Escaped(const QString& text) {
  QString out;
  for (char32_t c : text.toUcs4()) {
    switch (c) {
      case U'&': out += QStringLiteral("&amp;"); break;
      case U'<': out += QStringLiteral("&lt;"); break;
      case U'>': out += QStringLiteral("&gt;"); break;
      case U'"': out += QStringLiteral("&quot;"); break;
      default: {
        const char32_t kept = Allowed(c) ? c : char32_t{0xFFFD};
        out += QString::fromUcs4(&kept, 1);
      }
    }
  }
  return out;
}

QString Hex(QRgb colour) { return QStringLiteral("#%1").arg(colour & 0xFFFFFFu, 6, 16, QLatin1Char('0')); }

}  // namespace

std::string ArtHtml(const std::string& utf8Text, int cellPx, const ArtColours& colours, const std::string& title) {
  QString text = QString::fromUtf8(utf8Text.data(), static_cast<qsizetype>(utf8Text.size()));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QStringList lines = text.split(QLatin1Char('\n'));
  const bool lastEnded = lines.size() > 1 && lines.last().isEmpty();
  if (lastEnded) lines.removeLast();

  // The art: each run of equal colour a span of its colour's class.
  std::map<QRgb, int> classes;
  QString art;
  for (qsizetype l = 0; l < lines.size(); ++l) {
    const QList<uint> characters = lines[l].toUcs4();
    if (colours.characters.empty()) {
      art += Escaped(lines[l]);
    } else {
      qsizetype i = 0;
      while (i < characters.size()) {
        const QRgb colour = colours.At(static_cast<size_t>(l), static_cast<size_t>(i)) | 0xFF000000u;
        qsizetype end = i + 1;
        while (end < characters.size() &&
               (colours.At(static_cast<size_t>(l), static_cast<size_t>(end)) | 0xFF000000u) == colour)
          ++end;
        const auto found = classes.emplace(colour, static_cast<int>(classes.size())).first;
        QString run;
        for (qsizetype k = i; k < end; ++k) {
          const char32_t c = characters[k];
          run += QString::fromUcs4(&c, 1);
        }
        art += QStringLiteral("<span class=\"c%1\">").arg(found->second) + Escaped(run) + QStringLiteral("</span>");
        i = end;
      }
    }
    if (l + 1 < lines.size() || lastEnded) art += QLatin1Char('\n');
  }

  QStringList families;
  for (const QString& family : ArtFontFamilies()) families << QLatin1Char('"') + family + QLatin1Char('"');
  families << QStringLiteral("serif");
  QString style;
  style += QStringLiteral("html, body { margin: 0; padding: 0; background: %1; }\n").arg(Hex(colours.background));
  style += QStringLiteral(
               "pre { margin: 0; padding: %1px; color: %2; font-family: %3; font-size: %1px; line-height: %1px;\n"
               "      font-style: normal; font-weight: normal; font-kerning: none; font-synthesis: none;\n"
               "      letter-spacing: 0; word-spacing: 0; white-space: pre; -webkit-text-size-adjust: none;\n"
               "      text-size-adjust: none; }\n")
               .arg(cellPx)
               .arg(Hex(colours.foreground), families.join(QStringLiteral(", ")));
  std::map<int, QRgb> byClass;
  for (const auto& [colour, index] : classes) byClass.emplace(index, colour);
  for (const auto& [index, colour] : byClass)
    style += QStringLiteral(".c%1 { color: %2; }\n").arg(index).arg(Hex(colour));

  const QString name = title.empty() ? QStringLiteral("Zindrel art") : QString::fromUtf8(title.data(), title.size());
  QString page;
  page += QStringLiteral("<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n");
  page += QStringLiteral("<meta name=\"generator\" content=\"zindrel\">\n");
  page += QStringLiteral("<title>") + Escaped(name) + QStringLiteral("</title>\n");
  page += QStringLiteral("<style>\n") + style + QStringLiteral("</style>\n</head>\n<body>\n");
  // A line end right after <pre> is dropped by every HTML parser: this one
  // keeps a first line that starts with a line end of its own.
  page += QStringLiteral("<pre>\n") + art + QStringLiteral("</pre>\n</body>\n</html>\n");
  return page.toStdString();
}

}  // namespace zindrel
