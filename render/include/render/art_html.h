// The art as a web page: one self-contained HTML file that shows the art as
// the window does, in the art's fonts, with square cells.
#pragma once

#include <string>

#include "render/art_render.h"

namespace zindrel {

// An HTML page of UTF-8 art text (lines end at CR LF or LF): a <pre> block
// in the art's font stack ("SimSun", "AR PL UMing CN", serif) whose font
// size and line height are both cellPx pixels, in the given colours; with
// per-character colours, each run of equal colour on a line is a span of a
// class defined in the page's one style block. title (UTF-8) is the page's
// title. The text of the <pre> block, as an HTML parser reads it back, is the
// art text with LF line ends: characters HTML does not allow in a document
// (controls other than tab and line ends, noncharacters) become U+FFFD, and
// every line ending is LF. No scripts, nothing loaded from elsewhere.
std::string ArtHtml(const std::string& utf8Text, int cellPx, const ArtColours& colours, const std::string& title);

}  // namespace zindrel
