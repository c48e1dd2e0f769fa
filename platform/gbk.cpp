#include "platform/gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include "platform/errors.h"

namespace zindrel {

namespace {
bool IsAscii(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}
}  // namespace

std::string GbkToUtf8(const std::string& gbk) {
  if (IsAscii(gbk)) return gbk;
  // Qt resolves "GBK" through ICU; QStringConverter::encodingForName does not
  // know it, so the codec is always asked for by name.
  // Opening the codec costs far more than decoding one glyph, and the table
  // decodes 14924 of them at start-up: each thread keeps one decoder. It is
  // stateless, so every text is still decoded on its own.
  thread_local QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
  // A Qt without the codec would decode every glyph to nothing; say so
  // instead of writing empty art.
  if (!decoder.isValid()) Raise(ErrorKind::InvalidCall, "(this Qt has no GBK text decoder)");
  // A lead byte at the very end would be dropped silently as an unfinished
  // sequence; a blank after it (never a GBK trail byte) makes it a broken
  // pair that decodes to U+FFFD like any other, and is taken off again.
  const std::string padded = gbk + ' ';
  QString text = decoder.decode(QByteArrayView(padded.data(), static_cast<qsizetype>(padded.size())));
  text.chop(1);
  return text.toStdString();
}

std::string Utf8ToGbk(const std::string& utf8) {
  if (IsAscii(utf8)) return utf8;
  QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
  if (!encoder.isValid()) Raise(ErrorKind::InvalidCall, "(this Qt has no GBK text encoder)");
  QByteArray bytes = encoder.encode(QString::fromStdString(utf8));
  return bytes.toStdString();
}

}  // namespace zindrel
