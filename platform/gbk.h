// Conversion between the Chinese code page (GB2312 as extended by GBK) and
// UTF-8. Bytes that are not valid GBK become U+FFFD. A Qt without the GBK
// codec raises the InvalidCall error rather than giving empty text.
#pragma once

#include <string>

namespace zindrel {

std::string GbkToUtf8(const std::string& gbk);
// Characters that GBK cannot hold are replaced by '?'.
std::string Utf8ToGbk(const std::string& utf8);

}  // namespace zindrel
