// The main window in this process, with scripted dialogs: settings written at close, the
// hand-over message, the commands that open sources.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <thread>

#include "../support/Fakes.h"
#include "FormFixture_win.h"
#include "TestSupport_win.h"
#include "app/Application_win.h"
#include "app/HandOver.h"
#include "app/HintImage_win.h"
#include "app/MainForm_win.h"
#include "app/OptionsForm_win.h"
#include "app/SystemState_win.h"
#include "app/ViewMode_win.h"
#include "base/FileIO_win.h"
#include "base/IniFile.h"
#include "base/Path.h"
#include "base/TextCase.h"
#include "base/Unicode_win.h"
#include "decode/DIBImage.h"
#include "decode/PixelMemory.h"
#include "engine/FileSystem_win.h"
#include "engine/Monitors_win.h"
#include "engine/ScreenFit.h"
#include "engine/Wallpaper_win.h"

TEST_CASE("a first start places the window, derives its paths, and writes 58 keys at close") {
  FormFixture f;
  auto form = f.Create();
  CHECK(FindWindowW(L"TVesko2MainForm", nullptr) == form->Handle());
  RECT r{};
  GetWindowRect(form->Handle(), &r);
  CHECK(r.left == 0);
  CHECK(r.top == 0);
  CHECK(r.right - r.left == 45);
  CHECK(r.bottom - r.top == 35);
  CHECK(form->IniFileName == ToUtf8(f.dir / L"Vesko2.ini"));
  CHECK(form->TmpPaperName == ToUtf8(f.dir / L"$Vesko2.bmp"));
  CHECK(form->BossPaperName == ToUtf8(f.dir / L"$Boss$Vesko2.bmp"));
  CHECK(form->MessageFile == ToUtf8(f.dir / L"Vesko2.mes"));
  CHECK(f.dialogs.errors.empty());
  CHECK_FALSE(Exists(f.dir / L"Vesko2.ini"));

  f.Close(form);
  const IniFile ini = f.Ini();
  size_t keys = 0;
  for (const char* s : {"Window", "MessFont", "ScreenXY", "Mess", "ShortCut", "Commando",
                        "FavoriteFolder", "Load", "Edit", "Timer", "IncomingBoss"}) {
    keys += ini.ReadSection(s).size();
  }
  CHECK(keys == 58);
  CHECK(ini.ReadBool("Load", "ReSize", false));  // a first start shrinks big photos
  CHECK(ini.ReadString("MessFont", "Name", "") == "ＭＳ Ｐゴシック");
  CHECK(ini.ReadInteger("Window", "ActiveKey", 0) == 24584);
}

