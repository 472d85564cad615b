#include <windows.h>

#include <system_error>

#include "base/WorkerThread.h"

struct TWorkerThread::TImpl {
  HANDLE thread = nullptr;
  std::function<void()> work;
};

namespace {

DWORD WINAPI RunWork(void* context) {
  (*static_cast<std::function<void()>*>(context))();
  return 0;
}

}  // namespace

TWorkerThread::TWorkerThread(std::function<void()> work) : impl_(std::make_unique<TImpl>()) {
  impl_->work = std::move(work);
  impl_->thread = CreateThread(nullptr, kStackBytes, RunWork, &impl_->work,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (impl_->thread == nullptr) {
    impl_.reset();
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "CreateThread");
  }
}

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
  WaitForSingleObject(impl_->thread, INFINITE);
  CloseHandle(impl_->thread);
  impl_.reset();
}
