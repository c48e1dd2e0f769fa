#include "cli/measured_picture.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/pixel_rows.h"

namespace zindrel::cli {

PictureSize ArtPictureSize(int width, int height, int columns, int16_t cellSize) {
  const int64_t wide = int64_t{columns} * cellSize;
  const int targetWidth = static_cast<int>(std::min<int64_t>(wide, INT32_MAX));
  return {targetWidth, ScaledHeight(width, height, targetWidth)};
}

PictureSize MeasuredSize(int decodedWidth, int decodedHeight, PictureSize target) {
  const bool scale = target.width > 0 && target.height > 0;
  const int width = scale ? target.width : decodedWidth, height = scale ? target.height : decodedHeight;
  if (width > kMaxPictureSide || height > kMaxPictureSide)
    Raise(ErrorKind::Overflow, std::string(scale ? "(the scaled picture would be " : "(the picture is ") +
                                   std::to_string(width) + "x" + std::to_string(height) +
                                   " pixels; at most 32767 on a side)");
  return {width, height};
}

namespace {

// Decoded rows read at a time when scaling.
constexpr int kBand = 16;

class MeasuredRowStream : public RowStream {
 public:
  MeasuredRowStream(std::unique_ptr<RowStream> decoded, bool invert, PictureSize size, bool scale)
      : decoded_(std::move(decoded)), invert_(invert), size_(size) {
    if (!scale) return;
    const int width = decoded_->Width();
    band_.resize(static_cast<size_t>(kBand) * static_cast<size_t>(width));
    scaler_ =
        std::make_unique<BoxScaler>(width, decoded_->Height(), size.width, size.height,
                                    [this](int, const uint32_t* row) { ready_.emplace_back(row, row + size_.width); });
  }
  int Width() const override { return size_.width; }
  int Height() const override { return size_.height; }

  void ReadRows(uint32_t* const* rows, int count) override {
    if (!scaler_) {
      decoded_->ReadRows(rows, count);
      if (invert_)
        for (int i = 0; i < count; ++i) NegateRow(rows[i], size_.width);
      return;
    }
    for (int i = 0; i < count; ++i) {
      while (ready_.empty()) ReadBand();
      std::memcpy(rows[i], ready_.front().data(), static_cast<size_t>(size_.width) * sizeof(uint32_t));
      ready_.pop_front();
    }
  }

 private:
  // Reads the next band of decoded rows and hands them to the scaler.
  void ReadBand() {
    const int width = decoded_->Width();
    const int count = std::min(kBand, decoded_->Height() - read_);
    if (count <= 0) Raise(ErrorKind::InvalidCall, "(a row past the scaled picture's end)");
    uint32_t* band[kBand];
    for (int i = 0; i < count; ++i) band[i] = band_.data() + static_cast<size_t>(i) * width;
    decoded_->ReadRows(band, count);
    read_ += count;
    for (int i = 0; i < count; ++i) {
      if (invert_) NegateRow(band[i], width);
      scaler_->PushRow(band[i]);
    }
  }

  std::unique_ptr<RowStream> decoded_;
  const bool invert_;
  const PictureSize size_;
  std::unique_ptr<BoxScaler> scaler_;
  std::vector<uint32_t> band_;
  std::deque<std::vector<uint32_t>> ready_;  // scaled rows not yet read
  int read_ = 0;                             // decoded rows read
};

}  // namespace

std::unique_ptr<RowStream> MeasuredRows(std::unique_ptr<RowStream> decoded, bool invert, PictureSize target) {
  const bool scale = target.width > 0 && target.height > 0;
  const PictureSize size = MeasuredSize(decoded->Width(), decoded->Height(), target);
  if (!scale && !invert) return decoded;
  return std::make_unique<MeasuredRowStream>(std::move(decoded), invert, size, scale);
}

}  // namespace zindrel::cli
