#include "base/Path.h"

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
