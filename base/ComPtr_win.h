// Owns one COM interface pointer: released once, never copied.
#pragma once

template <typename T>
class TComPtr {
 public:
  TComPtr() = default;
  TComPtr(const TComPtr&) = delete;
  TComPtr& operator=(const TComPtr&) = delete;
  ~TComPtr() {
    if (p_ != nullptr) p_->Release();
  }
  // For the out-parameter of a creating call.
  T** operator&() { return &p_; }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  // Lets the object go without releasing it: after a fault inside its code, none of that code
  // is run again.
  void Abandon() { p_ = nullptr; }

 private:
  T* p_ = nullptr;
};
