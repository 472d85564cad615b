#include "app/HandOver.h"

#include <algorithm>
#include <cstring>

std::string HandOverPath(std::string_view argument, std::string_view currentDirectory) {
  if (argument.size() >= 2 && argument[0] == '?' && argument[1] == '@') {
    return std::string(argument);
  }
  const bool unchanged = argument.empty() || argument[0] == '/' || argument[0] == '-' ||
                         argument[0] == '\\' || (argument.size() >= 2 && argument[1] == ':');
  if (unchanged) return std::string(argument);
  std::string path(currentDirectory);
  path += '\\';
  path += argument;
  return path;
}

THandOverBuffer MakeHandOverBuffer(std::string_view ansiPath) {
  THandOverBuffer buffer{};
  const size_t length = std::min(ansiPath.size(), kHandOverSize - 1);
  std::memcpy(buffer.data(), ansiPath.data(), length);
  return buffer;
}

std::string ReadHandOverBuffer(const void* data, size_t declaredSize) {
  if (data == nullptr) return {};
  const size_t limit = std::min(declaredSize, kHandOverSize);
  const char* bytes = static_cast<const char*>(data);
  const void* nul = std::memchr(bytes, 0, limit);
  const size_t length =
      nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - bytes) : limit;
  return std::string(bytes, length);
}

namespace {

bool HasSwitch(std::string_view argument, char letter) {
  if (argument.size() < 2) return false;
  const char upper = static_cast<char>(argument[1] & ~0x20);
  return (argument[0] == '/' || argument[0] == '-') && upper == letter;
}

}  // namespace

bool IsQuitSwitch(std::string_view argument) {
  return HasSwitch(argument, 'R');
}

bool IsMessageFileSwitch(std::string_view argument) {
  return HasSwitch(argument, 'M');
}

bool IsSignInSwitch(std::string_view argument) {
  const std::string_view name = kSignInSwitch;
  if (argument.size() != name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if ((argument[i] | 0x20) != name[i]) return false;
  }
  return true;
}

std::string MessageFileOfSwitch(std::string_view argument) {
  if (argument.size() <= 2) return {};
  const std::string_view rest = argument.substr(2);
  // At most 256 characters: count UTF-8 lead bytes, never cutting a character in two.
  size_t end = 0;
  for (int characters = 0; end < rest.size(); ++end) {
    const bool lead = (static_cast<unsigned char>(rest[end]) & 0xC0) != 0x80;
    if (lead && ++characters > 256) break;
  }
  return std::string(rest.substr(0, end));
}

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
  std::vector<std::string> arguments;
  size_t i = 0;
  for (;;) {
    while (i < commandLine.size() && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
    if (i >= commandLine.size()) break;
    std::string argument;
    bool quoted = false;
    for (; i < commandLine.size(); ++i) {
      const char c = commandLine[i];
      if (c == '"') {
        quoted = !quoted;
      } else if (!quoted && (c == ' ' || c == '\t')) {
        break;
      } else {
        argument += c;
      }
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}
