#include "base/Unicode_win.h"

#include "base/Utf8.h"

#include <windows.h>

#include <climits>

namespace {

std::wstring Decode(UINT codePage, std::string_view bytes) {
  if (bytes.empty() || bytes.size() > INT_MAX) return {};
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), size, wide.data(), length);
  return wide;
}

std::string Encode(UINT codePage, std::wstring_view wide, bool* lossy) {
  if (lossy != nullptr) *lossy = false;
  if (wide.empty() || wide.size() > INT_MAX / 4) return {};
  const int size = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultArg = (codePage == CP_UTF8 || lossy == nullptr) ? nullptr : &usedDefault;
  // No best-fit mapping: "é" must not quietly become "e" and name another file.
  const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int length =
      WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, usedDefaultArg);
  std::string bytes(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), size, bytes.data(), length, nullptr,
                      usedDefaultArg);
  if (lossy != nullptr) *lossy = usedDefault != FALSE;
  return bytes;
}

}  // namespace

std::wstring ToWide(std::string_view utf8) {
  return Decode(CP_UTF8, utf8);
}

std::string ToUtf8(std::wstring_view wide) {
  return Encode(CP_UTF8, wide, nullptr);
}

std::string AnsiToUtf8(std::string_view ansi) {
  return ToUtf8(Decode(CP_ACP, ansi));
}

std::string Utf8ToAnsi(std::string_view utf8, bool* lossy) {
  return Encode(CP_ACP, ToWide(utf8), lossy);
}

std::string WideToAnsi(std::wstring_view wide, bool* lossy) {
  return Encode(CP_ACP, wide, lossy);
}

std::string TruncateForAnsi(const std::string& utf8, size_t maxBytes) {
  const std::wstring wide = ToWide(utf8);
  size_t used = 0;
  size_t keep = 0;
  while (keep < wide.size()) {
    // A surrogate pair is one character.
    const size_t length = (IS_HIGH_SURROGATE(wide[keep]) && keep + 1 < wide.size()) ? 2 : 1;
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data() + keep, static_cast<int>(length),
                                          nullptr, 0, nullptr, nullptr);
    if (used + static_cast<size_t>(bytes) > maxBytes) break;
    used += static_cast<size_t>(bytes);
    keep += length;
  }
  return ToUtf8(wide.substr(0, keep));
}

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

}  // namespace

std::string FileTextToUtf8(std::string_view bytes) {
  if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
    // Through UTF-16 and back: invalid sequences become U+FFFD instead of passing on.
    return ToUtf8(Decode(CP_UTF8, bytes.substr(kUtf8Bom.size())));
  }
  // Notepad and PowerShell write UTF-8 without a mark today; Shift-JIS text beyond ASCII is
  // almost never well-formed UTF-8.
  if (IsNonAsciiUtf8(bytes)) return ToUtf8(Decode(CP_UTF8, bytes));
  return AnsiToUtf8(bytes);
}

std::string Utf8ToFileText(std::string_view utf8) {
  bool lossy = false;
  std::string ansi = Utf8ToAnsi(utf8, &lossy);
  if (!lossy) return ansi;
  std::string bytes(kUtf8Bom);
  bytes += utf8;
  return bytes;
}
