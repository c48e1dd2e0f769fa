// A picture held in memory for the engine's tests: rows of 0xAARRGGBB pixels
// seen through RowsPixelSource.
#pragma once

#include <cstdint>
#include <vector>

#include "core/pixel_source.h"

namespace zindrel::testing {

inline uint32_t Argb(int r, int g, int b) {
  return 0xFF000000u | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

struct Picture {
  int width, height;
  std::vector<uint32_t> pixels;
  Picture(int w, int h, uint32_t fill) : width(w), height(h), pixels(std::size_t(w) * h, fill) {}
  void Set(int x, int y, uint32_t v) { pixels[std::size_t(y) * width + x] = v; }
  RowsPixelSource Source() const { return RowsPixelSource(pixels.data(), width, height, width); }
};

}  // namespace zindrel::testing
