#include "base/Path.h"

#include <algorithm>

namespace {

// Position just after the last delimiter; 0 when there is none.
size_t NameStart(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsPathDelimiter(path[i - 1])) return i;
  }
  return 0;
}

}  // namespace

std::string ExtractFilePath(std::string_view path) {
  return std::string(path.substr(0, NameStart(path)));
}

std::string ExtractFileDir(std::string_view path) {
  size_t end = NameStart(path);
  if (end > 1 && (path[end - 1] == '\\' || path[end - 1] == '/') &&
      !IsPathDelimiter(path[end - 2])) {
    --end;
  }
  return std::string(path.substr(0, end));
}

std::string ExtractFileName(std::string_view path) {
  return std::string(path.substr(NameStart(path)));
}

std::string ExtractFileExt(std::string_view path) {
  const size_t start = NameStart(path);
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || dot < start) return {};
  return std::string(path.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  const size_t start = NameStart(path);
  size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || dot < start) dot = path.size();
  std::string out(path.substr(0, dot));
  out += ext;
  return out;
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
  std::string out(path);
  if (out.empty() || (out.back() != '\\' && out.back() != '/')) out += '\\';
  return out;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
  const size_t root = FullPathRootLength(path);
  while (path.size() > std::max<size_t>(root, 1) && (path.back() == '\\' || path.back() == '/'))
    path.remove_suffix(1);
  return std::string(path);
}

size_t FullPathRootLength(std::string_view path) {
  const auto slash = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 3 && path[1] == ':' && slash(path[2])) return 3;
  if (path.size() < 3 || !slash(path[0]) || !slash(path[1]) || slash(path[2])) return 0;
  // "\\server\share\": past the server's name and the share's.
  size_t at = 2;
  for (int names = 0; names < 2; ++names) {
    while (at < path.size() && !slash(path[at])) ++at;
    if (at < path.size()) ++at;
  }
  return at;
}

std::string CanonicalPath(std::string_view path) {
  const size_t rootLength = FullPathRootLength(path);
  if (rootLength == 0) return std::string(path);
  std::string out(path.substr(0, rootLength));
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  if (out.back() != '\\') out += '\\';  // "\\server\share" alone
  const size_t root = out.size();
  size_t at = rootLength;
  while (at < path.size()) {
    size_t end = at;
    while (end < path.size() && path[end] != '\\' && path[end] != '/') ++end;
    const std::string_view name = path.substr(at, end - at);
    if (name == "..") {
      if (out.size() > root) {
        out.pop_back();  // the separator after the last name
        out.resize(std::max(root, out.rfind('\\') + 1));
      }
    } else if (!name.empty() && name != ".") {
      out += name;
      if (end < path.size()) out += '\\';
    }
    at = end + 1;
  }
  // A path ending in "\." or "\.." keeps no separator after its last name, as the system gives it.
  const std::string_view last = path.substr(path.find_last_of("\\/") + 1);
  if ((last == "." || last == "..") && out.size() > root && out.back() == '\\') out.pop_back();
  return out;
}