TEST_CASE("settings survive a restart; unknown sections are kept; the window moves back") {
  FormFixture f;
  CreateDirectoryW((f.dir / L"写真").c_str(), nullptr);
  WriteBytes(f.dir / L"写真\\一.jpg", MakeTestBmp(4, 3));
  WriteBytes(f.dir / L"写真\\二.jpg", MakeTestBmp(4, 3));
  WriteBytes(f.dir / L"Vesko2.ini",
             Utf8ToAnsi("[History]\r\nCount=1\r\n0=C:\\old\r\n[window]\r\ntop=120\r\nleft=300\r\n"
                        "[Load]\r\nPaperName=" +
                        ToUtf8(f.dir / L"写真\\二.jpg") +
                        "\r\n"
                        "[Mess]\r\nMessText=\"一\\r二\"\r\n"));
  auto form = f.Create();
  RECT r{};
  GetWindowRect(form->Handle(), &r);
  CHECK(r.left == 300);
  CHECK(r.top == 120);
  CHECK(form->Settings.PaperFolder == ToUtf8(f.dir / L"写真"));
  CHECK(form->List.MainListBox.Count() == 2);
  CHECK(form->List.MainListBox.Current() == ToUtf8(f.dir / L"写真\\二.jpg"));
  CHECK(form->Settings.MessText == "一\r二");
  SetWindowPos(form->Handle(), nullptr, 50, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  f.Close(form);

  const IniFile ini = f.Ini();
  CHECK(ini.ReadString("History", "0", "") == "C:\\old");
  CHECK(ini.ReadInteger("Window", "Left", 0) == 50);
  CHECK(ini.ReadInteger("Window", "Top", 0) == 60);
  CHECK(ini.ReadString("Load", "PaperName", "") == ToUtf8(f.dir / L"写真\\二.jpg"));
}

TEST_CASE("a foreign DLL among the plug-ins is reported once; the plug-ins after it load") {
  FormFixture f;
  const std::wstring fixtures = EnvPath(L"VESKO2_FIXTURE_SPI");
  // The search used to end at the foreign file, losing whatever came after it.
  REQUIRE(CopyFileW((fixtures + L"\\fxnoentry.spi").c_str(), (f.dir / L"afxnoentry.spi").c_str(),
                    FALSE));
  REQUIRE(
      CopyFileW((fixtures + L"\\fxmulti.spi").c_str(), (f.dir / L"fxmulti.spi").c_str(), FALSE));
  // Files that are no 32-bit DLL: a text file, a download broken off halfway.
  WriteBytes(f.dir / L"btext.spi", "not a plug-in\r\n");
  const std::string whole = ReadBytes(fixtures + L"\\fxmulti.spi");
  WriteBytes(f.dir / L"cbroken.spi", whole.substr(0, whole.size() / 2));
  auto form = f.Create();
  CHECK(form->SPIs.Count() == 1);
  CHECK(form->List.ExtensionList.Accepts("x.AAA"));
  REQUIRE(f.dialogs.messages.size() == 1);
  CHECK(f.dialogs.messages[0].rfind("プラグインとして使えないファイルがあります\r\r", 0) == 0);
  CHECK(f.dialogs.messages[0].find("afxnoentry.spi") != std::string::npos);
  CHECK(f.dialogs.messages[0].find("btext.spi") != std::string::npos);
  CHECK(f.dialogs.messages[0].find("cbroken.spi") != std::string::npos);
  CHECK(f.dialogs.errors.empty());
  f.Close(form);
}

TEST_CASE("plug-ins beside the program extend the accepted file masks") {
  FormFixture f;
  const std::wstring folder = EnvPath(L"VESKO2_FIXTURE_SPI");
  REQUIRE(CopyFileW((folder + L"\\fxmulti.spi").c_str(), (f.dir / L"fxmulti.spi").c_str(), FALSE));
  auto form = f.Create();
  REQUIRE(form->SPIs.Count() == 1);
  CHECK(form->List.ExtensionList.Accepts("x.AAA"));
  CHECK(form->List.ExtensionList.Accepts("x.ccc"));
  CHECK(form->List.ExtensionList.Accepts("x.jpg"));
  CHECK_FALSE(form->List.ExtensionList.Accepts("x.txt"));
  f.Close(form);
}

TEST_CASE("the open-picture dialog starts in the source folder and offers icons") {
  FormFixture f;
  const std::wstring plugins = EnvPath(L"VESKO2_PLUGIN_DIR");
  REQUIRE(CopyFileW((plugins + L"\\ifwic.spi").c_str(), (f.dir / L"ifwic.spi").c_str(), FALSE));
  CreateDirectoryW((f.dir / L"pics").c_str(), nullptr);
  WriteBytes(f.dir / L"pics\\a.bmp", MakeTestBmp(4, 3));
  auto form = f.Create({ToUtf8(f.dir / L"pics")});
  f.dialogs.answers = {""};
  OpenMenu(*form, "ファイル..");
  REQUIRE(f.dialogs.fileDialogs.size() == 1);
  CHECK(f.dialogs.fileDialogs[0].InitialDir == ToUtf8(f.dir / L"pics"));
  CHECK(f.dialogs.fileDialogs[0].Filter.find("*.ico") != std::string::npos);
  f.Close(form);
}

TEST_CASE("an unreadable settings file is reported and never overwritten") {
  FormFixture f;
  WriteBytes(f.dir / L"Vesko2.ini", "[Window]\r\nTop=7\r\n");
  HANDLE held = CreateFileW((f.dir / L"Vesko2.ini").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  REQUIRE(held != INVALID_HANDLE_VALUE);
  auto form = f.Create();
  CHECK(f.dialogs.errors.size() == 1);
  CHECK(IsWindowVisible(form->Handle()));  // the program still starts, with the defaults
  CloseHandle(held);
  f.Close(form);
  CHECK(ReadBytes(f.dir / L"Vesko2.ini") == "[Window]\r\nTop=7\r\n");
}

TEST_CASE("a settings file that cannot be written: reported once when first met, never a veto") {
  FormFixture f;
  WriteBytes(f.dir / L"Vesko2.ini", "[Window]\r\nTop=7\r\n");
  SetFileAttributesW((f.dir / L"Vesko2.ini").c_str(), FILE_ATTRIBUTE_READONLY);
  auto form = f.Create();
  const HWND window = form->Handle();
  // A logoff is never held up, and no box appears during one.
  CHECK(SendMessageW(window, WM_QUERYENDSESSION, 0, 0) == TRUE);
  CHECK(f.dialogs.errors.empty());
  SUBCASE("a command's change is written at once: its failure is shown then, and only then") {
    PressShortCut(window, kCtrl | 'T');  // into the notification area and back
    CHECK(f.dialogs.errors.size() == 1);
    PressShortCut(window, kCtrl | 'T');
    CHECK(f.dialogs.errors.size() == 1);
  }
  SUBCASE("nothing changed before: the close shows it") {}
  // 終了 from the menu: the program closes, with the failure shown once in all.
  OpenMenu(*form, "終了");
  CHECK(PumpUntil([&] { return !IsWindow(window); }, 3000));
  DrainQuit();
  CHECK(f.dialogs.errors.size() == 1);
  form.reset();
  SetFileAttributesW((f.dir / L"Vesko2.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
  CHECK(ReadBytes(f.dir / L"Vesko2.ini") == "[Window]\r\nTop=7\r\n");
}

TEST_CASE("a saved source that is gone is reported; the folder on the command line opens") {
  FormFixture f;
  CreateDirectoryW((f.dir / L"new").c_str(), nullptr);
  WriteBytes(f.dir / L"new\\a.bmp", MakeTestBmp(4, 3));
  WriteBytes(f.dir / L"Vesko2.ini",
             "[Load]\r\nPaperFolder=C:\\gone\r\n[History]\r\nCount=2000000000\r\n");
  auto form = f.Create({ToUtf8(f.dir / L"new")});
  CHECK(f.dialogs.errors.size() == 1);
  CHECK(IsWindowVisible(form->Handle()));
  CHECK(form->Settings.PaperFolder == ToUtf8(f.dir / L"new"));
  CHECK(form->Settings.PaperName == ToUtf8(f.dir / L"new\\a.bmp"));
  // The new source is in the settings file before the program closes (a kill loses nothing),
  // and so is the next one, handed over by a drop.
  CHECK(f.Ini().ReadString("Load", "PaperFolder", "") == ToUtf8(f.dir / L"new"));
  CHECK(f.Ini().ReadString("Load", "PaperName", "") == ToUtf8(f.dir / L"new\\a.bmp"));
  CreateDirectoryW((f.dir / L"next").c_str(), nullptr);
  WriteBytes(f.dir / L"next\\b.bmp", MakeTestBmp(4, 3));
  form->List.OpenPath(nullptr, ToUtf8(f.dir / L"next\\"));
  CHECK(f.Ini().ReadString("Load", "PaperFolder", "") == ToUtf8(f.dir / L"next"));
  CHECK(f.Ini().ReadString("Load", "PaperName", "") == ToUtf8(f.dir / L"next\\b.bmp"));
  f.Close(form);
}

TEST_CASE("values outside Shift-JIS survive a restart") {
  FormFixture f;
  const std::wstring folder = f.dir / L"café 사진";
  CreateDirectoryW(folder.c_str(), nullptr);
  WriteBytes(folder + L"\\a.bmp", MakeTestBmp(4, 3));
  WriteBytes(folder + L"\\b.bmp", MakeTestBmp(4, 3));
  auto form = f.Create({ToUtf8(folder)});
  form->List.MainListBox.ItemIndex = form->List.MainListBox.IndexOf(ToUtf8(folder + L"\\b.bmp"));
  REQUIRE(form->SetCurrentPicture());
  form->Settings.MessText = "今日は 😀";
  f.Close(form);
  CHECK(ReadBytes(f.dir / L"Vesko2.ini").rfind("\xEF\xBB\xBF[", 0) == 0);

  form = f.Create();
  CHECK(f.dialogs.errors.empty());
  CHECK(form->Settings.PaperFolder == ToUtf8(folder));
  CHECK(form->Settings.PaperName == ToUtf8(folder + L"\\b.bmp"));
  CHECK(form->List.MainListBox.Count() == 2);
  CHECK(form->Settings.MessText == "今日は 😀");
  CHECK(f.Ini().ReadString("History", "H0", "") == ToUtf8(folder));
  f.Close(form);
}

TEST_CASE("the hand-over message opens files and folders and survives bad payloads") {
  FormFixture f;
  CreateDirectoryW((f.dir / L"p").c_str(), nullptr);
  WriteBytes(f.dir / L"p\\a.jpg", MakeTestBmp(4, 3));
  WriteBytes(f.dir / L"p\\b.bmp", MakeTestBmp(4, 3));
  auto form = f.Create();

  auto send = [&](const void* data, DWORD size) {
    COPYDATASTRUCT cds{0, size, const_cast<void*>(data)};
    return SendMessageW(form->Handle(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
  };
  THandOverBuffer buffer = MakeHandOverBuffer(Utf8ToAnsi(ToUtf8(f.dir / L"p\\b.bmp")));
  CHECK(send(buffer.data(), 256) == 0);
  CHECK(form->Settings.PaperFolder == ToUtf8(f.dir / L"p"));
  CHECK(form->Settings.PaperName == ToUtf8(f.dir / L"p\\b.bmp"));

  std::string noNul(256, 'x');
  CHECK(send(noNul.data(), 256) == 0);
  CHECK(send(noNul.data(), 3) == 0);
  CHECK(send(nullptr, 0) == 0);
  buffer = MakeHandOverBuffer("/R");
  CHECK(send(buffer.data(), 256) == 0);
  CHECK(form->Settings.PaperFolder == ToUtf8(f.dir / L"p"));
  CHECK(f.dialogs.errors.empty());
  CHECK(IsWindow(form->Handle()));
  f.Close(form);
}

TEST_CASE("a list build shows the busy display and restores it") {
  FormFixture f;
  auto form = f.Create();
  f.application.SetTitle("something else");
  form->Settings.PaperFolder = ToUtf8(f.dir.Path());
  form->List.LoadPictureList();
  CHECK(f.application.Title() == "Vesko 2");

  // A vanished list file: the error reaches the caller and the title comes back.
  form->Settings.PaperFolder = ToUtf8(f.dir / L"gone.V2List");
  CHECK_THROWS(form->List.LoadPictureList());
  CHECK(f.application.Title() == "Vesko 2");
  f.Close(form);
}

TEST_CASE("the open-folder command runs its dialog with the window's tag set") {
  FormFixture f;
  CreateDirectoryW((f.dir / L"q").c_str(), nullptr);
  WriteBytes(f.dir / L"q\\z.ico", MakeTestBmp(4, 3));  // a BMP under another name
  auto form = f.Create();
  f.dialogs.answers = {ToUtf8(f.dir / L"q")};
  CHECK(form->OpenFolderAction.Execute());
  CHECK(form->Tag == 0);
  CHECK(f.dialogs.folderTitles == std::vector<std::string>{"フォルダを開く"});
  CHECK(form->Settings.PaperName == ToUtf8(f.dir / L"q\\z.ico"));

  form->ReloadFolderAction.Update();
  CHECK(form->ReloadFolderAction.Enabled);
  CHECK(form->ReloadFolderAction.Caption == "フォルダの再読込");
  f.Close(form);
}

namespace {

// Posts keys to the view window from another thread while the view runs its own loop.
struct TKeyScript {
  explicit TKeyScript(std::vector<wchar_t> k) : keys(std::move(k)) {}
  std::vector<wchar_t> keys;
  RECT viewRect{};
  bool sawWindow = false;
  std::thread worker;
  // Runs once the view is shown, before the keys.
  std::function<void(HWND)> onShown;

  void Start() {
    worker = std::thread([this] {
      HWND view = nullptr;
      for (int i = 0; i < 200 && view == nullptr; ++i) {
        view = FindWindowW(L"TViewModeForm", nullptr);
        if (view == nullptr || !IsWindowVisible(view)) {
          view = nullptr;
          Sleep(25);
        }
      }
      if (view == nullptr) return;
      sawWindow = true;
      GetWindowRect(view, &viewRect);
      if (onShown) onShown(view);
      for (wchar_t key : keys) {
        Sleep(60);
        PostMessageW(view, WM_CHAR, key, 0);
      }
    });
  }
  void Join() { worker.join(); }
};

}  // namespace

TEST_CASE("the view mode steps with Enter and Backspace, sets with Space, closes with Escape") {
  FormFixture f;
  CreateDirectoryW((f.dir / L"v").c_str(), nullptr);
  for (const wchar_t* name : {L"v\\1.bmp", L"v\\2.bmp", L"v\\3.bmp"}) {
    TDIBImage dib;
    dib.SetBitCount(24);
    dib.SetWidth(50);
    dib.SetHeight(40);
    dib.SaveToFile(ToUtf8(f.dir / name));
  }
  auto form = f.Create({ToUtf8(f.dir / L"v\\1.bmp")});
  REQUIRE(form->List.MainListBox.Count() == 3);
  form->ViewModeAction.Update();
  CHECK(form->ViewModeAction.Enabled);
  const std::string first = form->List.MainListBox.Items[0];
  const std::string second = form->List.MainListBox.Items[1];
  form->Settings.PaperName = "unchanged";
  {
    // Made to cover the screen, it stays hidden until its first picture is ready.
    TViewModeForm view(*form);
    CHECK_FALSE(IsWindowVisible(view.Handle()));
  }

  TKeyScript escape({27});
  escape.Start();
  form->ViewModeAction.Execute();
  escape.Join();
  CHECK(escape.sawWindow);
  CHECK(escape.viewRect.right - escape.viewRect.left == GetSystemMetrics(SM_CXSCREEN));
  CHECK(form->Settings.PaperName == "unchanged");
  CHECK(IsWindowEnabled(form->Handle()));

  form->Settings.ScreenX = 300;
  form->Settings.ScreenY = 200;
  form->IncomingBossAction.Tag = -1;
  TKeyScript walk({13, 13, 8, 32});
  walk.Start();
  form->ViewModeAction.Execute();
  walk.Join();
  CHECK(walk.viewRect.right - walk.viewRect.left == 300);
  CHECK(walk.viewRect.bottom - walk.viewRect.top == 200);
  CHECK(form->Settings.PaperName == second);  // 0, +1, +1, -1
  CHECK(form->List.MainListBox.Current() == second);
  CHECK(form->IncomingBossAction.Tag == 1);
  CHECK(f.dialogs.messages.empty());
  (void)first;
  f.Close(form);
}

TEST_CASE("the view mode centres the picture it draws, shrunk or not") {
  FormFixture f;
  // A folder each: the view shows its source's pictures.
  const struct {
    const wchar_t* name;
    int width, height;
  } pictures[] = {{L"v1\\portrait.bmp", 720, 1440},
                  {L"v2\\wide.bmp", 2560, 1440},
                  {L"v3\\small.bmp", 200, 100}};
  for (const auto& p : pictures) {
    CreateDirectoryW((f.dir / std::wstring(p.name).substr(0, 2)).c_str(), nullptr);
    WriteBytes(f.dir / p.name, MakeTestBmp(p.width, p.height, 255, 0, 0));
  }
  for (const auto& p : pictures) {
    CAPTURE(ToUtf8(p.name));
    auto form = f.Create({ToUtf8(f.dir / p.name)});
    form->Settings.ScreenX = 0;  // the whole screen
    RECT red{-1, -1, -1, -1};
    TKeyScript look({27});
    look.onShown = [&](HWND view) {
      RECT client{};
      GetClientRect(view, &client);
      HDC dc = GetDC(view);
      const int midX = client.right / 2;
      const int midY = client.bottom / 2;
      // Drawn once its picture is ready: the middle turns red.
      for (int i = 0; i < 200 && GetPixel(dc, midX, midY) != RGB(255, 0, 0); ++i) Sleep(25);
      const auto isRed = [&](int x, int y) { return GetPixel(dc, x, y) == RGB(255, 0, 0); };
      red.left = midX;
      while (red.left > 0 && isRed(red.left - 1, midY)) --red.left;
      red.right = midX;
      while (red.right < client.right && isRed(red.right, midY)) ++red.right;
      red.top = midY;
      while (red.top > 0 && isRed(midX, red.top - 1)) --red.top;
      red.bottom = midY;
      while (red.bottom < client.bottom && isRed(midX, red.bottom)) ++red.bottom;
      ReleaseDC(view, dc);
    };
    look.Start();
    form->ViewModeAction.Execute();
    look.Join();
    REQUIRE(look.sawWindow);
    const int w = look.viewRect.right - look.viewRect.left;
    const int h = look.viewRect.bottom - look.viewRect.top;
    // Equal margins on both sides, within a pixel of rounding.
    CAPTURE(red.left);
    CAPTURE(red.top);
    CHECK(red.right > red.left);
    CHECK(std::abs(red.left - (w - red.right)) <= 1);
    CHECK(std::abs(red.top - (h - red.bottom)) <= 1);
    CHECK(red.right - red.left <= w);
    f.Close(form);
  }
}

namespace {

COLORREF ScreenPixel(int x, int y) {
  HDC screen = GetDC(nullptr);
  const COLORREF c = GetPixel(screen, x, y);
  ReleaseDC(nullptr, screen);
  return c;
}

}  // namespace

TEST_CASE(
    "a change writes the wallpaper file, the origin and the tile mode, and the desktop shows it") {
  FormFixture f;
  CreateDirectoryW((f.dir / L"w").c_str(), nullptr);
  WriteBytes(f.dir / L"w\\red.bmp", MakeTestBmp(300, 200, 255, 0, 0));
  WriteFileAtomically(ToUtf8(f.dir / L"Vesko2.ini"), "[Load]\r\nTileCenterPosit=1\r\n");
  auto form = f.Create({ToUtf8(f.dir / L"w\\red.bmp")});
  const TRect work = WorkArea();
  CHECK(DesktopValue(L"WallpaperOriginX") == std::to_wstring((work.Right - work.Left - 300) / 2));
  CHECK(DesktopValue(L"WallpaperOriginY") == std::to_wstring((work.Bottom - work.Top - 200) / 2));
  CHECK(SameText(ToUtf8(DesktopValue(L"Wallpaper")), form->TmpPaperName));
  TDIBImage written;
  written.LoadFromFile(form->TmpPaperName);
  CHECK(written.Width() == 300);
  CHECK(written.BitCount() == 24);
  CHECK(form->PanelHint == "red.bmp");
  CHECK(form->TaskTray->TipString() == "Vesko 2 - red.bmp");
  CHECK(form->Image.Empty());

  // Tiled, the desktop is red wherever no window covers it.
  form->TileAction.Execute();
  CHECK(DesktopValue(L"TileWallpaper") == L"1");
  PumpUntil([] { return ScreenPixel(700, 500) == RGB(255, 0, 0); }, 3000);
  CHECK(ScreenPixel(700, 500) == RGB(255, 0, 0));
  form->WideAction.Execute();
  CHECK(DesktopValue(L"TileWallpaper") == L"2");

  // "壁紙無し" removes the wallpaper and leaves the file and the origin values.
  form->NotWallpaperAction.Execute();
  CHECK(DesktopValue(L"Wallpaper").empty());
  CHECK(Exists(ToWide(form->TmpPaperName)));
  CHECK(DesktopValue(L"WallpaperOriginX") == std::to_wstring((work.Right - work.Left - 300) / 2));
  CHECK(form->TaskTray->TipString() == "Vesko 2 - red.bmp");
  f.Close(form);
}

TEST_CASE("big pictures are fitted to the desktop; the message is drawn with its shadow") {
  FormFixture f;
  CreateDirectoryW((f.dir / L"w").c_str(), nullptr);
  WriteBytes(f.dir / L"w\\wide.bmp", MakeTestBmp(4000, 1000, 255, 255, 255));
  WriteFileAtomically(ToUtf8(f.dir / L"Vesko2.ini"),
                      Utf8ToAnsi("[Window]\r\nLeft=900\r\nTop=600\r\n"
                                 "[Load]\r\nReSize=1\r\nSetMess=1\r\n[Mess]\r\nAddShadow=1\r\n"
                                 "ShadowColor=16711680\r\nMessText=■■ $FileName\r\n"
                                 "[MessFont]\r\nColor=clRed\r\nHeight=-24\r\nSize=18\r\n"));
  auto form = f.Create({ToUtf8(f.dir / L"w\\wide.bmp")});
  TBitmap written;
  written.LoadFromFile(form->TmpPaperName);
  const TRect desktop = VirtualDesktop();
  CHECK(written.Width() == desktop.Right - desktop.Left);
  CHECK(written.Height() == (desktop.Right - desktop.Left) / 4);
  CHECK(form->LastMessage == "■■ wide.bmp");

  // Text pixels are red; the shadow (blue) shows one right and one down of the text's edge.
  int red = 0;
  int blue = 0;
  int shadowBelowText = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 200; ++x) {
      const TRGBQuad c = written.GetPixel(x, y);
      if (c.Red == 255 && c.Green == 0 && c.Blue == 0) ++red;
      if (c.Red == 0 && c.Green == 0 && c.Blue == 255) {
        ++blue;
        const TRGBQuad up = written.GetPixel(x - 1, y - 1);
        if (up.Red == 255 && up.Blue == 0) ++shadowBelowText;
      }
    }
  }
  CHECK(red > 50);
  CHECK(blue > 10);
  CHECK(shadowBelowText == blue);  // every shadow pixel has text one up and one left

  // On the desktop itself (tiled from its top-left corner), the message is there too.
  form->TileAction.Execute();
  auto messageOnScreen = [] {
    int onScreen = 0;
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 200; ++x) {
        if (ScreenPixel(x, y) == RGB(255, 0, 0)) ++onScreen;
      }
    }
    return onScreen;
  };
  PumpUntil([&] { return messageOnScreen() > 50; }, 3000);
  CHECK(messageOnScreen() == red);
  f.Close(form);
}

namespace {

// A 24-bit BMP in four parts split at (splitX, splitY), the middle by default: red top left,
// green top right, blue bottom left, white bottom right.
COLORREF QuarterColor(int x, int y, int splitX, int splitY) {
  const bool right = x >= splitX;
  const bool bottom = y >= splitY;
  return RGB(right == bottom ? 255 : 0, right ? 255 : 0, bottom ? 255 : 0);
}

std::string MakeQuarterBmp(int width, int height, int splitX = -1, int splitY = -1) {
  if (splitX < 0) splitX = width / 2;
  if (splitY < 0) splitY = height / 2;
  const int stride = (width * 3 + 3) & ~3;
  std::string bmp(54 + static_cast<size_t>(stride) * height, '\0');
  auto put32 = [&bmp](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<char>(v >> (8 * i));
  };
  bmp[0] = 'B';
  bmp[1] = 'M';
  put32(2, static_cast<uint32_t>(bmp.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  bmp[26] = 1;
  bmp[28] = 24;
  for (int y = 0; y < height; ++y) {
    const int top = height - 1 - y;  // rows are stored bottom first
    char* row = &bmp[54 + static_cast<size_t>(stride) * y];
    for (int x = 0; x < width; ++x) {
      const COLORREF c = QuarterColor(x, top, splitX, splitY);
      row[x * 3] = static_cast<char>(GetBValue(c));
      row[x * 3 + 1] = static_cast<char>(GetGValue(c));
      row[x * 3 + 2] = static_cast<char>(GetRValue(c));
    }
  }
  return bmp;
}

COLORREF WrittenPixel(const TBitmap& bitmap, int x, int y) {
  const TRGBQuad c = bitmap.GetPixel(x, y);
  return RGB(c.Red, c.Green, c.Blue);
}

}  // namespace

TEST_CASE("fill and fit from their keys: a screen-sized wallpaper, made again by every mode") {
  FormFixture f;
  CreateDirectoryW((f.dir / L"w").c_str(), nullptr);
  WriteBytes(f.dir / L"w\\tall.bmp", MakeQuarterBmp(600, 1600));
  WriteFileAtomically(ToUtf8(f.dir / L"Vesko2.ini"), "[Load]\r\nReSize=0\r\n");
  auto form = f.Create({ToUtf8(f.dir / L"w\\tall.bmp")});
  const TRect desktop = VirtualDesktop();
  const int sw = desktop.Right - desktop.Left;
  const int sh = desktop.Bottom - desktop.Top;
  auto written = [&] {
    TBitmap bitmap;
    bitmap.LoadFromFile(form->TmpPaperName);
    return bitmap;
  };
  PressShortCut(form->Handle(), 'R');
  CHECK(form->Settings.FitMode == 1);
  TBitmap fill = written();
  REQUIRE(fill.Width() == sw);
  REQUIRE(fill.Height() == sh);
  // The portrait picture covers the landscape screen: its middle rows, left half red above
  // blue, right half green above white.
  CHECK(WrittenPixel(fill, 5, 5) == RGB(255, 0, 0));
  CHECK(WrittenPixel(fill, sw - 5, 5) == RGB(0, 255, 0));
  CHECK(WrittenPixel(fill, 5, sh - 5) == RGB(0, 0, 255));
  CHECK(WrittenPixel(fill, sw - 5, sh - 5) == RGB(255, 255, 255));
  std::vector<std::string> menu = OpenMenu(*form);
  CHECK(std::find(menu.begin(), menu.end(), "  塗りつぶし\tR [check]") != menu.end());

  PressShortCut(form->Handle(), 'P');
  CHECK(form->Settings.FitMode == 2);
  TBitmap fit = written();
  REQUIRE(fit.Width() == sw);
  REQUIRE(fit.Height() == sh);
  const COLORREF backRgb = GetSysColor(COLOR_DESKTOP);
  CHECK(WrittenPixel(fit, 2, sh / 2) == backRgb);  // the sides are the desktop's colour
  CHECK(WrittenPixel(fit, sw - 3, sh / 2) == backRgb);
  const int shown = (600 * sh + 800) / 1600;  // the whole height, the width in proportion
  CHECK(WrittenPixel(fit, (sw - shown) / 2 + 3, 3) == RGB(255, 0, 0));
  CHECK(WrittenPixel(fit, (sw + shown) / 2 - 3, sh - 3) == RGB(255, 255, 255));

  // Centre again: the program's scaling ends and the picture is written as the desktop shows
  // it, its middle part.
  PressShortCut(form->Handle(), 'C');
  CHECK(form->Settings.FitMode == 0);
  CHECK(DesktopValue(L"TileWallpaper") == L"0");
  TBitmap centre = written();
  CHECK(centre.Width() == 600);
  CHECK(centre.Height() == std::min(1600, sh));
  f.Close(form);
  CHECK(f.Ini().ReadInteger("Load", "FitMode", -1) == 0);
}

TEST_CASE("a picture larger than the screen is written as large as the desktop shows it") {
  FormFixture f;
  CreateDirectoryW((f.dir / L"w").c_str(), nullptr);
  // Four parts meeting both inside the screen's top-left and in the picture's middle.
  WriteBytes(f.dir / L"w\\big.bmp", MakeQuarterBmp(3000, 2000, 640, 400));
  WriteFileAtomically(ToUtf8(f.dir / L"Vesko2.ini"), "[Load]\r\nReSize=0\r\n");
  const TRect desktop = VirtualDesktop();
  const int sw = desktop.Right - desktop.Left;
  const int sh = desktop.Bottom - desktop.Top;
  // What the desktop shows of the whole picture in centre mode, away from the window.
  const POINT points[] = {{300, 300}, {1000, 300}, {300, 700}, {1000, 700}, {640, 450}};
  auto screen = [&points] {
    std::vector<COLORREF> colours;
    for (const POINT& p : points) colours.push_back(ScreenPixel(p.x, p.y));
    return colours;
  };
  WriteTileMode(0);
  const bool centres = DesktopCentresLargePictures();
  const TRect shown = VisiblePart(3000, 2000, sw, sh, !centres);
  std::vector<COLORREF> expected;
  for (const POINT& p : points)
    expected.push_back(QuarterColor(shown.Left + p.x, shown.Top + p.y, 640, 400));
  SetDesktopWallpaper(ToUtf8(f.dir / L"w\\big.bmp"));
  CHECK(PumpUntil([&] { return screen() == expected; }, 5000));
  SetDesktopWallpaper("");
  PumpUntil([&] { return screen() != expected; }, 5000);

  // The program writes only that part, and the screen looks the same.
  auto form = f.Create({ToUtf8(f.dir / L"w\\big.bmp")});
  CHECK(PumpUntil([&] { return screen() == expected; }, 5000));
  TBitmap centre;
  centre.LoadFromFile(form->TmpPaperName);
  REQUIRE(centre.Width() == sw);
  REQUIRE(centre.Height() == sh);
  for (const auto& [x, y] :
       {std::pair{0, 0}, std::pair{sw - 1, 0}, std::pair{0, sh - 1}, std::pair{sw - 1, sh - 1}}) {
    CHECK(WrittenPixel(centre, x, y) == QuarterColor(shown.Left + x, shown.Top + y, 640, 400));
  }
  // Tiled from the top-left corner: the top-left part, whatever the system.
  PressShortCut(form->Handle(), 'T');
  TBitmap tiled;
  tiled.LoadFromFile(form->TmpPaperName);
  REQUIRE(tiled.Width() == sw);
  CHECK(WrittenPixel(tiled, sw - 1, sh - 1) == RGB(255, 255, 255));
  CHECK(WrittenPixel(tiled, 0, 0) == RGB(255, 0, 0));
  // Wide: the desktop stretches the whole picture.
  PressShortCut(form->Handle(), 'W');
  TBitmap wide;
  wide.LoadFromFile(form->TmpPaperName);
  CHECK(wide.Width() == 3000);
  f.Close(form);
}

namespace {

// Stands in for the system's wallpaper per monitor: knows the monitors it is given and records
// every wallpaper set.
class TRecordingMonitorWallpaper final : public IMonitorWallpaper {
 public:
  explicit TRecordingMonitorWallpaper(std::vector<std::pair<std::wstring, TRect>> monitors,
                                      std::vector<std::pair<std::wstring, std::wstring>>& calls)
      : monitors_(std::move(monitors)), calls_(calls) {}
  std::vector<std::pair<std::wstring, TRect>> Monitors() override { return monitors_; }
  // As the system does: the position goes into the desktop's values.
  bool SetFillPosition() override {
    calls_.emplace_back(L"position", L"fill");
    SetDesktopValue(L"WallpaperStyle", L"10");
    SetDesktopValue(L"TileWallpaper", L"0");
    return true;
  }
  bool SetWallpaper(const std::wstring& id, const std::wstring& path) override {
    calls_.emplace_back(id, path);
    return true;
  }

 private:
  std::vector<std::pair<std::wstring, TRect>> monitors_;
  std::vector<std::pair<std::wstring, std::wstring>>& calls_;
};

TMonitor MadeUpMonitor(int left, int top, int width, int height, bool primary) {
  TMonitor m;
  m.Bounds = TRect{left, top, left + width, top + height};
  m.WorkArea = m.Bounds;
  m.Primary = primary;
  return m;
}

// A folder of four: landscape a (red), b (green), portrait c (blue), landscape d (white).
void MakeMonitorFolder(FormFixture& f) {
  CreateDirectoryW((f.dir / L"m").c_str(), nullptr);
  WriteBytes(f.dir / L"m\\a.bmp", MakeTestBmp(64, 40, 255, 0, 0));
  WriteBytes(f.dir / L"m\\b.bmp", MakeTestBmp(64, 40, 0, 255, 0));
  WriteBytes(f.dir / L"m\\c.bmp", MakeTestBmp(40, 64, 0, 0, 255));
  WriteBytes(f.dir / L"m\\d.bmp", MakeTestBmp(64, 40, 255, 255, 255));
}

}  // namespace

TEST_CASE(
    "one monitor, a picture per monitor on: the system has none under Wine, and the "
    "bitmap tiled over the desktop is today's wallpaper") {
  CHECK(OpenMonitorWallpaper() == nullptr);  // REGDB_E_CLASSNOTREG: the fallback is taken
  FormFixture f;
  CreateDirectoryW((f.dir / L"w").c_str(), nullptr);
  WriteBytes(f.dir / L"w\\tall.bmp", MakeQuarterBmp(600, 1600));
  const std::wstring ini = f.dir / L"Vesko2.ini";
  // Filled: the same bytes either way.
  WriteFileAtomically(ToUtf8(ini), "[Load]\r\nFitMode=1\r\n");
  auto today = f.Create({ToUtf8(f.dir / L"w\\tall.bmp")});
  const std::string single = ReadBytes(ToWide(today->TmpPaperName));
  f.Close(today);
  WriteFileAtomically(ToUtf8(ini), "[Load]\r\nFitMode=1\r\nPerMonitor=1\r\n");
  auto form = f.Create({ToUtf8(f.dir / L"w\\tall.bmp")});
  REQUIRE(form->Monitors.size() == 1);
  CHECK(ReadBytes(ToWide(form->TmpPaperName)) == single);
  CHECK(DesktopValue(L"TileWallpaper") == L"1");
  // Centred by the program instead of the desktop: the screen looks the same.
  PressShortCut(form->Handle(), 'C');
  CHECK(form->Settings.MonitorTileMode == 0);
  const POINT points[] = {{300, 300}, {1000, 300}, {640, 700}, {1200, 100}};
  const TRect desktop = VirtualDesktop();
  const int sw = desktop.Right - desktop.Left;
  const int sh = desktop.Bottom - desktop.Top;
  std::vector<COLORREF> expected;
  for (const POINT& p : points) {
    const int x = p.x - (sw - 600) / 2;
    const int y = p.y + (1600 - sh) / 2;
    expected.push_back(x < 0 || x >= 600 ? GetSysColor(COLOR_DESKTOP)
                                         : QuarterColor(x, y, 300, 800));
  }
  auto screen = [&points] {
    std::vector<COLORREF> colours;
    for (const POINT& p : points) colours.push_back(ScreenPixel(p.x, p.y));
    return colours;
  };
  CHECK(PumpUntil([&] { return screen() == expected; }, 5000));
  f.Close(form);
}

TEST_CASE("a display change makes the wallpaper again once the layout settles") {
  FormFixture f;
  CreateDirectoryW((f.dir / L"d").c_str(), nullptr);
  WriteBytes(f.dir / L"d\\a.bmp", MakeTestBmp(40, 30, 0, 0, 255));
  auto form = f.Create({ToUtf8(f.dir / L"d\\a.bmp")});
  const std::wstring wallpaper = ToWide(form->TmpPaperName);
  REQUIRE(Exists(wallpaper));
  DeleteFileW(wallpaper.c_str());
  // A monitor plugged in: the system sends the change (often more than once).
  int reads = 0;
  form->ReadMonitors = [&] {
    ++reads;
    return ReadMonitorLayout();
  };
  SendMessageW(form->Handle(), WM_DISPLAYCHANGE, 24, MAKELPARAM(1280, 800));
  SendMessageW(form->Handle(), WM_DISPLAYCHANGE, 24, MAKELPARAM(1280, 800));
  CHECK(reads == 2);
  CHECK(PumpUntil([&] { return Exists(wallpaper); }, 15000));
  CHECK(form->Settings.PaperName == ToUtf8(f.dir / L"d\\a.bmp"));
  // An exclusive full-screen game changes the display mode as it starts: the remake waits
  // until it is over, so as not to make the game stutter.
  form->Settings.WaitWhileBusy = true;
  TSystemState system{3, false};
  form->SystemState = [&] { return system; };
  DeleteFileW(wallpaper.c_str());
  SendMessageW(form->Handle(), WM_DISPLAYCHANGE, 24, MAKELPARAM(640, 480));
  PumpUntil([&] { return Exists(wallpaper); }, 4000);  // over twice the settling time
  CHECK_FALSE(Exists(wallpaper));
  system = TSystemState{5, false};
  CHECK(PumpUntil([&] { return Exists(wallpaper); }, 15000));
  f.Close(form);
}

TEST_CASE("monitors of a made-up layout: the system's wallpaper per monitor, or one bitmap") {
  FormFixture f;
  MakeMonitorFolder(f);
  WriteFileAtomically(ToUtf8(f.dir / L"Vesko2.ini"), "[Load]\r\nPerMonitor=1\r\nFitMode=1\r\n");
  auto form = f.Create();
  // A primary of 320 x 200 and an upright one of 100 x 160 left of it.
  form->ReadMonitors = [] {
    return TMonitorLayout{MadeUpMonitor(0, 0, 320, 200, true),
                          MadeUpMonitor(-100, -30, 100, 160, false)};
  };
  SendMessageW(form->Handle(), WM_DISPLAYCHANGE, 24, MAKELPARAM(320, 200));
  REQUIRE(form->Monitors.size() == 2);
  std::vector<std::pair<std::wstring, std::wstring>> calls;
  form->OpenSystemWallpaper = [&calls]() -> std::unique_ptr<IMonitorWallpaper> {
    return std::make_unique<TRecordingMonitorWallpaper>(
        std::vector<std::pair<std::wstring, TRect>>{{L"left", TRect{-100, -30, 0, 130}},
                                                    {L"main", TRect{0, 0, 320, 200}}},
        calls);
  };
  f.dialogs.answers.push_back(ToUtf8(f.dir / L"m"));
  PressShortCut(form->Handle(), 'D');
  REQUIRE(calls.size() == 3);
  // From the folder's first picture.
  calls.clear();
  auto& box = form->List.MainListBox;
  box.ItemIndex = box.IndexOf(ToUtf8(f.dir / L"m\\a.bmp"));
  REQUIRE(form->SetCurrentPicture());
  const std::string first = ExtractFileName(form->Settings.PaperName);
  REQUIRE(calls.size() == 3);
  CHECK(calls[0].first == L"position");
  CHECK(calls[1].first == L"main");
  CHECK(calls[2].first == L"left");
  TBitmap main;
  main.LoadFromFile(ToUtf8(calls[1].second));
  TBitmap left;
  left.LoadFromFile(ToUtf8(calls[2].second));
  CHECK(main.Width() == 320);
  CHECK(main.Height() == 200);
  CHECK(left.Width() == 100);
  CHECK(left.Height() == 160);
  // The folder's first picture on the primary, the upright one of the next two on the upright
  // monitor, though a landscape one came first.
  CHECK(first == "a.bmp");
  CHECK(WrittenPixel(main, 160, 100) == RGB(255, 0, 0));
  CHECK(WrittenPixel(left, 50, 80) == RGB(0, 0, 255));
  // A step passes every picture shown: from a with c beside it, b was shown on no monitor, so
  // the next change starts at b.
  calls.clear();
  PressShortCut(form->Handle(), kKeyReturn);
  CHECK(ExtractFileName(form->Settings.PaperName) == "b.bmp");

  // Without the system's wallpaper per monitor: one bitmap as large as both, tiled.
  form->OpenSystemWallpaper = [] { return std::unique_ptr<IMonitorWallpaper>(); };
  PressShortCut(form->Handle(), kKeyBack);
  CHECK(ExtractFileName(form->Settings.PaperName) == "a.bmp");
  TBitmap span;
  span.LoadFromFile(form->TmpPaperName);
  REQUIRE(span.Width() == 420);
  REQUIRE(span.Height() == 230);
  CHECK(DesktopValue(L"TileWallpaper") == L"1");
  CHECK(DesktopValue(L"WallpaperOriginX") == L"0");
  // The left monitor (x -100, y -30) wraps to the right end and the bottom rows.
  CHECK(WrittenPixel(span, 160, 100) == RGB(255, 0, 0));
  CHECK(WrittenPixel(span, 420 - 50, 230 - 30 + 10) == RGB(0, 0, 255));
  CHECK(WrittenPixel(span, 420 - 50, 100) == RGB(0, 0, 255));
  f.Close(form);
}

TEST_CASE("a picture per monitor turned on and off gives the desktop its own display mode back") {
  FormFixture f;
  MakeMonitorFolder(f);
  // The user's desktop fits its wallpaper (style 6, not tiled).
  SetDesktopValue(L"WallpaperStyle", L"6");
  SetDesktopValue(L"TileWallpaper", L"0");
  auto form = f.Create();
  form->ReadMonitors = [] {
    return TMonitorLayout{MadeUpMonitor(0, 0, 320, 200, true),
                          MadeUpMonitor(320, 0, 320, 200, false)};
  };
  SendMessageW(form->Handle(), WM_DISPLAYCHANGE, 24, MAKELPARAM(640, 200));
  std::vector<std::pair<std::wstring, std::wstring>> calls;
  form->OpenSystemWallpaper = [&calls]() -> std::unique_ptr<IMonitorWallpaper> {
    return std::make_unique<TRecordingMonitorWallpaper>(
        std::vector<std::pair<std::wstring, TRect>>{{L"one", TRect{0, 0, 320, 200}},
                                                    {L"two", TRect{320, 0, 640, 200}}},
        calls);
  };
  f.dialogs.answers.push_back(ToUtf8(f.dir / L"m"));
  PressShortCut(form->Handle(), 'D');
  REQUIRE(calls.empty());
  auto toggle = [&] {
    TDriveForm<TOptionsForm> drive([](TOptionsForm& dialog) {
      SendMessageW(dialog.Control("PerMonitor"), BM_CLICK, 0, 0);
      PostMessageW(dialog.Control("PerMonitor"), WM_KEYDOWN, VK_RETURN, 0);
    });
    form->OptionAction.Execute();
    REQUIRE(drive.shown == 1);
  };
  toggle();
  REQUIRE(form->Settings.PerMonitor);
  REQUIRE(calls.size() == 3);
  CHECK(calls[0] == std::make_pair(std::wstring(L"position"), std::wstring(L"fill")));
  CHECK(DesktopValue(L"WallpaperStyle") == L"10");
  // The boss picture alone shows in the desktop's own mode.
  WriteBytes(f.dir / L"boss.bmp", MakeTestBmp(8, 8, 1, 2, 3));
  form->Settings.IncomingBossFileName = ToUtf8(f.dir / L"boss.bmp");
  form->IncomingBossAction.Execute();
  CHECK(DesktopValue(L"WallpaperStyle") == L"6");
  form->IncomingBossAction.Execute();
  CHECK(DesktopValue(L"WallpaperStyle") == L"10");
  // Off: the style and the tiling are the user's again, also after a restart in between.
  f.Close(form);
  form = f.Create();
  toggle();
  REQUIRE_FALSE(form->Settings.PerMonitor);
  CHECK(DesktopValue(L"WallpaperStyle") == L"6");
  CHECK(DesktopValue(L"TileWallpaper") == L"0");
  f.Close(form);
  SetDesktopValue(L"WallpaperStyle", L"0");
}

TEST_CASE("a start without a source explains the panel in a balloon, until a folder is chosen") {
  FormFixture f;
  auto form = f.Create();
  // The balloon: a tooltip window of the panel's, visible.
  auto balloonShown = [&] {
    HWND w = form->Welcome ? form->Welcome->Handle() : nullptr;
    return w != nullptr && IsWindowVisible(w) && (GetWindowLongW(w, GWL_STYLE) & TTS_BALLOON) != 0;
  };
  REQUIRE(PumpUntil(balloonShown, 5000));
  HWND balloon = form->Welcome->Handle();
  wchar_t cls[64] = {};
  GetClassNameW(balloon, cls, 64);
  CHECK(lstrcmpiW(cls, TOOLTIPS_CLASSW) == 0);
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  wchar_t text[512] = {};
  tool.lpszText = text;
  REQUIRE(SendMessageW(balloon, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool)));
  CHECK(std::wstring(text) == TWelcomeBalloon::kText);
  RECT panel{};
  RECT tip{};
  GetWindowRect(form->Handle(), &panel);
  GetWindowRect(balloon, &tip);
  CHECK(tip.top >= panel.bottom - 2);  // below the panel, pointing at it

  // Into the notification area the balloon goes with the panel; back out, it is not shown again.
  PressShortCut(form->Handle(), kCtrl | 'T');
  CHECK_FALSE(IsWindow(balloon));
  PressShortCut(form->Handle(), kCtrl | 'T');
  CHECK(form->Welcome == nullptr);
  f.Close(form);
  form = f.Create();
  REQUIRE(PumpUntil(balloonShown, 5000));
  balloon = form->Welcome->Handle();

  // The folder chosen through ▶ (the folder dialog of an empty list): the balloon goes.
  CreateDirectoryW((f.dir / L"p").c_str(), nullptr);
  WriteBytes(f.dir / L"p\\a.bmp", MakeTestBmp(8, 8));
  f.dialogs.answers.push_back(ToUtf8(f.dir / L"p"));
  PressShortCut(form->Handle(), kKeyReturn);
  CHECK(form->Settings.PaperName == ToUtf8(f.dir / L"p\\a.bmp"));
  CHECK_FALSE(IsWindow(balloon));
  CHECK(form->Welcome == nullptr);
  f.Close(form);
  // With a source, a start says nothing.
  form = f.Create();
  CHECK(form->Welcome == nullptr);
  f.Close(form);
}

TEST_CASE("a picture of one palette colour takes the message in the message's own colour") {
  FormFixture f;
  CreateDirectoryW((f.dir / L"p").c_str(), nullptr);
  // A 1-bit BMP whose two palette entries are both blue.
  std::string bmp = "BM";
  auto put = [&bmp](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) bmp += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  const int width = 320;
  const int height = 200;
  const int stride = ((width + 31) / 32) * 4;
  put(14 + 40 + 8 + stride * height, 4);
  put(0, 4);
  put(14 + 40 + 8, 4);
  put(40, 4), put(width, 4), put(height, 4), put(1, 2), put(1, 2), put(0, 4), put(0, 4);
  put(0, 4), put(0, 4), put(2, 4), put(0, 4);
  put(0x000000FF, 4), put(0x000000FF, 4);  // blue, blue
  bmp += std::string(static_cast<size_t>(stride) * height, '\0');
  WriteBytes(f.dir / L"p\\blue1.bmp", bmp);
  WriteFileAtomically(ToUtf8(f.dir / L"Vesko2.ini"),
                      Utf8ToAnsi("[Load]\r\nSetMess=1\r\n[Mess]\r\nMessText=ABC\r\n"
                                 "[MessFont]\r\nColor=clBlack\r\nHeight=-24\r\nSize=18\r\n"));
  auto form = f.Create({ToUtf8(f.dir / L"p\\blue1.bmp")});
  TBitmap written;
  written.LoadFromFile(form->TmpPaperName);
  int black = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 60; ++x) {
      const TRGBQuad c = written.GetPixel(x, y);
      if (c.Red == 0 && c.Green == 0 && c.Blue == 0) ++black;
    }
  }
  CHECK(black > 30);
  const TRGBQuad corner = written.GetPixel(width - 1, height - 1);
  CHECK((corner.Red == 0 && corner.Green == 0 && corner.Blue == 255));
  f.Close(form);
}

TEST_CASE("message file sections rotate across changes; an unreadable file stops the change") {
  FormFixture f;
  CreateDirectoryW((f.dir / L"w").c_str(), nullptr);
  WriteBytes(f.dir / L"w\\a.bmp", MakeTestBmp(20, 10));
  WriteBytes(f.dir / L"Vesko2.mes", Utf8ToAnsi("a\r\n--\r\nb\r\nc\r\n--\r\nd\r\n"));
  WriteFileAtomically(ToUtf8(f.dir / L"Vesko2.ini"),
                      "[Load]\r\nSetMess=1\r\n[Mess]\r\nSepString=--\r\nSepIndex=0\r\n");
  auto form = f.Create({ToUtf8(f.dir / L"w\\a.bmp")});
  CHECK(form->LastMessage == "d\r\n");
  CHECK(form->SeparatorCount == 2);
  CHECK(form->SetCurrentPicture());
  CHECK(form->LastMessage == "b\r\nc\r\n");

  const std::string before = ReadBytes(ToWide(form->TmpPaperName));
  HANDLE held = CreateFileW((f.dir / L"Vesko2.mes").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  CHECK_THROWS_AS(form->SetCurrentPicture(), EFOpenError);
  CloseHandle(held);
  CHECK(ReadBytes(ToWide(form->TmpPaperName)) == before);
  f.Close(form);
  CHECK(f.Ini().ReadInteger("Mess", "SepIndex", -1) == 0);

  // Saved by Notepad as UTF-8 without a byte-order mark: the message reads as written.
  WriteBytes(f.dir / L"Vesko2.mes", "壁紙 café\r\n二行目\r\n");
  WriteFileAtomically(ToUtf8(f.dir / L"Vesko2.ini"), "[Load]\r\nSetMess=1\r\n");
  form = f.Create({ToUtf8(f.dir / L"w\\a.bmp")});
  CHECK(form->LastMessage == "壁紙 café\r\n二行目\r\n");
  f.Close(form);
}

namespace {

// A form over a folder of one-colour pictures a.bmp, b.bmp, c.bmp (plus what the test adds).
struct CycleFixture : FormFixture {
  std::unique_ptr<TVesko2MainForm> form;

  explicit CycleFixture(bool unreadableB = false, const std::string& ini = "") {
    CreateDirectoryW((dir / L"c").c_str(), nullptr);
    WriteBytes(dir / L"c\\a.bmp", MakeTestBmp(6, 4, 255, 0, 0));
    WriteBytes(dir / L"c\\b.bmp",
               unreadableB ? std::string("broken") : MakeTestBmp(6, 4, 0, 255, 0));
    WriteBytes(dir / L"c\\c.bmp", MakeTestBmp(6, 4, 0, 0, 255));
    if (!ini.empty()) WriteFileAtomically(ToUtf8(dir / L"Vesko2.ini"), ini);
    SetCurrentDirectoryW(dir.Path().c_str());
    TMainFormEnv env{application,
                     dialogs,
                     {ToUtf8(dir / L"c")},
                     ToUtf8(dir / L"Vesko2.exe"),
                     ToUtf8(dir.Path())};
    env.Keyboard = &keys;
    form = std::make_unique<TVesko2MainForm>(std::move(env));
  }
  ~CycleFixture() {
    if (form) Close(form);
  }
  std::string Current() { return ExtractFileNameOf(form->Settings.PaperName); }
  void MoveTo(const char* name) {
    auto& box = form->List.MainListBox;
    box.ItemIndex = box.IndexOf(ToUtf8(dir / L"c\\") + name);
    REQUIRE(form->SetCurrentPicture());
  }
  static std::string ExtractFileNameOf(const std::string& path) {
    return path.substr(path.rfind('\\') + 1);
  }
};

}  // namespace

TEST_CASE("next and previous wrap around, from the buttons' commands and the context menu") {
  CycleFixture f;
  REQUIRE(f.form->List.MainListBox.Count() == 3);
  std::vector<std::string> order;
  for (const auto& item : f.form->List.MainListBox.Items)
    order.push_back(CycleFixture::ExtractFileNameOf(item));
  f.MoveTo(order.back().c_str());
  f.form->NextAction.Execute();
  CHECK(f.Current() == order[0]);
  f.form->PreAction.Execute();
  CHECK(f.Current() == order.back());
  CHECK(f.form->List.RandomListBox.Current() == std::to_string(f.form->List.MainListBox.ItemIndex));

  // The menu's 操作 → "次へ" steps forward and "前へ" back, chosen in the menu Windows shows.
  OpenMenu(*f.form, "次へ");
  CHECK(f.Current() == order[0]);
  OpenMenu(*f.form, "前へ");
  CHECK(f.Current() == order.back());

  // A quick pair of clicks on ▶ is two steps, on ◀ two back; with a message drawn, no box.
  f.form->LastMessage = "今日の言葉";
  const HWND window = f.form->Handle();
  for (const UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
    SendMessageW(window, message, 0, MAKELPARAM(32, 21));
  CHECK(f.Current() == order[1]);
  for (const UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
    SendMessageW(window, message, 0, MAKELPARAM(12, 21));
  CHECK(f.Current() == order.back());
  CHECK(f.dialogs.messages.empty());
}

TEST_CASE("a large picture's memory goes back once its preview or the view mode has closed") {
  CycleFixture f;
  f.MoveTo("a.bmp");
  // A 3000 × 2500 photo: 22 MB of pixels, as a section the program keeps for quick changes.
  WriteBytes(f.dir / L"c\\b.bmp", MakeTestBmp(3000, 2500, 0, 255, 0));
  auto settled = [](size_t baseline) {
    return PumpUntil([&] { return CommittedPrivateBytes() < baseline + (size_t{8} << 20); }, 10000);
  };
  ReleaseCachedPixelMemory();  // what the small change's own release will give back
  const size_t baseline = CommittedPrivateBytes();
  // Ctrl+click on ▶ previews b.
  f.keys.ctrl = true;
  const HWND window = f.form->Handle();
  for (const UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP})
    SendMessageW(window, message, MK_CONTROL, MAKELPARAM(32, 21));
  f.keys = THeldKeys{};
  REQUIRE(FindWindowW(L"THintImageForm", nullptr) != nullptr);
  CHECK(f.Current() == "a.bmp");
  CHECK(settled(baseline));
  CHECK(FindWindowW(L"THintImageForm", nullptr) == nullptr);

  // The view mode, which starts at the list's first entry, on a photo as large, closed with
  // Escape.
  WriteBytes(f.dir / L"c\\a.bmp", MakeTestBmp(3000, 2500, 255, 0, 0));
  TKeyScript escape({27});
  escape.Start();
  f.form->ViewModeAction.Execute();
  escape.Join();
  REQUIRE(escape.sawWindow);
  CHECK(settled(baseline));
}

TEST_CASE("an unreadable entry is skipped in the direction of travel") {
  CycleFixture f(true);
  auto& box = f.form->List.MainListBox;
  const int b = box.IndexOf(ToUtf8(f.dir / L"c\\b.bmp"));
  const int before = StepIndex(box.Count(), b, false);
  const int after = StepIndex(box.Count(), b, true);
  // From just after b, back: b fails and the step goes on backward, past it.
  f.MoveTo(CycleFixture::ExtractFileNameOf(box.Items[static_cast<size_t>(after)]).c_str());
  f.form->PreAction.Execute();
  CHECK(box.ItemIndex == before);
  // From just before b, forward: past it forward.
  f.form->NextAction.Execute();
  CHECK(box.ItemIndex == after);
  CHECK(f.dialogs.messages.empty());
}

TEST_CASE("JPEGs whose data fails after a good header are skipped silently, at start too") {
  FormFixture f;
  CreateDirectoryW((f.dir / L"j").c_str(), nullptr);
  WriteBytes(f.dir / L"j\\a.bmp", MakeTestBmp(6, 4, 255, 0, 0));
  WriteBytes(f.dir / L"j\\d.bmp", MakeTestBmp(6, 4, 0, 0, 255));
  const std::string jpeg = MakeTestJpeg(64, 48, std::vector<uint8_t>(64 * 3, 90), 90);
  REQUIRE_FALSE(jpeg.empty());
  // No quantisation table: the header reads, the rows do not ("JPEG エラー #52").
  std::string noTable = jpeg;
  const size_t dqt = noTable.find("\xFF\xDB");
  REQUIRE(dqt != std::string::npos);
  const size_t length =
      (static_cast<uint8_t>(noTable[dqt + 2]) << 8) | static_cast<uint8_t>(noTable[dqt + 3]);
  noTable.erase(dqt, 2 + length);
  WriteBytes(f.dir / L"j\\b.jpg", noTable);
  // Cut short, as a broken download.
  WriteBytes(f.dir / L"j\\c.jpg", jpeg.substr(0, jpeg.size() / 2));

  // Started on the broken JPEG: the next readable picture becomes the wallpaper.
  auto form = f.Create({ToUtf8(f.dir / L"j\\b.jpg")});
  CHECK(ExtractFileExt(form->Settings.PaperName) == ".bmp");
  for (int step = 0; step < 4; ++step) {
    PressShortCut(form->Handle(), kKeyReturn);
    CHECK(ExtractFileExt(form->Settings.PaperName) == ".bmp");
  }
  CHECK(f.dialogs.errors.empty());
  CHECK(f.dialogs.messages.empty());
  f.Close(form);
}

TEST_CASE("every entry failing: one warning after n attempts, cursors and wallpaper unchanged") {
  CycleFixture f;
  f.MoveTo("a.bmp");
  const std::string wallpaper = ReadBytes(ToWide(f.form->TmpPaperName));
  const int cursor = f.form->List.MainListBox.ItemIndex;
  for (const wchar_t* name : {L"c\\a.bmp", L"c\\b.bmp", L"c\\c.bmp"})
    WriteBytes(f.dir / name, "gone bad");
  f.dialogs.beeps.clear();
  f.form->NextAction.Execute();
  CHECK(f.dialogs.messages == std::vector<std::string>{"このフォルダにはもう画像がありません"});
  CHECK(f.dialogs.beeps == std::vector<unsigned>{0x30});
  CHECK(f.form->List.MainListBox.ItemIndex == StepIndex(3, cursor, true));
  CHECK(f.Current() == "a.bmp");
  CHECK(ReadBytes(ToWide(f.form->TmpPaperName)) == wallpaper);
}

TEST_CASE("a wallpaper file held by another program: the error is said, nothing moves on") {
  CycleFixture f;
  f.MoveTo("a.bmp");
  const std::wstring wallpaper = ToWide(f.form->TmpPaperName);
  const std::string before = ReadBytes(wallpaper);
  std::vector<std::string> shown;
  TWindowBase::ErrorHandler = [&](const std::exception& e) { shown.emplace_back(e.what()); };
  HANDLE held = CreateFileW(wallpaper.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  REQUIRE(held != INVALID_HANDLE_VALUE);
  PressShortCut(f.form->Handle(), kKeyReturn);
  CloseHandle(held);
  TWindowBase::ErrorHandler = nullptr;
  CHECK(shown.size() == 1);
  // The name and the cursors stay with the picture still shown: the next change is b.bmp.
  CHECK(f.Current() == "a.bmp");
  CHECK(ReadBytes(wallpaper) == before);
  PressShortCut(f.form->Handle(), kKeyReturn);
  CHECK(f.Current() == "b.bmp");
  CHECK(ReadBytes(wallpaper) != before);
}

TEST_CASE("random order shows every entry once per round, the first picture included") {
  CycleFixture f(false, "[Load]\r\nRandomLoad=1\r\n");
  std::vector<std::string> seen{f.Current()};
  for (int i = 0; i < 5; ++i) {
    f.form->NextAction.Execute();
    seen.push_back(f.Current());
  }
  CHECK(std::set<std::string>(seen.begin(), seen.begin() + 3).size() == 3);
  CHECK(std::set<std::string>(seen.begin() + 3, seen.end()).size() == 3);
  CHECK(seen[3] != seen[2]);  // a new round never begins with the picture that ended the last
}

TEST_CASE(
    "Ctrl previews instead of changing; Ctrl+Shift changes; an empty list opens the folder "
    "dialog") {
  CycleFixture f;
  f.MoveTo("a.bmp");
  const std::string before = f.Current();
  f.keys.ctrl = true;
  f.form->TimerTimer();  // a tick is a forward step, with the same rule
  CHECK(f.Current() == before);
  HWND preview = FindWindowW(L"THintImageForm", nullptr);
  REQUIRE(preview != nullptr);
  RECT r{};
  GetWindowRect(preview, &r);
  CHECK(r.right - r.left == 200);
  CHECK(r.bottom - r.top == 133);  // 4 × (200 / 6), truncated
  PumpUntil([] { return FindWindowW(L"THintImageForm", nullptr) == nullptr; }, 3000);
  CHECK(FindWindowW(L"THintImageForm", nullptr) == nullptr);  // gone after its tick

  f.keys.shift = true;
  f.form->NextAction.Execute();
  CHECK(f.Current() != before);
  f.keys = THeldKeys{};

  f.form->List.MainListBox.Clear();
  f.dialogs.answers = {""};
  f.form->NextAction.Execute();
  CHECK(f.dialogs.folderTitles == std::vector<std::string>{"フォルダを開く"});
}

namespace {

// A picture that fails when it is drawn, as a half-understood file can.
struct TUndrawable final : TGraphic {
  const char* ClassName() const override { return "TUndrawable"; }
  int Width() const override { return 4; }
  int Height() const override { return 4; }
  bool Empty() const override { return false; }
  void LoadFromStream(TStream&) override {}
  void SaveToStream(TStream&) const override {}
  void Draw(TCanvasHandle, const TRect&) const override { throw std::runtime_error("no draw"); }
};

}  // namespace

TEST_CASE("the preview has no border, and a picture that cannot be drawn ends its paint") {
  THintImageForm preview(nullptr);
  preview.HintImage.TakeGraphic(std::make_unique<TUndrawable>());
  int errors = 0;
  TWindowBase::ErrorHandler = [&](const std::exception&) { ++errors; };
  preview.Show(10, 10, 100, 80);
  UpdateWindow(preview.Handle());
  RECT pending{};
  CHECK_FALSE(GetUpdateRect(preview.Handle(), &pending, FALSE));
  CHECK(errors == 0);
  CHECK((GetWindowLongW(preview.Handle(), GWL_STYLE) & WS_BORDER) == 0);
  TWindowBase::ErrorHandler = nullptr;
}

TEST_CASE("the timer steps forward on its ticks and waits a full interval after a change") {
  CycleFixture f(false, "[Timer]\r\nInterval=400\r\nEnabled=1\r\n");
  f.MoveTo("a.bmp");
  const std::string first = f.Current();
  PumpUntil([&] { return f.Current() != first; }, 3000);
  CHECK(f.Current() != first);
  f.form->TimerAction.Execute();  // off
  CHECK_FALSE(f.form->Settings.TimerEnabled);
  const std::string stopped = f.Current();
  PumpUntil([] { return false; }, 800);
  CHECK(f.Current() == stopped);
  f.form->TimerAction.Update();
  CHECK_FALSE(f.form->TimerAction.Checked);
}

TEST_CASE("an empty list with the timer on: one folder dialog, not another after its Cancel") {
  CycleFixture f(false, "[Timer]\r\nInterval=30\r\nEnabled=1\r\n");
  f.form->List.MainListBox.Clear();
  f.dialogs.answers = {"", "", "", "", "", "", "", ""};
  // Each dialog stays open for ten intervals, pumping messages as its own loop would.
  f.dialogs.whileOpen = [] { PumpUntil([] { return false; }, 300); };
  CHECK(PumpUntil([&] { return !f.dialogs.folderTitles.empty(); }, 10000));
  PumpUntil([&] { return f.dialogs.folderTitles.size() > 1; }, 1000);  // 30 ticks and more
  CHECK(f.dialogs.folderTitles.size() == 1);
  f.form->TimerAction.Execute();  // off
  f.dialogs.whileOpen = nullptr;
  CHECK(f.dialogs.deepest == 1);
}

TEST_CASE("the timer waits for a command's question: the command acts on its own picture") {
  CycleFixture f(false, "[Timer]\r\nInterval=30\r\nEnabled=1\r\n");
  const std::string list = ToUtf8(f.dir / L"three.V2List");
  std::vector<std::string> lines;
  for (const wchar_t* name : {L"c\\a.bmp", L"c\\b.bmp", L"c\\c.bmp"})
    lines.push_back(ToUtf8(f.dir / name));
  TWinFileSystem files;
  files.WriteListFile(list, lines);
  f.form->Settings.PaperFolder = list;
  f.form->List.LoadPictureList();
  f.MoveTo("c.bmp");
  f.dialogs.confirmAnswers = {kAnswerYes};
  f.dialogs.whileOpen = [] { PumpUntil([] { return false; }, 300); };
  PressShortCut(f.form->Handle(), kKeyDelete);
  f.dialogs.whileOpen = nullptr;
  REQUIRE(f.dialogs.confirmations.size() == 1);
  CHECK(f.dialogs.confirmations[0].rfind(lines[2], 0) == 0);
  // The line of the picture asked about left the list file, and only that one.
  CHECK(files.ReadListFile(list) == std::vector<std::string>{lines[0], lines[1]});
  CHECK(f.form->List.MainListBox.Count() == 2);
  CHECK(f.form->List.MainListBox.IndexOf(lines[2]) < 0);
}

TEST_CASE("reload, and the quality reload only while speed is preferred") {
  CycleFixture f(false, "[Load]\r\nSpeedpPriority=1\r\n");
  f.MoveTo("c.bmp");
  WriteBytes(f.dir / L"c\\c.bmp", MakeTestBmp(6, 4, 10, 20, 30));
  f.form->ReloadAction.Execute();
  TBitmap written;
  written.LoadFromFile(f.form->TmpPaperName);
  CHECK(written.GetPixel(0, 0).Red == 10);
  f.form->BetterReloadAction.Update();
  CHECK(f.form->BetterReloadAction.Enabled);
  f.form->BetterReloadAction.Execute();
  CHECK(f.form->Settings.SpeedpPriority);
}

TEST_CASE("jump finds an entry in another letter case; keys reach the commands") {
  CycleFixture f;
  f.MoveTo("a.bmp");
  f.dialogs.answers = {UpperCase(ToUtf8(f.dir / L"c\\c.bmp"))};
  f.form->JumpAction.Execute();
  CHECK(f.dialogs.queries == std::vector<std::string>{"ファイル名の指定|このフォルダにあればね|"});
  CHECK(f.Current() == "c.bmp");
  f.dialogs.answers = {"nothing like it"};
  f.form->JumpAction.Execute();
  CHECK(f.Current() == "c.bmp");

  const int before = f.form->List.MainListBox.ItemIndex;
  SendMessageW(f.form->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  CHECK(f.form->List.MainListBox.ItemIndex == StepIndex(3, before, true));
  SendMessageW(f.form->Handle(), WM_KEYDOWN, VK_BACK, 0);
  CHECK(f.form->List.MainListBox.ItemIndex == before);
  SendMessageW(f.form->Handle(), WM_KEYDOWN, 'W', 0);
  CHECK(DesktopValue(L"TileWallpaper") == L"2");
  SendMessageW(f.form->Handle(), WM_KEYDOWN, 'T', 0);
  CHECK(DesktopValue(L"TileWallpaper") == L"1");
}

TEST_CASE("clipboard: a bitmap becomes the wallpaper; text becomes the message once") {
  CycleFixture f;
  f.MoveTo("a.bmp");
  const std::string paper = f.form->Settings.PaperName;

  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 30, 20);
  HDC dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all{0, 0, 30, 20};
  HBRUSH green = CreateSolidBrush(RGB(0, 200, 0));
  FillRect(dc, &all, green);
  DeleteObject(green);
  SelectObject(dc, old);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  REQUIRE(OpenClipboard(nullptr));
  EmptyClipboard();
  SetClipboardData(CF_BITMAP, bitmap);
  CloseClipboard();
  f.form->ClipPasteAction.Update();
  CHECK(f.form->ClipPasteAction.Enabled);
  f.form->ClipPasteAction.Execute();
  TBitmap written;
  written.LoadFromFile(f.form->TmpPaperName);
  CHECK(written.Width() == 30);
  CHECK(written.GetPixel(5, 5).Green == 200);
  CHECK(f.form->Settings.PaperName == paper);

  const std::wstring text = L"クリップの言葉";
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
  std::memcpy(GlobalLock(block), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  GlobalUnlock(block);
  REQUIRE(OpenClipboard(nullptr));
  EmptyClipboard();
  SetClipboardData(CF_UNICODETEXT, block);
  CloseClipboard();
  f.form->ClipPasteAction.Execute();
  CHECK(f.form->LastMessage == "クリップの言葉");
  CHECK_FALSE(f.form->Settings.SetMess);
  CHECK(f.form->Settings.MessText != "クリップの言葉");
  CHECK(f.form->Settings.PaperName == paper);  // the same picture again

  // With a message file, the file's text is drawn instead.
  WriteBytes(f.dir / L"Vesko2.mes", "from the file\r\n");
  f.form->ClipPasteAction.Execute();
  CHECK(f.form->LastMessage == "from the file\r\n");

  TAction fileCommand(1, "ゴミ箱..");
  f.form->FileExistsPaper(fileCommand);
  CHECK(fileCommand.Enabled);
  DeleteFileW(ToWide(paper).c_str());
  f.form->FileExistsPaper(fileCommand);
  CHECK_FALSE(fileCommand.Enabled);
}

TEST_CASE("a timed change waits while the user is busy, says why in the tray, and comes after") {
  // The system's own answer under Wine: nobody busy, no battery saver (0 would be no answer).
  const TSystemState real = QuerySystemState();
  CHECK(real.NotificationState >= 1);
  CHECK(real.NotificationState <= 7);
  CHECK_FALSE(real.BatterySaver);
  constexpr WPARAM kChangeTick = 1;  // the change timer's id

  {
    CycleFixture f(false,
                   "[Timer]\r\nInterval=600000\r\nWaitWhileBusy=1\r\nWaitOnBatterySaver=1\r\n");
    TSystemState system{3, false};  // a full-screen Direct3D game
    int asked = 0;
    f.form->SystemState = [&] {
      ++asked;
      return system;
    };
    f.MoveTo("a.bmp");
    HWND window = f.form->Handle();
    SendMessageW(window, WM_TIMER, kChangeTick, 0);
    SendMessageW(window, WM_TIMER, kChangeTick, 0);
    CHECK(f.Current() == "a.bmp");
    CHECK(asked == 2);
    CHECK(f.form->TaskTray->TipString() ==
          "Vesko 2 - 全画面のゲームを実行中のため、切り替えを待っています");
    // A change the user asks for happens all the same.
    SendMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
    CHECK(f.Current() == "b.bmp");
    // The next look at the system says again why the timer's change still waits.
    SendMessageW(window, WM_TIMER, kChangeTick, 0);
    CHECK(f.form->TaskTray->TipString() ==
          "Vesko 2 - 全画面のゲームを実行中のため、切り替えを待っています");
    // The game is over but battery saver came on: still waiting, for another reason.
    system = TSystemState{5, true};
    SendMessageW(window, WM_TIMER, kChangeTick, 0);
    CHECK(f.Current() == "b.bmp");
    CHECK(f.form->TaskTray->TipString() ==
          "Vesko 2 - バッテリー節約中のため、切り替えを待っています");
    // Free again: the system is asked again on its own, and the one waiting change happens.
    system = TSystemState{5, false};
    CHECK(PumpUntil([&] { return f.Current() != "b.bmp"; }, 15000));
    CHECK(f.Current() == "c.bmp");
    CHECK(f.form->TaskTray->TipString() == "Vesko 2 - c.bmp");
    const int askedThen = asked;
    PumpUntil([] { return false; }, 3500);  // no further change comes of the wait; no more asking
    CHECK(f.Current() == "c.bmp");
    CHECK(asked == askedThen);

    // Waiting again; the timer switched off from the menu's command takes the change with it.
    system = TSystemState{4, false};
    SendMessageW(window, WM_TIMER, kChangeTick, 0);
    CHECK(f.form->TaskTray->TipString() ==
          "Vesko 2 - プレゼンテーション中のため、切り替えを待っています");
    f.form->TimerAction.Execute();
    CHECK_FALSE(f.form->Settings.TimerEnabled);
    CHECK(f.form->TaskTray->TipString() == "Vesko 2 - c.bmp");
    system = TSystemState{5, false};
    PumpUntil([] { return false; }, 3500);
    CHECK(f.Current() == "c.bmp");
  }
  // A settings file from before (only one program window at a time): the options are off and a
  // tick changes at once.
  CycleFixture old(false, "[Load]\r\nSubDir=0\r\n");
  old.form->SystemState = [] { return TSystemState{3, true}; };
  old.MoveTo("a.bmp");
  SendMessageW(old.form->Handle(), WM_TIMER, kChangeTick, 0);
  CHECK(old.Current() == "b.bmp");
}
