#include "app/PicturePreview_win.h"

#include <dlgs.h>

#include <algorithm>

#include "base/Unicode_win.h"
#include "base/Window_win.h"
#include "decode/Bitmap.h"
#include "decode/JPEGImage.h"
#include "decode/PictureFormats.h"

std::function<void(HWND, const std::string&, int, int)> TPicturePreview::OnPreview;

namespace {

constexpr int kPaneId = 0x4A0;
constexpr int kLabelId = 0x4A1;
// The pane's width beside the file list, in dialog units.
constexpr short kPaneUnits = 130;
// Files larger than this are not read for a preview: the dialog must stay responsive.
constexpr LONGLONG kMaxPreviewBytes = 256LL << 20;

// The largest JPEG reduction (1/2, 1/4, 1/8) that still covers the pane's picture.
TJPEGScale PreviewScale(int width, int height, int paneWidth, int paneHeight) {
  int denominator = 1;
  while (denominator < 8 && static_cast<long long>(width) / (denominator * 2) >= paneWidth &&
         static_cast<long long>(height) / (denominator * 2) >= paneHeight) {
    denominator *= 2;
  }
  return denominator == 8   ? TJPEGScale::jsEighth
         : denominator == 4 ? TJPEGScale::jsQuarter
         : denominator == 2 ? TJPEGScale::jsHalf
                            : TJPEGScale::jsFullSize;
}

}  // namespace

TPicturePreview::TPicturePreview() {
  // A child template holding only the placeholder of the standard controls (stc32); the
  // extra width to its right becomes the pane.
  template_.assign(16, 0);
  auto* words = reinterpret_cast<WORD*>(template_.data());
  auto* dialog = reinterpret_cast<DLGTEMPLATE*>(words);
  dialog->style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | DS_3DLOOK | DS_CONTROL;
  dialog->cdit = 1;
  dialog->cx = kPaneUnits + 1;
  dialog->cy = 1;
  // No menu, the default class, no title: three zero words after the 18-byte header.
  auto* item = reinterpret_cast<DLGITEMTEMPLATE*>(words + 12);  // 24 bytes: DWORD aligned
  item->style = WS_CHILD;
  item->cx = 1;
  item->cy = 1;
  item->id = stc32;
  WORD* tail = words + 12 + 9;  // after the 18-byte item header
  tail[0] = 0xFFFF;             // a predefined class:
  tail[1] = 0x0082;             // static
  tail[2] = 0;                  // no text
  tail[3] = 0;                  // no creation data
}

TPicturePreview::~TPicturePreview() = default;

void TPicturePreview::Attach(OPENFILENAMEW& ofn) {
  ofn.Flags |= OFN_ENABLEHOOK | OFN_ENABLETEMPLATEHANDLE | OFN_EXPLORER;
  ofn.hInstance = reinterpret_cast<HINSTANCE>(template_.data());
  ofn.lpfnHook = Hook;
  ofn.lCustData = reinterpret_cast<LPARAM>(this);
}

UINT_PTR CALLBACK TPicturePreview::Hook(HWND dialog, UINT message, WPARAM /*wParam*/,
                                        LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<TPicturePreview*>(
        reinterpret_cast<const OPENFILENAMEW*>(lParam)->lCustData);
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->dialog_ = dialog;
    return 0;
  }
  auto* self = reinterpret_cast<TPicturePreview*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (self == nullptr) return 0;
  if (message == WM_NOTIFY) {
    const auto* notice = reinterpret_cast<const OFNOTIFYW*>(lParam);
    if (notice->hdr.code == CDN_INITDONE) {
      self->Create(dialog);
    } else if (notice->hdr.code == CDN_SELCHANGE) {
      wchar_t path[MAX_PATH * 4] = {};
      const auto length = SendMessageW(GetParent(dialog), CDM_GETFILEPATH, MAX_PATH * 4,
                                       reinterpret_cast<LPARAM>(path));
      self->Show(length > 0 ? ToUtf8(path) : std::string());
    }
    return 0;
  }
  if (message == WM_DRAWITEM) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item->CtlID == kPaneId) {
      self->Paint(*item);
      SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
      return TRUE;
    }
  }
  return 0;
}

