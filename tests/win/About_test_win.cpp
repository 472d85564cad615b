// The about box on the real window: versions from the program file, the growing mark, the tune
// written beside the program only while PlayMidi is on, and closing by key or by focus.
#include <doctest/doctest.h>

#include "FormFixture_win.h"
#include "app/AboutForm_win.h"
// After windows.h.
#include <mmsystem.h>

namespace {

std::string Caption(TColorPanel& panel) {
  wchar_t text[128] = {};
  GetWindowTextW(panel.Handle(), text, 128);
  return ToUtf8(text);
}

// A main window whose program file is the real Vesko2.exe, copied into the test's folder.
struct AboutFixture : FormFixture {
  std::unique_ptr<TVesko2MainForm> form;
  AboutFixture() {
    REQUIRE(CopyFileW(EnvPath(L"VESKO2_EXE").c_str(), (dir / L"Vesko2.exe").c_str(), FALSE));
    form = Create();
  }
  ~AboutFixture() {
    if (form) Close(form);
  }
};

}  // namespace

TEST_CASE("the about box: versions, the tune beside the program, the mark growing into the title") {
  AboutFixture f;
  f.form->AboutAction.Execute();
  TAboutForm* box = TAboutForm::Current();
  REQUIRE(box != nullptr);
  CHECK(f.form->Tag == 1);
  const std::string version = ToUtf8(EnvPath(L"VESKO2_VERSION"));
  CHECK(Caption(box->ProductVersionPanel()) == "Version " + version);
  CHECK(Caption(box->FileVersionPanel()) == "( " + version + " )");
  CHECK(Caption(box->NamePanel()) == "V2");
  // The tune starts from the box's own message, once it has painted.
  CHECK(PumpUntil([&] { return Exists(f.dir / L"Vesko2.mid"); }, 3000));
  CHECK(box->NameFontSize() == 18);
  // Seven seconds of the mark spreading and growing, then the title.
  const char* const marks[] = {"V2", "V 2", "V  2", "V   2", "V    2", "V     2", "V      2"};
  int size = 18;
  for (int n = 0; n < 7; ++n) {
    SendMessageW(box->Handle(), WM_TIMER, 1, 0);
    size += n;
    CHECK(Caption(box->NamePanel()) == marks[n]);
    CHECK(box->NameFontSize() == size);
  }
  SendMessageW(box->Handle(), WM_TIMER, 1, 0);
  CHECK(Caption(box->NamePanel()) == "Vesko 2");
  CHECK(box->NameFontSize() == 39);

  SendMessageW(box->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  CHECK(TAboutForm::Current() == nullptr);
  CHECK_FALSE(Exists(f.dir / L"Vesko2.mid"));
  CHECK(f.form->Tag == 0);
}

TEST_CASE("without PlayMidi no tune is written; Enter and losing the focus close the box") {
  AboutFixture f;
  f.form->Settings.PlayMidi = false;
  f.form->AboutAction.Execute();
  REQUIRE(TAboutForm::Current() != nullptr);
  CHECK_FALSE(Exists(f.dir / L"Vesko2.mid"));
  SendMessageW(TAboutForm::Current()->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  CHECK(TAboutForm::Current() == nullptr);

  f.form->AboutAction.Execute();
  REQUIRE(TAboutForm::Current() != nullptr);
  SetForegroundWindow(f.form->Handle());
  SetActiveWindow(f.form->Handle());
  CHECK(PumpUntil([] { return TAboutForm::Current() == nullptr; }, 3000));
  CHECK(f.form->Tag == 0);
}

namespace {

// A window of the test's own whose posted messages run between the program's: the first closes
// the about box, the second marks that every message posted before it has run.
constexpr UINT kCloseBox = WM_APP + 70;
constexpr UINT kMarker = WM_APP + 71;
bool markerSeen = false;

LRESULT CALLBACK ScriptProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kCloseBox && TAboutForm::Current() != nullptr)
    SendMessageW(TAboutForm::Current()->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  if (message == kMarker) markerSeen = true;
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

TEST_CASE("a box closed before its tune starts leaves no tune behind") {
  AboutFixture f;
  WNDCLASSW wc{};
  wc.lpfnWndProc = ScriptProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VeskoAboutScript";
  RegisterClassW(&wc);
  HWND script = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
  REQUIRE(script != nullptr);
  // The close is already waiting when the box opens.
  PostMessageW(script, kCloseBox, 0, 0);
  f.form->AboutAction.Execute();
  // Opening the box ran no message of the queue under it: the box is there, whole, until the
  // close comes in its turn.
  CHECK(TAboutForm::Current() != nullptr);
  markerSeen = false;
  PostMessageW(script, kMarker, 0, 0);
  CHECK(PumpUntil([] { return markerSeen; }, 5000));
  CHECK(TAboutForm::Current() == nullptr);
  CHECK_FALSE(Exists(f.dir / L"Vesko2.mid"));
  wchar_t mode[64] = {};
  CHECK(mciSendStringW(L"status vesko2_about_tune mode", mode, 64, nullptr) != 0);  // not open
  CHECK(f.form->Tag == 0);
  DestroyWindow(script);
}
