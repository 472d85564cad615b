#include <exception>
#include <thread>

#include "base/WorkerThread.h"

struct TWorkerThread::TImpl {
  std::exception_ptr error;
  std::thread thread;
};

TWorkerThread::TWorkerThread(std::function<void()> work) : impl_(std::make_unique<TImpl>()) {
  impl_->thread = std::thread([work = std::move(work), impl = impl_.get()] {
    try {
      work();
    } catch (...) {
      impl->error = std::current_exception();
    }
  });
}

TWorkerThread::TWorkerThread(TWorkerThread&&) noexcept = default;
TWorkerThread& TWorkerThread::operator=(TWorkerThread&& other) noexcept {
  Wait();
  impl_ = std::move(other.impl_);
  return *this;
}

TWorkerThread::~TWorkerThread() {
  Wait();
}

std::exception_ptr TWorkerThread::Wait() noexcept {
  if (!impl_) return nullptr;
  impl_->thread.join();
  std::exception_ptr error = impl_->error;
  impl_.reset();
  return error;
}

void TWorkerThread::Join() {
  if (std::exception_ptr error = Wait()) std::rethrow_exception(error);
}
