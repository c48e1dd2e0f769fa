#include <QString>

#include "window/form1.h"

namespace zindrel {

QString SampleArt() {
  // The word "Zindrel" in white on black, converted by this program with the
  // shipped table at cell size 12 and quality 4: four rows of 17 glyphs.
  static const char16_t kSample[] =
      u" \u3000\u3000\u8771\u8771\u8FBA\u3000\u3000\u3000\u3000\u60E2\u3000\u3000\u3000\u3000\u8FD0\u3000\u3000"
      u"\n"
      u"  \u3000\u4E5B\u9EB7\u2588\u651F\u6F28\u9F98\u8A09\u9E13\u9F98\u9F03\u65B8\u9E13\u65B8\u9F98\u3000\u3000"
      u"\n"
      u"  \u3000\u3000\u2588\u9F27\u9F98\u737C\u89D7\u9F98\u9F98\u9F98\u9F98\u5201\u2588\u9F98\u9F98\u3000\u3000"
      u"\n"
      u"  \u3000\u4E5B\u691A\u691A\u7F56\u7F52\u7F52\u8980\u691A\u7F56\u7F56\u3000\u5011\u7F56\u7F56\u3000\u3000";
  return QString::fromUtf16(kSample);
}

}  // namespace zindrel
