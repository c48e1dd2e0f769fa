#include "convert/fast_run.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "core/numeric.h"
#include "row_work.h"
#include "rules.h"
#include "simd.h"

// Why whole rows may use plain float arithmetic where MeasureCell rounds
// double results to float: for two floats a and b, the double sum and the
// double product round to the same float as the float sum and product,
// because double carries more than twice float's precision plus two bits.
// The luminance (three terms) and the scaling divisions have no such float
// form and stay in double exactly as MeasureCell computes them.

namespace zindrel {

namespace {

// Above this sub-block edge the luminance lines of a row would take too much
// memory; such cells go through MeasureCell one by one.
constexpr int kMaxRowEdge = 64;

// A sub-block sum scaled to the 0..15 scale: sum * 9 / CellSize / CellSize,
// stored, then * 15 / 255, stored.
//  - The second step is v * 15 / 255 = v / 17 exactly (v * 15 is exact in
//    double), and a double quotient of two floats stored as float is the
//    float quotient: so it is one float division.
//  - For cell sizes 3, 6, 12 and 24 both divisions of the first step are
//    exact (9s / 3 = 3s, 9s / 6 = 1.5s, 9s / 12 = 0.75s, 9s / 24 = 0.375s
//    and then s, s / 4, s / 16, s / 64), so it is a float multiplication by a
//    power of two.
ZINDREL_CLONES void ScaleSums(float* values, int n, int cellSize) {
  float power = 0.0f;
  switch (cellSize) {
    case 3: power = 1.0f; break;
    case 6: power = 0.25f; break;
    case 12: power = 1.0f / 16.0f; break;
    case 24: power = 1.0f / 64.0f; break;
    default: break;
  }
  if (power != 0.0f) {
    for (int i = 0; i < n; ++i) values[i] = values[i] * power / 17.0f;
    return;
  }
  const double cs = cellSize;
  for (int i = 0; i < n; ++i) {
    const float v = static_cast<float>(static_cast<double>(values[i]) * 9.0 / cs / cs);
    values[i] = v / 17.0f;
  }
}

// The three sub-block sums of sub-block row g for every cell, each in the
// order MeasureCell adds them (pixel rows, then pixels within a row).
void SumSubBlocks(const float* lum, int stride, int e, int cellSize, int count, int g, float* sums) {
  if (e == 1) {
    for (int j = 0; j < count; ++j) {
      const float* p = lum + j * cellSize;
      float* s = sums + j * 9 + 3 * g;
      s[0] = 0.0f + p[0];
      s[1] = 0.0f + p[1];
      s[2] = 0.0f + p[2];
    }
    return;
  }
  for (int j = 0; j < count; ++j) {
    float s0 = 0.0f, s1 = 0.0f, s2 = 0.0f;
    for (int l = 0; l < e; ++l) {
      const float* p = lum + l * stride + j * cellSize;
      for (int c = 0; c < e; ++c) {
        s0 += p[c];
        s1 += p[e + c];
        s2 += p[2 * e + c];
      }
    }
    float* s = sums + j * 9 + 3 * g;
    s[0] = s0;
    s[1] = s1;
    s[2] = s2;
  }
}

}  // namespace

bool CanMeasureRows(const PixelSource& picture, int16_t cellSize) {
  if (cellSize < 1 || picture.Height() <= 0 || picture.Row(0) == nullptr) return false;
  const int e = SubBlockEdge(cellSize);
  return e >= 1 && e <= kMaxRowEdge;
}

int MeasurableColumns(int16_t cellSize, int16_t row, int columns) {
  const long e = SubBlockEdge(cellSize);
  const long reach = 3 * e - 1;  // last pixel of a cell, from its corner
  if (long{cellSize} * row + reach > 32767) return 0;
  const long fit = (32767 - reach) / cellSize + 1;
  return static_cast<int>(std::min<long>(columns, std::max<long>(fit, 0)));
}

int MeasureCellRow(const PixelSource& picture, int16_t row, int count, int16_t cellSize, float brightnessFactor,
                   CellDensity* out, RowScratch& scratch) {
  if (count <= 0) return 0;
  const int e = SubBlockEdge(cellSize);
  const int cs = cellSize;
  const int stride = cs * (count - 1) + 3 * e;
  scratch.luminance.resize(static_cast<size_t>(e) * stride);
  scratch.sums.resize(static_cast<size_t>(count) * 9);
  const int width = picture.Width(), height = picture.Height();
  const int y0 = cs * row;
  float* sums = scratch.sums.data();
  for (int g = 0; g < 3; ++g) {
    for (int l = 0; l < e; ++l) {
      const int y = y0 + g * e + l;
      float* line = scratch.luminance.data() + static_cast<size_t>(l) * stride;
      int n = 0;
      if (y < height) {
        n = std::min(width, stride);
        LuminanceLine(picture.Row(y), n, line);
      }
      std::fill(line + n, line + stride, 255.0f);  // outside the picture: white
    }
    SumSubBlocks(scratch.luminance.data(), stride, e, cs, count, g, sums);
  }
  ScaleSums(sums, count * 9, cs);
  for (int j = 0; j < count; ++j) {
    float bad = 0.0f;
    if (!rules::FinishCell(sums + j * 9, brightnessFactor, out[j], &bad)) return j;  // MeasureCell raises here
  }
  return count;
}

void MeasureRow(const RowJob& job, const PixelSource& picture, int16_t row, RowScratch& scratch, MeasuredRow& out) {
  out.error = nullptr;
  out.measured = 0;
  if (job.columns <= 0) return;
  if (static_cast<int>(out.cells.size()) < job.columns) out.cells.resize(static_cast<size_t>(job.columns));
  if (CanMeasureRows(picture, job.cellSize)) {
    const int count = MeasurableColumns(job.cellSize, row, job.columns);
    out.measured = MeasureCellRow(picture, row, count, job.cellSize, job.brightness, out.cells.data(), scratch);
  }
  for (; out.measured < job.columns; ++out.measured) {
    try {
      out.cells[out.measured] =
          MeasureCell(picture, row, static_cast<int16_t>(out.measured), job.cellSize, job.brightness);
    } catch (...) {
      out.error = std::current_exception();
      return;
    }
  }
}

void MatchRow(const RowJob& job, const MeasuredRow& cells, Matcher& matcher, RowResult& result) {
  result.glyphs.resize(static_cast<size_t>(std::max(job.columns, 0)));
  result.failColumn = -1;
  result.error = nullptr;
  int done = 0;
  try {
    matcher.MatchGlyphs(cells.cells.data(), cells.measured, job.quality, result.glyphs.data(), done);
  } catch (...) {
    result.failColumn = done;
    result.error = std::current_exception();
    return;
  }
  if (cells.error) {
    result.failColumn = cells.measured;
    result.error = cells.error;
  }
}

bool HandRow(const RowResult& result, int16_t lastColumn, int& current, RunHost& out) {
  for (int16_t column = 0; column <= lastColumn; column = Add16(column, 1)) {
    if (column == result.failColumn) std::rethrow_exception(result.error);
    const int n = result.glyphs[column];
    if (n != 0) current = n;
    out.AppendGlyph(current);
    if (out.AfterCell()) return true;
  }
  return false;
}

namespace {

struct Job {
  const Matcher& matcher;
  RowJob row;
  const PixelSource& picture;
};

// Rows computed a bounded distance ahead of the thread that hands them to
// the host in order, by helper threads and by that thread itself whenever
// the row it needs next is not ready.
class RowPipeline {
 public:
  RowPipeline(const Job& job, int rows, int helpers)
      : job_(job), rows_(rows), ring_(std::max(8, 4 * (helpers + 1))), results_(ring_), own_(job.matcher) {
    for (int t = 0; t < helpers; ++t) threads_.emplace_back([this] { Work(); });
  }
  ~RowPipeline() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  // Waits for row r and returns it; valid until Release(r).
  const RowResult& Get(int r) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (results_[r % ring_].row == r) return results_[r % ring_];
      if (next_ < rows_ && next_ < released_ + ring_) {
        ComputeBlock(lock, own_);
        continue;
      }
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

