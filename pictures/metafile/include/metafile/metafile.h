// Windows metafiles (WMF, with or without the placeable header) and enhanced
// metafiles (EMF), played by our own record parsers onto a picture.
//
// Picture size:
//  - WMF with the placeable header: the header's box in its units per inch,
//    at `dpi`;
//  - EMF: the header's frame (0.01 mm) at `dpi`; an empty frame falls back
//    to the bounds in reference-device pixels;
//  - WMF without the placeable header carries no physical size. Its first
//    window (SetWindowOrg / SetWindowExt) is the picture, one logical unit
//    to a pixel at 96 dpi, scaled to `dpi`; a file that sets no window is
//    measured by a first pass and the box of everything it draws is the
//    picture. Either way the longer side is scaled down to 4096 pixels at
//    most.
// No picture may exceed 16384 x 16384 pixels or 1 GiB.
// A file shorter than its header says is refused (played in part, it would
// show white where the lost records drew), unless it is a WMF whose records
// are all there up to the end record: only its header's size is wrong, and
// it plays with a warning. EMF+ records (GDI+ drawing kept in comments) are
// played, and the GDI records of such a file only where GDI+ plays them
// (after a GetDC record); in a "dual" file the GDI records beside an EMF+
// record that is not played here draw in its place.
// Text faces are matched by the system's font matching (fontconfig puts
// Liberation Sans/Serif/Mono in the place of Arial/Times New Roman/Courier
// New), with a CJK face for the characters they lack; Symbol and Wingdings
// text is mapped to the Unicode characters those faces show.
// Text needs Qt's font system, that is a QGuiApplication (the offscreen
// platform will do); without one, text records are skipped.
#pragma once

#include <QByteArray>
#include <QImage>
#include <string>
#include <vector>

namespace zindrel {

// True for a WMF with the placeable header (D7 CD C6 9A), a WMF standard
// header (type 1 or 2, header size 9 words) or an EMF (first record type 1
// with the signature " EMF" at offset 40).
bool IsMetafile(const QByteArray& data);

// Plays the metafile onto a white Format_RGB32 picture. Raises RuntimeError
// (InvalidPicture, "(reason)") for a file that cannot be played: a damaged
// header, no size, a size over the limits, or more drawing work than a
// picture can reasonably need (a hostile file). Unknown or damaged records
// are skipped, never fatal.
// When `warnings` is given, drawing the file holds but the player does not
// show is named there, one short phrase per kind of record, such as
// "2 EMF+ SerializableObject records not drawn".
QImage RenderMetafile(const QByteArray& data, double dpi, std::vector<std::string>* warnings = nullptr);

}  // namespace zindrel
