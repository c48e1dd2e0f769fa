// The face that shows the art: a Song/Ming face whose glyph table we ship.
// "SimSun" comes first so that a system that has it uses it; AR PL UMing CN
// (Debian's fonts-arphic-uming) is the face the table is measured on. At
// 9.75 pt (13 px at 96 dpi) it has a 13 px line and 13 px full-width
// advances, so the cells of the art are square.
#pragma once

#include <QFont>
#include <QStringList>

namespace zindrel {

// The family the shipped glyph table was measured on.
inline const char* const kTableFaceFamily = "AR PL UMing CN";

// The art's families, most wanted first: "SimSun", then the table's face.
QStringList ArtFontFamilies();

// The art font at a size in points: the families above, no hinting that
// would round half-width advances, no kerning, no synthetic styles.
QFont ArtFont(qreal pointSize);

// The same at a size in pixels (for rendering the art into a picture).
QFont ArtFontPixels(int pixelSize);

}  // namespace zindrel
