#include "core/gbk.h"

#include <array>
#include <cstdint>

#include "gbk_table.h"

namespace zindrel {

namespace {

constexpr int kTrailCount = 190;  // 0x40..0x7E and 0x80..0xFE

bool IsTrail(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }
int TrailIndex(unsigned char b) { return b < 0x7F ? b - 0x40 : b - 0x41; }

// Every code's character, read once from the UTF-8 rows of the table.
class PairTable {
 public:
  PairTable() {
    for (int lead = 0; lead < gbk::kLeadCount; ++lead) {
      int t = 0;
      for (const char* row : gbk::kRows[lead]) {
        const auto* p = reinterpret_cast<const unsigned char*>(row);
        while (*p) chars_[static_cast<size_t>(lead) * kTrailCount + t++] = NextChar(p);
      }
    }
  }
  char16_t Get(unsigned char lead, unsigned char trail) const {
    return chars_[static_cast<size_t>(lead - gbk::kFirstLead) * kTrailCount + TrailIndex(trail)];
  }
  static const PairTable& Instance() {
    static const PairTable table;
    return table;
  }

 private:
  // The table holds characters of two and three UTF-8 bytes only.
  static char16_t NextChar(const unsigned char*& p) {
    if (*p < 0xE0) {
      const char16_t c = static_cast<char16_t>(((p[0] & 0x1F) << 6) | (p[1] & 0x3F));
      p += 2;
      return c;
    }
    const char16_t c = static_cast<char16_t>(((p[0] & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
    p += 3;
    return c;
  }
  std::array<char16_t, gbk::kLeadCount * kTrailCount> chars_{};
};

void AppendUtf8(std::string& out, char16_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The double-byte code of every character that has one (lead byte high),
// 0 for the others; each character has at most one code.
class CodeTable {
 public:
  CodeTable() {
    const PairTable& pairs = PairTable::Instance();
    for (int lead = gbk::kFirstLead; lead <= gbk::kLastLead; ++lead)
      for (int trail = 0x40; trail <= 0xFE; ++trail)
        if (trail != 0x7F) {
          const char16_t c = pairs.Get(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
          codes_[c] = static_cast<uint16_t>(lead << 8 | trail);
        }
  }
  uint16_t Get(char16_t c) const { return codes_[c]; }

 private:
  std::array<uint16_t, 0x10000> codes_{};
};

}  // namespace

std::size_t Utf16ToGbk(const std::u16string& text, std::string& gbk) {
  static const CodeTable table;
  gbk.clear();
  gbk.reserve(text.size() * 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x80) {
      gbk += static_cast<char>(c);
    } else if (c == u'\u20AC') {
      gbk += static_cast<char>(0x80);
    } else if (c == u'\uF8F5') {
      gbk += static_cast<char>(0xFF);
    } else if (const uint16_t code = table.Get(c)) {
      gbk += static_cast<char>(code >> 8);
      gbk += static_cast<char>(code & 0xFF);
    } else {
      return i;  // surrogates and U+FFFD among them
    }
  }
  return std::u16string::npos;
}

std::string GbkToUtf8(const std::string& gbk) {
  const PairTable& table = PairTable::Instance();
  std::string out;
  out.reserve(gbk.size() * 3 / 2);
  for (size_t i = 0; i < gbk.size(); ++i) {
    const auto b = static_cast<unsigned char>(gbk[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
    } else if (b == 0x80) {
      AppendUtf8(out, u'\u20AC');
    } else if (b == 0xFF) {
      AppendUtf8(out, u'\uF8F5');
    } else if (i + 1 < gbk.size() && IsTrail(static_cast<unsigned char>(gbk[i + 1]))) {
      AppendUtf8(out, table.Get(b, static_cast<unsigned char>(gbk[++i])));
    } else {
      AppendUtf8(out, u'\uFFFD');
    }
  }
  return out;
}

}  // namespace zindrel
