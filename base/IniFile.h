// An INI file held in memory: read whole, edited, written whole. Section and key names compare
// without regard to case; sections and lines the caller never touches (comments, unknown keys,
// whole unknown sections) are written back as they were read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Parses a whole number as the settings file stores it: optional blanks and sign, then decimal
// digits or "$" and up to eight hexadecimal digits (the bits of a 32-bit value). False when the
// text is not a number or does not fit in 32 bits.
bool TryStrToInt(std::string_view text, int32_t& value);

class IniFile {
 public:
  IniFile() = default;

  // Lines may end in CR LF, LF or CR. Lines before the first section header are kept as a
  // preamble; repeated section headers merge into the first section of that name.
  static IniFile Parse(std::string_view text);
  // The whole file, CR LF after every line and an empty line after every section.
  std::string ToText() const;

  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  std::vector<std::string> ReadSection(std::string_view section) const;

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback) const;
  // "0x"/"0X" followed by more text reads as hexadecimal; a value that is not a number gives
  // the fallback.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t fallback) const;
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

  // A value never spans lines: line breaks in it are written as spaces.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int64_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);

  void DeleteKey(std::string_view section, std::string_view key);
  void EraseSection(std::string_view section);

 private:
  struct Line {
    bool isPair = false;
    std::string key;    // pairs only
    std::string value;  // pairs: the value; otherwise the whole line
  };
  struct Section {
    std::string name;
    std::vector<Line> lines;
  };

  const Section* Find(std::string_view section) const;
  Section* Find(std::string_view section);
  const Line* FindLine(std::string_view section, std::string_view key) const;

  std::vector<std::string> preamble_;
  std::vector<Section> sections_;
};

// A text with line breaks kept in one INI value: such a text is written in double quotes with
// "\\", "\r", "\n" and "\"" escapes; a text without line breaks that does not start and end
// with a quote is written as it is, so single-line values stay readable by other programs.
std::string EncodeMultiLineValue(std::string_view text);
std::string DecodeMultiLineValue(std::string_view value);
