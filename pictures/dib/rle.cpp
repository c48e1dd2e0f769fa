#include "dib/rle.h"

#include "core/errors.h"

namespace zindrel::dib {

void BadRleStream(size_t at, const std::string& why) {
  Raise(ErrorKind::InvalidPicture, "(run-length data at byte " + std::to_string(at) + ": " + why + ")");
}

}  // namespace zindrel::dib
