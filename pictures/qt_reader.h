// Qt's decoder of one picture kind, as the picture room uses it: within the
// picture size limit, its complaints kept off the log and made the reason of
// the error. Private to the room.
#pragma once

#include <QByteArray>
#include <QImage>

#include "readers/picture_kinds.h"
#include "readers/png_reader.h"

namespace zindrel {

// Decodes with Qt's reader for the kind, and no other: the signature has
// already decided what the file is. Raises InvalidPicture with Qt's reason.
QImage ReadWithQt(QByteArray& data, PictureKind kind);

// The array's bytes for our own readers, shared with it, not copied.
PictureBytes SharedBytes(const QByteArray& data);

// For our own PNG reader: a PNG that libpng refuses is reported with the
// reason Qt's reader gives for it.
PngRefusal QtPngVerdict();

}  // namespace zindrel
