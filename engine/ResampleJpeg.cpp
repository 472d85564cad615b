#include "engine/ResampleJpeg.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "base/WorkerThread.h"
#include "decode/Orientation.h"
#include "engine/Resample.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

void CpuRelax() {
#if defined(__i386__) || defined(__x86_64__)
  _mm_pause();
#else
  std::this_thread::yield();
#endif
}

// Waits up to about half a millisecond for a condition, busy. Each side of the pipe hands a
// block over every few hundred microseconds; putting a thread to sleep and waking it again
// costs much more than that under Wine, where every wait and wake is a trip to its server.
template <typename TReady>
void SpinUntil(TReady ready) {
  using TClock = std::chrono::steady_clock;
  const TClock::time_point deadline = TClock::now() + std::chrono::microseconds(500);
  for (;;) {
    for (int i = 0; i < 64; ++i) {
      if (ready()) return;
      CpuRelax();
    }
    if (TClock::now() >= deadline) return;
  }
}

// Blocks of decoded rows travelling from the decoder to the resampler and back. A few small
// blocks keep both sides busy while the rows are still in the cache. A side that finds nothing
// to take spins briefly before it sleeps, and a side that hands a block over wakes the other
// only when it sleeps.
class TRowPipe {
 public:
  static constexpr int kBlockRows = 16;
  static constexpr int kBlocks = 4;

  struct TBlock {
    int firstRow = 0;
    int rows = 0;
    std::vector<uint8_t> bytes;
  };

  explicit TRowPipe(size_t rowBytes) : rowBytes_(rowBytes), blocks_(kBlocks) {
    for (TBlock& block : blocks_) {
      block.bytes.resize(rowBytes * kBlockRows);
      free_.push_back(&block);
    }
    freeCount_ = kBlocks;
  }

  // Decoder side: memory for row y. Asking for a row finishes the rows asked for before it.
  uint8_t* Row(int y) {
    if (filling_ != nullptr && filling_->rows == kBlockRows) Send();
    if (filling_ == nullptr) {
      SpinUntil([this] { return freeCount_.load(std::memory_order_acquire) > 0; });
      std::unique_lock<std::mutex> lock(mutex_);
      Wait(lock, freed_, freeSleepers_, [this] { return !free_.empty(); });
      filling_ = free_.front();
      free_.pop_front();
      freeCount_.fetch_sub(1, std::memory_order_relaxed);
      filling_->firstRow = y;
      filling_->rows = 0;
    }
    return filling_->bytes.data() + rowBytes_ * static_cast<size_t>(filling_->rows++);
  }
  // Decoder side: no more rows.
  void Close() {
    if (filling_ != nullptr) Send();
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    fullCount_.fetch_add(1, std::memory_order_release);  // wakes a spinning receiver
    if (fullSleepers_ > 0) filled_.notify_one();
  }

  // Resampler side: the next block, or null once the decoder has closed and all are taken.
  TBlock* Receive() {
    SpinUntil([this] { return fullCount_.load(std::memory_order_acquire) > 0; });
    std::unique_lock<std::mutex> lock(mutex_);
    Wait(lock, filled_, fullSleepers_, [this] { return !full_.empty() || closed_; });
    if (full_.empty()) return nullptr;
    TBlock* block = full_.front();
    full_.pop_front();
    fullCount_.fetch_sub(1, std::memory_order_relaxed);
    return block;
  }
  void Release(TBlock* block) {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(block);
    freeCount_.fetch_add(1, std::memory_order_release);
    if (freeSleepers_ > 0) freed_.notify_one();
  }
  size_t RowBytes() const { return rowBytes_; }

 private:
  template <typename TReady>
  static void Wait(std::unique_lock<std::mutex>& lock, std::condition_variable& signal,
                   int& sleepers, TReady ready) {
    while (!ready()) {
      ++sleepers;
      signal.wait(lock);
      --sleepers;
    }
  }
  void Send() {
    std::lock_guard<std::mutex> lock(mutex_);
    full_.push_back(filling_);
    filling_ = nullptr;
    fullCount_.fetch_add(1, std::memory_order_release);
    if (fullSleepers_ > 0) filled_.notify_one();
  }

  size_t rowBytes_;
  std::vector<TBlock> blocks_;
  std::mutex mutex_;
  std::condition_variable freed_;
  std::condition_variable filled_;
  std::deque<TBlock*> free_;
  std::deque<TBlock*> full_;
  // Counts read without the lock by a spinning side; changed under it. After the close the
  // full count stays above zero, so the receiver never spins again.
  std::atomic<int> freeCount_{0};
  std::atomic<int> fullCount_{0};
  int freeSleepers_ = 0;
  int fullSleepers_ = 0;
  TBlock* filling_ = nullptr;  // decoder side only
  bool closed_ = false;
};

// Feeds the resampler the part of each stored row that lies in the box, its rows counted from
// the box's top; rows outside the box are skipped.
struct TBoxFeed {
  TRowResampler& resampler;
  TRect box;
  void Push(int row, const uint8_t* line) {
    if (row < box.Top || row >= box.Bottom) return;
    resampler.Push(row - box.Top, line + static_cast<size_t>(box.Left) * 3);
  }
};

