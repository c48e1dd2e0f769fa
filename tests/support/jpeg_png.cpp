#include "support/jpeg_png.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

namespace zindrel::samples {

namespace {

// A small deterministic generator (the same files on every platform).
class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed * 2654435761u + 12345u) {}
  uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }

 private:
  uint32_t state_;
};

// Gradients with noise on top: smooth areas and sharp steps alike.
int Sample(Noise& noise, int x, int y, int channel, int w, int h) {
  const int gradient = channel % 2 == 0 ? x * 255 / std::max(1, w - 1) : y * 255 / std::max(1, h - 1);
  const int block = ((x / 5 + y / 3 + channel) % 3) * 60;
  return (gradient + block + static_cast<int>(noise.Next() % 48)) & 255;
}

// An APP1 segment with a little-endian EXIF block holding one orientation tag.
std::vector<unsigned char> ExifOrientation(int orientation) {
  std::vector<unsigned char> b = {'E', 'x', 'i', 'f', 0,    0,    'I', 'I', 42, 0, 8, 0,
                                  0,   0,   1,   0,   0x12, 0x01, 3,   0,   1,  0, 0, 0};
  b.push_back(static_cast<unsigned char>(orientation));
  for (int i = 0; i < 7; ++i) b.push_back(0);  // rest of the value, next-IFD offset 0
  return b;
}

}  // namespace

