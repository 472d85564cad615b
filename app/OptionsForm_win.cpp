#include "app/OptionsForm_win.h"

#include <algorithm>

#include <commctrl.h>

#include <map>

#include "app/InputSepStringForm_win.h"
#include "app/ShellMenuEntry_win.h"
#include "app/StartWithWindows_win.h"
#include "base/Dialogs.h"
#include "base/FileIO_win.h"
#include "base/TextCase.h"
#include "base/Unicode_win.h"
#include "engine/MessageOverlay_win.h"

namespace {

constexpr int kWidth = 379;
constexpr int kHeight = 311;
constexpr int kTitleHeight = 19;
constexpr int kBottomHeight = 33;
constexpr int kPageHeight = kHeight - kTitleHeight - kBottomHeight;
constexpr COLORREF kTitleColor = RGB(253, 196, 240);
constexpr COLORREF kBottomColor = RGB(174, 243, 253);
constexpr COLORREF kComboColor = RGB(202, 201, 235);
constexpr COLORREF kTeal = RGB(0, 128, 128);
constexpr int kTabsId = 100;
constexpr int kBrowseId = 101;
const char* const kPageCaptions[] = {"全体", "操作", "その他"};

// Shortcut values (key | 0x2000 Shift | 0x4000 Ctrl | 0x8000 Alt) and the hot-key field's.
WPARAM ToHotKeyField(uint16_t shortCut) {
  BYTE modifiers = 0;
  if (shortCut & 0x2000) modifiers |= HOTKEYF_SHIFT;
  if (shortCut & 0x4000) modifiers |= HOTKEYF_CONTROL;
  if (shortCut & 0x8000) modifiers |= HOTKEYF_ALT;
  return MAKEWORD(shortCut & 0xFF, modifiers);
}

uint16_t FromHotKeyField(LRESULT value) {
  const BYTE key = LOBYTE(LOWORD(value));
  const BYTE modifiers = HIBYTE(LOWORD(value));
  uint16_t shortCut = key;
  if (modifiers & HOTKEYF_SHIFT) shortCut |= 0x2000;
  if (modifiers & HOTKEYF_CONTROL) shortCut |= 0x4000;
  if (modifiers & HOTKEYF_ALT) shortCut |= 0x8000;
  return shortCut;
}

// The edit control shows line breaks only as CR LF: lone CRs and LFs become CR LF.
std::string ToEditLines(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] == '\n') {
      out += "\r\n";
    } else {
      out += text[i];
    }
  }
  return out;
}

