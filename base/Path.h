// Windows path arithmetic on UTF-8 texts. "\", "/" and the drive colon delimit names.
#pragma once

#include <string>
#include <string_view>

inline bool IsPathDelimiter(char c) {
  return c == '\\' || c == '/' || c == ':';
}

// Everything up to and including the last delimiter ("C:\pics\a.jpg" -> "C:\pics\").
std::string ExtractFilePath(std::string_view path);

// The folder without its trailing separator, which is kept only for a root such as "C:\".
std::string ExtractFileDir(std::string_view path);

// The part after the last delimiter.
std::string ExtractFileName(std::string_view path);

// From the last "." after the last delimiter, dot included; empty when there is none.
std::string ExtractFileExt(std::string_view path);

// Replaces (or appends) the extension; `ext` includes its dot.
std::string ChangeFileExt(std::string_view path, std::string_view ext);

// Appends "\" unless the path already ends in a separator.
std::string IncludeTrailingPathDelimiter(std::string_view path);
