// Picture decoding: a file (or its bytes) to a picture the engine can read.
// Every kind of the open dialog's list is decoded here, for the window and
// for the command-line converter alike.
#pragma once

#include <QByteArray>
#include <QImage>
#include <string>
#include <vector>

#include "core/pixel_source.h"
#include "readers/picture_kinds.h"

namespace zindrel {

// Decodes a picture file. The result is Format_RGB32; transparent parts are
// laid over white (as points outside the picture count). Raises
// RuntimeError: FileNotFound, FileAccess (a directory, a device or other
// non-regular file, unreadable), or InvalidPicture with the reason in its
// detail, in brackets: "(GIF file cut short before the end of its first
// image)".
//
// The kind is told by the content, never by the name: BMP (run-length ones
// and the variants Qt's reader does not take by our own decoder), PNG, JPEG,
// GIF (its first frame), icons and cursors (the image with the most pixels,
// then the most colours; masked pixels come out white), metafiles and
// enhanced metafiles (at the screen's logical dpi, 96 without a screen).
// Anything else is "not a supported picture". Sizes claimed by headers are
// checked before any pixel memory is taken: at most 1 GiB decoded.
//
// A file that decodes in full but has something odd about it (a fault a
// reader recovers from, such as stray bytes between JPEG markers, a
// metafile header that overstates the file's size, an icon directory that
// disagrees with its images, or drawing a metafile player cannot show)
// still decodes; when `warnings` is given,
// one short phrase per oddity is added to it, for callers that tell the user
// ("JPEG: 16 stray bytes before marker 0xE1"). Nothing is added for a file
// that fails: its reason is the error's.
QImage DecodePictureFile(const std::string& path, PictureWarnings* warnings = nullptr);

// The bytes of a picture file, with the checks and errors of
// DecodePictureFile before any decoding (FileNotFound, FileAccess, and
// InvalidPicture for a file larger than any picture accepted).
QByteArray ReadPictureBytes(const std::string& path);

// The same from bytes already read; name is not needed to tell the kinds
// apart (every kind has its signature) and is kept for callers' messages.
QImage DecodePictureBytes(const QByteArray& data, const std::string& name, PictureWarnings* warnings = nullptr);

// A decoded picture as the engine's pixel source (raw rows available).
class ImagePixelSource : public PixelSource {
 public:
  ImagePixelSource() = default;
  explicit ImagePixelSource(QImage image);  // converted to Format_RGB32 if needed
  int Width() const override { return image_.width(); }
  int Height() const override { return image_.height(); }
  int32_t Point(int x, int y) const override;
  const uint32_t* Row(int y) const override;
  const QImage& image() const { return image_; }

 private:
  QImage image_;
};

}  // namespace zindrel
