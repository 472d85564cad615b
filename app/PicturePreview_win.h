// The preview pane of the open-picture dialog: the picture the selection names, read through
// the picture format registry, shrunk to fit beside the file list, with its size below it.
#pragma once

#include <windows.h>
// After windows.h.
#include <commdlg.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TBitmap;

class TPicturePreview {
 public:
  TPicturePreview();
  ~TPicturePreview();
  TPicturePreview(const TPicturePreview&) = delete;
  TPicturePreview& operator=(const TPicturePreview&) = delete;

  // Gives the dialog the pane: its template and hook. The preview must outlive the dialog.
  void Attach(OPENFILENAMEW& ofn);

  // Runs after the pane changed to a selected file: its path and the size shown (0 × 0 when
  // nothing could be read). Tests watch the pane through it.
  static std::function<void(HWND pane, const std::string& path, int width, int height)> OnPreview;

 private:
  static UINT_PTR CALLBACK Hook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void Create(HWND dialog);
  void Show(const std::string& path);
  void Paint(const DRAWITEMSTRUCT& item) const;
  static void KeepOnScreen(HWND window);

  std::vector<DWORD> template_;  // the pane's dialog template, kept aligned
  HWND dialog_ = nullptr;
  HWND pane_ = nullptr;
  HWND label_ = nullptr;
  std::string path_;
  std::unique_ptr<TBitmap> picture_;
  int width_ = 0;
  int height_ = 0;
};
