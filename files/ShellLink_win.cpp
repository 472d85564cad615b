#include "files/ShellLink_win.h"

#include <shlobj.h>
#include <windows.h>

#include "base/ComPtr_win.h"
#include "base/Dialogs.h"
#include "base/FileIO_win.h"
#include "base/Unicode_win.h"
#include "files/ShortcutName.h"

namespace {

bool WriteLink(const std::string& target, const std::string& linkPath,
               const std::string& description, const std::string& workingDir) {
  TComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    return false;
  }
  TComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    return false;
  }
  if (FAILED(link->SetPath(ToWide(target).c_str()))) return false;
  if (FAILED(link->SetDescription(ToWide(description).c_str()))) return false;
  if (!workingDir.empty() && FAILED(link->SetWorkingDirectory(ToWide(workingDir).c_str()))) {
    return false;
  }
  return SUCCEEDED(file->Save(ToWide(linkPath).c_str(), TRUE));
}

}  // namespace

bool CreateShortcutFile(IDialogs& dialogs, const std::string& target, std::string linkPath,
                        const std::string& description, const std::string& workingDir) {
  while (FileExists(linkPath) || DirectoryExists(linkPath)) {
    std::string name = ProposeShortcutName(target, linkPath);
    for (;;) {
      if (!dialogs.InputQuery("同名ファイルが存在します", "新しい名前", name)) return false;
      if (IsValidFileName(name)) break;
      WarnMessage(dialogs, "ファイル名に使えない文字が含まれています\r" + name);
    }
    linkPath = RenamedLinkPath(linkPath, name);
  }
  if (WriteLink(target, linkPath, description, workingDir)) return true;
  WarnMessage(dialogs, "ショートカットを作成できません\r" + linkPath);
  return false;
}
