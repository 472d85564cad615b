#include "app/Dialogs_win.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "app/PicturePreview_win.h"
#include "app/Settings.h"
#include "base/Unicode_win.h"
#include "engine/MessageOverlay_win.h"

void TWinDialogs::Beep(unsigned soundType) {
  MessageBeep(soundType);
}

void TWinDialogs::ShowMessage(const std::string& text) {
  TModalScope open;
  MessageBoxW(owner_(), ToWide(text).c_str(), ToWide(title_()).c_str(), MB_OK);
}

void TWinDialogs::ShowError(const std::exception& error) {
  TModalScope open;
  MessageBoxW(owner_(), ToWide(error.what()).c_str(), ToWide(title_()).c_str(),
              MB_OK | MB_ICONSTOP);
}

bool TWinDialogs::OpenFile(const TFileDialogOptions& options, std::string& path) {
  TModalScope open;
  return RunFileDialog(options, path, false);
}

bool TWinDialogs::SaveFile(const TFileDialogOptions& options, std::string& path) {
  TModalScope open;
  return RunFileDialog(options, path, true);
}

bool TWinDialogs::RunFileDialog(const TFileDialogOptions& options, std::string& path, bool save) {
  // "a|b|c|d" becomes "a\0b\0c\0d\0\0".
  std::wstring filter = ToWide(options.Filter);
  for (wchar_t& c : filter) {
    if (c == L'|') c = L'\0';
  }
  filter.push_back(L'\0');
  filter.push_back(L'\0');
  std::vector<wchar_t> file(32768, L'\0');
  const std::wstring start = ToWide(options.FileName);
  start.copy(file.data(), std::min(start.size(), file.size() - 1));
  const std::wstring title = ToWide(options.Title);
  const std::wstring initialDir = ToWide(options.InitialDir);
  const std::wstring defaultExt = ToWide(options.DefaultExt);

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner_();
  ofn.lpstrFilter = options.Filter.empty() ? nullptr : filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  ofn.lpstrDefExt = defaultExt.empty() ? nullptr : defaultExt.c_str();
  ofn.Flags = OFN_EXPLORER;
  if (options.HideReadOnly) ofn.Flags |= OFN_HIDEREADONLY;
  if (options.EnableSizing) ofn.Flags |= OFN_ENABLESIZING;
  if (options.OverwritePrompt) ofn.Flags |= OFN_OVERWRITEPROMPT;
  if (options.PathMustExist) ofn.Flags |= OFN_PATHMUSTEXIST;
  if (options.FileMustExist) ofn.Flags |= OFN_FILEMUSTEXIST;
  if (options.NoReadOnlyReturn) ofn.Flags |= OFN_NOREADONLYRETURN;
  TPicturePreview preview;
  if (options.Preview && !save) preview.Attach(ofn);
  const BOOL ok = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  if (!ok) return false;
  path = ToUtf8(file.data());
  return true;
}

namespace {

// Selects the initial folder when the dialog opens and shows each newly selected folder's
// path as the status text.
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM param, LPARAM data) {
  if (message == BFFM_INITIALIZED && data != 0) {
    SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
    // Once more after the dialog has finished opening: on a busy machine the tree may not yet
    // hold the folder, and the first selection is lost (the dialog then opened on the Desktop).
    // The path lives as long as the dialog's own call.
    PostMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
  } else if (message == BFFM_SELCHANGED) {
    wchar_t path[MAX_PATH] = {};
    if (param == 0 || !SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(param), path)) {
      path[0] = L'\0';
    }
    SendMessageW(window, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
  }
  return 0;
}

}  // namespace

std::string TWinDialogs::BrowseForFolder(const TBrowseOptions& options) {
  TModalScope open;
  const std::wstring title = ToWide(options.Title);
  const std::wstring initial = ToWide(options.InitialFolder);
  wchar_t display[MAX_PATH] = {};
  BROWSEINFOW info{};
  info.hwndOwner = options.Owner != nullptr ? static_cast<HWND>(options.Owner) : owner_();
  info.pszDisplayName = display;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
  if (options.NewStyle) info.ulFlags |= BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  if (options.AllowFiles) info.ulFlags |= BIF_BROWSEINCLUDEFILES | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  info.lpfn = BrowseCallback;
  info.lParam = initial.empty() ? 0 : reinterpret_cast<LPARAM>(initial.c_str());
  PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
  if (list == nullptr) return {};
  wchar_t path[MAX_PATH] = {};
  const bool ok = SHGetPathFromIDListW(list, path) != FALSE;
  CoTaskMemFree(list);
  return ok ? ToUtf8(path) : std::string();
}

bool TWinDialogs::PickColor(TColor& color) {
  TModalScope open;
  static COLORREF custom[16] = {};
  CHOOSECOLORW choose{};
  choose.lStructSize = sizeof choose;
  choose.hwndOwner = owner_();
  choose.rgbResult = static_cast<COLORREF>(ColorToRGB(color));
  choose.lpCustColors = custom;
  choose.Flags = CC_RGBINIT | CC_FULLOPEN;
  if (!ChooseColorW(&choose)) return false;
  color = static_cast<TColor>(choose.rgbResult);
  return true;
}

bool TWinDialogs::PickFont(TMessFont& font) {
  TModalScope open;
  LOGFONTW lf = MessageLogFont(font);
  CHOOSEFONTW choose{};
  choose.lStructSize = sizeof choose;
  choose.hwndOwner = owner_();
  choose.lpLogFont = &lf;
  choose.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT;
  choose.rgbColors = static_cast<COLORREF>(ColorToRGB(font.Color));
  if (!ChooseFontW(&choose)) return false;
  font.Height = lf.lfHeight;
  font.Name = ToUtf8(lf.lfFaceName);
  font.Style = static_cast<uint8_t>(
      (lf.lfWeight >= FW_BOLD ? TMessFont::Bold : 0) | (lf.lfItalic ? TMessFont::Italic : 0) |
      (lf.lfUnderline ? TMessFont::Underline : 0) | (lf.lfStrikeOut ? TMessFont::StrikeOut : 0));
  const int pitch = lf.lfPitchAndFamily & 3;
  font.Pitch = pitch == VARIABLE_PITCH ? TMessFont::VariablePitch
               : pitch == FIXED_PITCH  ? TMessFont::FixedPitch
                                       : TMessFont::DefaultPitch;
  font.Color = static_cast<TColor>(choose.rgbColors);
  return true;
}

void TWinDialogs::ShellOpen(const std::string& path) {
  ShellExecuteW(owner_(), L"open", ToWide(path).c_str(), L"", L"", SW_SHOW);
}

int TWinDialogs::Confirm(const std::string& text, int buttons) {
  TModalScope open;
  return MessageBoxW(owner_(), ToWide(text).c_str(), L"確認",
                     static_cast<UINT>(buttons) | MB_ICONQUESTION);
}
