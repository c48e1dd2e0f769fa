// The characters of the double-byte GBK codes (gbk_table.cpp, written by
// tools/make_gbk_table.cpp).
#pragma once

namespace zindrel::gbk {

constexpr int kFirstLead = 0x81, kLastLead = 0xFE;
constexpr int kLeadCount = kLastLead - kFirstLead + 1;

// kRows[lead - 0x81][0]: the 63 characters of trail bytes 0x40..0x7E;
// kRows[lead - 0x81][1]: the 127 characters of trail bytes 0x80..0xFE; UTF-8.
extern const char* const kRows[kLeadCount][2];

}  // namespace zindrel::gbk
