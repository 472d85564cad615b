// The notification-area icon: one icon in the shell's notification area with its tip, turning
// the shell's mouse callbacks into events and popup menus. Every instance in the process shares
// one hidden callback window and one registry of icon identifiers.
#pragma once

#include <windows.h>
// After windows.h: NOTIFYICONDATA and the NIM_ requests.
#include <shellapi.h>

#include <functional>
#include <string>

#include "base/Component.h"
#include "base/Exception.h"
#include "base/Handles_win.h"
#include "base/PopupMenu.h"

class IRandom;

// A property set to a value the component cannot take in its state.
class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};

enum class TMouseButton { Left, Right, Middle };

// The buttons held during a mouse event, as bit flags.
using TShiftState = unsigned;
constexpr TShiftState kShiftNone = 0;
constexpr TShiftState kShiftLeft = 0x08;
constexpr TShiftState kShiftRight = 0x10;
constexpr TShiftState kShiftMiddle = 0x20;

// Shell_NotifyIconA's record in its first, 88-byte form: every shell since Windows 95 reads it.
struct TNotifyIconData {
  DWORD cbSize;
  HWND hWnd;
  UINT uID;
  UINT uFlags;
  UINT uCallbackMessage;
  HICON hIcon;
  char szTip[64];  // ANSI code page, NUL-terminated
};

// What the component asks of the shell. One per process; tests put their own in place.
class ITrayShell {
 public:
  virtual ~ITrayShell() = default;
  // Shell_NotifyIconA: true when the shell took the request.
  virtual bool NotifyIcon(DWORD message, const TNotifyIconData& data) = 0;
  // The pause before the next attempt after the shell refused one.
  virtual void Wait(unsigned milliseconds) = 0;
  // A balloon over the icon `data` names (Shell_NotifyIconW with NIF_INFO): true when the
  // shell took it. The shell's own call unless a test puts another in place.
  virtual bool ShowBalloon(const TNotifyIconData& data, const std::wstring& title,
                           const std::wstring& text);
};

struct TIconTraits {
  using Handle = HICON;
  static Handle Invalid() { return nullptr; }
  static bool Valid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { DestroyIcon(h); }
};
using TIconHandle = TUniqueHandle<TIconTraits>;

class TTaskTray final : public TComponent {
 public:
  static constexpr UINT kCallbackMessage = 0x466;
  // Attempts at adding or modifying the icon before the shell's refusal is an error.
  static constexpr int kMaxAttempts = 51;

  // `ownerForm`, when given, is brought to the foreground on a button press over the icon.
  explicit TTaskTray(HWND ownerForm = nullptr);
  ~TTaskTray() override;

  TPopupMenu* PopupMenuL() const { return popupMenuL_.get(); }
  void SetPopupMenuL(TPopupMenu* menu) { popupMenuL_ = menu; }
  TPopupMenu* PopupMenuR() const { return popupMenuR_.get(); }
  void SetPopupMenuR(TPopupMenu* menu) { popupMenuR_ = menu; }

  const std::string& TipString() const { return tipString_; }
  void SetTipString(const std::string& tip);
  // The component's own copy of the icon; null when it has none.
  HICON Icon() const { return icon_.get(); }
  // Copies `icon` in; null releases the copy and removes the icon from the notification area.
  void SetIcon(HICON icon);
  int IconID() const { return iconId_; }
  void SetIconID(int id);
  // Whether the icon is wanted in the notification area.
  bool Registered() const { return registered_; }
  void SetRegistered(bool registered);

  std::function<void(TTaskTray& sender, TMouseButton button)> OnDblClick;
  std::function<void(TTaskTray& sender, TShiftState shift, int x, int y)> OnMouseMove;
  std::function<void(TTaskTray& sender, TMouseButton button, TShiftState shift, int x, int y)>
      OnMouseDown;
  std::function<void(TTaskTray& sender, TMouseButton button, TShiftState shift, int x, int y)>
      OnMouseUp;

  // Adds the icon, or brings the shown one up to date, while Registered; retries a refusing
  // shell after random pauses and fails after kMaxAttempts.
  void UpdateIcon();
  // Deletes the icon from the notification area; Registered becomes false.
  void RemoveIcon();
  // A balloon with a warning sign over the shown icon; false when there is no icon or the shell
  // refused. A click on it calls OnBalloonClick.
  bool ShowBalloon(const std::string& title, const std::string& text);
  std::function<void(TTaskTray& sender)> OnBalloonClick;

  // The shared callback window; null while no icon has been added since the first instance.
  static HWND CallbackWindow();
  // Replace the shell and the random pauses for the process; null restores the real ones.
  // Each returns what was in place.
  static ITrayShell* SetShell(ITrayShell* shell);
  static IRandom* SetRandom(IRandom* random);

 private:
  class TNotifyWindow;

  static TTaskTray* Find(int id);
  static bool Alive(const TTaskTray* tray);
  static void Callback(WPARAM id, LPARAM mouseMessage);
  static void MouseDown(TTaskTray* tray, TMouseButton button, TShiftState shift, POINT at);
  static void ShellRestarted();

  HWND ownerForm_;
  TPopupMenuRef popupMenuL_;
  TPopupMenuRef popupMenuR_;
  std::string tipString_;
  TIconHandle icon_;
  int iconId_ = 0;
  bool registered_ = false;
  bool added_ = false;  // the shell shows the icon
  TNotifyIconData data_{};
};
