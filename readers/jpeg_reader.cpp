#include "readers/jpeg_reader.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

#include "core/errors.h"
#include "readers/jpeg_markers.h"

// jpeglib.h wants FILE and size_t declared before it (cstdio above).
extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

namespace zindrel {

namespace {

// At most this many different warnings of one picture are kept: a damaged
// scan can repeat the same complaint on every row.
constexpr size_t kMaxWarnings = 8;

// libjpeg's error manager with a way back out of the library: error_exit
// formats the message and jumps to the setjmp of the call that failed.
// libjpeg is C: no C++ exception may pass through it.
struct ErrorManager {
  jpeg_error_mgr pub;  // first, so libjpeg's pointer to it is a pointer to this
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  PictureWarnings* warnings = nullptr;
  int strayToSkip = 0;      // stray-byte warnings the marker walk gave already
  size_t warningsFrom = 0;  // this picture's warnings start there
};

void ErrorExit(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->jump, 1);
}

// Warnings (level -1) become phrases of the warnings channel; trace messages
// (levels 0 and up) are dropped.
void EmitMessage(j_common_ptr info, int level) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  if (level >= 0 || manager->warnings == nullptr) return;
  try {
    std::string phrase;
    if (info->err->msg_code == JWRN_EXTRANEOUS_DATA) {
      if (manager->strayToSkip > 0) {
        --manager->strayToSkip;
        return;
      }
      phrase = JpegStrayBytesWarning(static_cast<size_t>(info->err->msg_parm.i[0]),
                                     static_cast<unsigned>(info->err->msg_parm.i[1]));
    } else {
      char text[JMSG_LENGTH_MAX];
      (*info->err->format_message)(info, text);
      phrase = std::string("JPEG: ") + text;
    }
    PictureWarnings& list = *manager->warnings;
    const auto mine = list.begin() + static_cast<std::ptrdiff_t>(manager->warningsFrom);
    if (std::find(mine, list.end(), phrase) != list.end()) return;
    if (list.size() - manager->warningsFrom >= kMaxWarnings) return;
    list.push_back(std::move(phrase));
  } catch (...) {
    // Out of memory for a warning: the picture goes on without it.
  }
}

// The pixel layout of 0xAARRGGBB in memory: B, G, R, A on a little-endian
// machine, A, R, G, B on a big-endian one.
J_COLOR_SPACE NativeArgb() {
  const uint32_t probe = 1;
  return *reinterpret_cast<const unsigned char*>(&probe) == 1 ? JCS_EXT_BGRA : JCS_EXT_ARGB;
}

class JpegRows final : public RowStream {
 public:
  JpegRows(PictureBytes data, PictureWarnings* warnings, int strayWarnings) : data_(std::move(data)) {
    info_.err = jpeg_std_error(&errors_.pub);
    errors_.pub.error_exit = ErrorExit;
    errors_.pub.emit_message = EmitMessage;
    errors_.warnings = warnings;
    errors_.strayToSkip = strayWarnings;
    errors_.warningsFrom = warnings ? warnings->size() : 0;
    jpeg_create_decompress(&info_);
  }
  ~JpegRows() override { jpeg_destroy_decompress(&info_); }
  JpegRows(const JpegRows&) = delete;
  JpegRows& operator=(const JpegRows&) = delete;

  // Reads the header and starts decompressing; false for a colour space we
  // leave to Qt.
  bool Open() {
    Guard([this] {
      jpeg_mem_src(&info_, data_.data, static_cast<unsigned long>(data_.size));
      jpeg_read_header(&info_, TRUE);
    });
    // Qt leaves libjpeg's output colour space as it is: grey for grey,
    // RGB for YCbCr and RGB, CMYK for CMYK and YCCK (whose values it takes
    // as Adobe writes them, inverted). Grey and RGB come out here straight
    // as 32-bit pixels, by the same conversion.
    switch (info_.jpeg_color_space) {
      case JCS_GRAYSCALE:
      case JCS_YCbCr:
      case JCS_RGB: info_.out_color_space = NativeArgb(); break;
      case JCS_CMYK:
      case JCS_YCCK:
        info_.out_color_space = JCS_CMYK;
        cmyk_ = true;
        break;
      default: return false;
    }
    Guard([this] { jpeg_calc_output_dimensions(&info_); });
    return true;
  }

  int Width() const override { return static_cast<int>(info_.output_width); }
  int Height() const override { return static_cast<int>(info_.output_height); }

  void ReadRows(uint32_t* const* rows, int count) override {
    if (!started_) {
      Guard([this] { jpeg_start_decompress(&info_); });
      started_ = true;
    }
    if (cmyk_) {
      for (int i = 0; i < count; ++i) ReadCmykRow(rows[i]);
    } else {
      int done = 0;
      while (done < count) {
        JSAMPARRAY target = reinterpret_cast<JSAMPARRAY>(const_cast<uint32_t**>(rows + done));
        const auto want = static_cast<JDIMENSION>(count - done);
        JDIMENSION got = 0;
        Guard([&] { got = jpeg_read_scanlines(&info_, target, want); });
        if (got == 0) Raise(ErrorKind::InvalidPicture, "(JPEG: the picture ends before its last row)");
        done += static_cast<int>(got);
      }
    }
    if (info_.output_scanline == info_.output_height) Guard([this] { jpeg_finish_decompress(&info_); });
  }

 private:
  // Qt's conversion of Adobe's inverted CMYK: each of red, green and blue is
  // k * c / 255 with the stored values, rounded down.
  void ReadCmykRow(uint32_t* out) {
    cmykRow_.resize(static_cast<size_t>(Width()) * 4);
    JSAMPROW row = cmykRow_.data();
    JDIMENSION got = 0;
    Guard([&] { got = jpeg_read_scanlines(&info_, &row, 1); });
    if (got != 1) Raise(ErrorKind::InvalidPicture, "(JPEG: the picture ends before its last row)");
    const unsigned char* in = cmykRow_.data();
    for (int x = 0; x < Width(); ++x, in += 4) {
      const uint32_t k = in[3];
      out[x] = 0xFF000000u | ((k * in[0] / 255) << 16) | ((k * in[1] / 255) << 8) | (k * in[2] / 255);
    }
  }

  // Runs one call into libjpeg; its fatal errors come back here and are
  // raised as InvalidPicture with libjpeg's words, as Qt reports them.
  template <class Step>
  void Guard(Step step) {
    if (setjmp(errors_.jump) != 0) Raise(ErrorKind::InvalidPicture, std::string("(JPEG: ") + errors_.message + ")");
    step();
  }

  PictureBytes data_;
  ErrorManager errors_;
  jpeg_decompress_struct info_{};
  bool cmyk_ = false;
  bool started_ = false;
  std::vector<unsigned char> cmykRow_;
};

}  // namespace

std::unique_ptr<RowStream> OpenJpegRows(PictureBytes data, PictureWarnings* warnings) {
  const size_t before = warnings ? warnings->size() : 0;
  CheckJpegComplete(data.data, data.size, warnings);
  const int stray = warnings ? static_cast<int>(warnings->size() - before) : 0;
  auto rows = std::make_unique<JpegRows>(std::move(data), warnings, stray);
  if (!rows->Open()) return nullptr;
  return rows;
}

}  // namespace zindrel
