#include "files/FileOperation_win.h"

#include <shellapi.h>

#include "base/Dialogs.h"
#include "base/Unicode_win.h"

WORD TFileOperation::ShellFlags(TFileOpFlags options) {
  return static_cast<WORD>(options & 0x07FF & ~fofWantMappingHandle);
}

std::wstring TFileOperation::PathList(const std::vector<std::string>& paths) {
  std::wstring list;
  for (const std::string& path : paths) {
    list += ToWide(path);
    list.push_back(L'\0');
  }
  list.push_back(L'\0');
  return list;
}

bool TFileOperation::Run(UINT operation, const std::vector<std::string>& to) {
  const std::wstring from = PathList(FromFiles);
  const std::wstring destination = PathList(to);
  const std::wstring title = ToWide(Title);
  SHFILEOPSTRUCTW op{};
  op.hwnd = owner_;
  op.wFunc = operation;
  op.pFrom = from.c_str();
  op.pTo = destination.c_str();
  op.fFlags = ShellFlags(Options);
  op.fAnyOperationsAborted = FALSE;
  op.hNameMappings = nullptr;
  op.lpszProgressTitle = (Options & fofSimpleProgress) != 0 ? title.c_str() : nullptr;
  const TModalScope open;  // its questions are our boxes too: what arrives meanwhile waits
  SHFileOperationW(&op);   // the shell reports its own errors
  return op.fAnyOperationsAborted != FALSE;
}

bool TFileOperation::Copy() {
  return Run(FO_COPY, ToFiles);
}

bool TFileOperation::Delete() {
  return Run(FO_DELETE, {});
}
