// The picture room's way into our own row readers (readers/picture_rows.h)
// for bytes held in a QByteArray.
#pragma once

#include <QByteArray>
#include <memory>

#include "core/row_stream.h"
#include "pictures/picture.h"
#include "readers/picture_rows.h"

namespace zindrel {

// OpenPictureRows on the array's bytes (shared, not copied); a PNG that
// libpng refuses is reported with the reason Qt's reader gives for it, as
// the whole decode reports it.
std::unique_ptr<RowStream> OpenPictureRows(const QByteArray& data, PictureWarnings* warnings);

}  // namespace zindrel
