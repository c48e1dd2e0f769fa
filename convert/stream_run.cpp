#include "convert/stream_run.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
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
  // Starts the decoder, and helpers that measure rows of cells as their
  // rows arrive; matching waits for SetMatcher.
  StreamPipeline(RowStream& stream, const RowJob& job, int cellRows, int helpers, const RowTap& tap)
      : stream_(stream),
        job_(job),
        tap_(tap),
        width_(stream.Width()),
        height_(stream.Height()),
        slots_(StreamRingRows(width_, height_, job.cellSize)),
        cellRows_(cellRows),
        reach_(3 * SubBlockEdge(std::max<int16_t>(job.cellSize, 1))),
        ring_(new uint32_t[static_cast<size_t>(slots_) * static_cast<size_t>(std::max(width_, 0))]),
        source_(ring_.get(), width_, height_, slots_),
        measured_(static_cast<size_t>(std::max(cellRows, 0)), 0),
        results_(static_cast<size_t>(std::max(kMinResults, 4 * (helpers + 1)))) {
    decoder_ = std::thread([this] { Decode(); });
    for (int t = 0; t < helpers; ++t) helpers_.emplace_back([this] { Work(); });
  }
  ~StreamPipeline() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopWork_ = stopDecode_ = true;
    }
    decoderCv_.notify_all();
    helperCv_.notify_all();
    JoinHelpers();
    if (decoder_.joinable()) decoder_.join();
  }

  void SetMatcher(const Matcher& matcher) {
    std::lock_guard<std::mutex> lock(mutex_);
    matcher_ = &matcher;
    Notify();
  }

  // Waits for row of cells r and returns it, working on rows itself while
  // it waits. Raises the picture's error when the decoder failed before the
  // rows of r were there.
  const RowResult& Get(int r) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      const Slot& slot = SlotOf(r);
      if (slot.result.row == r) return slot.result;
      if (Step(lock, own_)) continue;
      if (next_ <= r && failed_ && !Ready(r)) std::rethrow_exception(decodeError_);
      WaitAsHandingThread(lock, r);
    }
  }
  void Release(int r) {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = r + 1;
    Notify();
  }

  // Ends the conversion's use of the ring and lets the decoder read the
  // picture to its end. Returns the picture's error, if any.
  std::exception_ptr Drain() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopWork_ = true;
    }
    helperCv_.notify_all();
    JoinHelpers();
    std::unique_lock<std::mutex> lock(mutex_);
    draining_ = true;
    Notify();
    while (!done_ && !failed_) WaitAsHandingThread(lock, kDraining);
    return decodeError_;
  }

 private:
  // Room for the rows of cells measured before the matcher comes (a table
  // still loading): about a tenth of a picture's decoding.
  static constexpr int kMinResults = 32;
  // Rows of cells ready and waiting that call a helper in.
  static constexpr int kBacklog = 4;
  // What the handing thread waits for when it waits for the decoder's end.
  static constexpr int kDraining = -1;

  struct Slot {
    MeasuredRow cells;
    RowResult result;  // result.row is the row once it is matched
  };
  struct Worker {
    RowScratch scratch;
    std::optional<Matcher> matcher;  // a copy of the shared one, made at its first match
  };

  Slot& SlotOf(int r) { return results_[static_cast<size_t>(r) % results_.size()]; }
  const Slot& SlotOf(int r) const { return results_[static_cast<size_t>(r) % results_.size()]; }
  // The pixel rows row of cells r reads: up to the end of its sub-blocks.
  int Need(int r) const { return static_cast<int>(std::min<long>(long{job_.cellSize} * r + reach_, height_)); }
  bool Ready(int r) const { return decoded_ >= Need(r); }
  bool CanMeasure() const {
    return !stopWork_ && next_ < cellRows_ && next_ < released_ + static_cast<int>(results_.size()) && Ready(next_);
  }
  bool CanMatch() const { return !stopWork_ && matcher_ != nullptr && !unmatched_.empty(); }
  // Rows the decoder may write: every row below the first one a row of
  // cells still needs is free, and the ring holds slots_ rows from there.
  int WriteLimit() const {
    if (draining_ || lowest_ >= cellRows_) return height_;
    return static_cast<int>(std::min<long>(long{job_.cellSize} * lowest_ + slots_, height_));
  }

  // The decoder, waiting for room at row y, goes on when there is room for
  // a whole band, or for less when the rows of cells are about to run out
  // of decoded rows: woken for every row of cells given back, it would
  // decode a few rows at a time, and switch threads for each.
  bool DecoderMayGo(int y) const {
    if (stopDecode_) return true;
    const int limit = WriteLimit();
    if (limit <= y) return false;
    return limit >= std::min(y + kDecodeBand, height_) || next_ + 1 >= cellRows_ || !Ready(next_ + 1);
  }

  void Decode() {
    std::vector<uint32_t*> band(kDecodeBand);
    int y = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    while (y < height_) {
      if (WriteLimit() <= y) {
        decoderWaits_ = true;  // the helpers may take the rows it waits on
        decoderY_ = y;
        Notify();
        decoderCv_.wait(lock, [&] { return DecoderMayGo(y); });
        decoderWaits_ = false;
      }
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
        Notify();
        return;
      }
      lock.lock();
      y += count;
      decoded_ = y;
      Notify();
    }
    done_ = true;
    Notify();
  }

  // A helper leaves the second core to the decoder, the critical path,
  // while the handing thread keeps up with it: it works before the matcher
  // comes (the handing thread is waiting for it), once the decoder has
  // finished or waits for room, or when rows of cells pile up.
  bool HelperWanted() const {
    return matcher_ == nullptr || done_ || failed_ || decoderWaits_ ||
           (next_ + kBacklog < cellRows_ && Ready(next_ + kBacklog));
  }

  void Work() {
    Worker w;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      ++helpersWaiting_;
      helperCv_.wait(lock, [&] { return HelperMayGo(); });
      --helpersWaiting_;
      if (!Step(lock, w)) return;
    }
  }

  // Does one piece of work, if there is one: matches the oldest row of cells
  // measured before the matcher came, or measures the next row of cells
  // (giving its pixel rows back to the decoder) and matches it. Called and
  // returns with the lock held; false when there was nothing to do.
  bool Step(std::unique_lock<std::mutex>& lock, Worker& w) {
    int r = -1;
    if (CanMatch()) {
      r = unmatched_.front();
      unmatched_.pop_front();
    } else if (CanMeasure()) {
      r = next_++;
      lock.unlock();
      MeasureRow(job_, source_, static_cast<int16_t>(r), w.scratch, SlotOf(r).cells);
      if (tap_) tap_(r, source_);
      lock.lock();
      measured_[r] = 1;
      while (lowest_ < cellRows_ && measured_[lowest_]) ++lowest_;
      Notify();
      if (matcher_ == nullptr) {
        unmatched_.push_back(r);
        return true;
      }
    } else {
      return false;
    }
    const Matcher& shared = *matcher_;
    lock.unlock();
    if (!w.matcher) w.matcher.emplace(shared);
    Slot& slot = SlotOf(r);
    MatchRow(job_, slot.cells, *w.matcher, slot.result);
    lock.lock();
    slot.result.row = r;
    Notify();
    return true;
  }

  bool HelperMayGo() const {
    return stopWork_ || (HelperWanted() && (CanMatch() || CanMeasure())) || failed_ ||
           (next_ >= cellRows_ && unmatched_.empty());
  }
  // What the handing thread waits for has come: row of cells handWant_
  // matched, or work it can do itself, or (draining) the decoder's end.
  bool HandMayGo() const {
    if (handWant_ == kDraining) return done_ || failed_;
    return SlotOf(handWant_).result.row == handWant_ || CanMatch() || CanMeasure() || failed_;
  }
  void WaitAsHandingThread(std::unique_lock<std::mutex>& lock, int want) {
    handWant_ = want;
    handWaits_ = true;
    handCv_.wait(lock);
    handWaits_ = false;
  }
  // Wakes, after a change of the state (lock held), only the threads that
  // can now go on: a wake-up of a thread that would only wait again costs a
  // core the decoder may need.
  void Notify() {
    if (decoderWaits_ && DecoderMayGo(decoderY_)) decoderCv_.notify_one();
    if (handWaits_ && HandMayGo()) handCv_.notify_one();
    if (helpersWaiting_ > 0 && HelperMayGo()) helperCv_.notify_all();
  }

  void JoinHelpers() {
    for (std::thread& t : helpers_)
      if (t.joinable()) t.join();
  }

  RowStream& stream_;
  const RowJob job_;
  const RowTap& tap_;
  const int width_, height_, slots_, cellRows_, reach_;
  std::unique_ptr<uint32_t[]> ring_;  // not cleared: every row is written before it is read
  RingSource source_;
  std::vector<char> measured_;
  std::vector<Slot> results_;
  Worker own_;  // the handing thread's

  std::mutex mutex_;
  std::condition_variable decoderCv_, handCv_, helperCv_;
  const Matcher* matcher_ = nullptr;
  std::deque<int> unmatched_;  // rows of cells measured before the matcher came
  int decoded_ = 0;            // picture rows read so far
  int next_ = 0;               // next row of cells to measure
  int lowest_ = 0;             // lowest row of cells not yet measured
  int released_ = 0;           // rows of cells handed to the host
  bool done_ = false, failed_ = false, draining_ = false, stopWork_ = false, stopDecode_ = false;
  bool decoderWaits_ = false;
  int decoderY_ = 0;  // the row the decoder waits to write, while it waits
  bool handWaits_ = false;
  int handWant_ = 0;  // the row of cells the handing thread waits for, or kDraining
  int helpersWaiting_ = 0;
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

