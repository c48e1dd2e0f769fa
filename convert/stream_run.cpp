#include "convert/stream_run.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "convert/measure.h"
#include "core/numeric.h"
#include "row_work.h"

namespace zindrel {

namespace {

// The ring's size in bytes, unless one row of cells needs more: rows for a
// few rows of cells, small enough to stay in the processor's cache.
constexpr size_t kRingBytes = size_t{1} << 20;
// Rows the decoder reads at a time (libjpeg hands out up to 16 at once).
constexpr int kDecodeBand = 16;

// The ring as the measuring sees it: a picture row by its index, for as
// long as the ring holds it. A row of cells reads only rows the pipeline
// keeps for it.
class RingSource : public PixelSource {
 public:
  RingSource(const uint32_t* ring, int width, int height, int slots)
      : ring_(ring), width_(width), height_(height), slots_(slots) {}
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  int32_t Point(int x, int y) const override {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return -1;
    return RawToColour(Row(y)[x]);
  }
  const uint32_t* Row(int y) const override { return ring_ + static_cast<size_t>(y % slots_) * width_; }

 private:
  const uint32_t* ring_;
  int width_, height_, slots_;
};

class StreamPipeline {
 public:
  StreamPipeline(RowStream& stream, const RowJob& job, int cellRows, int helpers)
      : stream_(stream),
        job_(job),
        width_(stream.Width()),
        height_(stream.Height()),
        slots_(StreamRingRows(width_, height_, job.cellSize)),
        cellRows_(cellRows),
        reach_(3 * SubBlockEdge(std::max<int16_t>(job.cellSize, 1))),
        ring_(new uint32_t[static_cast<size_t>(slots_) * static_cast<size_t>(std::max(width_, 0))]),
        source_(ring_.get(), width_, height_, slots_),
        measured_(static_cast<size_t>(std::max(cellRows, 0)), 0),
        results_(std::max(8, 4 * (helpers + 1))),
        own_(job.matcher) {
    decoder_ = std::thread([this] { Decode(); });
    for (int t = 0; t < helpers; ++t) helpers_.emplace_back([this] { Work(); });
  }
  ~StreamPipeline() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopWork_ = stopDecode_ = true;
    }
    changed_.notify_all();
    JoinHelpers();
    if (decoder_.joinable()) decoder_.join();
  }

