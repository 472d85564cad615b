#include "base/IniFile.h"

#include <algorithm>

#include "base/TextCase.h"

namespace {

std::string_view Trim(std::string_view s) {
  size_t begin = 0;
  size_t end = s.size();
  while (begin < end && static_cast<unsigned char>(s[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(s[end - 1]) <= ' ') --end;
  return s.substr(begin, end - begin);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool TryStrToInt(std::string_view text, int32_t& value) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size()) return false;
  if (text[i] == '$') {
    ++i;
    if (i >= text.size()) return false;
    uint64_t bits = 0;
    for (; i < text.size(); ++i) {
      const int d = HexDigit(text[i]);
      if (d < 0) return false;
      bits = (bits << 4) | static_cast<unsigned>(d);
      if (bits > 0xFFFFFFFFu) return false;
    }
    auto result = static_cast<uint32_t>(bits);
    if (negative) result = 0u - result;
    value = static_cast<int32_t>(result);
    return true;
  }
  int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > 2147483648LL) return false;
  }
  const int64_t result = negative ? -magnitude : magnitude;
  if (result > 2147483647LL) return false;
  value = static_cast<int32_t>(result);
  return true;
}

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  Section* current = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = Trim(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n' && (end == pos || text[pos - 1] == '\r')) ++pos;

    if (line.empty()) continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      const std::string_view name = Trim(line.substr(1, line.size() - 2));
      current = ini.Find(name);
      if (current == nullptr) {
        ini.sections_.push_back(Section{std::string(name), {}});
        current = &ini.sections_.back();
      }
      continue;
    }
    if (current == nullptr) {
      ini.preamble_.emplace_back(line);
      continue;
    }
    const size_t eq = line.find('=');
    if (line.front() == ';' || eq == std::string_view::npos) {
      current->lines.push_back(Line{false, {}, std::string(line)});
    } else {
      current->lines.push_back(
          Line{true, std::string(Trim(line.substr(0, eq))), std::string(line.substr(eq + 1))});
    }
  }
  return ini;
}

std::string IniFile::ToText() const {
  std::string out;
  for (const std::string& line : preamble_) out.append(line).append("\r\n");
  for (const Section& section : sections_) {
    out.append("[").append(section.name).append("]\r\n");
    for (const Line& line : section.lines) {
      if (line.isPair) out.append(line.key).append("=");
      out.append(line.value).append("\r\n");
    }
    out.append("\r\n");
  }
  return out;
}

const IniFile::Section* IniFile::Find(std::string_view section) const {
  for (const Section& s : sections_) {
    if (SameText(s.name, section)) return &s;
  }
  return nullptr;
}

IniFile::Section* IniFile::Find(std::string_view section) {
  return const_cast<Section*>(static_cast<const IniFile*>(this)->Find(section));
}

const IniFile::Line* IniFile::FindLine(std::string_view section, std::string_view key) const {
  const Section* s = Find(section);
  if (s == nullptr) return nullptr;
  for (const Line& line : s->lines) {
    if (line.isPair && SameText(line.key, key)) return &line;
  }
  return nullptr;
}

bool IniFile::SectionExists(std::string_view section) const {
  return Find(section) != nullptr;
}

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
  return FindLine(section, key) != nullptr;
}

std::vector<std::string> IniFile::ReadSection(std::string_view section) const {
  std::vector<std::string> keys;
  if (const Section* s = Find(section)) {
    for (const Line& line : s->lines) {
      if (line.isPair) keys.push_back(line.key);
    }
  }
  return keys;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  const Line* line = FindLine(section, key);
  return line != nullptr ? line->value : std::string(fallback);
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                             int32_t fallback) const {
  const Line* line = FindLine(section, key);
  if (line == nullptr) return fallback;
  std::string text = line->value;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text = "$" + text.substr(2);
  }
  int32_t value = 0;
  return TryStrToInt(text, value) ? value : fallback;
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  std::string clean(value);
  std::replace(clean.begin(), clean.end(), '\r', ' ');
  std::replace(clean.begin(), clean.end(), '\n', ' ');
  Section* s = Find(section);
  if (s == nullptr) {
    sections_.push_back(Section{std::string(section), {}});
    s = &sections_.back();
  }
  for (Line& line : s->lines) {
    if (line.isPair && SameText(line.key, key)) {
      line.value = std::move(clean);
      return;
    }
  }
  s->lines.push_back(Line{true, std::string(key), std::move(clean)});
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int64_t value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void IniFile::DeleteKey(std::string_view section, std::string_view key) {
  Section* s = Find(section);
  if (s == nullptr) return;
  std::erase_if(s->lines, [&](const Line& line) { return line.isPair && SameText(line.key, key); });
}

void IniFile::EraseSection(std::string_view section) {
  std::erase_if(sections_, [&](const Section& s) { return SameText(s.name, section); });
}

std::string EncodeMultiLineValue(std::string_view text) {
  const bool quoted = text.size() >= 2 && text.front() == '"' && text.back() == '"';
  if (!quoted && text.find_first_of("\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '"':
        out += "\\\"";
        break;
      default:
        out += c;
    }
  }
  out += '"';
  return out;
}

std::string DecodeMultiLineValue(std::string_view value) {
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') return std::string(value);
  const std::string_view body = value.substr(1, value.size() - 2);
  std::string out;
  for (size_t i = 0; i < body.size(); ++i) {
    if (body[i] != '\\' || i + 1 == body.size()) {
      out += body[i];
      continue;
    }
    const char next = body[++i];
    switch (next) {
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      case '\\':
        out += '\\';
        break;
      case '"':
        out += '"';
        break;
      default:
        out += '\\';
        out += next;
    }
  }
  return out;
}
