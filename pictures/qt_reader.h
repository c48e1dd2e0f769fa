// Qt's decoder of one picture kind, as the picture room uses it: within the
// picture size limit, its complaints kept off the log and made the reason of
// the error. Private to the room.
#pragma once

#include <QByteArray>
#include <QImage>

#include "pictures/picture_kinds.h"

namespace zindrel {

// Decodes with Qt's reader for the kind, and no other: the signature has
// already decided what the file is. Raises InvalidPicture with Qt's reason.
QImage ReadWithQt(QByteArray& data, PictureKind kind);

}  // namespace zindrel
