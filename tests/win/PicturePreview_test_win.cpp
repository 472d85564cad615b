// The open-picture dialog's preview pane on the real file dialog: selecting a file in the list
// shows it through the picture format registry, with its size; what cannot be read shows none.
#include <doctest/doctest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "../decode/PngBuilder.h"
#include "FormFixture_win.h"
#include "app/Dialogs_win.h"
#include "app/PicturePreview_win.h"
#include "base/Path.h"
#include "base/TextCase.h"
#include "decode/PictureFormats.h"
// After windows.h.
#include <commctrl.h>

namespace {

struct TShown {
  int width = -1;
  int height = -1;
  COLORREF centre = CLR_INVALID;
  std::string label;
};

std::string RedPng(int width, int height) {
  using namespace png_build;
  TBytes raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < width; ++x) raw.insert(raw.end(), {255, 0, 0});
  }
  const TBytes file = File({Ihdr(width, height, 8, 2), Idat(raw), Iend()});
  return {file.begin(), file.end()};
}

// Selects the list item named `name` in the file dialog's list, as a click would.
bool SelectInList(HWND box, const std::wstring& name) {
  HWND list = FindWindowExW(FindWindowExW(box, nullptr, L"SHELLDLL_DefView", nullptr), nullptr,
                            WC_LISTVIEWW, nullptr);
  if (list == nullptr) return false;
  const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[MAX_PATH] = {};
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = MAX_PATH;
    SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
    if (_wcsicmp(text, name.c_str()) != 0 &&
        _wcsicmp(text, name.substr(0, name.rfind(L'.')).c_str()) != 0) {
      continue;
    }
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = 0;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&state));
    return true;
  }
  return false;
}

}  // namespace

TEST_CASE("the open-picture dialog previews the selected picture through the format registry") {
  RegisterBuiltInFormats();
  TTempDir dir;
  WriteBytes(dir / L"red.png", RedPng(40, 20));
  WriteBytes(dir / L"broken.png", "\x89PNG\r\n\x1a\n not a picture at all");
  WriteBytes(dir / L"small.bmp", MakeTestBmp(8, 8, 200, 100, 50));

  std::mutex mutex;
  std::map<std::string, TShown> shown;
  TPicturePreview::OnPreview = [&](HWND pane, const std::string& path, int width, int height) {
    TShown s;
    s.width = width;
    s.height = height;
    RECT r{};
    GetClientRect(pane, &r);
    HDC dc = GetDC(pane);
    s.centre = GetPixel(dc, r.right / 2, r.bottom / 2);
    ReleaseDC(pane, dc);
    s.label = WindowText(GetDlgItem(GetParent(pane), 0x4A1));
    std::lock_guard<std::mutex> lock(mutex);
    shown[UpperCase(ExtractFileName(path))] = s;
  };
  auto seen = [&](const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex);
    return shown.count(name) != 0;
  };

  // An owner at the right edge, where the dialog would open partly off the screen.
  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, GetSystemMetrics(SM_CXSCREEN) - 20,
                               300, 10, 10, nullptr, nullptr, nullptr, nullptr);
  TWinDialogs dialogs([owner] { return owner; }, [] { return std::string("Vesko 2"); });
  std::atomic<bool> done{false};
  std::atomic<int> selected{0};
  std::atomic<bool> onScreen{false};
  std::thread driver([&] {
    HWND box = nullptr;
    for (int i = 0; i < 200 && box == nullptr; ++i) {
      Sleep(50);
      HWND found = FindWindowW(L"#32770", L"画像ファイルを開く");
      if (found != nullptr && IsWindowVisible(found)) box = found;
    }
    if (box != nullptr) {
      Sleep(500);  // the folder's items arrive
      // The pane widened the dialog; it still lies within the work area.
      RECT frame{};
      RECT work{};
      GetWindowRect(box, &frame);
      SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
      onScreen = frame.left >= work.left && frame.right <= work.right && frame.top >= work.top &&
                 frame.bottom <= work.bottom;
      for (const auto& [file, key] :
           {std::pair{L"red.png", "RED.PNG"}, std::pair{L"broken.png", "BROKEN.PNG"},
            std::pair{L"small.bmp", "SMALL.BMP"}}) {
        if (!SelectInList(box, file)) continue;
        ++selected;
        for (int i = 0; i < 100 && !seen(key); ++i) Sleep(50);
      }
      PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    }
    done = true;
  });
  TFileDialogOptions options;
  options.Title = "画像ファイルを開く";
  options.Filter = TPictureFormatRegistry::Instance().Filter();
  options.InitialDir = ToUtf8(dir.Path());
  options.Preview = true;
  std::string path;
  const bool chosen = dialogs.OpenFile(options, path);
  driver.join();
  TPicturePreview::OnPreview = nullptr;
  DestroyWindow(owner);

  CHECK_FALSE(chosen);
  CHECK(onScreen);
  REQUIRE(selected == 3);
  REQUIRE(seen("RED.PNG"));
  CHECK(shown["RED.PNG"].width == 40);
  CHECK(shown["RED.PNG"].height == 20);
  CHECK(shown["RED.PNG"].label == "40 × 20");
  CHECK(shown["RED.PNG"].centre == RGB(255, 0, 0));
  REQUIRE(seen("BROKEN.PNG"));
  CHECK(shown["BROKEN.PNG"].width == 0);
  CHECK(shown["BROKEN.PNG"].label == "(なし)");
  CHECK(shown["BROKEN.PNG"].centre == GetSysColor(COLOR_BTNFACE));
  REQUIRE(seen("SMALL.BMP"));
  CHECK(shown["SMALL.BMP"].label == "8 × 8");
  CHECK(shown["SMALL.BMP"].centre == RGB(200, 100, 50));
}
