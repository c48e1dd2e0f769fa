#include "render/art_font.h"

namespace zindrel {

QStringList ArtFontFamilies() { return {QStringLiteral("SimSun"), QString::fromLatin1(kTableFaceFamily)}; }

namespace {
QFont BaseArtFont() {
  QFont font;
  // setFamilies tries the families in order against the installed ones, so
  // a missing "SimSun" falls through to the table's face instead of being
  // replaced by the system's default serif and a Hei face for the Chinese.
  font.setFamilies(ArtFontFamilies());
  font.setStyleHint(QFont::Serif, QFont::StyleStrategy(QFont::PreferMatch | QFont::NoSubpixelAntialias));
  // Vertical hinting only: full hinting rounds half-width advances and
  // breaks the grid of the art.
  font.setHintingPreference(QFont::PreferVerticalHinting);
  font.setKerning(false);
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  return font;
}
}  // namespace

QFont ArtFont(qreal pointSize) {
  QFont font = BaseArtFont();
  font.setPointSizeF(pointSize);
  return font;
}

QFont ArtFontPixels(int pixelSize) {
  QFont font = BaseArtFont();
  font.setPixelSize(pixelSize);
  return font;
}

}  // namespace zindrel