void TPicturePreview::Create(HWND dialog) {
  // The pane takes the room right of the standard controls, as tall as they are.
  RECT client{};
  GetClientRect(dialog, &client);
  RECT standard{0, 0, 0, client.bottom};
  if (HWND placeholder = GetDlgItem(dialog, stc32)) {
    GetWindowRect(placeholder, &standard);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&standard), 2);
  }
  RECT units{4, 4, 0, 12};
  MapDialogRect(dialog, &units);
  const int left = standard.right + units.left;
  const int width = std::max<int>(1, client.right - left - units.left);
  const int top = std::max<int>(units.top, static_cast<int>(standard.top) + units.top);
  const int bottom = std::max<int>(top + 1, static_cast<int>(standard.bottom) - units.top);
  const int labelHeight = units.bottom;
  const auto font = reinterpret_cast<HFONT>(SendMessageW(GetParent(dialog), WM_GETFONT, 0, 0));
  pane_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW,
                          left, top, width, bottom - top - labelHeight - units.top, dialog,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPaneId)),
                          GetModuleHandleW(nullptr), nullptr);
  label_ = CreateWindowExW(0, L"STATIC", L"(なし)", WS_CHILD | WS_VISIBLE | SS_CENTER, left,
                           bottom - labelHeight, width, labelHeight, dialog,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLabelId)),
                           GetModuleHandleW(nullptr), nullptr);
  if (font != nullptr && label_ != nullptr) {
    SendMessageW(label_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  KeepOnScreen(GetParent(dialog));
}

void TPicturePreview::KeepOnScreen(HWND window) {
  // The pane makes the dialog wider than the system planned: it is moved back into the work
  // area of its monitor where it would stick out.
  RECT frame{};
  if (window == nullptr || !GetWindowRect(window, &frame)) return;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) return;
  const RECT& work = monitor.rcWork;
  int x = frame.left;
  int y = frame.top;
  if (frame.right > work.right) x -= frame.right - work.right;
  if (frame.bottom > work.bottom) y -= frame.bottom - work.bottom;
  x = std::max<int>(x, work.left);
  y = std::max<int>(y, work.top);
  if (x != frame.left || y != frame.top) {
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TPicturePreview::Show(const std::string& path) {
  if (path == path_) return;
  path_ = path;
  picture_.reset();
  width_ = 0;
  height_ = 0;
  RECT pane{};
  if (pane_ != nullptr) GetClientRect(pane_, &pane);
  try {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const TPictureFormat* format = TPictureFormatRegistry::Instance().Find(path);
    if (format != nullptr &&
        GetFileAttributesExW(ToWide(path).c_str(), GetFileExInfoStandard, &data) &&
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        ((static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) <=
            kMaxPreviewBytes) {
      std::unique_ptr<TGraphic> graphic = format->Create();
      graphic->LoadFromFile(path);
      width_ = graphic->Width();
      height_ = graphic->Height();
      // A JPEG decodes only as large as the pane needs.
      if (auto* jpeg = dynamic_cast<TJPEGImage*>(graphic.get())) {
        jpeg->Scale = PreviewScale(width_, height_, std::max<int>(1, pane.right),
                                   std::max<int>(1, pane.bottom));
      }
      auto bitmap = std::make_unique<TBitmap>();
      bitmap->Assign(graphic.get());
      if (!bitmap->Empty()) picture_ = std::move(bitmap);
    }
  } catch (...) {
    // What cannot be read shows no picture; the dialog goes on.
    picture_.reset();
  }
  if (!picture_) {
    width_ = 0;
    height_ = 0;
  }
  if (label_ != nullptr) {
    const std::string text =
        picture_ ? std::to_string(width_) + " × " + std::to_string(height_) : "(なし)";
    SetWindowTextW(label_, ToWide(text).c_str());
  }
  if (pane_ != nullptr) {
    InvalidateRect(pane_, nullptr, TRUE);
    UpdateWindow(pane_);
  }
  if (OnPreview) OnPreview(pane_, path, width_, height_);
}

void TPicturePreview::Paint(const DRAWITEMSTRUCT& item) const {
  const RECT all = item.rcItem;
  FillRect(item.hDC, &all, GetSysColorBrush(COLOR_BTNFACE));
  if (!picture_) return;
  // Shrunk to fit with its proportions kept, never enlarged, centred.
  const int paneWidth = all.right - all.left;
  const int paneHeight = all.bottom - all.top;
  const int w = picture_->Width();
  const int h = picture_->Height();
  int drawWidth = w;
  int drawHeight = h;
  if (w > paneWidth || h > paneHeight) {
    if (static_cast<long long>(w) * paneHeight > static_cast<long long>(h) * paneWidth) {
      drawWidth = paneWidth;
      drawHeight = std::max(1, MulDiv(h, paneWidth, w));
    } else {
      drawHeight = paneHeight;
      drawWidth = std::max(1, MulDiv(w, paneHeight, h));
    }
  }
  const int x = all.left + (paneWidth - drawWidth) / 2;
  const int y = all.top + (paneHeight - drawHeight) / 2;
  HDC source = CreateCompatibleDC(item.hDC);
  if (source == nullptr) return;
  HGDIOBJ old = SelectObject(source, static_cast<HBITMAP>(picture_->Handle()));
  const int oldMode = SetStretchBltMode(item.hDC, HALFTONE);
  SetBrushOrgEx(item.hDC, 0, 0, nullptr);
  StretchBlt(item.hDC, x, y, drawWidth, drawHeight, source, 0, 0, w, h, SRCCOPY);
  SetStretchBltMode(item.hDC, oldMode);
  SelectObject(source, old);
  DeleteDC(source);
}
