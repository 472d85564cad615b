#include <windows.h>

#include <exception>
#include <system_error>

#include "base/WorkerThread.h"

struct TWorkerThread::TImpl {
  HANDLE thread = nullptr;
  std::function<void()> work;
  std::exception_ptr error;
};

namespace {

DWORD WINAPI RunWork(void* context) {
  auto* impl = static_cast<TWorkerThread::TImpl*>(context);
  try {
    impl->work();
  } catch (...) {
    impl->error = std::current_exception();
  }
  return 0;
}

}  // namespace

TWorkerThread::TWorkerThread(std::function<void()> work) : impl_(std::make_unique<TImpl>()) {
  impl_->work = std::move(work);
  impl_->thread = CreateThread(nullptr, kStackBytes, RunWork, impl_.get(),
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (impl_->thread == nullptr) {
    impl_.reset();
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "CreateThread");
  }
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
  WaitForSingleObject(impl_->thread, INFINITE);
  CloseHandle(impl_->thread);
  std::exception_ptr error = impl_->error;
  impl_.reset();
  return error;
}

void TWorkerThread::Join() {
  if (std::exception_ptr error = Wait()) std::rethrow_exception(error);
}
