// A thread for a short piece of work, with a small stack: the resampler's workers need little,
// and where a thread's whole stack reservation is committed memory (under Wine), the default
// 2 MB would stay with the process after the thread ends. No exception leaves the thread (that
// would end the program): one that ends the work is handed to the thread that joins it.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <system_error>
#include <vector>

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

// Runs share(0) to share(threads - 1) at once: share 0 on this thread, the others on workers
// (a worker that cannot be started leaves its share to this thread). Returns once all are done;
// an error of any share (a failed allocation, a row that cannot be read) is raised here, as on
// one thread.
template <typename Share>
void RunShares(int threads, const Share& share) {
  threads = threads < 1 ? 1 : threads;
  std::vector<std::exception_ptr> errors(static_cast<size_t>(threads));
  const auto guarded = [&](int t) {
    try {
      share(t);
    } catch (...) {
      errors[static_cast<size_t>(t)] = std::current_exception();
    }
  };
  std::vector<TWorkerThread> workers;
  workers.reserve(static_cast<size_t>(threads));
  int t = 1;
  for (; t < threads; ++t) {
    try {
      workers.emplace_back([&guarded, t] { guarded(t); });
    } catch (const std::system_error&) {
      break;
    }
  }
  for (; t < threads; ++t) guarded(t);
  guarded(0);
  for (TWorkerThread& worker : workers) worker.Join();
  for (const std::exception_ptr& error : errors) {
    if (error) std::rethrow_exception(error);
  }
}
