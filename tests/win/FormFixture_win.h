// A main window created in a temporary current folder, as a first start there would create it,
// with scripted dialogs.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../support/Fakes.h"
#include "TestSupport_win.h"
#include "app/Application_win.h"
#include "app/Commands.h"
#include "app/MainForm_win.h"
#include "app/ModalForm_win.h"
#include "base/FileIO_win.h"
#include "base/IniFile.h"
#include "base/Keyboard.h"
#include "base/Unicode_win.h"
// After windows.h.
#include <commctrl.h>

// Shift and Ctrl as a test holds them.
class THeldKeys final : public IKeyboard {
 public:
  bool ShiftDown() const override { return shift; }
  bool CtrlDown() const override { return ctrl; }
  bool shift = false;
  bool ctrl = false;
};

// A form created in a temporary current folder, as a first start there would create it.
struct FormFixture {
  TTempDir dir;
  TApplication application;
  TScriptedDialogs dialogs;
  THeldKeys keys;

  std::unique_ptr<TVesko2MainForm> Create(std::vector<std::string> args = {}) {
    SetCurrentDirectoryW(dir.Path().c_str());
    TMainFormEnv env{application, dialogs, std::move(args), ToUtf8(dir / L"Vesko2.exe"),
                     ToUtf8(dir.Path())};
    env.Keyboard = &keys;
    return std::make_unique<TVesko2MainForm>(std::move(env));
  }
  void Close(std::unique_ptr<TVesko2MainForm>& form) {
    SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    DrainQuit();
    form.reset();
  }
  IniFile Ini() { return IniFile::Parse(FileTextToUtf8(ReadBytes(dir / L"Vesko2.ini"))); }
};

struct THintSearch {
  HWND owner;
  HWND found;
};

inline BOOL CALLBACK FindHintWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<THintSearch*>(context);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  // The hints' window, not the balloon of a start without a source.
  if (lstrcmpiW(name, TOOLTIPS_CLASSW) == 0 && GetWindow(window, GW_OWNER) == search->owner &&
      (GetWindowLongW(window, GWL_STYLE) & TTS_BALLOON) == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// The tooltip window a window made for its hints.
inline HWND HintWindow(HWND owner) {
  THintSearch search{owner, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), FindHintWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Sends a key as the keyboard would, with the modifiers of a shortcut held in this thread's
// key state (which the window reads).
inline void PressShortCut(HWND window, uint16_t shortCut) {
  BYTE state[256];
  GetKeyboardState(state);
  state[VK_SHIFT] = (shortCut & kShift) ? 0x80 : 0;
  state[VK_CONTROL] = (shortCut & kCtrl) ? 0x80 : 0;
  state[VK_MENU] = (shortCut & kAlt) ? 0x80 : 0;
  SetKeyboardState(state);
  SendMessageW(window, (shortCut & kAlt) ? WM_SYSKEYDOWN : WM_KEYDOWN, shortCut & 0xFF, 0);
  state[VK_SHIFT] = state[VK_CONTROL] = state[VK_MENU] = 0;
  SetKeyboardState(state);
}

// A built menu read back from Windows: one line per entry, submenus indented, with the
// entry's state.
inline void ReadMenu(HMENU menu, const std::string& indent, std::vector<std::string>& lines) {
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t text[256] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
    const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
    std::string line = indent + ToUtf8(text);
    if (state & MF_GRAYED) line += " [grey]";
    if (state & MF_CHECKED) line += " [check]";
    lines.push_back(line);
    if (HMENU sub = GetSubMenu(menu, i)) ReadMenu(sub, indent + "  ", lines);
  }
}

// The identifier of the entry whose text starts with `text`, searched through submenus.
inline UINT FindEntry(HMENU menu, const std::string& text) {
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    if (HMENU sub = GetSubMenu(menu, i)) {
      if (const UINT id = FindEntry(sub, text)) return id;
      continue;
    }
    wchar_t entry[256] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), entry, 256, MF_BYPOSITION);
    if (ToUtf8(entry).rfind(text, 0) == 0) return GetMenuItemID(menu, i);
  }
  return 0;
}

// Opens the window's context menu through the real message, reads what Windows shows, and
// chooses the entry starting with `choose` (none when empty).
inline std::vector<std::string> OpenMenu(TVesko2MainForm& form, const std::string& choose = "") {
  std::vector<std::string> lines;
  form.PopupMenu->Track = [&](HMENU menu, int, int) -> UINT {
    ReadMenu(menu, "", lines);
    return choose.empty() ? 0 : FindEntry(menu, choose);
  };
  SendMessageW(form.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(form.Handle()),
               MAKELPARAM(100, 100));
  return lines;
}

// Runs `drive` on each dialog of class T shown during its lifetime (from inside the dialog's
// own message loop, before it takes input).
template <typename T>
class TDriveForm {
 public:
  explicit TDriveForm(std::function<void(T&)> drive) {
    TModalForm::OnShown = [drive = std::move(drive), this](TModalForm& form) {
      if (auto* dialog = dynamic_cast<T*>(&form)) {
        ++shown;
        drive(*dialog);
      }
    };
  }
  ~TDriveForm() { TModalForm::OnShown = nullptr; }
  TDriveForm(const TDriveForm&) = delete;
  TDriveForm& operator=(const TDriveForm&) = delete;
  int shown = 0;
};
