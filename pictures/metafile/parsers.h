// The two record parsers. Each walks its format's records, checks every size
// and count against the record and the file, and turns the records it knows
// into calls on one GdiPlayer. Unknown or damaged records are skipped; a
// record that claims less than its own header, or more than the file holds,
// ends the walk (what was drawn so far stays).
#pragma once

#include <QByteArray>
#include <QRectF>
#include <cstdint>
#include <optional>

#include "bytes.h"
#include "gdi_player.h"

namespace zindrel::metafile {

struct WmfHeader {
  bool placeable = false;
  QRectF bbox;      // placeable header: the picture's box in logical units
  double inch = 0;  // placeable header: logical units per inch
  size_t firstRecord = 0;
};

// Reads the placeable header (if any) and the standard header; false when
// the file is not a readable WMF.
bool ReadWmfHeader(Bytes file, WmfHeader* header);
// The window the file sets first (SetWindowOrg, SetWindowExt), if any.
std::optional<QRectF> FindWmfWindow(Bytes file, const WmfHeader& header);
// The enhanced metafile a WMF carries whole in its comment records (as
// Windows writes it when it turns an EMF into a WMF), or nothing.
QByteArray FindEmbeddedEmf(Bytes file, const WmfHeader& header);
// True when the records, each whole within the file, run to an end record.
bool WmfRecordsReachEnd(Bytes file, const WmfHeader& header);
void PlayWmf(Bytes file, const WmfHeader& header, GdiPlayer& player);

struct EmfHeader {
  QRect bounds;    // device units, inclusive
  QRect frame;     // 0.01 mm, inclusive
  QSize devicePx;  // reference device in pixels
  QSize deviceMm;  // and in millimetres
  uint32_t handles = 0;
};

bool ReadEmfHeader(Bytes file, EmfHeader* header);
void PlayEmf(Bytes file, GdiPlayer& player);

}  // namespace zindrel::metafile
