#include "files/FileDrop_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include "base/Unicode_win.h"
#include "base/Window_win.h"

TFileDrop::TFileDrop(HWND window) {
  if (window == nullptr || !IsWindow(window)) {
    throw EFileDrop("Invalidate Window Handle in FileDrop");
  }
  if (!SetWindowSubclass(window, Procedure, reinterpret_cast<UINT_PTR>(this),
                         reinterpret_cast<DWORD_PTR>(this))) {
    throw EFileDrop("Invalidate Window Handle in FileDrop");
  }
  hooked_ = window;
  DragAcceptFiles(hooked_, accept_ ? TRUE : FALSE);
  ++acceptCalls_;
}

TFileDrop::~TFileDrop() {
  Unhook();
}

void TFileDrop::Unhook() {
  if (hooked_ == nullptr) return;
  if (IsWindow(hooked_)) RemoveWindowSubclass(hooked_, Procedure, reinterpret_cast<UINT_PTR>(this));
  hooked_ = nullptr;
}

void TFileDrop::SetAccept(bool accept) {
  if (accept == accept_) return;
  accept_ = accept;
  if (hooked_ != nullptr) {
    DragAcceptFiles(hooked_, accept_ ? TRUE : FALSE);
    ++acceptCalls_;
  }
}

void TFileDrop::Drop(HDROP drop) {
  if (!OnFileDrop) return;
  POINT at{};
  DragQueryPoint(drop, &at);
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  std::vector<std::string> files;
  for (UINT i = 0; i < count; ++i) {
    // Each path at its full length (a fixed buffer would cut long paths into wrong ones).
    const UINT length = DragQueryFileW(drop, i, nullptr, 0);
    std::wstring path(static_cast<size_t>(length) + 1, L'\0');
    DragQueryFileW(drop, i, path.data(), length + 1);
    path.resize(length);
    files.push_back(ToUtf8(path));
  }
  OnFileDrop(*this, static_cast<int>(count), files, at.x, at.y);
}

LRESULT CALLBACK TFileDrop::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR /*id*/, DWORD_PTR data) {
  auto* self = reinterpret_cast<TFileDrop*>(data);
  if (message == WM_DROPFILES) {
    auto* drop = reinterpret_cast<HDROP>(wParam);
    try {
      self->Drop(drop);
    } catch (const std::exception& error) {
      if (TWindowBase::ErrorHandler) TWindowBase::ErrorHandler(error);
    } catch (...) {
      if (TWindowBase::ErrorHandler) TWindowBase::ErrorHandler(Exception("Unknown error"));
    }
    DragFinish(drop);
    return 0;
  }
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(window, Procedure, reinterpret_cast<UINT_PTR>(self));
    self->hooked_ = nullptr;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}
