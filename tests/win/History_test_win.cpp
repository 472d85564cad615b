// The history submenu on the real window: sources opened are listed most recent first, choosing
// one reopens it, and the list survives a restart in the settings file.
#include <doctest/doctest.h>

#include "FormFixture_win.h"

namespace {

// The history submenu's entries as Windows shows them; chooses the one starting with `choose`.
std::vector<std::string> HistoryMenu(TVesko2MainForm& form, const std::string& choose = "") {
  std::vector<std::string> lines;
  form.PopupMenu->Track = [&](HMENU menu, int, int) -> UINT {
    HMENU history = GetSubMenu(menu, 4);
    UINT chosen = 0;
    for (int i = 0; history != nullptr && i < GetMenuItemCount(history); ++i) {
      wchar_t text[512] = {};
      GetMenuStringW(history, static_cast<UINT>(i), text, 512, MF_BYPOSITION);
      lines.push_back(ToUtf8(text));
      if (!choose.empty() && lines.back().rfind(choose, 0) == 0) {
        chosen = GetMenuItemID(history, i);
      }
    }
    return chosen;
  };
  form.PopupMenu->Popup(10, 10);
  return lines;
}

}  // namespace

TEST_CASE("opened sources fill the history; choosing one reopens it; it survives a restart") {
  FormFixture f;
  for (const wchar_t* folder : {L"一", L"二"}) {
    CreateDirectoryW((f.dir / folder).c_str(), nullptr);
    WriteBytes(f.dir / (std::wstring(folder) + L"\\p.bmp"), MakeTestBmp(4, 4));
  }
  const std::string one = ToUtf8(f.dir / L"一");
  const std::string two = ToUtf8(f.dir / L"二");
  auto form = f.Create();
  CHECK(HistoryMenu(*form).empty());
  form->List.OpenPath(nullptr, one);
  form->List.OpenPath(nullptr, two);
  CHECK(HistoryMenu(*form) == std::vector<std::string>{"&0 " + two, "&1 " + one});

  HistoryMenu(*form, "&1");
  CHECK(form->Settings.PaperFolder == one);
  CHECK(HistoryMenu(*form) == std::vector<std::string>{"&0 " + one, "&1 " + two});
  f.Close(form);
  const IniFile ini = f.Ini();
  CHECK(ini.ReadInteger("History", "Count", 0) == 2);
  CHECK(ini.ReadString("History", "H0", "") == one);

  form = f.Create();
  CHECK(HistoryMenu(*form) == std::vector<std::string>{"&0 " + one, "&1 " + two});
  f.Close(form);
}

TEST_CASE("a list file from the history is loaded as the list, the wallpaper unchanged") {
  FormFixture f;
  CreateDirectoryW((f.dir / L"p").c_str(), nullptr);
  WriteBytes(f.dir / L"p\\a.bmp", MakeTestBmp(4, 4));
  WriteBytes(f.dir / L"p\\b.bmp", MakeTestBmp(4, 4));
  const std::wstring list = f.dir / L"mine.V2List";
  WriteBytes(list, Utf8ToAnsi(ToUtf8(f.dir / L"p\\a.bmp") + "\r\n" + ToUtf8(f.dir / L"p\\b.bmp") +
                              "\r\n"));
  auto form = f.Create();
  const std::wstring before = DesktopValue(L"Wallpaper");
  form->HistoryIni.AddHistory(ToUtf8(list));
  HistoryMenu(*form, "&0");
  CHECK(form->Settings.PaperFolder == ToUtf8(list));
  CHECK(form->List.MainListBox.Count() == 2);
  CHECK(DesktopValue(L"Wallpaper") == before);
  f.Close(form);
}
