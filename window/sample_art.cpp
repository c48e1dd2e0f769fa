#include <QString>

#include "window/form1.h"

namespace zindrel {

QString SampleArt() {
  // Placeholder until the sample is made from the shipped table.
  const QString blank(17, QChar(0x3000));
  return QStringLiteral(" ") + blank + QStringLiteral("\n  ") + blank + QStringLiteral("\n  ") + blank +
         QStringLiteral("\n  ") + blank;
}

}  // namespace zindrel
