#include "app/ContextMenu_win.h"

#include <memory>

#include "base/Handles_win.h"
#include "base/Unicode_win.h"

namespace {

// What a command identifier stands for once the menu has closed.
struct TChoice {
  const TMenuEntry* entry = nullptr;
  TMenuItem* item = nullptr;
};

void UpdateActions(const std::vector<TMenuEntry>& entries) {
  for (const TMenuEntry& entry : entries) {
    if (entry.Action != nullptr) entry.Action->Update();
    UpdateActions(entry.Items);
  }
}

}  // namespace

TContextMenu::TContextMenu(HWND owner, std::function<std::vector<TMenuEntry>()> entries)
    : owner_(owner), entries_(std::move(entries)) {
  Track = [this](HMENU menu, int x, int y) -> UINT {
    // The owner must be in the foreground, or the menu would not close when the user clicks
    // elsewhere; the empty message afterwards lets it close at once.
    SetForegroundWindow(owner_);
    const auto chosen = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, x, y,
                       0, owner_, nullptr));
    PostMessageW(owner_, WM_NULL, 0, 0);
    return chosen;
  };
}

std::string TContextMenu::EntryText(const TMenuEntry& entry) {
  std::string text = entry.Text();
  if (entry.Action != nullptr && entry.Action->ShortCut != 0) {
    text += "\t" + ShortCutToText(entry.Action->ShortCut);
  }
  return text;
}

void TContextMenu::Popup(int x, int y) {
  const std::vector<TMenuEntry> entries = entries_();
  UpdateActions(entries);
  std::vector<TChoice> choices(1);  // identifier 0 means nothing chosen
  std::function<void(HMENU, const std::vector<TMenuEntry>&)> fill =
      [&](HMENU menu, const std::vector<TMenuEntry>& items) {
        for (const TMenuEntry& entry : items) {
          const std::wstring text = ToWide(EntryText(entry));
          if (!entry.Items.empty() || entry.IsHistory) {
            TMenuHandle sub(CreatePopupMenu());
            if (!sub) continue;
            if (entry.IsHistory) {
              for (int i = 0; History != nullptr && i < History->Count(); ++i) {
                TMenuItem* item = History->Item(i);
                if (item->Caption == "-") {
                  AppendMenuW(sub.get(), MF_SEPARATOR, 0, nullptr);
                  continue;
                }
                choices.push_back({nullptr, item});
                AppendMenuW(sub.get(), MF_STRING | (item->Enabled ? 0 : MF_GRAYED),
                            choices.size() - 1, ToWide(item->Caption).c_str());
              }
            } else {
              fill(sub.get(), entry.Items);
            }
            const UINT flags =
                MF_POPUP | (entry.IsHistory && GetMenuItemCount(sub.get()) == 0 ? MF_GRAYED : 0);
            // The parent menu owns the submenu once it is appended.
            if (AppendMenuW(menu, flags, reinterpret_cast<UINT_PTR>(sub.get()), text.c_str())) {
              sub.release();
            }
            continue;
          }
          UINT flags = MF_STRING;
          if (entry.Action != nullptr) {
            if (!entry.Action->Enabled) flags |= MF_GRAYED;
            if (entry.Action->Checked) flags |= MF_CHECKED;
          }
          choices.push_back({&entry, nullptr});
          AppendMenuW(menu, flags, choices.size() - 1, text.c_str());
        }
      };
  TMenuHandle menu(CreatePopupMenu());
  if (!menu) return;
  fill(menu.get(), entries);
  UINT chosen = 0;
  {
    struct TOpen {
      TOpen() { ++open_; }
      ~TOpen() { --open_; }
    } open;
    chosen = Track(menu.get(), x, y);
  }
  menu.reset();
  if (chosen == 0 || chosen >= choices.size()) return;
  const TChoice& choice = choices[chosen];
  // The entries live as long as this call: what may run later keeps its own copies.
  std::function<void()> run;
  TAction* action = nullptr;
  const void* key = nullptr;
  if (choice.item != nullptr) {
    // A history entry: the menu's items are made again when the history changes.
    auto item = std::make_shared<TMenuItem>(choice.item->Name, choice.item->Caption);
    item->Hint = choice.item->Hint;
    item->Tag = choice.item->Tag;
    item->OnClick = choice.item->OnClick;
    static const char kHistoryChoice = 0;  // the latest history choice wins
    key = &kHistoryChoice;
    run = [item] {
      if (item->OnClick) item->OnClick(*item);
    };
  } else if (choice.entry->Action != nullptr) {
    action = choice.entry->Action;
    key = action;
    run = [action] { action->Execute(); };
  } else if (choice.entry->OnClick && choice.entry->Sender != nullptr) {
    TComponent* sender = choice.entry->Sender;
    key = sender;
    run = [onClick = choice.entry->OnClick, sender] { onClick(*sender); };
  } else {
    return;
  }
  if (RunChoice) {
    RunChoice(action, key, std::move(run));
  } else {
    run();
  }
}
