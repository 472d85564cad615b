#include "engine/HistoryIni.h"

#include <algorithm>
#include <vector>

#include "base/IniFile.h"
#include "base/TextCase.h"

namespace {

bool IsSpaceOrControl(unsigned char c) {
  return c <= 0x20 || c == 0x7F;
}

}  // namespace

int AnsiWidth(const std::string& text) {
  int width = 0;
  for (const std::string& c : SplitCharacters(text)) {
    // U+FF61..U+FF9F, half-width katakana, take one byte in Shift-JIS like ASCII.
    const bool halfWidthKana =
        c.size() == 3 && static_cast<unsigned char>(c[0]) == 0xEF &&
        ((static_cast<unsigned char>(c[1]) == 0xBD && static_cast<unsigned char>(c[2]) >= 0xA1) ||
         static_cast<unsigned char>(c[1]) == 0xBE);
    width += (c.size() == 1 || halfWidthKana) ? 1 : 2;
  }
  return width;
}

void THistoryIni::SetHistoryNum(int value) {
  if (value < 0) return;
  historyNum_ = std::min(value, kMaxEntries);
}

void THistoryIni::AddHistory(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsSpaceOrControl(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && IsSpaceOrControl(static_cast<unsigned char>(text[end - 1]))) --end;
  const std::string entry = text.substr(begin, end - begin);
  if (entry.empty()) return;
  const int at = stored_.IndexOf(entry);
  if (at < 0) {
    stored_.Insert(nullptr, entry);
    while (stored_.Count() > kMaxEntries) stored_.Delete(stored_.Item(stored_.Count() - 1));
  } else {
    // The previous first entry takes the chosen one's place, not the second place.
    stored_.Exchange(at, 0);
  }
  BuildMenu();
}

void THistoryIni::Load(const IniFile& ini) {
  stored_.Clear();
  // The file may say anything: at most the entries the history holds are read.
  const int count = std::clamp(ini.ReadInteger(SectionName, "Count", 0), 0, kMaxEntries);
  for (int i = 0; i < count; ++i) {
    stored_.Add(nullptr, ini.ReadString(SectionName, "H" + std::to_string(i), "BUG"));
  }
  BuildMenu();
}

void THistoryIni::Save(IniFile& ini) const {
  ini.WriteInteger(SectionName, "Count", stored_.Count());
  for (int i = 0; i < stored_.Count(); ++i) {
    ini.WriteString(SectionName, "H" + std::to_string(i), stored_.Item(i)->Text);
  }
}

std::string THistoryIni::ShortenCaption(const std::string& text) const {
  const int limit = MaxStrNum();
  const int width = AnsiWidth(text);
  if (width <= limit || width <= 3) return text;
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\\') {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  std::string prefix;
  size_t middleStart = 0;
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (text.size() >= 2 && letter(text[0]) && text[1] == ':') {
    prefix = parts[0] + "\\";
    middleStart = 1;
  } else if (text.rfind("\\\\", 0) == 0 && parts.size() > 2) {
    prefix = "\\\\" + parts[2] + "\\";
    middleStart = 3;
  }
  const std::string& last = parts.back();
  const int budget = AnsiWidth(last) + AnsiWidth(prefix);
  std::string middle;
  for (size_t i = middleStart; i + 1 < parts.size(); ++i) {
    if (limit < AnsiWidth(parts[i]) + AnsiWidth(middle) + budget + 1) break;
    middle += parts[i] + "\\";
  }
  return prefix + middle + "...\\" + last;
}

void THistoryIni::BuildMenu() {
  shown_.Clear();
  const int count = std::min(historyNum_, stored_.Count());
  for (int i = 0; i < count; ++i) shown_.Add(nullptr, stored_.Item(i)->Text);
  if (!Active()) return;
  if (shown_.Count() == 0 && PlacementMode() == 0) {
    ClearMenu();
    InsertPlaceholder("(なし)");
    return;
  }
  ClearMenu();
  InsertItems(shown_, [this](int i, const TNode& node) {
    const std::string caption = ShortenCaption(node.Text);
    return ShowCounter ? "&" + std::to_string(i) + " " + caption : caption;
  });
  MenuBuilt();
}

void THistoryIni::MenuBuilt() {
  for (TMenuItem* item : Created()) {
    if (item->Caption != "-") item->Hint = shown_.Item(item->Tag)->Text;
  }
}

void THistoryIni::ItemClick(TMenuItem& sender) {
  if (!OnHistorySelected) return;
  // The hint names the entry: a choice that ran after the menu changed still opens its own.
  std::string name = sender.Hint;
  if (name.empty()) {
    const TNode* node = shown_.Item(sender.Tag);
    if (node == nullptr) return;
    name = node->Text;
  }
  OnHistorySelected(name);
  AddHistory(name);
}
