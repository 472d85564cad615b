#include "files/SysInfo_win.h"

#include <cstdio>
#include <vector>

#include "base/Unicode_win.h"

void TFileInfo::SetFileName(const std::string& fileName) {
  if (fileName == fileName_) return;
  fileName_ = fileName;
  if (!fileName_.empty()) Read();
}

void TFileInfo::Read() {
  ++reads_;
  for (std::string& s : strings_) s.clear();
  const std::wstring name = ToWide(fileName_);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &ignored);
  if (size == 0) return;
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoW(name.c_str(), 0, size, block.data())) return;
  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueW(block.data(), L"\\", &value, &length) && length >= sizeof fixed_) {
    fixed_ = *static_cast<const VS_FIXEDFILEINFO*>(value);
  }
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) || length < 4) {
    return;
  }
  const DWORD translation = *static_cast<const DWORD*>(value);
  const unsigned language = LOWORD(translation);
  const unsigned codePage = HIWORD(translation);
  const wchar_t* const names[] = {L"ProductVersion",   L"ProductName",     L"CompanyName",
                                  L"OriginalFilename", L"FileDescription", L"FileVersion",
                                  L"InternalName"};
  for (size_t i = 0; i < strings_.size(); ++i) {
    wchar_t path[128];
    swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", language, codePage, names[i]);
    if (VerQueryValueW(block.data(), path, &value, &length) && value != nullptr) {
      strings_[i] = ToUtf8(static_cast<const wchar_t*>(value));
    } else {
      strings_[i] = "UnKnown";
    }
  }
}
