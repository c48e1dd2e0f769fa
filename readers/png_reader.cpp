#include "readers/png_reader.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "core/errors.h"
#include "readers/over_white.h"
#include "readers/picture_kinds.h"

namespace zindrel {

namespace {

// 16 bits to 8, rounded to the nearest (v / 257), as Qt turns 16-bit
// pictures into 32-bit ones.
inline uint32_t Down16(uint32_t v) { return (v + 128 - ((v + 128) >> 8)) >> 8; }

inline uint32_t Pixel(uint32_t r, uint32_t g, uint32_t b) { return 0xFF000000u | (r << 16) | (g << 8) | b; }

inline uint32_t PixelOverWhite(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  if (a == 255) return Pixel(r, g, b);
  return Pixel(ChannelOverWhite(r, a), ChannelOverWhite(g, a), ChannelOverWhite(b, a));
}

struct MemoryInput {
  const unsigned char* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t length) {
  auto* in = static_cast<MemoryInput*>(png_get_io_ptr(png));
  if (in->size - in->pos < length) png_error(png, "Read Error");
  std::memcpy(out, in->data + in->pos, length);
  in->pos += length;
}

// libpng's errors jump back to the call that failed (libpng is C: no C++
// exception may pass through it); its warnings are dropped, as Qt keeps
// them off the user's screen.
void OnError(png_structp png, png_const_charp message) {
  auto* text = static_cast<std::string*>(png_get_error_ptr(png));
  try {
    *text = message ? message : "";
  } catch (...) {
    // Out of memory for the text: the error is still raised.
  }
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

class PngRows final : public RowStream {
 public:
  PngRows(PictureBytes data, PngRefusal refusal) : data_(std::move(data)), refusal_(std::move(refusal)) {
    input_.data = data_.data;
    input_.size = data_.size;
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &message_, OnError, OnWarning);
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~PngRows() override {
    if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
  }
  PngRows(const PngRows&) = delete;
  PngRows& operator=(const PngRows&) = delete;

  // Reads the header; false for a form we leave to Qt.
  bool Open() {
    if (!png_ || !info_) Raise(ErrorKind::OutOfMemory);
    Guard([this] {
    // As Qt's reader: the largest inflate window, for files whose
    // compressor claimed a smaller one than it used.
#if defined(PNG_SET_OPTION_SUPPORTED) && defined(PNG_MAXIMUM_INFLATE_WINDOW)
      png_set_option(png_, PNG_MAXIMUM_INFLATE_WINDOW, PNG_OPTION_ON);
#endif
      png_set_read_fn(png_, &input_, ReadFromMemory);
      png_read_info(png_, info_);
    });
    png_uint_32 width = 0, height = 0;
    int interlace = PNG_INTERLACE_NONE;
    png_get_IHDR(png_, info_, &width, &height, &depth_, &colorType_, &interlace, nullptr, nullptr);
    width_ = static_cast<int>(width);
    height_ = static_cast<int>(height);
    const bool transparent = png_get_valid(png_, info_, PNG_INFO_tRNS) != 0;
    if (depth_ == 16 && (transparent || (colorType_ & PNG_COLOR_MASK_ALPHA))) return false;
    if (colorType_ == PNG_COLOR_TYPE_PALETTE && !MakePalette()) return false;
    if (transparent && colorType_ != PNG_COLOR_TYPE_PALETTE) {
      png_bytep alpha = nullptr;
      int count = 0;
      png_color_16p colour = nullptr;
      png_get_tRNS(png_, info_, &alpha, &count, &colour);
      if (colour) {
        transparent_ = true;
        key_ = colorType_ == PNG_COLOR_TYPE_GRAY ? std::array<int, 3>{colour->gray, 0, 0}
                                                 : std::array<int, 3>{colour->red, colour->green, colour->blue};
      }
    }
    Guard([this] {
      if (depth_ < 8) png_set_packing(png_);  // one byte a sample, values unscaled
      if (depth_ == 16) {
        const uint16_t probe = 1;
        if (*reinterpret_cast<const unsigned char*>(&probe) == 1) png_set_swap(png_);
      }
      passes_ = png_set_interlace_handling(png_);
      png_read_update_info(png_, info_);
    });
    rowBytes_ = png_get_rowbytes(png_, info_);
    // An interlaced picture is held whole before its first row is known,
    // so the limit of a decoded picture applies to it.
    if (passes_ > 1) CheckPictureSize(width_, height_);
    return true;
  }

  int Width() const override { return width_; }
  int Height() const override { return height_; }

  void ReadRows(uint32_t* const* rows, int count) override {
    if (passes_ > 1) {
      ReadInterlaced(rows, count);
      return;
    }
    samples_.resize(rowBytes_);
    for (int i = 0; i < count; ++i) {
      png_bytep row = samples_.data();
      Guard([&] { png_read_row(png_, row, nullptr); });
      Convert(samples_.data(), rows[i]);
      ++next_;
    }
    if (next_ == height_) Guard([this] { png_read_end(png_, nullptr); });
  }

 private:
  // The colour table as Qt builds it, then laid over white: entries past
  // the palette are transparent black (white once flattened) in a 1-bit
  // picture, and an index past the palette reads entry 0 in a deeper one.
  bool MakePalette() {
    png_colorp palette = nullptr;
    int count = 0;
    if (!png_get_PLTE(png_, info_, &palette, &count) || count > 256 || count < 1) return false;
    png_bytep alpha = nullptr;
    int alphas = 0;
    png_color_16p colour = nullptr;
    if (!png_get_tRNS(png_, info_, &alpha, &alphas, &colour) || !alpha) alphas = 0;
    for (int i = 0; i < count; ++i) {
      const uint32_t a = i < alphas ? alpha[i] : 255;
      palette_[i] = PixelOverWhite(palette[i].red, palette[i].green, palette[i].blue, a);
    }
    for (int i = count; i < 256; ++i) palette_[i] = depth_ == 1 ? Pixel(255, 255, 255) : palette_[0];
    return true;
  }

  bool Keyed(int a, int b = 0, int c = 0) const { return transparent_ && a == key_[0] && b == key_[1] && c == key_[2]; }

  // One row of samples, as libpng gives them unfiltered, to pixels.
  void Convert(const unsigned char* in, uint32_t* out) const {
    const int w = width_;
    const auto* wide = reinterpret_cast<const uint16_t*>(in);
    switch (colorType_) {
      case PNG_COLOR_TYPE_PALETTE:
        for (int x = 0; x < w; ++x) out[x] = palette_[in[x]];
        break;
      case PNG_COLOR_TYPE_GRAY:
        if (depth_ == 16) {
          for (int x = 0; x < w; ++x) {
            const uint32_t v = Down16(wide[x]);
            out[x] = Pixel(v, v, v);
          }
        } else {
          const int top = (1 << depth_) - 1;
          for (int x = 0; x < w; ++x) {
            const uint32_t v = static_cast<uint32_t>(in[x] * 255 / top);
            out[x] = Keyed(in[x]) ? Pixel(255, 255, 255) : Pixel(v, v, v);
          }
        }
        break;
      case PNG_COLOR_TYPE_GRAY_ALPHA:
        for (int x = 0; x < w; ++x) out[x] = PixelOverWhite(in[2 * x], in[2 * x], in[2 * x], in[2 * x + 1]);
        break;
      case PNG_COLOR_TYPE_RGB:
        if (depth_ == 16) {
          for (int x = 0; x < w; ++x)
            out[x] = Pixel(Down16(wide[3 * x]), Down16(wide[3 * x + 1]), Down16(wide[3 * x + 2]));
        } else {
          for (int x = 0; x < w; ++x) {
            const unsigned char* p = in + 3 * x;
            out[x] = Keyed(p[0], p[1], p[2]) ? Pixel(255, 255, 255) : Pixel(p[0], p[1], p[2]);
          }
        }
        break;
      case PNG_COLOR_TYPE_RGB_ALPHA:
        for (int x = 0; x < w; ++x) {
          const unsigned char* p = in + 4 * x;
          out[x] = PixelOverWhite(p[0], p[1], p[2], p[3]);
        }
        break;
      default: break;
    }
  }

  // An interlaced picture is whole only after its last pass: the samples of
  // all rows are read at the first call and converted as rows are asked for.
  void ReadInterlaced(uint32_t* const* rows, int count) {
    if (whole_.empty()) {
      whole_.resize(rowBytes_ * static_cast<size_t>(height_));
      std::vector<png_bytep> pointers(static_cast<size_t>(height_));
      for (int y = 0; y < height_; ++y) pointers[y] = whole_.data() + rowBytes_ * static_cast<size_t>(y);
      Guard([&] {
        png_read_image(png_, pointers.data());
        png_read_end(png_, nullptr);
      });
    }
    for (int i = 0; i < count; ++i, ++next_) Convert(whole_.data() + rowBytes_ * static_cast<size_t>(next_), rows[i]);
  }

  // Runs calls into libpng. When libpng fails, the refusal says what to
  // report.
  template <class Step>
  void Guard(Step step) {
    if (setjmp(png_jmpbuf(png_)) != 0) Fail();
    step();
  }

  [[noreturn]] void Fail() {
    if (refusal_) refusal_(data_);
    Raise(ErrorKind::InvalidPicture, "(PNG: " + message_ + ")");
  }

  PictureBytes data_;
  PngRefusal refusal_;
  MemoryInput input_;
  std::string message_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
  int width_ = 0, height_ = 0, depth_ = 0, colorType_ = 0, passes_ = 1, next_ = 0;
  size_t rowBytes_ = 0;
  bool transparent_ = false;
  std::array<int, 3> key_{};
  std::array<uint32_t, 256> palette_{};
  std::vector<unsigned char> samples_;
  std::vector<unsigned char> whole_;
};

}  // namespace

std::unique_ptr<RowStream> OpenPngRows(PictureBytes data, PngRefusal refusal) {
  auto rows = std::make_unique<PngRows>(std::move(data), std::move(refusal));
  if (!rows->Open()) return nullptr;
  return rows;
}

}  // namespace zindrel
