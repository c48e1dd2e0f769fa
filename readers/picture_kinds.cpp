#include "readers/picture_kinds.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/errors.h"
#include "core/pixel_source.h"

namespace zindrel {

void RaiseInvalidPicture(const std::string& why) { Raise(ErrorKind::InvalidPicture, "(" + why + ")"); }

void CheckPictureSize(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0)
    RaiseInvalidPicture("a picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is empty");
  if (width > kMaxPictureBytes / 4 / height)
    RaiseInvalidPicture("a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                        " pixels is larger than the 1 GiB limit");
}

PictureBytes HoldBytes(std::string bytes) {
  auto owner = std::make_shared<const std::string>(std::move(bytes));
  const auto* data = reinterpret_cast<const unsigned char*>(owner->data());
  const size_t size = owner->size();
  return {std::move(owner), data, size};
}

namespace {

bool StartsWith(const unsigned char* data, size_t size, const char* bytes, size_t n) {
  return size >= n && std::memcmp(data, bytes, n) == 0;
}

unsigned U16(const unsigned char* p) { return static_cast<unsigned>(p[0] | (p[1] << 8)); }

uint32_t Big32(const unsigned char* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

// CRC-32 (polynomial 0xEDB88320) as PNG chunks carry it.
uint32_t Crc32(const unsigned char* data, size_t size) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
  return text;
}

}  // namespace

PictureKind DetectPictureKind(const unsigned char* data, size_t size) {
  if (StartsWith(data, size, "BM", 2)) return PictureKind::Bmp;
  if (StartsWith(data, size, "\x89PNG\r\n\x1a\n", 8)) return PictureKind::Png;
  if (StartsWith(data, size, "\xFF\xD8\xFF", 3)) return PictureKind::Jpeg;
  if (StartsWith(data, size, "GIF87a", 6) || StartsWith(data, size, "GIF89a", 6)) return PictureKind::Gif;
  if (size >= 6 && U16(data) == 0 && (U16(data + 2) == 1 || U16(data + 2) == 2)) return PictureKind::Icon;
  // Metafile with the placeable header, or a plain one: type 1 (memory) or
  // 2 (disk) and a header of 9 words.
  if (StartsWith(data, size, "\xD7\xCD\xC6\x9A", 4)) return PictureKind::Wmf;
  if (size >= 18 && (U16(data) == 1 || U16(data) == 2) && U16(data + 2) == 9) return PictureKind::Wmf;
  // Enhanced metafile: a header record (type 1) carrying " EMF" at byte 40.
  if (size >= 44 && U16(data) == 1 && U16(data + 2) == 0 && std::memcmp(data + 40, " EMF", 4) == 0)
    return PictureKind::Emf;
  return PictureKind::Unknown;
}

const char* PictureKindName(PictureKind kind) {
  switch (kind) {
    case PictureKind::Bmp: return "BMP";
    case PictureKind::Png: return "PNG";
    case PictureKind::Jpeg: return "JPEG";
    case PictureKind::Gif: return "GIF";
    case PictureKind::Icon: return "icon";
    case PictureKind::Wmf: return "metafile";
    case PictureKind::Emf: return "enhanced metafile";
    case PictureKind::Unknown: break;
  }
  return "unknown";
}

void CheckGifComplete(const unsigned char* data, size_t size) {
  auto cutShort = [] { RaiseInvalidPicture("GIF file cut short before the end of its first image"); };
  auto skipBlocks = [&](size_t& pos) {
    for (;;) {
      if (pos >= size) cutShort();
      const size_t n = data[pos++];
      if (n == 0) return;
      if (size - pos < n) cutShort();
      pos += n;
    }
  };
  if (size < 13) cutShort();
  size_t pos = 13;
  if (data[10] & 0x80) pos += size_t{3} << ((data[10] & 7) + 1);
  for (;;) {
    if (pos >= size) cutShort();
    const unsigned block = data[pos++];
    if (block == 0x21) {  // extension: label, then data blocks
      if (pos >= size) cutShort();
      ++pos;
      skipBlocks(pos);
    } else if (block == 0x2C) {  // image descriptor
      if (size - pos < 9) cutShort();
      const unsigned flags = data[pos + 8];
      pos += 9;
      if (flags & 0x80) pos += size_t{3} << ((flags & 7) + 1);
      if (pos >= size) cutShort();
      ++pos;  // LZW code size
      skipBlocks(pos);
      return;
    } else if (block == 0x3B) {
      RaiseInvalidPicture("GIF file has no image");
    } else {
      RaiseInvalidPicture("unknown GIF block " + Hex(block) + " at byte " + std::to_string(pos - 1));
    }
  }
}

void CheckPngComplete(const unsigned char* data, size_t size, PngSizeCheck check) {
  if (!StartsWith(data, size, "\x89PNG\r\n\x1a\n", 8)) RaiseInvalidPicture("not a PNG file");
  size_t pos = 8;
  bool first = true, seenData = false;
  for (;;) {
    if (size - pos < 12) RaiseInvalidPicture("PNG file cut short before its end chunk");
    const uint32_t length = Big32(data + pos);
    const unsigned char* type = data + pos + 4;
    const std::string name(reinterpret_cast<const char*>(type), 4);
    if (length > 0x7FFFFFFFu || size - pos - 12 < length)
      RaiseInvalidPicture("PNG file cut short in chunk " + std::to_string(pos));
    if (first) {
      if (name != "IHDR" || length != 13) RaiseInvalidPicture("PNG file does not start with its header chunk");
      const uint32_t width = Big32(type + 4), height = Big32(type + 8);
      if (check == PngSizeCheck::Decoded || width > kMaxPictureSide || height > kMaxPictureSide)
        CheckPictureSize(width, height);
      first = false;
    }
    for (int i = 0; i < 4; ++i)
      if (!((type[i] >= 'A' && type[i] <= 'Z') || (type[i] >= 'a' && type[i] <= 'z')))
        RaiseInvalidPicture("PNG chunk at byte " + std::to_string(pos) + " has no valid type");
    if (name == "IDAT") seenData = true;
    if (name == "IEND" && !seenData) RaiseInvalidPicture("PNG file has no image data");
    const bool critical = (type[0] & 0x20) == 0;
    if (critical && Crc32(type, length + 4) != Big32(type + 4 + length))
      RaiseInvalidPicture("PNG chunk at byte " + std::to_string(pos) + " is damaged (wrong checksum)");
    pos += 12 + static_cast<size_t>(length);
    if (name == "IEND") return;
  }
}

}  // namespace zindrel
