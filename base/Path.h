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

// Without a trailing separator, except for a root such as "C:\" ("D:\pics\" -> "D:\pics").
std::string ExcludeTrailingPathDelimiter(std::string_view path);

// The length of a full path's root: 3 for "C:\", up to the share's separator for
// "\\server\share\" (the share included); 0 when the path is not full. "/" counts as "\".
size_t FullPathRootLength(std::string_view path);

// A full path in the form the system gives it: "/" as "\", "." and ".." resolved (never above
// the root), repeated separators made one. Case stays as written. A path that is not full
// comes back as it is.
std::string CanonicalPath(std::string_view path);