QByteArray EncodeJpeg(const JpegSpec& recipe, uint32_t seed) {
  jpeg_compress_struct c{};
  jpeg_error_mgr errors{};
  c.err = jpeg_std_error(&errors);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = static_cast<JDIMENSION>(recipe.width);
  c.image_height = static_cast<JDIMENSION>(recipe.height);
  using C = JpegSpec::Colour;
  switch (recipe.colour) {
    case C::Grey:
      c.input_components = 1;
      c.in_color_space = JCS_GRAYSCALE;
      break;
    case C::Cmyk:
    case C::Ycck:
      c.input_components = 4;
      c.in_color_space = JCS_CMYK;
      break;
    default:
      c.input_components = 3;
      c.in_color_space = JCS_RGB;
      break;
  }
  jpeg_set_defaults(&c);
  if (recipe.colour == C::Rgb) jpeg_set_colorspace(&c, JCS_RGB);
  if (recipe.colour == C::Cmyk) jpeg_set_colorspace(&c, JCS_CMYK);
  if (recipe.colour == C::Ycck) jpeg_set_colorspace(&c, JCS_YCCK);
  if (recipe.colour == C::Cmyk || recipe.colour == C::Ycck) c.write_Adobe_marker = recipe.adobeMarker ? TRUE : FALSE;
  jpeg_set_quality(&c, recipe.quality, TRUE);
  if (recipe.colour != C::Grey) {
    c.comp_info[0].h_samp_factor = recipe.hSample;
    c.comp_info[0].v_samp_factor = recipe.vSample;
    for (int i = 1; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    if (recipe.colour == C::Ycck)
      c.comp_info[3].h_samp_factor = recipe.hSample, c.comp_info[3].v_samp_factor = recipe.vSample;
  }
  if (recipe.progressive) jpeg_simple_progression(&c);
  if (recipe.arithmetic) c.arith_code = TRUE;
  c.restart_in_rows = recipe.restartRows;
  jpeg_start_compress(&c, TRUE);
  if (recipe.exifOrientation > 0) {
    const std::vector<unsigned char> exif = ExifOrientation(recipe.exifOrientation);
    jpeg_write_marker(&c, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
  }
  Noise noise(seed);
  std::vector<unsigned char> row(static_cast<size_t>(recipe.width) * c.input_components);
  for (int y = 0; y < recipe.height; ++y) {
    for (int x = 0; x < recipe.width; ++x)
      for (int k = 0; k < c.input_components; ++k)
        row[static_cast<size_t>(x) * c.input_components + k] =
            static_cast<unsigned char>(Sample(noise, x, y, k, recipe.width, recipe.height));
    JSAMPROW pointer = row.data();
    jpeg_write_scanlines(&c, &pointer, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  QByteArray result(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
  std::free(buffer);
  return result;
}

namespace {

void AppendToArray(png_structp png, png_bytep data, size_t length) {
  static_cast<QByteArray*>(png_get_io_ptr(png))
      ->append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(length));
}

void NoFlush(png_structp) {}

}  // namespace

QByteArray EncodePng(const PngSpec& recipe, uint32_t seed) {
  using C = PngSpec::Colour;
  QByteArray out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, AppendToArray, NoFlush);
#ifdef PNG_CHECK_FOR_INVALID_INDEX_SUPPORTED
  png_set_check_for_invalid_index(png, 0);  // palette indices past the palette are part of the test
#endif
  const int colourType = static_cast<int>(recipe.colour);
  png_set_IHDR(png, info, static_cast<png_uint_32>(recipe.width), static_cast<png_uint_32>(recipe.height), recipe.depth,
               colourType, recipe.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  Noise noise(seed);
  const int channels = recipe.colour == C::Rgb         ? 3
                       : recipe.colour == C::Rgba      ? 4
                       : recipe.colour == C::GreyAlpha ? 2
                                                       : 1;
  const int top = (1 << recipe.depth) - 1;
  // Samples, one int each, row by row.
  std::vector<int> samples(static_cast<size_t>(recipe.width) * recipe.height * channels);
  for (int y = 0; y < recipe.height; ++y)
    for (int x = 0; x < recipe.width; ++x)
      for (int k = 0; k < channels; ++k) {
        int v = 0;
        if (recipe.colour == C::Palette) {
          v = static_cast<int>(noise.Next() % static_cast<uint32_t>(top + 1));
        } else if (recipe.depth == 16) {
          v = static_cast<int>((Sample(noise, x, y, k, recipe.width, recipe.height) * 257 + noise.Next() % 257) &
                               0xFFFF);
        } else {
          v = Sample(noise, x, y, k, recipe.width, recipe.height) >> (8 - recipe.depth);
        }
        // Alpha: fully clear and fully opaque often, every value in between.
        const bool alpha = (recipe.colour == C::Rgba && k == 3) || (recipe.colour == C::GreyAlpha && k == 1);
        if (alpha && (x + y) % 4 == 0) v = 0;
        if (alpha && (x + y) % 4 == 1) v = top;
        samples[(static_cast<size_t>(y) * recipe.width + x) * channels + k] = v;
      }
  std::vector<png_color> palette;
  std::vector<png_byte> alphas;
  if (recipe.colour == C::Palette) {
    for (int i = 0; i < recipe.paletteSize; ++i)
      palette.push_back(png_color{static_cast<png_byte>(noise.Next()), static_cast<png_byte>(noise.Next()),
                                  static_cast<png_byte>(noise.Next())});
    png_set_PLTE(png, info, palette.data(), recipe.paletteSize);
    for (int i = 0; i < recipe.transparentEntries; ++i)
      alphas.push_back(static_cast<png_byte>(i == 0 ? 0 : noise.Next()));
    if (!alphas.empty()) png_set_tRNS(png, info, alphas.data(), static_cast<int>(alphas.size()), nullptr);
  }
  if (recipe.transparentKey) {
    // The colour of the point (1, 1), so that it occurs.
    const int* p = &samples[(static_cast<size_t>(recipe.width) + 1) * channels];
    png_color_16 key{};
    if (recipe.colour == C::Grey) {
      key.gray = static_cast<png_uint_16>(p[0]);
    } else {
      key.red = static_cast<png_uint_16>(p[0]);
      key.green = static_cast<png_uint_16>(p[1]);
      key.blue = static_cast<png_uint_16>(p[2]);
    }
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  if (recipe.gamma > 0) png_set_gAMA(png, info, recipe.gamma);
  png_write_info(png, info);
  // Rows packed as the format stores them: big-endian 16-bit samples, bits
  // from the top of each byte.
  const size_t rowBytes = (static_cast<size_t>(recipe.width) * channels * recipe.depth + 7) / 8;
  std::vector<std::vector<png_byte>> rows(static_cast<size_t>(recipe.height), std::vector<png_byte>(rowBytes));
  for (int y = 0; y < recipe.height; ++y) {
    png_byte* row = rows[y].data();
    for (int i = 0; i < recipe.width * channels; ++i) {
      const int v = samples[static_cast<size_t>(y) * recipe.width * channels + i];
      if (recipe.depth == 16) {
        row[2 * i] = static_cast<png_byte>(v >> 8);
        row[2 * i + 1] = static_cast<png_byte>(v & 0xFF);
      } else if (recipe.depth == 8) {
        row[i] = static_cast<png_byte>(v);
      } else {
        const int bit = i * recipe.depth;
        row[bit / 8] = static_cast<png_byte>(row[bit / 8] | (v << (8 - recipe.depth - bit % 8)));
      }
    }
  }
  std::vector<png_bytep> pointers;
  for (auto& row : rows) pointers.push_back(row.data());
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

}  // namespace zindrel::samples
