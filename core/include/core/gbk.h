// The Chinese code page (GB2312 as extended by GBK) decoded to UTF-8 and
// text encoded back into it, with no library beyond the standard one.
//
// Bytes 0x00..0x7F are themselves, 0x80 is U+20AC and 0xFF is U+F8F5. A lead
// byte 0x81..0xFE followed by a trail byte 0x40..0x7E or 0x80..0xFE is one
// character (the codes GBK leaves unassigned give private-use characters); a
// lead byte followed by anything else, or by nothing, is U+FFFD, and the
// byte after it is read on its own. This is the decoding of Qt's "GBK" codec
// to the character, which a test checks on every pair of bytes.
#pragma once

#include <cstddef>
#include <string>

namespace zindrel {

std::string GbkToUtf8(const std::string& gbk);

// Encodes UTF-16 text in GBK into gbk: the exact inverse of GbkToUtf8 for
// every character it yields except U+FFFD (ASCII as itself, U+20AC as 0x80,
// U+F8F5 as 0xFF, every other character as its double-byte code), which is
// also what Qt's "GBK" encoder writes. Returns the index of the first
// character that GBK cannot hold (a surrogate pair counts from its first
// half), or std::u16string::npos when every character was encoded.
std::size_t Utf16ToGbk(const std::u16string& text, std::string& gbk);

}  // namespace zindrel
