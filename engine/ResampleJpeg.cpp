#include "engine/ResampleJpeg.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/Resample.h"

namespace {

// Blocks of decoded rows travelling from the decoder to the resampler and back. A few small
// blocks keep both sides busy while the rows are still in the cache.
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
  }

  // Decoder side: memory for row y. Asking for a row finishes the rows asked for before it.
  uint8_t* Row(int y) {
    if (filling_ != nullptr && filling_->rows == kBlockRows) Send();
    if (filling_ == nullptr) {
      std::unique_lock<std::mutex> lock(mutex_);
      freed_.wait(lock, [this] { return !free_.empty(); });
      filling_ = free_.front();
      free_.pop_front();
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
    filled_.notify_one();
  }

  // Resampler side: the next block, or null once the decoder has closed and all are taken.
  TBlock* Receive() {
    std::unique_lock<std::mutex> lock(mutex_);
    filled_.wait(lock, [this] { return !full_.empty() || closed_; });
    if (full_.empty()) return nullptr;
    TBlock* block = full_.front();
    full_.pop_front();
    return block;
  }
  void Release(TBlock* block) {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(block);
    freed_.notify_one();
  }
  size_t RowBytes() const { return rowBytes_; }

 private:
  void Send() {
    std::lock_guard<std::mutex> lock(mutex_);
    full_.push_back(filling_);
    filling_ = nullptr;
    filled_.notify_one();
  }

  size_t rowBytes_;
  std::vector<TBlock> blocks_;
  std::mutex mutex_;
  std::condition_variable freed_;
  std::condition_variable filled_;
  std::deque<TBlock*> free_;
  std::deque<TBlock*> full_;
  TBlock* filling_ = nullptr;  // decoder side only
  bool closed_ = false;
};

// Runs the resampler over the pipe's blocks on a thread of its own; joined on destruction, so
// an error on the decoder side never leaves the thread running. An error of the resampler is
// kept and raised by Finish; it keeps taking blocks so the decoder never waits for ever.
class TResampleWorker {
 public:
  TResampleWorker(TRowPipe& pipe, TRowResampler& resampler)
      : pipe_(pipe), thread_([this, &resampler] { Run(resampler); }) {}
  TResampleWorker(const TResampleWorker&) = delete;
  TResampleWorker& operator=(const TResampleWorker&) = delete;
  ~TResampleWorker() {
    if (thread_.joinable()) {
      pipe_.Close();
      thread_.join();
    }
  }
  void Finish() {
    pipe_.Close();
    thread_.join();
    if (error_) std::rethrow_exception(error_);
  }

 private:
  void Run(TRowResampler& resampler) {
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
  std::thread thread_;
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

}  // namespace

std::unique_ptr<TBitmap> ResampleJpeg(const TJPEGImage& jpeg, int newWidth, int newHeight,
                                      int threads) {
  const int width = jpeg.Width();
  const int height = jpeg.Height();
  if (width < 1 || height < 1 || newWidth < 1 || newHeight < 1) throw EAssertionFailed();
  auto result = std::make_unique<TBitmap>();
  result->SetPixelFormat(TPixelFormat::pf24bit);
  result->SetSize(newWidth, newHeight);
  TRowResampler resampler(width, height, *result);
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  if (threads < 2) {
    std::vector<uint8_t> row(rowBytes);
    int pending = -1;  // the row being decoded; complete once the next one is asked for
    jpeg.DecodeRows([&](int y) {
      if (pending >= 0) resampler.Push(pending, row.data());
      pending = y;
      return row.data();
    });
    if (pending >= 0) resampler.Push(pending, row.data());
    FinishWithBlankRows(resampler, pending + 1, rowBytes);
    return result;
  }
  TRowPipe pipe(rowBytes);
  TResampleWorker worker(pipe, resampler);
  int next = 0;
  jpeg.DecodeRows([&pipe, &next](int y) {
    next = y + 1;
    return pipe.Row(y);
  });
  worker.Finish();
  FinishWithBlankRows(resampler, next, rowBytes);
  return result;
}
