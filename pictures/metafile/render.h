// Playing a metafile under chosen limits (the public entry uses the defaults;
// tests use small limits to show that a hostile file is stopped).
#pragma once

#include <QByteArray>
#include <QImage>
#include <string>
#include <vector>

#include "gdi_player.h"

namespace zindrel::metafile {

// What was odd about a file that plays all the same, and what it holds
// that was not drawn, goes to `warnings`.
QImage RenderWithLimits(const QByteArray& data, double dpi, const Limits& limits,
                        std::vector<std::string>* warnings = nullptr);

}  // namespace zindrel::metafile
