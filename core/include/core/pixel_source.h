// How the engine sees a picture: its inner size in pixels and the colour of
// a point, plus raw rows for the fast path.
#pragma once

#include <cstdint>

namespace zindrel {

// Largest width or height of a picture the engine measures: its pixel
// coordinates are 16-bit.
constexpr int kMaxPictureSide = 32767;

class PixelSource {
 public:
  virtual ~PixelSource() = default;

  // Inner size in pixels (ScaleWidth, ScaleHeight).
  virtual int Width() const = 0;
  virtual int Height() const = 0;

  // Colour at column x, row y as 0x00BBGGRR (red in the low byte), or -1 for
  // a point outside the picture, which therefore counts as white.
  virtual int32_t Point(int x, int y) const = 0;

  // Raw row y (0 <= y < Height()) as Width() pixels of 0xAARRGGBB (red in
  // bits 16..23, blue in the low byte; alpha ignored), or nullptr when the
  // source has no raw rows. Point and Row always agree.
  virtual const uint32_t* Row(int y) const {
    (void)y;
    return nullptr;
  }
};

// Converts a raw row pixel to the colour Point reports.
inline int32_t RawToColour(uint32_t argb) {
  const uint32_t r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
  return static_cast<int32_t>(r | (g << 8) | (b << 16));
}

// A picture held as rows of 0xAARRGGBB pixels with a stride in pixels; it
// does not own the memory.
class RowsPixelSource : public PixelSource {
 public:
  RowsPixelSource(const uint32_t* pixels, int width, int height, int stridePixels)
      : pixels_(pixels), width_(width), height_(height), stride_(stridePixels) {}
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  int32_t Point(int x, int y) const override {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return -1;
    return RawToColour(pixels_[static_cast<long>(y) * stride_ + x]);
  }
  const uint32_t* Row(int y) const override { return pixels_ + static_cast<long>(y) * stride_; }

 private:
  const uint32_t* pixels_;
  int width_, height_, stride_;
};

// The plain path only: a source that offers Point and hides its raw rows.
// Tests use it to check that the fast path gives the same results.
class PointOnlySource : public PixelSource {
 public:
  explicit PointOnlySource(const PixelSource& inner) : inner_(inner) {}
  int Width() const override { return inner_.Width(); }
  int Height() const override { return inner_.Height(); }
  int32_t Point(int x, int y) const override { return inner_.Point(x, y); }

 private:
  const PixelSource& inner_;
};

}  // namespace zindrel