RunResult ConvertRowStream(const std::function<const Matcher&()>& matcher, RowStream& rows, int16_t cellSize,
                           int16_t quality, float brightness, RunHost& out, int threads, const RowTap& tap) {
  std::exception_ptr conversionError;
  int16_t lastRow = -1, lastColumn = -1;
  try {
    lastRow = LastCellIndex(rows.Height(), cellSize);
    lastColumn = LastCellIndex(rows.Width(), cellSize);
  } catch (...) {
    conversionError = std::current_exception();
  }
  const bool grid = conversionError == nullptr;
  // Reading and measuring start at once; matching once the matcher is there.
  StreamPipeline pipeline(rows, RowJob{cellSize, quality, brightness, grid ? int{lastColumn} + 1 : 0},
                          grid ? std::max(int{lastRow} + 1, 0) : 0, std::max(threads - 1, 0), tap);
  pipeline.SetMatcher(matcher());
  if (grid) {
    try {
      int current = 0;
      for (int16_t row = 0; row <= lastRow; row = Add16(row, 1)) {
        if (HandRow(pipeline.Get(row), lastColumn, current, out)) return RunResult::Stopped;
        pipeline.Release(row);
        out.EndRow();
      }
    } catch (...) {
      conversionError = std::current_exception();
    }
  }
  // Every row is read, so that a damaged picture is found; its error wins.
  if (const std::exception_ptr pictureError = pipeline.Drain()) std::rethrow_exception(pictureError);
  if (conversionError) std::rethrow_exception(conversionError);
  return RunResult::Finished;
}

RunResult ConvertRowStream(const Matcher& matcher, RowStream& rows, int16_t cellSize, int16_t quality, float brightness,
                           RunHost& out, int threads) {
  return ConvertRowStream([&matcher]() -> const Matcher& { return matcher; }, rows, cellSize, quality, brightness, out,
                          threads);
}

}  // namespace zindrel
