// The file-name extensions a picture fuzz input can claim, chosen by its
// first byte (the seed corpus writes the matching byte before each file).
#pragma once

#include <cstdint>

namespace zindrel::fuzz {

inline constexpr const char* kKinds[] = {"bmp", "dib", "rle", "jpg", "jpeg", "gif", "ico", "cur", "wmf", "emf", "png"};
inline constexpr int kKindCount = sizeof(kKinds) / sizeof(kKinds[0]);

inline const char* KindExtension(uint8_t selector) { return kKinds[selector % kKindCount]; }

inline uint8_t KindSelector(const char* extension) {
  for (int i = 0; i < kKindCount; ++i) {
    const char* a = kKinds[i];
    const char* b = extension;
    while (*a && *a == *b) ++a, ++b;
    if (!*a && !*b) return static_cast<uint8_t>(i);
  }
  return 0;
}

}  // namespace zindrel::fuzz
