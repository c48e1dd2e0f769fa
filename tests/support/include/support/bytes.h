// Little-endian (and, for PNG, big-endian) writing of the numbers that file
// headers and records hold: the one byte writer every builder of test files
// uses.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace zindrel::testing {

inline void Put8(QByteArray& out, int value) { out.append(static_cast<char>(value & 0xFF)); }

inline void Put16(QByteArray& out, int64_t value) {
  for (int i = 0; i < 2; ++i) out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

inline void Put32(QByteArray& out, int64_t value) {
  for (int i = 0; i < 4; ++i) out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

inline void PutF32(QByteArray& out, float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  Put32(out, bits);
}

inline void PutBig32(QByteArray& out, uint32_t value) {
  for (int i = 3; i >= 0; --i) out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Overwrites the 2 or 4 bytes at offset.
inline void Set16(QByteArray& out, int offset, int64_t value) {
  for (int i = 0; i < 2; ++i) out[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}
inline void Set32(QByteArray& out, int offset, int64_t value) {
  for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Bytes given one by one.
inline QByteArray Bytes(std::initializer_list<int> values) {
  QByteArray out;
  for (int v : values) Put8(out, v);
  return out;
}

}  // namespace zindrel::testing
