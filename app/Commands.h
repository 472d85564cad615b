// The program's commands: 37 actions in their fixed order with tags, captions, categories and
// shortcuts, and the context menu tree built from them. The same table resolves keys: the menu's
// entries first, then the actions in the table's order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Action.h"

// Shortcut bits: the low byte is the virtual key.
constexpr uint16_t kShift = 0x2000;
constexpr uint16_t kCtrl = 0x4000;
constexpr uint16_t kAlt = 0x8000;
constexpr uint16_t kKeyBack = 0x08;
constexpr uint16_t kKeyReturn = 0x0D;
constexpr uint16_t kKeyDelete = 0x2E;
constexpr uint16_t kKeyF5 = 0x74;

// "Ctrl+Shift+S", "Alt+Enter", "BkSp", "F5", "Del": as a menu shows a shortcut.
std::string ShortCutToText(uint16_t shortCut);

// One entry of the context menu: an action (its caption, shortcut, state), a plain item with
// its own handler, or a submenu.
struct TMenuEntry {
  std::string Caption;           // submenus and plain items; an action's entry may override
  TAction* Action = nullptr;     // the entry shows and runs this action
  TComponent* Sender = nullptr;  // plain items: the sender their handler receives
  std::string Hint;
  std::function<void(TComponent&)> OnClick;  // plain items
  std::vector<TMenuEntry> Items;             // a submenu when not empty (or when IsHistory)
  bool IsHistory = false;                    // the history submenu, filled from its own list

  // What the entry shows: the override, else the action's caption.
  std::string Text() const;
};

class TCommands {
 public:
  TCommands();
  TCommands(const TCommands&) = delete;
  TCommands& operator=(const TCommands&) = delete;
  virtual ~TCommands() = default;

  TAction TileAction{1, "タイル"};
  TAction CenterAction{0, "センター"};
  TAction WideAction{2, "ワイド"};
  TAction G_EditorAction{0, "グラフィックソフト.."};
  TAction NotWallpaperAction{0, "壁紙無し"};
  TAction SetNowAction{0, "設定を反映"};
  TAction ReloadFolderAction{0, "フォルダの再読込"};
  TAction TrayAction{0, "タスクトレイ"};
  TAction AboutAction{0, "About Me .."};
  TAction OptionAction{0, "設定.."};
  TAction CloseAction{0, "終了"};
  TAction OpenFileAction{1, "ファイル.."};
  TAction OpenFolderAction{-1, "フォルダ.."};
  TAction PropAction{0, "情報.."};
  TAction NextAction{1, ""};
  TAction PreAction{-1, ""};
  TAction TimerAction{0, "タイマー"};
  TAction ClipPasteAction{0, "クリップボードの画像をセット"};
  TAction TrushAction{1, "ゴミ箱.."};
  TAction DeleteAction{-1, "削除.."};
  TAction CopyAction{1, "ファイルのコピー.."};
  TAction ShortCutAction{-1, "ショートカットの作成.."};
  TAction ViewModeAction{0, "ビューモード"};
  TAction StartScreenSacverAction{0, "スクリーンセーバ起動"};
  TAction PauseScreenSacverAction{1, "スクリーンセーバ一時停止"};
  TAction G_SelectEditorAction{1, "G_SelectEditorAction"};
  TAction ReloadAction{0, "再読込"};
  // Its tag is the boss-key toggle, which the view mode starts afresh.
  TAction IncomingBossAction{1, "ボスが来た"};
  TAction CopyFileNameAction{0, "【ファイル名の】コピー"};
  TAction JumpAction{0, "指定名を表示.."};
  TAction BetterReloadAction{0, "画質優先で再読込"};
  TAction SaveListAction{0, "ファイルリストの保存.."};
  TAction LoadListAction{0, "ファイルリストの読み込み.."};
  // The program's own scaling to the screen: the tag less 2 is the FitMode setting.
  TAction FillAction{3, "塗りつぶし"};
  TAction FitAction{4, "ページ幅に合わせる"};
  // The current picture goes on the exclusion list and never shows again.
  TAction ExcludeAction{0, "この画像を今後表示しない"};
  TAction UndoExcludeAction{0, "直前の除外を取り消す"};

  // The context menu's "次へ" and "前へ": plain entries that run the next/previous handler,
  // which reads their tags as the direction.
  TComponent NextMenuItem{1};
  TComponent PreMenuItem{-1};

  // The 36 actions in the table's order.
  const std::vector<TAction*>& ActionList() const { return actions_; }
  // The context menu tree; `next` is the handler of the plain "次へ"/"前へ" entries.
  std::vector<TMenuEntry> ContextMenu(const std::function<void(TComponent&)>& next);
  // The action a key runs: the first menu entry with that shortcut, else the first action of
  // the table; null when none has it.
  TAction* FindShortCut(const std::vector<TMenuEntry>& menu, uint16_t shortCut) const;

 private:
  std::vector<TAction*> actions_;
};