bool Checked(HWND button) {
  return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Check(HWND button, bool checked) {
  SendMessageW(button, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

// Groups for the arrow keys, as dialogs have them: each run of check boxes is one group that
// the arrows go round, and every other control is a group of its own. Radio buttons keep the
// groups they were made with.
void GroupForArrowKeys(HWND page) {
  enum TKind { kCheck, kRadio, kOther };
  const auto kind = [](HWND control) {
    wchar_t name[16] = {};
    GetClassNameW(control, name, 16);
    if (lstrcmpiW(name, WC_BUTTONW) != 0) return kOther;
    switch (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) {
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case BS_3STATE:
      case BS_AUTO3STATE:
        return kCheck;
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON:
        return kRadio;
      default:
        return kOther;
    }
  };
  TKind before = kOther;
  for (HWND child = GetWindow(page, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    const TKind now = kind(child);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    const bool starts = now == kOther || (now == kCheck && before != kCheck) ||
                        (now == kRadio && (before != kRadio || (style & WS_GROUP) != 0));
    SetWindowLongW(child, GWL_STYLE, starts ? style | WS_GROUP : style & ~WS_GROUP);
    before = now;
  }
}

}  // namespace

// The choices of the FitMode setting, in its order.
constexpr const wchar_t* kFitModeItems[] = {L"しない（タイル・センター・ワイド）",
                                            L"塗りつぶし（はみ出しを切り取る）",
                                            L"ページ幅に合わせる（全体を表示）"};

struct TOptionsForm::TControls {
  HWND pages[3]{};
  HWND tabs = nullptr;
  std::unique_ptr<TColorPanel> ok, cancel;
  // Page 1
  HWND subDir, nextLoad, randomLoad, tileCenterPosit, reSize, speedpPriority, playMidi;
  HWND fitModeLabel, fitMode, blurBackground, perMonitor, colorManagement;
  HWND pluginWaitLabel, pluginWaitEdit, pluginWaitUpDown, pluginWaitUnit;
  HWND startWithWindows, startsOther;  // the Run value, and another copy it starts
  // Page 2
  HWND hotActGroup, hotActMenu, hotActActivate, activeKey, timerEdit, timerUpDown, timerLabel;
  HWND notUsedInTray, favoriteFolder, bossGroup, incomingBossKey, addSCName;
  HWND waitWhileBusy, waitOnBatterySaver;
  std::unique_ptr<TColorPanel> incomingBossKeyPanel;
  // Page 3
  HWND editorLabel, editorEdit, browse, setMess, addShadow, memo;
  HWND excludedLabel;
  std::unique_ptr<TColorPanel> addMen, inputSep, shadowColor, messFont, clearExcluded;
  TMessFont font;
  // The message font's face and style at the dialog's size, for the memo: a sample of the
  // message that never outgrows the dialog.
  TGdiObject fontHandle;
  TGdiObject titleFont;
  std::string bossPicture;  // the boss picture path rides with its panel
};

TOptionsForm::TOptionsForm(HWND owner, IDialogs& dialogs, const std::string& title,
                           const std::string& programPath)
    : TModalForm(owner, kClassName, "設定", kWidth, kHeight),
      dialogs_(dialogs),
      title_(title),
      programPath_(programPath),
      c_(std::make_unique<TControls>()) {
  LOGFONTW lf{};
  lf.lfHeight = -Scale(15);
  lf.lfWeight = FW_BOLD;
  lf.lfItalic = TRUE;
  lf.lfCharSet = SHIFTJIS_CHARSET;
  wcscpy(lf.lfFaceName, L"MS UI Gothic");
  c_->titleFont.reset(CreateFontIndirectW(&lf));
  BuildPages();
}

TOptionsForm::~TOptionsForm() {
  // The panels are children of this window: they go before it.
  c_.reset();
}

void TOptionsForm::BuildPages() {
  TControls& c = *c_;
  for (int i = 0; i < 3; ++i) {
    c.pages[i] = AddContainer(0, kTitleHeight, kWidth, kPageHeight);
    ShowWindow(c.pages[i], i == 0 ? SW_SHOW : SW_HIDE);
  }
  const DWORD check = BS_AUTOCHECKBOX | WS_TABSTOP;
  // Page 1: the whole program.
  HWND p = c.pages[0];
  c.subDir = AddControl(p, WC_BUTTONW, "サブフォルダも検索(&S)", check, 16, 8, 340, 18);
  c.nextLoad = AddControl(p, WC_BUTTONW, "起動時には次のファイル(&N)", check, 16, 28, 340, 18);
  c.randomLoad =
      AddControl(p, WC_BUTTONW, "ファイルはランダムに読み込む(&R)", check, 16, 48, 340, 18);
  c.tileCenterPosit = AddControl(p, WC_BUTTONW, "タイル張りの時は画像をセンターに位置合わせ(&P)",
                                 check, 16, 68, 350, 18);
  c.reSize = AddControl(p, WC_BUTTONW, "画像が大きいときには縮小する(&E)", check, 16, 88, 340, 18);
  c.speedpPriority = AddControl(p, WC_BUTTONW, "縮小は速度優先(&F)", check, 32, 108, 324, 18);
  c.fitModeLabel = AddControl(p, WC_STATICW, "画面に合わせる(&Z)", SS_LEFT, 16, 133, 112, 16);
  c.fitMode = AddControl(p, WC_COMBOBOXW, "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 130, 130,
                         236, 120);
  for (const wchar_t* item : kFitModeItems)
    SendMessageW(c.fitMode, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  c.blurBackground =
      AddControl(p, WC_BUTTONW, "背景をぼかした画像で埋める(&U)", check, 32, 155, 324, 18);
  c.perMonitor = AddControl(p, WC_BUTTONW, "モニターごとに別の画像(&M)", check, 16, 176, 340, 18);
  c.playMidi = AddControl(p, WC_BUTTONW, "バージョン情報で MIDI(&I)", check, 16, 196, 150, 18);
  c.pluginWaitLabel =
      AddControl(p, WC_STATICW, "プラグインの応答待ち(&W)", SS_LEFT, 166, 199, 130, 16);
  // Three digits fit beside the arrows, which take the field's right end.
  c.pluginWaitEdit =
      AddControl(p, WC_EDITW, "10", ES_NUMBER | WS_TABSTOP | ES_RIGHT | ES_AUTOHSCROLL, 296, 196,
                 54, 21, 0, WS_EX_CLIENTEDGE);
  SendMessageW(c.pluginWaitEdit, EM_LIMITTEXT, 3, 0);
  c.pluginWaitUpDown = AddControl(
      p, UPDOWN_CLASSW, "", UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 334,
      196, 16, 21);
  SendMessageW(c.pluginWaitUpDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(c.pluginWaitEdit), 0);
  SendMessageW(c.pluginWaitUpDown, UDM_SETRANGE32, 1, TSettings::kMaxPluginTimeout);
  c.pluginWaitUnit = AddControl(p, WC_STATICW, "秒", SS_LEFT, 354, 199, 18, 16);
  c.colorManagement = AddControl(p, WC_BUTTONW, "カラープロファイルに合わせて色を補正する(&C)",
                                 check, 16, 218, 340, 18);
  c.startWithWindows =
      AddControl(p, WC_BUTTONW, "Windows の起動時に起動する(&L)", check, 16, 238, 200, 18);
  // Another copy that the Run value starts is named beside it; ticking the box takes it over.
  c.startsOther =
      AddControl(p, WC_STATICW, "", SS_LEFT | SS_PATHELLIPSIS | SS_NOPREFIX, 218, 240, 152, 16);
  SetHint(c.tileCenterPosit, "Win98 では無効、画像サイズによっては無視されます");
  SetHint(c.speedpPriority, "画質を選ぶかスピードか");
  SetHint(c.fitMode, "塗りつぶしとページ幅に合わせるは小さな画像も拡大します");
  SetHint(c.blurBackground, "ページ幅に合わせるとき、余白を同じ画像をぼかして埋めます");
  SetHint(c.perMonitor, "モニターが複数あるとき、それぞれに次の画像を表示します");
  SetHint(c.pluginWaitEdit, "外部のプラグインがこの秒数応答しないと、その画像を飛ばします");
  SetHint(c.colorManagement, "Display P3 や Adobe RGB の写真を、撮ったときの色で壁紙にします");
  SetHint(c.startWithWindows, "サインインしたときにこの Vesko 2 を起動します");

  // Page 2: operation.
  p = c.pages[1];
  c.hotActGroup = AddControl(p, WC_BUTTONW, "ホットキー(&H)", BS_GROUPBOX, 8, 2, 180, 60);
  c.hotActMenu = AddControl(p, WC_BUTTONW, "メニューをポップアップ",
                            BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 18, 18, 164, 18);
  c.hotActActivate =
      AddControl(p, WC_BUTTONW, "アクティブにする", BS_AUTORADIOBUTTON, 18, 38, 164, 18);
  c.activeKey = AddControl(p, HOTKEY_CLASSW, "", WS_TABSTOP | WS_GROUP, 196, 24, 172, 22, 0,
                           WS_EX_CLIENTEDGE);
  SetHint(c.activeKey, "ホットキーを打ちます");
  // Four digits fit, scrolling if need be; the range is checked at OK.
  c.timerEdit = AddControl(p, WC_EDITW, "0", ES_NUMBER | WS_TABSTOP | ES_RIGHT | ES_AUTOHSCROLL, 8,
                           68, 48, 22, 0, WS_EX_CLIENTEDGE);
  SendMessageW(c.timerEdit, EM_LIMITTEXT, 4, 0);
  c.timerUpDown = AddControl(p, UPDOWN_CLASSW, "",
                             UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 56,
                             68, 16, 22);
  SendMessageW(c.timerUpDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(c.timerEdit), 0);
  SendMessageW(c.timerUpDown, UDM_SETRANGE32, 0, kMaxTimerMinutes);
  c.timerLabel = AddControl(p, WC_STATICW, "分ごとに切り替え", SS_LEFT, 80, 72, 200, 16);
  SetHint(c.timerEdit, "ゼロならタイマーオフです");
  c.notUsedInTray = AddControl(p, WC_BUTTONW, "未使用時にはトレイに入れる", check, 8, 96, 360, 18);
  c.favoriteFolder =
      AddControl(p, WC_BUTTONW, "コピーやショートカットはフォルダ登録制", check, 8, 116, 360, 18);
  SetHint(c.favoriteFolder, "ユーザー登録したものから選べます");
  c.bossGroup = AddControl(p, WC_BUTTONW, "ボスが来た(&B)", BS_GROUPBOX, 8, 136, 364, 38);
  c.incomingBossKey =
      AddControl(p, HOTKEY_CLASSW, "", WS_TABSTOP, 18, 149, 172, 21, 0, WS_EX_CLIENTEDGE);
  SetHint(c.incomingBossKey, "ホットキーを打ちます");
  c.incomingBossKeyPanel =
      AddPanel(p, 204, 149, 90, 21, GetSysColor(COLOR_BTNFACE), kTeal, "表示画像..");
  c.incomingBossKeyPanel->OnClick = [this] { ChooseBossPicture(); };
  c.addSCName =
      AddControl(p, WC_BUTTONW, "ショートカットはファイル名に「～へのショートカット」を付加する",
                 check, 8, 177, 364, 18);
  c.waitWhileBusy =
      AddControl(p, WC_BUTTONW, "全画面のアプリやプレゼンテーション中は切り替えない(&Y)", check, 8,
                 197, 364, 18);
  SetHint(c.waitWhileBusy,
          "全画面のゲームや動画、プレゼンテーションが終わるまでタイマーの切り替えを待ちます");
  c.waitOnBatterySaver =
      AddControl(p, WC_BUTTONW, "バッテリー節約中は切り替えない(&E)", check, 8, 217, 364, 18);
  SetHint(c.waitOnBatterySaver,
          "Windows のバッテリー節約機能がオンの間、タイマーの切り替えを待ちます");
  for (HWND key : {c.activeKey, c.incomingBossKey}) {
    // A global key needs Ctrl or Alt: plain keys and Shift alone get Alt.
    SendMessageW(key, HKM_SETRULES, HKCOMB_NONE | HKCOMB_S, MAKELPARAM(HOTKEYF_ALT, 0));
  }

  // Page 3: the rest.
  p = c.pages[2];
  c.editorLabel = AddControl(p, WC_STATICW, "グラフィックエディタ(&G)", SS_LEFT, 8, 6, 200, 16);
  c.editorEdit =
      AddControl(p, WC_EDITW, "", ES_AUTOHSCROLL | WS_TABSTOP, 8, 23, 330, 22, 0, WS_EX_CLIENTEDGE);
  SetHint(c.editorEdit, "グラフィックソフトを登録");
  c.browse =
      AddControl(p, WC_BUTTONW, "...", BS_PUSHBUTTON | WS_TABSTOP, 342, 23, 28, 22, kBrowseId);
  SetHint(c.browse, "参照ボタン");
  c.addMen = AddPanel(p, 8, 50, 362, 22, GetSysColor(COLOR_BTNFACE), RGB(0, 0, 0),
                      "右クリックに「Vesko2」メニューを追加");
  c.addMen->OnClick = [this] { AddMenu(); };
  SetHint(c.addMen->Handle(), title_ + " にファイルを渡します");
  c.setMess = AddControl(p, WC_BUTTONW, "メッセージを入れる", check, 8, 80, 128, 18);
  SetHint(c.setMess, "壁紙左上に文字が表示されます");
  c.inputSep = AddPanel(p, 138, 79, 18, 20, RGB(230, 230, 200), RGB(0, 0, 0), "");
  c.inputSep->OnClick = [this] { InputSep(); };
  c.addShadow = AddControl(p, WC_BUTTONW, "影", check, 164, 80, 40, 18);
  c.shadowColor =
      AddPanel(p, 208, 79, 74, 20, GetSysColor(COLOR_BTNFACE), RGB(0, 0, 0), "影の色..");
  c.shadowColor->OnClick = [this] { ChooseShadowColor(); };
  c.messFont = AddPanel(p, 288, 79, 82, 20, GetSysColor(COLOR_BTNFACE), RGB(0, 0, 0), "フォント..");
  c.messFont->OnClick = [this] { ChooseMessFont(); };
  SetHint(c.messFont->Handle(), "フォントの設定");
  c.memo = AddControl(p, WC_EDITW, "",
                      ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN | WS_VSCROLL |
                          WS_HSCROLL | WS_TABSTOP,
                      8, 104, 362, 88, 0, WS_EX_CLIENTEDGE);
  SetHint(c.memo, "$FileName\rという文字はファイル名に置換されます");
  c.excludedLabel = AddControl(p, WC_STATICW, "", SS_LEFT, 8, 205, 230, 16);
  c.clearExcluded =
      AddPanel(p, 250, 201, 120, 22, GetSysColor(COLOR_BTNFACE), RGB(0, 0, 0), "除外を解除");
  c.clearExcluded->OnClick = [this] {
    excludedCleared_ = true;
    ShowExcludedCount(0);
  };
  SetHint(c.clearExcluded->Handle(),
          "「この画像を今後表示しない」で外した画像を、OK でまた表示するようにします");
  ShowExcludedCount(0);

  // The bottom strip: the page chooser and the two buttons.
  c.tabs =
      AddControl(Handle(), WC_COMBOBOXW, "",
                 CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP,
                 8, kHeight - kBottomHeight + 7, 145, 120, kTabsId);
  for (const char* caption : kPageCaptions) {
    SendMessageW(c.tabs, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(caption).c_str()));
  }
  SendMessageW(c.tabs, CB_SETCURSEL, 0, 0);
  c.ok = AddPanel(Handle(), 224, kHeight - kBottomHeight + 8, 60, 20, RGB(97, 88, 250),
                  RGB(0, 255, 255), "OK");
  c.ok->OnClick = [this] { Confirm(); };
  c.cancel = AddPanel(Handle(), 296, kHeight - kBottomHeight + 8, 60, 20, RGB(255, 255, 128), kTeal,
                      "Cancel");
  c.cancel->OnClick = [this] { ModalResult = kCancel; };
  for (HWND page : c.pages) GroupForArrowKeys(page);
}

void TOptionsForm::Load(const TSettings& s, int page, bool messageFileExists) {
  TControls& c = *c_;
  ShowWindow(c.inputSep->Handle(), messageFileExists ? SW_SHOW : SW_HIDE);
  SepLines = s.SepLines;
  c.inputSep->Tag = s.SepIndex;
  SepString = s.SepString;
  SepRandom = s.SepRandom;
  Check(c.playMidi, s.PlayMidi);
  Check(c.addSCName, s.AddSCName);
  Check(c.waitWhileBusy, s.WaitWhileBusy);
  Check(c.waitOnBatterySaver, s.WaitOnBatterySaver);
  Check(c.favoriteFolder, s.FavoriteEnabled);
  Check(c.speedpPriority, s.SpeedpPriority);
  Check(c.addShadow, s.AddShadow);
  c.shadowColor->Tag = s.ShadowColor;
  SetWindowTextW(c.memo, ToWide(ToEditLines(s.MessText)).c_str());
  Check(c.setMess, s.SetMess);
  c.font = s.MessFont;
  ShowFontSample();
  Check(c.subDir, s.SubDir);
  SetPage(page);
  Check(c.nextLoad, s.NextLoad);
  Check(s.HotAct ? c.hotActActivate : c.hotActMenu, true);
  Check(s.HotAct ? c.hotActMenu : c.hotActActivate, false);
  Check(c.randomLoad, s.RandomLoad);
  SendMessageW(c.activeKey, HKM_SETHOTKEY, ToHotKeyField(s.ActiveKey), 0);
  SendMessageW(c.incomingBossKey, HKM_SETHOTKEY, ToHotKeyField(s.IncomingBossKey), 0);
  c.bossPicture = s.IncomingBossFileName;
  SetHint(c.incomingBossKeyPanel->Handle(), c.bossPicture);
  SetWindowTextW(c.editorEdit, ToWide(s.G_Editor).c_str());
  Check(c.tileCenterPosit, s.TileCenterPosit);
  Check(c.reSize, s.ReSize);
  SendMessageW(c.fitMode, CB_SETCURSEL, static_cast<WPARAM>(s.FitMode), 0);
  Check(c.perMonitor, s.PerMonitor);
  Check(c.colorManagement, s.ColorManagement);
  Check(c.blurBackground, s.BlurBackground);
  EnableBlur();
  SendMessageW(c.pluginWaitUpDown, UDM_SETPOS32, 0, s.PluginTimeout);
  SendMessageW(c.timerUpDown, UDM_SETPOS32, 0, s.TimerInterval / 60000);
  // The menu's timer switch can stop a timer whose minutes are set: say so beside them.
  const bool timerStopped = !s.TimerEnabled && s.TimerInterval > 0;
  SetWindowTextW(c.timerLabel, timerStopped ? L"分ごとに切り替え（停止中）" : L"分ごとに切り替え");
  Check(c.notUsedInTray, s.NotUsedInTray);
  ShowStartWithWindows();
}

void TOptionsForm::ShowStartWithWindows() {
  const std::string program = StartWithWindowsProgram();
  const bool ours = SameText(program, programPath_);
  const std::string other = ours ? std::string() : program;
  Check(c_->startWithWindows, ours);
  SetWindowTextW(c_->startsOther, ToWide(other.empty() ? "" : "（いまは " + other + "）").c_str());
  SetHint(c_->startsOther,
          other.empty()
              ? std::string()
              : "いまは " + other + " が起動します。チェックするとこの Vesko 2 に替えます");
}

void TOptionsForm::ApplyStartWithWindows() const {
  // Unticked, another copy's value stays: it is that copy's to take away.
  const bool ours = SameText(StartWithWindowsProgram(), programPath_);
  if (Checked(c_->startWithWindows) != ours) SetStartWithWindows(!ours, programPath_);
}

std::string TOptionsForm::MemoText() const {
  return WindowText(c_->memo);
}

void TOptionsForm::Store(TSettings& s) const {
  const TControls& c = *c_;
  s.SepLines = SepLines;
  s.SepIndex = c.inputSep->Tag;
  s.SepString = SepString;
  s.SepRandom = SepRandom;
  s.PlayMidi = Checked(c.playMidi);
  s.AddSCName = Checked(c.addSCName);
  s.WaitWhileBusy = Checked(c.waitWhileBusy);
  s.WaitOnBatterySaver = Checked(c.waitOnBatterySaver);
  s.FavoriteEnabled = Checked(c.favoriteFolder);
  s.SpeedpPriority = Checked(c.speedpPriority);
  s.NotUsedInTray = Checked(c.notUsedInTray);
  s.MessText = MemoText();
  s.AddShadow = Checked(c.addShadow);
  s.ShadowColor = c.shadowColor->Tag;
  s.G_Editor = WindowText(c.editorEdit);
  s.MessFont = c.font;
  s.SetMess = Checked(c.setMess);
  BOOL failed = FALSE;
  const auto minutes = static_cast<int32_t>(
      SendMessageW(c.timerUpDown, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)));
  const int32_t shown = failed ? 0 : minutes;
  // Minutes changed to a number: the user wants the timer, also when the menu had stopped it.
  if (shown > 0 && shown != s.TimerInterval / 60000) s.TimerEnabled = true;
  s.TimerInterval = shown * 60000;
  s.ReSize = Checked(c.reSize);
  const LRESULT fit = SendMessageW(c.fitMode, CB_GETCURSEL, 0, 0);
  s.FitMode = fit >= 0 && fit <= 2 ? static_cast<int32_t>(fit) : 0;
  s.PerMonitor = Checked(c.perMonitor);
  s.ColorManagement = Checked(c.colorManagement);
  s.BlurBackground = Checked(c.blurBackground);
  const int wait = NumberIn(c.pluginWaitEdit, TSettings::kMaxPluginTimeout);
  if (wait >= 1) s.PluginTimeout = wait;
  s.TileCenterPosit = Checked(c.tileCenterPosit);
  s.ActiveKey = FromHotKeyField(SendMessageW(c.activeKey, HKM_GETHOTKEY, 0, 0));
  s.IncomingBossKey = FromHotKeyField(SendMessageW(c.incomingBossKey, HKM_GETHOTKEY, 0, 0));
  s.IncomingBossFileName = c.bossPicture;
  s.RandomLoad = Checked(c.randomLoad);
  s.HotAct = Checked(c.hotActActivate);
  s.SubDir = Checked(c.subDir);
  s.NextLoad = Checked(c.nextLoad);
}

int TOptionsForm::Page() const {
  return static_cast<int>(SendMessageW(c_->tabs, CB_GETCURSEL, 0, 0));
}

void TOptionsForm::SetPage(int page) {
  if (page < 0 || page > 2) page = 0;
  SendMessageW(c_->tabs, CB_SETCURSEL, static_cast<WPARAM>(page), 0);
  TabsComboBoxChange();
}

void TOptionsForm::SetShellMenuEntry(bool exists) {
  shellMenuEntry_ = exists;
  c_->addMen->SetCaption(exists ? "右クリックの「Vesko2」メニューを削除"
                                : "右クリックに「Vesko2」メニューを追加");
}

void TOptionsForm::TabsComboBoxChange() {
  const int page = std::clamp(Page(), 0, 2);  // no selection (CB_ERR) shows the first page
  HWND shown = c_->pages[page];
  ShowWindow(shown, SW_SHOW);
  for (int i = 0; i < 3; ++i) {
    if (i != page) ShowWindow(c_->pages[i], SW_HIDE);
  }
  // The focus never stays on a control of a hidden page: keys would change what the user cannot
  // see, and the dialog's own search for a mnemonic would walk the tab order without end.
  HWND focus = GetFocus();
  if (IsWindowVisible(Handle()) && (focus == nullptr || !IsWindowVisible(focus))) {
    HWND first = nullptr;
    for (HWND child = GetWindow(shown, GW_CHILD); child != nullptr && first == nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      const LONG style = GetWindowLongW(child, GWL_STYLE);
      if ((style & WS_TABSTOP) != 0 && IsWindowVisible(child) && IsWindowEnabled(child)) {
        first = child;
      }
    }
    SetFocus(first != nullptr ? first : c_->tabs);
  }
  RefreshSepHint();
}

void TOptionsForm::NextPage(int step) {
  const int count = 3;
  int page = Page();
  page = step > 0 ? (page + 1) % count : (page + count - 1) % count;
  SendMessageW(c_->tabs, CB_SETCURSEL, static_cast<WPARAM>(page), 0);
  TabsComboBoxChange();
}

void TOptionsForm::RefreshSepHint() {
  SetHint(c_->inputSep->Handle(),
          SepString.empty() ? "セパレータ文字列：なし" : "セパレータ文字列：あり");
}

void TOptionsForm::OpenEditor() {
  TFileDialogOptions options;
  options.Title = "グラフィックエディタの設定";
  options.Filter = "実行ファイル|*.exe;*.com|全てのファイル|*.*";
  options.HideReadOnly = true;
  options.FileMustExist = true;
  options.EnableSizing = true;
  const std::string current = WindowText(c_->editorEdit);
  if (FileExists(current)) options.FileName = current;
  std::string path;
  if (dialogs_.OpenFile(options, path)) SetWindowTextW(c_->editorEdit, ToWide(path).c_str());
}

void TOptionsForm::ChooseBossPicture() {
  TFileDialogOptions options;
  options.Title = "画像ファイルを開く";
  options.Filter = "Bmp ファイル|*.Bmp";
  options.HideReadOnly = true;
  options.EnableSizing = true;
  options.Preview = true;
  options.FileName = c_->bossPicture;
  std::string path;
  if (!dialogs_.OpenFile(options, path)) return;
  c_->bossPicture = path;
  SetHint(c_->incomingBossKeyPanel->Handle(), path);
}

int TOptionsForm::NumberIn(HWND edit, int max) {
  const std::string text = WindowText(edit);
  if (text.empty() || text.size() > 4) return -1;
  int number = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    number = number * 10 + (c - '0');
  }
  return number <= max ? number : -1;
}

int TOptionsForm::TimerMinutes() const {
  return NumberIn(c_->timerEdit, kMaxTimerMinutes);
}

void TOptionsForm::Confirm() {
  if (NumberIn(c_->pluginWaitEdit, TSettings::kMaxPluginTimeout) < 1) {
    SetPage(0);
    dialogs_.Beep(kBeepWarning);
    dialogs_.ShowMessage("プラグインの応答待ちは 1 から " +
                         std::to_string(TSettings::kMaxPluginTimeout) + " 秒の間で入れてください");
    SetFocus(c_->pluginWaitEdit);
    SendMessageW(c_->pluginWaitEdit, EM_SETSEL, 0, -1);
    return;
  }
  if (TimerMinutes() < 0) {
    // The field is on the second page: show it, with the number selected for retyping.
    SetPage(1);
    dialogs_.Beep(kBeepWarning);
    dialogs_.ShowMessage("タイマーは 0 から " + std::to_string(kMaxTimerMinutes) +
                         " 分の間で入れてください");
    SetFocus(c_->timerEdit);
    SendMessageW(c_->timerEdit, EM_SETSEL, 0, -1);
    return;
  }
  ModalResult = kOk;
}

void TOptionsForm::ChooseShadowColor() {
  TColor color = c_->shadowColor->Tag;
  if (dialogs_.PickColor(color)) c_->shadowColor->Tag = color;
}

void TOptionsForm::ChooseMessFont() {
  TMessFont font = c_->font;
  if (!dialogs_.PickFont(font)) return;
  c_->font = font;
  ShowFontSample();
}

void TOptionsForm::ShowFontSample() {
  // The button keeps the dialog's font: a 36-point font would clip its caption.
  LOGFONTW lf = MessageLogFont(c_->font);
  lf.lfHeight = -Scale(12);
  lf.lfWidth = 0;
  c_->fontHandle.reset(CreateFontIndirectW(&lf));
  SendMessageW(c_->memo, WM_SETFONT, reinterpret_cast<WPARAM>(c_->fontHandle.get()), TRUE);
}

void TOptionsForm::InputSep() {
  TInputSepStringForm sep(Handle());
  sep.SetValues(SepLines, SepString, SepRandom);
  if (sep.ShowModal() == TInputSepStringForm::kOk) {
    sep.GetValues(SepLines, SepString, SepRandom);
    RefreshSepHint();
  }
}

void TOptionsForm::AddMenu() {
  // The panel adds the entry, or takes away the one that is there.
  if (shellMenuEntry_) {
    RemoveShellMenuEntry();
    dialogs_.ShowMessage("削除しました");
  } else {
    AddShellMenuEntry(programPath_);
    dialogs_.ShowMessage("設定しました");
  }
  SetShellMenuEntry(!shellMenuEntry_);
}

namespace {

// Whether a drop-down list of the dialog is open.
BOOL CALLBACK FindOpenList(HWND child, LPARAM found) {
  wchar_t kind[32] = {};
  GetClassNameW(child, kind, 32);
  if (lstrcmpiW(kind, WC_COMBOBOXW) == 0 && SendMessageW(child, CB_GETDROPPEDSTATE, 0, 0)) {
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

void TOptionsForm::EnableBlur() {
  // Only a picture fitted whole leaves bands for the blurred background to fill.
  EnableWindow(c_->blurBackground, SendMessageW(c_->fitMode, CB_GETCURSEL, 0, 0) == 2);
}

bool TOptionsForm::PreviewMessage(const MSG& message) {
  // Tab leaves the message box, whose lines would otherwise take it, as in every dialog.
  if (message.message == WM_KEYDOWN && message.wParam == VK_TAB && message.hwnd == c_->memo &&
      GetKeyState(VK_CONTROL) >= 0) {
    const bool back = GetKeyState(VK_SHIFT) < 0;
    if (HWND next = GetNextDlgTabItem(Handle(), c_->memo, back ? TRUE : FALSE)) SetFocus(next);
    return true;
  }
  if (message.message == WM_KEYDOWN &&
      (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE)) {
    // An open drop-down list takes its own Enter and Esc.
    bool listOpen = false;
    EnumChildWindows(Handle(), FindOpenList, reinterpret_cast<LPARAM>(&listOpen));
    if (listOpen) return false;
    // Enter in the message box is a new line, as in any box of several lines.
    if (message.wParam == VK_RETURN && message.hwnd == c_->memo) return false;
    if (message.wParam == VK_RETURN) {
      Confirm();
    } else {
      ModalResult = kCancel;
    }
    return true;
  }
  if (message.message == WM_MOUSEWHEEL) {
    // The wheel acts on what is under the mouse: over the page chooser it turns the page, over
    // the message box it scrolls the text; elsewhere it does nothing.
    const POINT at{static_cast<short>(LOWORD(message.lParam)),
                   static_cast<short>(HIWORD(message.lParam))};
    HWND under = WindowFromPoint(at);
    if (under == c_->tabs || IsChild(c_->tabs, under)) {
      NextPage(GET_WHEEL_DELTA_WPARAM(message.wParam) < 0 ? 1 : -1);
    } else if (under == c_->memo && message.hwnd != c_->memo) {
      SendMessageW(c_->memo, WM_MOUSEWHEEL, message.wParam, message.lParam);
    } else if (under == c_->memo) {
      return false;
    }
    return true;
  }
  return false;
}

HWND TOptionsForm::Control(const char* name) const {
  const TControls& c = *c_;
  const std::map<std::string, HWND> controls{{"SubDir", c.subDir},
                                             {"NextLoad", c.nextLoad},
                                             {"RandomLoad", c.randomLoad},
                                             {"TileCenterPosit", c.tileCenterPosit},
                                             {"ReSize", c.reSize},
                                             {"SpeedpPriority", c.speedpPriority},
                                             {"FitMode", c.fitMode},
                                             {"PerMonitor", c.perMonitor},
                                             {"ColorManagement", c.colorManagement},
                                             {"BlurBackground", c.blurBackground},
                                             {"PlayMidi", c.playMidi},
                                             {"PluginWaitEdit", c.pluginWaitEdit},
                                             {"HotActMenu", c.hotActMenu},
                                             {"HotActActivate", c.hotActActivate},
                                             {"ActiveKey", c.activeKey},
                                             {"TimerEdit", c.timerEdit},
                                             {"TimerUpDown", c.timerUpDown},
                                             {"TimerLabel", c.timerLabel},
                                             {"NotUsedInTray", c.notUsedInTray},
                                             {"FavoriteFolder", c.favoriteFolder},
                                             {"IncomingBossKey", c.incomingBossKey},
                                             {"AddSCName", c.addSCName},
                                             {"WaitWhileBusy", c.waitWhileBusy},
                                             {"WaitOnBatterySaver", c.waitOnBatterySaver},
                                             {"G_EditorEdit", c.editorEdit},
                                             {"Browse", c.browse},
                                             {"SetMess", c.setMess},
                                             {"AddShadow", c.addShadow},
                                             {"Memo", c.memo},
                                             {"ExcludedLabel", c.excludedLabel},
                                             {"StartWithWindows", c.startWithWindows},
                                             {"StartsOther", c.startsOther},
                                             {"Tabs", c.tabs},
                                             {"Page0", c.pages[0]},
                                             {"Page1", c.pages[1]},
                                             {"Page2", c.pages[2]}};
  const auto it = controls.find(name);
  return it != controls.end() ? it->second : nullptr;
}

TColorPanel* TOptionsForm::Panel(const char* name) const {
  const TControls& c = *c_;
  const std::map<std::string, TColorPanel*> panels{
      {"Ok", c.ok.get()},
      {"Cancel", c.cancel.get()},
      {"IncomingBossKeyPanel", c.incomingBossKeyPanel.get()},
      {"AddMen", c.addMen.get()},
      {"InputSep", c.inputSep.get()},
      {"ShadowColor", c.shadowColor.get()},
      {"MessFont", c.messFont.get()},
      {"ClearExcluded", c.clearExcluded.get()}};
  const auto it = panels.find(name);
  return it != panels.end() ? it->second : nullptr;
}

void TOptionsForm::SetExcludedCount(size_t count) {
  excludedCleared_ = false;
  ShowExcludedCount(count);
}

void TOptionsForm::ShowExcludedCount(size_t count) {
  const std::string text = "今後表示しない画像: " + std::to_string(count) + " 枚" +
                           (excludedCleared_ ? "（OK で解除）" : "");
  SetWindowTextW(c_->excludedLabel, ToWide(text).c_str());
  c_->clearExcluded->SetEnabled(count > 0);
}

void TOptionsForm::PaintFrame() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(Handle(), &ps);
  RECT all{};
  GetClientRect(Handle(), &all);
  RECT title{0, 0, all.right, Scale(kTitleHeight)};
  RECT bottom{0, all.bottom - Scale(kBottomHeight), all.right, all.bottom};
  TGdiObject titleBrush(CreateSolidBrush(kTitleColor));
  TGdiObject bottomBrush(CreateSolidBrush(kBottomColor));
  FillRect(dc, &title, static_cast<HBRUSH>(titleBrush.get()));
  FillRect(dc, &bottom, static_cast<HBRUSH>(bottomBrush.get()));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 0, 0));
  TSelectObject select(dc, c_->titleFont.get());
  const std::wstring text = ToWide(title_ + " の設定");
  RECT textRect = title;
  textRect.left += Scale(6);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
            DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  EndPaint(Handle(), &ps);
}

LRESULT TOptionsForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      PaintFrame();
      return 0;
    case WM_ERASEBKGND: {
      RECT all{};
      GetClientRect(Handle(), &all);
      FillRect(reinterpret_cast<HDC>(wParam), &all, GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    case WM_LBUTTONDOWN:
      // The title strip drags the dialog.
      if (static_cast<short>(HIWORD(lParam)) < Scale(kTitleHeight)) {
        ReleaseCapture();
        SendMessageW(Handle(), WM_SYSCOMMAND, 0xF012, lParam);
      }
      return 0;
    case WM_MEASUREITEM: {
      auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      if (item->CtlType == ODT_COMBOBOX) item->itemHeight = static_cast<UINT>(Scale(16));
      return TRUE;
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->CtlType != ODT_COMBOBOX) break;
      // The chosen item and the edit part: red on the combo box's colour; others black on white.
      const bool marked =
          (item->itemState & ODS_SELECTED) != 0 || (item->itemState & ODS_COMBOBOXEDIT) != 0;
      TGdiObject brush(CreateSolidBrush(marked ? kComboColor : RGB(255, 255, 255)));
      RECT r = item->rcItem;
      FillRect(item->hDC, &r, static_cast<HBRUSH>(brush.get()));
      if (item->itemID == static_cast<UINT>(-1)) return TRUE;
      SetBkMode(item->hDC, TRANSPARENT);
      SetTextColor(item->hDC, marked ? RGB(255, 0, 0) : RGB(0, 0, 0));
      const std::wstring text = ToWide(kPageCaptions[item->itemID % 3]);
      r.left += Scale(2);
      DrawTextW(item->hDC, text.c_str(), static_cast<int>(text.size()), &r,
                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == kTabsId && HIWORD(wParam) == CBN_SELCHANGE) {
        TabsComboBoxChange();
        return 0;
      }
      if (LOWORD(wParam) == kBrowseId && HIWORD(wParam) == BN_CLICKED) {
        OpenEditor();
        return 0;
      }
      if (reinterpret_cast<HWND>(lParam) == c_->fitMode && HIWORD(wParam) == CBN_SELCHANGE) {
        EnableBlur();
        return 0;
      }
      // Enter and Esc reach the form only through the previews above.
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) return 0;
      break;
    default:
      break;
  }
  return TModalForm::HandleMessage(message, wParam, lParam);
}
