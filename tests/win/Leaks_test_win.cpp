// Windows resources stay flat when the window's menus, dialogs and boxes open and close many
// times: every menu, font, brush and window made for them goes again.
#include <doctest/doctest.h>

#include "FormFixture_win.h"
#include "app/AboutForm_win.h"
#include "app/OptionsForm_win.h"

namespace {

struct TResources {
  DWORD gdi;
  DWORD user;
  int windows;
  int gdiRoom;
};

// GetGuiResources answers 0 under Wine: there the windows of this thread, counted one by one,
// stand in for the user objects, and the room left for GDI objects for the GDI objects.
TResources Resources() {
  return {GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
          GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), CountThreadWindows(), GdiRoom()};
}

}  // namespace

TEST_CASE(
    "menus, the options dialog, the about box and the panel leave no window or object behind") {
  FormFixture f;
  auto form = f.Create();
  form->PopupMenu->Track = [](HMENU, int, int) -> UINT { return 0; };
  auto cycle = [&] {
    for (int i = 0; i < 20; ++i) {
      SendMessageW(form->Handle(), WM_CONTEXTMENU, 0, MAKELPARAM(50, 50));
      RedrawWindow(form->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
      SendMessageW(form->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(12, 21));
      SendMessageW(form->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(30, 5));
    }
    TModalForm::OnShown = [](TModalForm& shown) {
      PostMessageW(shown.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    };
    for (int i = 0; i < 3; ++i) form->OptionAction.Execute();
    TModalForm::OnShown = nullptr;
    form->Settings.PlayMidi = false;
    for (int i = 0; i < 3; ++i) {
      form->AboutAction.Execute();
      for (int tick = 0; tick < 8; ++tick) {
        SendMessageW(TAboutForm::Current()->Handle(), WM_TIMER, 1, 0);
      }
      SendMessageW(TAboutForm::Current()->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    }
  };
  cycle();  // first uses create what lives for the process (classes, cached fonts)
  const TResources before = Resources();
  for (int round = 0; round < 5; ++round) cycle();
  const TResources after = Resources();
  CAPTURE(before.gdi);
  CAPTURE(after.gdi);
  CAPTURE(before.user);
  CAPTURE(after.user);
  CAPTURE(before.windows);
  CAPTURE(after.windows);
  // 100 menus, 15 dialogs and 15 boxes later: nothing may have piled up (a few objects of slack
  // for the system's own caches).
  CAPTURE(before.gdiRoom);
  CAPTURE(after.gdiRoom);
  CHECK(after.gdi <= before.gdi + 4);
  CHECK(after.gdiRoom >= before.gdiRoom - 4);
  CHECK(after.user <= before.user + 4);
  CHECK(after.windows == before.windows);
  CHECK(before.windows > 3);
  f.Close(form);
}
