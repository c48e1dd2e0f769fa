// Playing a metafile under chosen limits (the public entry uses the defaults;
// tests use small limits to show that a hostile file is stopped).
#pragma once

#include <QByteArray>
#include <QImage>

#include "gdi_player.h"

namespace zindrel::metafile {

QImage RenderWithLimits(const QByteArray& data, double dpi, const Limits& limits);

}  // namespace zindrel::metafile
