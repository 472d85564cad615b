// The main window's panel: its colour and button glyphs at any screen scaling, the buttons, the
// hints, and dragging the window by the panel.
#include "app/MainForm_win.h"
// After windows.h.
#include <commctrl.h>

#include "app/Application_win.h"
#include "base/Handles_win.h"
#include "base/Unicode_win.h"

namespace {

// The buttons at 96 dots per inch.
const RECT kPreButton{2, 11, 22, 31};
const RECT kNextButton{22, 11, 43, 31};
const RECT kMinimizeButton{0, 0, 9, 9};
const COLORREF kGlyphColor = RGB(96, 80, 64);

enum THintArea { kHintPanel, kHintPre, kHintNext, kHintMinimize };

bool Inside(const RECT& r, int x, int y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

}  // namespace

int TVesko2MainForm::Scale(int size) const {
  return MulDiv(size, static_cast<int>(dpi_), 96);
}

RECT TVesko2MainForm::ScaleRect(const RECT& rect) const {
  return {Scale(rect.left), Scale(rect.top), Scale(rect.right), Scale(rect.bottom)};
}

void TVesko2MainForm::ApplyDpi(UINT dpi) {
  dpi_ = dpi == 0 ? 96 : dpi;
  SetWindowPos(Handle(), nullptr, 0, 0, Scale(kPanelWidth), Scale(kPanelHeight),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (hints_ != nullptr) {
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = Handle();
    tool.uId = 1;
    GetClientRect(Handle(), &tool.rect);
    SendMessageW(hints_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  InvalidateRect(Handle(), nullptr, FALSE);
}

void TVesko2MainForm::CreateHints() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  // Owned by this window: destroyed with it.
  hints_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(),
                           nullptr, GetModuleHandleW(nullptr), nullptr);
  if (hints_ == nullptr) return;
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_SUBCLASS;
  tool.hwnd = Handle();
  tool.uId = 1;
  GetClientRect(Handle(), &tool.rect);
  wchar_t empty[] = L"";
  tool.lpszText = empty;
  SendMessageW(hints_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TVesko2MainForm::PanelMouseMove(int x, int y) {
  if (hints_ == nullptr) return;
  int area = kHintPanel;
  if (Inside(ScaleRect(kMinimizeButton), x, y)) {
    area = kHintMinimize;
  } else if (Inside(ScaleRect(kPreButton), x, y)) {
    area = kHintPre;
  } else if (Inside(ScaleRect(kNextButton), x, y)) {
    area = kHintNext;
  }
  std::string text;
  switch (area) {
    case kHintPre:
      text = PreAction.Hint;
      break;
    case kHintNext:
      text = NextAction.Hint;
      break;
    case kHintMinimize:
      text = "Minimize";
      break;
    default:
      text = busyHint_.empty() ? PanelHint : busyHint_;
      break;
  }
  if (area == hintArea_ && text == hintText_) return;
  // Another part of the panel: the old hint goes, the new one comes after the usual pause.
  hintArea_ = area;
  hintText_ = text;
  SendMessageW(hints_, TTM_POP, 0, 0);
  std::wstring wide = ToWide(text);
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = Handle();
  tool.uId = 1;
  tool.lpszText = wide.data();
  SendMessageW(hints_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TVesko2MainForm::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(Handle(), &ps);
  TGdiObject panel(CreateSolidBrush(panelColor_));
  RECT all{};
  GetClientRect(Handle(), &all);
  FillRect(dc, &all, static_cast<HBRUSH>(panel.get()));
  TGdiObject face(CreateSolidBrush(kGlyphColor));
  TGdiObject pen(CreatePen(PS_SOLID, 1, kGlyphColor));
  {
    TSelectObject selectBrush(dc, face.get());
    TSelectObject selectPen(dc, pen.get());
    // Triangles drawn from the scaled button centre: edges stay sharp at every scaling.
    auto triangle = [&](const RECT& button, bool right) {
      const RECT r = ScaleRect(button);
      const int cx = (r.left + r.right) / 2;
      const int cy = (r.top + r.bottom) / 2;
      const int w = Scale(3);
      const int h = Scale(5);
      POINT points[3];
      if (right) {
        points[0] = {cx - w, cy - h};
        points[1] = {cx + w, cy};
        points[2] = {cx - w, cy + h};
      } else {
        points[0] = {cx + w, cy - h};
        points[1] = {cx - w, cy};
        points[2] = {cx + w, cy + h};
      }
      Polygon(dc, points, 3);
    };
    triangle(kPreButton, false);
    triangle(kNextButton, true);
    // The minimise glyph: a bar along the bottom of its small square.
    const RECT m = ScaleRect(kMinimizeButton);
    RECT bar{m.left + Scale(2), m.bottom - Scale(3), m.right - Scale(2), m.bottom - Scale(2)};
    FillRect(dc, &bar, static_cast<HBRUSH>(face.get()));
  }
  EndPaint(Handle(), &ps);
}

bool TVesko2MainForm::PanelButtonAt(int x, int y) const {
  return Inside(ScaleRect(kMinimizeButton), x, y) || Inside(ScaleRect(kPreButton), x, y) ||
         Inside(ScaleRect(kNextButton), x, y);
}

void TVesko2MainForm::ShowWelcome() {
  if (Settings.Tray || !IsWindowVisible(Handle())) return;
  Welcome = std::make_unique<TWelcomeBalloon>(Handle(), dpi_);
  SetTimer(Handle(), kWelcomeTimer, kWelcomeMs, nullptr);
}

void TVesko2MainForm::HideWelcome() {
  if (!Welcome) return;
  KillTimer(Handle(), kWelcomeTimer);
  Welcome.reset();
}

void TVesko2MainForm::PanelMouseDown(int x, int y) {
  // After a start at sign-in whose balloon stands at the panel: the click tells what it held.
  const bool tell = Welcome != nullptr && !heldReport_.empty() && !TaskTray->Registered();
  HideWelcome();
  if (tell) {
    Gate.Offer(
        TInput::Command, [this] { ShowHeldReport(); }, &heldReport_);
    return;
  }
  if (Inside(ScaleRect(kMinimizeButton), x, y)) {
    env_.Application.Minimize();
    return;
  }
  for (TAction* action : {&PreAction, &NextAction}) {
    if (Inside(ScaleRect(action == &PreAction ? kPreButton : kNextButton), x, y)) {
      OfferCommand(
          action, [action] { action->Execute(); }, action);
      return;
    }
  }
  // The panel drags the window: a move by the caption, started from here.
  ReleaseCapture();
  SendMessageW(Handle(), WM_SYSCOMMAND, 0xF012, MAKELPARAM(x, y));
}
