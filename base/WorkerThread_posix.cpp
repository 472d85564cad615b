#include <thread>

#include "base/WorkerThread.h"

struct TWorkerThread::TImpl {
  std::thread thread;
};

TWorkerThread::TWorkerThread(std::function<void()> work)
    : impl_(std::make_unique<TImpl>(TImpl{std::thread(std::move(work))})) {}

TWorkerThread::TWorkerThread(TWorkerThread&&) noexcept = default;
TWorkerThread& TWorkerThread::operator=(TWorkerThread&& other) noexcept {
  Join();
  impl_ = std::move(other.impl_);
  return *this;
}

TWorkerThread::~TWorkerThread() {
  Join();
}

void TWorkerThread::Join() {
  if (!impl_) return;
  impl_->thread.join();
  impl_.reset();
}