// Runs the resampler over the pipe's blocks on a thread of its own; joined on destruction, so
// an error on the decoder side never leaves the thread running. An error of the resampler is
// kept and raised by Finish; it keeps taking blocks so the decoder never waits for ever.
class TResampleWorker {
 public:
  TResampleWorker(TRowPipe& pipe, TBoxFeed& resampler)
      : pipe_(pipe), thread_([this, &resampler] { Run(resampler); }) {}
  TResampleWorker(const TResampleWorker&) = delete;
  TResampleWorker& operator=(const TResampleWorker&) = delete;
  ~TResampleWorker() {
    if (thread_.Joinable()) {
      pipe_.Close();
      thread_.Join();
    }
  }
  void Finish() {
    pipe_.Close();
    thread_.Join();
    if (error_) std::rethrow_exception(error_);
  }

 private:
  void Run(TBoxFeed& resampler) {
    while (TRowPipe::TBlock* block = pipe_.Receive()) {
      if (!error_) {
        try {
          for (int i = 0; i < block->rows; ++i) {
            resampler.Push(block->firstRow + i,
                           block->bytes.data() + pipe_.RowBytes() * static_cast<size_t>(i));
          }
        } catch (...) {
          error_ = std::current_exception();
        }
      }
      pipe_.Release(block);
    }
  }

  TRowPipe& pipe_;
  std::exception_ptr error_;
  TWorkerThread thread_;
};

// A decode stopped early leaves its remaining rows blank, as in a partly decoded picture: the
// destination rows still waiting for them are finished from black rows.
void FinishWithBlankRows(TRowResampler& resampler, int nextRow, size_t rowBytes) {
  if (resampler.Done()) return;
  const std::vector<uint8_t> blank(rowBytes, 0);
  const int end = resampler.EndSourceRow();
  for (int y = std::max(nextRow, resampler.FirstSourceRow()); y < end; ++y)
    resampler.Push(y, blank.data());
}

// The shrink of the stored rows in `box` (stored coordinates), not yet turned upright, to
// newWidth x newHeight.
std::unique_ptr<TBitmap> ResampleStoredRows(const TJPEGImage& jpeg, const TRect& box, int newWidth,
                                            int newHeight, int threads) {
  const int width = jpeg.StoredWidth();
  auto result = std::make_unique<TBitmap>();
  result->SetPixelFormat(TPixelFormat::pf24bit);
  result->SetSize(newWidth, newHeight);
  TRowResampler resampler(box.Right - box.Left, box.Bottom - box.Top, *result);
  TBoxFeed feed{resampler, box};
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  const size_t boxRowBytes = static_cast<size_t>(box.Right - box.Left) * 3;
  if (threads < 2) {
    std::vector<uint8_t> row(rowBytes);
    int pending = -1;  // the row being decoded; complete once the next one is asked for
    jpeg.DecodeRows([&](int y) {
      if (pending >= 0) feed.Push(pending, row.data());
      pending = y;
      // A decode stopped before it writes the row leaves it blank, as in a decoded picture.
      std::fill(row.begin(), row.end(), 0);
      return row.data();
    });
    if (pending >= 0) feed.Push(pending, row.data());
    FinishWithBlankRows(resampler, std::max(pending + 1 - box.Top, 0), boxRowBytes);
    return result;
  }
  TRowPipe pipe(rowBytes);
  TResampleWorker worker(pipe, feed);
  int next = 0;
  jpeg.DecodeRows([&pipe, &next](int y) {
    next = y + 1;
    uint8_t* row = pipe.Row(y);
    std::fill(row, row + pipe.RowBytes(), 0);
    return row;
  });
  worker.Finish();
  FinishWithBlankRows(resampler, std::max(next - box.Top, 0), boxRowBytes);
  return result;
}

}  // namespace

std::unique_ptr<TBitmap> ResampleJpeg(const TJPEGImage& jpeg, int newWidth, int newHeight,
                                      int threads, const TRect* box) {
  if (jpeg.StoredWidth() < 1 || jpeg.StoredHeight() < 1 || newWidth < 1 || newHeight < 1) {
    throw EAssertionFailed();
  }
  const TRect stored =
      box != nullptr ? StoredBox(jpeg.Orientation(), *box, jpeg.StoredWidth(), jpeg.StoredHeight())
                     : TRect{0, 0, jpeg.StoredWidth(), jpeg.StoredHeight()};
  if (stored.Left < 0 || stored.Top < 0 || stored.Right > jpeg.StoredWidth() ||
      stored.Bottom > jpeg.StoredHeight() || stored.Right <= stored.Left ||
      stored.Bottom <= stored.Top) {
    throw EAssertionFailed();
  }
  // The decoder gives the rows as stored: they are shrunk to the upright size with its sides
  // swapped back where the orientation swaps them, and only the small result is turned upright.
  // The area average commutes with mirroring and turning, but for rounding.
  const int orientation = jpeg.Orientation();
  int storedWidth = 0;
  int storedHeight = 0;
  OrientedSize(orientation, newWidth, newHeight, storedWidth, storedHeight);
  std::unique_ptr<TBitmap> result =
      ResampleStoredRows(jpeg, stored, storedWidth, storedHeight, threads);
  OrientBitmap(*result, orientation);
  return result;
}
