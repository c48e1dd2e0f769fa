#include "platform/gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

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
  QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
  QString text = decoder.decode(QByteArrayView(gbk.data(), static_cast<qsizetype>(gbk.size())));
  return text.toStdString();
}

std::string Utf8ToGbk(const std::string& utf8) {
  if (IsAscii(utf8)) return utf8;
  QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
  QByteArray bytes = encoder.encode(QString::fromStdString(utf8));
  return bytes.toStdString();
}

}  // namespace zindrel