 private:
  void Work() {
    RowWorker w(job_.matcher);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return stop_ || next_ >= rows_ || next_ < released_ + ring_; });
      if (stop_ || next_ >= rows_) return;
      ComputeBlock(lock, w);
    }
  }

  // Takes up to kBlock neighbouring rows that are free to compute and
  // computes them, publishing each when done. Neighbouring rows on one
  // thread share that thread's memo. Called and returns with the lock held.
  void ComputeBlock(std::unique_lock<std::mutex>& lock, RowWorker& w) {
    constexpr int kBlock = 4;
    const int first = next_;
    const int end = std::min({first + kBlock, rows_, released_ + ring_});
    next_ = end;
    for (int r = first; r < end; ++r) {
      lock.unlock();
      RowResult& slot = results_[r % ring_];
      ComputeRow(job_.row, job_.picture, static_cast<int16_t>(r), slot, w);
      lock.lock();
      slot.row = r;
      changed_.notify_all();
    }
  }

  const Job& job_;
  const int rows_, ring_;
  std::vector<RowResult> results_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int next_ = 0, released_ = 0;
  bool stop_ = false;
  RowWorker own_;  // the handing thread's
  std::vector<std::thread> threads_;
};

}  // namespace

RunResult ConvertPictureFast(const Matcher& matcher, const PixelSource& picture, int16_t cellSize, int16_t quality,
                             float brightness, RunHost& out, int threads) {
  const int16_t lastRow = LastCellIndex(picture.Height(), cellSize);
  if (lastRow < 0) return RunResult::Finished;
  // The width is the same for every row, so is the last column; a bound that
  // does not fit raises at the start of row 0, as in RunConversion.
  const int16_t lastColumn = LastCellIndex(picture.Width(), cellSize);
  const Job job{matcher, {cellSize, quality, brightness, int{lastColumn} + 1}, picture};

  std::unique_ptr<RowPipeline> pipeline;
  if (threads > 1 && lastRow > 0) pipeline = std::make_unique<RowPipeline>(job, int{lastRow} + 1, threads - 1);
  std::unique_ptr<RowWorker> own;  // the calling thread's, when it computes the rows itself
  if (!pipeline) own = std::make_unique<RowWorker>(matcher);
  RowResult ownRow;

  int current = 0;
  for (int16_t row = 0; row <= lastRow; row = Add16(row, 1)) {
    const RowResult* result = &ownRow;
    if (pipeline) {
      result = &pipeline->Get(row);
    } else {
      ComputeRow(job.row, picture, row, ownRow, *own);
    }
    if (HandRow(*result, lastColumn, current, out)) return RunResult::Stopped;
    if (pipeline) pipeline->Release(row);
    out.EndRow();
  }
  return RunResult::Finished;
}

ZINDREL_CLONES void LuminanceLine(const uint32_t* pixels, int n, float* out) {
  for (int x = 0; x < n; ++x) {
    const int weight = static_cast<int>(rules::LuminanceWeight(pixels[x]));
    out[x] = static_cast<float>(static_cast<double>(weight) / 10.0);
  }
}

}  // namespace zindrel