  // Waits for row of cells r and returns it, computing rows on this thread
  // while it waits. Raises the picture's error when the decoder failed
  // before the rows of r were there.
  const RowResult& Get(int r) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      const RowResult& slot = results_[r % results_.size()];
      if (slot.row == r) return slot;
      if (CanTake()) {
        Compute(lock, own_);
        continue;
      }
      if (next_ <= r && failed_ && !Ready(r)) std::rethrow_exception(decodeError_);
      changed_.wait(lock);
    }
  }
  void Release(int r) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      released_ = r + 1;
    }
    changed_.notify_all();
  }

  // Ends the conversion's use of the ring and lets the decoder read the
  // picture to its end. Returns the picture's error, if any.
  std::exception_ptr Drain() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopWork_ = true;
    }
    changed_.notify_all();
    JoinHelpers();
    std::unique_lock<std::mutex> lock(mutex_);
    draining_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return done_ || failed_; });
    return decodeError_;
  }

 private:
  // The pixel rows row of cells r reads: up to the end of its sub-blocks.
  int Need(int r) const { return static_cast<int>(std::min<long>(long{job_.cellSize} * r + reach_, height_)); }
  bool Ready(int r) const { return decoded_ >= Need(r); }
  bool CanTake() const {
    return !stopWork_ && next_ < cellRows_ && next_ < released_ + static_cast<int>(results_.size()) && Ready(next_);
  }
  // Rows the decoder may write: every row below the first one a row of
  // cells still needs is free, and the ring holds slots_ rows from there.
  int WriteLimit() const {
    if (draining_ || lowest_ >= cellRows_) return height_;
    return static_cast<int>(std::min<long>(long{job_.cellSize} * lowest_ + slots_, height_));
  }

  void Decode() {
    std::vector<uint32_t*> band(kDecodeBand);
    int y = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    while (y < height_) {
      changed_.wait(lock, [&] { return stopDecode_ || WriteLimit() > y; });
      if (stopDecode_) return;
      const int count = std::min({kDecodeBand, height_ - y, WriteLimit() - y});
      lock.unlock();
      for (int i = 0; i < count; ++i) band[i] = ring_.get() + static_cast<size_t>((y + i) % slots_) * width_;
      try {
        stream_.ReadRows(band.data(), count);
      } catch (...) {
        lock.lock();
        decodeError_ = std::current_exception();
        failed_ = true;
        changed_.notify_all();
        return;
      }
      lock.lock();
      y += count;
      decoded_ = y;
      changed_.notify_all();
    }
    done_ = true;
    changed_.notify_all();
  }

  void Work() {
    RowWorker w(job_.matcher);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return stopWork_ || next_ >= cellRows_ || failed_ || CanTake(); });
      if (!CanTake()) return;
      Compute(lock, w);
    }
  }

  // Computes the next row of cells: measures it from the ring, gives its
  // rows back to the decoder, then matches. Called and returns with the
  // lock held.
  void Compute(std::unique_lock<std::mutex>& lock, RowWorker& w) {
    const int r = next_++;
    lock.unlock();
    std::exception_ptr measureError;
    const int measured = MeasureRow(job_, source_, static_cast<int16_t>(r), w, measureError);
    lock.lock();
    measured_[r] = 1;
    while (lowest_ < cellRows_ && measured_[lowest_]) ++lowest_;
    changed_.notify_all();
    lock.unlock();
    RowResult& slot = results_[r % results_.size()];
    MatchRow(job_, static_cast<int16_t>(r), measured, measureError, slot, w);
    lock.lock();
    slot.row = r;
    changed_.notify_all();
  }

  void JoinHelpers() {
    for (std::thread& t : helpers_)
      if (t.joinable()) t.join();
  }

  RowStream& stream_;
  const RowJob job_;
  const int width_, height_, slots_, cellRows_, reach_;
  std::unique_ptr<uint32_t[]> ring_;  // not cleared: every row is written before it is read
  RingSource source_;
  std::vector<char> measured_;
  std::vector<RowResult> results_;
  RowWorker own_;  // the handing thread's

  std::mutex mutex_;
  std::condition_variable changed_;
  int decoded_ = 0;   // picture rows read so far
  int next_ = 0;      // next row of cells to compute
  int lowest_ = 0;    // lowest row of cells not yet measured
  int released_ = 0;  // rows of cells handed to the host
  bool done_ = false, failed_ = false, draining_ = false, stopWork_ = false, stopDecode_ = false;
  std::exception_ptr decodeError_;
  std::thread decoder_;
  std::vector<std::thread> helpers_;
};

}  // namespace

int StreamRingRows(int width, int height, int16_t cellSize) {
  const int cs = std::max<int>(cellSize, 1);
  const int reach = 3 * SubBlockEdge(static_cast<int16_t>(cs));
  const size_t rowBytes = static_cast<size_t>(std::max(width, 1)) * 4;
  const long byBytes = static_cast<long>(kRingBytes / rowBytes);
  const long rows = std::max<long>(4L * cs + reach, byBytes);
  return static_cast<int>(std::max<long>(1, std::min<long>(rows, height)));
}

RunResult ConvertRowStream(const Matcher& matcher, RowStream& rows, int16_t cellSize, int16_t quality, float brightness,
                           RunHost& out, int threads) {
  std::exception_ptr conversionError;
  std::unique_ptr<StreamPipeline> pipeline;
  try {
    const int16_t lastRow = LastCellIndex(rows.Height(), cellSize);
    const int16_t lastColumn = LastCellIndex(rows.Width(), cellSize);
    const RowJob job{matcher, cellSize, quality, brightness, int{lastColumn} + 1};
    pipeline = std::make_unique<StreamPipeline>(rows, job, std::max(int{lastRow} + 1, 0), std::max(threads - 1, 0));
    int current = 0;
    for (int16_t row = 0; row <= lastRow; row = Add16(row, 1)) {
      if (HandRow(pipeline->Get(row), lastColumn, current, out)) return RunResult::Stopped;
      pipeline->Release(row);
      out.EndRow();
    }
  } catch (...) {
    conversionError = std::current_exception();
  }
  // Every row is read, so that a damaged picture is found; its error wins.
  if (!pipeline) {
    const RowJob none{matcher, cellSize, quality, brightness, 0};
    pipeline = std::make_unique<StreamPipeline>(rows, none, 0, 0);
  }
  if (const std::exception_ptr pictureError = pipeline->Drain()) std::rethrow_exception(pictureError);
  if (conversionError) std::rethrow_exception(conversionError);
  return RunResult::Finished;
}

}  // namespace zindrel
