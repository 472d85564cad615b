// The recently used picture sources (folders and list files), most recent first, kept in the
// settings file and shown as numbered items of the context menu's history submenu.
#pragma once

#include <functional>
#include <string>

#include "engine/MenuCreator.h"

class IniFile;

// The width of a text as the ANSI (Shift-JIS) code page counts it: one for ASCII and half-width
// katakana, two for every other character.
int AnsiWidth(const std::string& text);

class THistoryIni final : public TMenuCreator {
 public:
  static constexpr int kMaxEntries = 32;

  THistoryIni() { SectionName = "History"; }

  std::string IniName;
  int HistoryNum() const { return historyNum_; }
  void SetHistoryNum(int value);
  bool ShowCounter = true;
  bool RealTime = false;  // kept as a setting; it changes nothing
  std::function<void(const std::string& fileName)> OnHistorySelected;

  // Records a use of a source: new ones go first (the oldest beyond 32 dropped), a known one
  // swaps places with the first entry.
  void AddHistory(const std::string& text);
  // Reads the list from the settings ("Count", then "H0", "H1", ...; a missing key reads
  // "BUG") and builds the menu.
  void Load(const IniFile& ini);
  // Writes "Count" and the entries in order; keys of an earlier, longer list stay.
  void Save(IniFile& ini) const;

  const TTree& Entries() const { return stored_; }
  const TTree& GetMenuTree() const override { return shown_; }
  std::string ShortenCaption(const std::string& text) const override;
  void BuildMenu() override;
  void MenuBuilt() override;
  void ItemClick(TMenuItem& sender) override;

 private:
  int historyNum_ = 8;
  TTree stored_;
  TTree shown_;
};
