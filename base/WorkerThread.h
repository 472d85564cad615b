// A thread for a short piece of work, with a small stack: the resampler's workers need little,
// and where a thread's whole stack reservation is committed memory (under Wine), the default
// 2 MB would stay with the process after the thread ends. No exception leaves the thread (that
// would end the program): one that ends the work is handed to the thread that joins it.
#pragma once

#include <exception>
#include <functional>
#include <memory>

class TWorkerThread {
 public:
  static constexpr size_t kStackBytes = 256 * 1024;

  // Starts `work` at once; std::system_error when no thread can be started.
  explicit TWorkerThread(std::function<void()> work);
  TWorkerThread(const TWorkerThread&) = delete;
  TWorkerThread& operator=(const TWorkerThread&) = delete;
  TWorkerThread(TWorkerThread&&) noexcept;
  TWorkerThread& operator=(TWorkerThread&&) noexcept;
  // Waits for the work if it was not joined (an exception of the work is dropped).
  ~TWorkerThread();

  bool Joinable() const { return impl_ != nullptr; }
  // Waits for the work to end; rethrows the exception that ended it.
  void Join();

  struct TImpl;

 private:
  // Waits for the work to end; the exception that ended it, if any.
  std::exception_ptr Wait() noexcept;
  std::unique_ptr<TImpl> impl_;
};
