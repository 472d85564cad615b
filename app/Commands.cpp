#include "app/Commands.h"

namespace {

const char* const kView = "表示";
const char* const kOperation = "操作";
const char* const kEdit = "編集";

std::string KeyName(uint16_t key) {
  switch (key) {
    case kKeyBack:
      return "BkSp";
    case kKeyReturn:
      return "Enter";
    case kKeyDelete:
      return "Del";
    default:
      break;
  }
  if (key >= 0x70 && key <= 0x87) return "F" + std::to_string(key - 0x70 + 1);
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) {
    return std::string(1, static_cast<char>(key));
  }
  return "#" + std::to_string(key);
}

TAction* FindInMenu(const std::vector<TMenuEntry>& entries, uint16_t shortCut) {
  for (const TMenuEntry& entry : entries) {
    if (entry.Action != nullptr && entry.Action->ShortCut == shortCut) return entry.Action;
    if (TAction* found = FindInMenu(entry.Items, shortCut)) return found;
  }
  return nullptr;
}

}  // namespace

std::string ShortCutToText(uint16_t shortCut) {
  if ((shortCut & 0xFF) == 0) return {};
  std::string text;
  if (shortCut & kShift) text += "Shift+";
  if (shortCut & kCtrl) text += "Ctrl+";
  if (shortCut & kAlt) text += "Alt+";
  return text + KeyName(shortCut & 0xFF);
}

std::string TMenuEntry::Text() const {
  if (!Caption.empty() || Action == nullptr) return Caption;
  return Action->Caption;
}

TCommands::TCommands() {
  struct TRow {
    TAction* action;
    const char* category;
    uint16_t shortCut;
  };
  const TRow table[] = {
      {&TileAction, kView, 'T'},
      {&CenterAction, kView, 'C'},
      {&WideAction, kView, 'W'},
      {&G_EditorAction, kEdit, 'G'},
      {&NotWallpaperAction, kView, 'N'},
      {&SetNowAction, kView, kCtrl | kKeyF5},
      {&ReloadFolderAction, kView, kCtrl | kKeyF5},
      {&TrayAction, kOperation, kCtrl | 'T'},
      {&AboutAction, kView, 'A'},
      {&OptionAction, kOperation, kCtrl | 'O'},
      {&CloseAction, kOperation, 0},
      {&OpenFileAction, kOperation, 'F'},
      {&OpenFolderAction, kOperation, 'D'},
      {&PropAction, kView, kAlt | kKeyReturn},
      {&NextAction, kOperation, kKeyReturn},
      {&PreAction, kOperation, kKeyBack},
      {&TimerAction, kOperation, 0},
      {&ClipPasteAction, kOperation, kCtrl | 'V'},
      {&TrushAction, kEdit, kKeyDelete},
      {&DeleteAction, kEdit, kShift | kKeyDelete},
      {&CopyAction, kEdit, kCtrl | 'C'},
      {&ShortCutAction, kEdit, kCtrl | 'S'},
      {&ViewModeAction, kView, 'V'},
      {&StartScreenSacverAction, kOperation, 'S'},
      {&PauseScreenSacverAction, kOperation, kCtrl | kShift | 'S'},
      {&G_SelectEditorAction, kEdit, kCtrl | 'G'},
      {&ReloadAction, kView, kKeyF5},
      {&IncomingBossAction, kOperation, 0},
      {&CopyFileNameAction, kEdit, 0},
      {&JumpAction, kView, 0},
      {&BetterReloadAction, kView, kShift | kKeyF5},
      {&SaveListAction, kOperation, 0},
      {&LoadListAction, kOperation, 0},
      {&FillAction, kView, 'R'},
      {&FitAction, kView, 'P'},
      {&ExcludeAction, kEdit, 'X'},
      {&UndoExcludeAction, kEdit, kShift | 'X'},
  };
  for (const TRow& row : table) {
    row.action->Category = row.category;
    row.action->ShortCut = row.shortCut;
    actions_.push_back(row.action);
  }
  NextAction.Hint = "Next (Ctrl + Click = Preview)";
  PreAction.Hint = "Pre (Ctrl + Click = Preview)";
  // Never enabled: its shortcut belongs to the folder reload, which the menu finds first.
  SetNowAction.OnUpdate = [](TAction& a) { a.Enabled = false; };
}

std::vector<TMenuEntry> TCommands::ContextMenu(const std::function<void(TComponent&)>& next) {
  auto action = [](TAction& a) {
    TMenuEntry entry;
    entry.Action = &a;
    return entry;
  };
  auto submenu = [](const char* caption, std::vector<TMenuEntry> items) {
    TMenuEntry entry;
    entry.Caption = caption;
    entry.Items = std::move(items);
    return entry;
  };
  TMenuEntry nextItem;
  nextItem.Caption = "次へ";
  nextItem.Hint = "Next";
  nextItem.Sender = &NextMenuItem;
  nextItem.OnClick = next;
  TMenuEntry preItem;
  preItem.Caption = "前へ";
  preItem.Hint = "Pre";
  preItem.Sender = &PreMenuItem;
  preItem.OnClick = next;
  TMenuEntry clip = action(ClipPasteAction);
  clip.Caption = "クリップボード";
  TMenuEntry history;
  history.Caption = "履歴";
  history.IsHistory = true;

  std::vector<TMenuEntry> menu;
  menu.push_back(
      submenu(kOperation, {action(OpenFileAction), action(OpenFolderAction), action(SaveListAction),
                           action(LoadListAction), nextItem, preItem, action(IncomingBossAction),
                           action(StartScreenSacverAction), action(PauseScreenSacverAction)}));
  menu.push_back(submenu(
      kView, {action(TileAction), action(CenterAction), action(FillAction), action(FitAction),
              action(NotWallpaperAction), action(ReloadAction), action(ReloadFolderAction), clip,
              action(JumpAction), action(BetterReloadAction)}));
  menu.push_back(submenu("設定", {action(OptionAction), action(TrayAction), action(TimerAction)}));
  menu.push_back(
      submenu(kEdit, {action(G_EditorAction), action(CopyAction), action(ShortCutAction),
                      action(CopyFileNameAction), action(TrushAction), action(DeleteAction),
                      action(ExcludeAction), action(UndoExcludeAction)}));
  menu.push_back(history);
  menu.push_back(action(PropAction));
  menu.push_back(action(AboutAction));
  menu.push_back(action(CloseAction));
  return menu;
}

TAction* TCommands::FindShortCut(const std::vector<TMenuEntry>& menu, uint16_t shortCut) const {
  if ((shortCut & 0xFF) == 0) return nullptr;
  if (TAction* found = FindInMenu(menu, shortCut)) return found;
  for (TAction* action : actions_) {
    if (action->ShortCut == shortCut) return action;
  }
  return nullptr;
}
