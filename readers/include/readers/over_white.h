// How pictures lay a colour with alpha over white: the one rule for
// pictures Qt decodes and for our own PNG reader, so both give the same
// pixels.
#pragma once

#include <cstdint>

namespace zindrel {

// One channel c with straight (not premultiplied) alpha a, laid over white
// and rounded to the nearest.
inline uint32_t ChannelOverWhite(uint32_t c, uint32_t a) {
  const uint32_t v = (c * a + 255 * (255 - a) + 127) / 255;
  return v > 255 ? 255 : v;
}

}  // namespace zindrel
