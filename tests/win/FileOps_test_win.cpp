// The shell's copy and delete, and files dropped onto a window, on the real shell and window.
#include <doctest/doctest.h>

#include <shlobj.h>

#include <stdexcept>

#include "FormFixture_win.h"
#include "base/Handles_win.h"
#include "base/PumpedWait_win.h"
#include "files/FileDrop_win.h"
#include "files/FileOperation_win.h"

namespace {

class TPlainWindow final : public TWindowBase {
 public:
  TPlainWindow() {
    CreateHandle(L"VeskoTestDropTarget", L"drop", WS_POPUP, 0, 0, 0, 50, 50, nullptr);
  }
  ~TPlainWindow() override { DestroyHandle(); }
  int others = 0;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_APP) ++others;
    return DefaultHandler(message, wParam, lParam);
  }
};

}  // namespace

TEST_CASE("shell operations: flags bit for bit without the mapping handle, double-NUL lists") {
  CHECK(TFileOperation::ShellFlags(fofAllowUndo | fofFilesOnly) == (FOF_ALLOWUNDO | FOF_FILESONLY));
  CHECK(TFileOperation::ShellFlags(fofWantMappingHandle | fofSilent) == FOF_SILENT);
  CHECK(TFileOperation::ShellFlags(fofMultiDestFiles | fofNoErrorUI | fofSimpleProgress) ==
        (FOF_MULTIDESTFILES | FOF_NOERRORUI | FOF_SIMPLEPROGRESS));
  CHECK(TFileOperation::PathList({}) == std::wstring(1, L'\0'));
  CHECK(TFileOperation::PathList({"a", "写真"}) == std::wstring(L"a\0写真\0\0", 6));
}

TEST_CASE("copy lands the files; delete without undo removes them for good, with undo too") {
  TTempDir dir;
  CreateDirectoryW((dir / L"to").c_str(), nullptr);
  WriteBytes(dir / L"一.bmp", MakeTestBmp(2, 2));
  WriteBytes(dir / L"two.bmp", MakeTestBmp(2, 2));
  TFileOperation op(nullptr);
  op.Options = fofNoConfirmation | fofSilent;
  op.FromFiles = {ToUtf8(dir / L"一.bmp"), ToUtf8(dir / L"two.bmp")};
  op.ToFiles = {ToUtf8(dir / L"to")};
  CHECK_FALSE(op.Copy());
  CHECK(Exists(dir / L"to\\一.bmp"));
  CHECK(Exists(dir / L"to\\two.bmp"));
  op.FromFiles = {ToUtf8(dir / L"to\\一.bmp")};
  CHECK_FALSE(op.Delete());
  CHECK_FALSE(Exists(dir / L"to\\一.bmp"));
  op.Options = fofAllowUndo | fofNoConfirmation | fofSilent;
  op.FromFiles = {ToUtf8(dir / L"to\\two.bmp")};
  CHECK_FALSE(op.Delete());
  CHECK_FALSE(Exists(dir / L"to\\two.bmp"));  // in the recycle bin
}

TEST_CASE("a drop: one event with every path in order and the point; errors shown, drop ended") {
  TPlainWindow window;
  TFileDrop drop(window.Handle());
  CHECK(drop.Accept());
  CHECK((GetWindowLongW(window.Handle(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0);
  const int calls = drop.AcceptCalls();
  drop.SetAccept(true);  // unchanged: the shell is not asked
  CHECK(drop.AcceptCalls() == calls);
  drop.SetAccept(false);
  CHECK(drop.AcceptCalls() == calls + 1);
  CHECK((GetWindowLongW(window.Handle(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES) == 0);
  drop.SetAccept(true);

  // Nobody listening: the drop is ended without effect.
  SendMessageW(window.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({L"C:\\x"}, {})),
               0);

  std::vector<std::string> files;
  int num = 0;
  POINT at{};
  drop.OnFileDrop = [&](TFileDrop&, int n, const std::vector<std::string>& f, int x, int y) {
    num = n;
    files = f;
    at = {x, y};
  };
  const std::wstring longName = L"C:\\" + std::wstring(300, L'長') + L".bmp";
  SendMessageW(
      window.Handle(), WM_DROPFILES,
      reinterpret_cast<WPARAM>(MakeDrop({L"C:\\b.bmp", L"C:\\a 写真.jpg", longName}, {7, 9})), 0);
  CHECK(num == 3);
  CHECK(files == std::vector<std::string>{"C:\\b.bmp", "C:\\a 写真.jpg", ToUtf8(longName)});
  CHECK(at.x == 7);
  CHECK(at.y == 9);

  std::vector<std::string> shown;
  auto saved = TWindowBase::ErrorHandler;
  TWindowBase::ErrorHandler = [&](const std::exception& e) { shown.emplace_back(e.what()); };
  drop.OnFileDrop = [](TFileDrop&, int, const std::vector<std::string>&, int, int) {
    throw std::runtime_error("handler failed");
  };
  SendMessageW(window.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({L"C:\\x"}, {})),
               0);
  TWindowBase::ErrorHandler = saved;
  CHECK(shown == std::vector<std::string>{"handler failed"});
  // Every other message still reaches the window.
  SendMessageW(window.Handle(), WM_APP, 0, 0);
  CHECK(window.others == 1);

  CHECK_THROWS_WITH_AS(TFileDrop(nullptr), "Invalidate Window Handle in FileDrop", EFileDrop);
}

TEST_CASE("dropped onto the main window: one file opens, two are refused with a warning") {
  FormFixture f;
  CreateDirectoryW((f.dir / L"pics").c_str(), nullptr);
  WriteBytes(f.dir / L"pics\\a.bmp", MakeTestBmp(4, 4));
  auto form = f.Create();
  SendMessageW(form->Handle(), WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeDrop({f.dir / L"pics"}, {5, 5})), 0);
  CHECK(form->Settings.PaperFolder == ToUtf8(f.dir / L"pics"));
  CHECK(form->List.MainListBox.Count() == 1);
  SendMessageW(form->Handle(), WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeDrop({f.dir / L"pics\\a.bmp", f.dir / L"x.bmp"}, {})),
               0);
  CHECK(f.dialogs.messages.back() == "ドラッグ＆ドロップは一つだけ");
  // Drops during a plug-in call (a wait that keeps the window's messages going) wait for it;
  // the latest one acts, once: the refused pair before it is never answered.
  CreateDirectoryW((f.dir / L"later").c_str(), nullptr);
  WriteBytes(f.dir / L"later\\b.bmp", MakeTestBmp(4, 4));
  const size_t messages = f.dialogs.messages.size();
  PostMessageW(form->Handle(), WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeDrop({f.dir / L"pics\a.bmp", f.dir / L"x.bmp"}, {})),
               0);
  PostMessageW(form->Handle(), WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeDrop({f.dir / L"later"}, {5, 5})), 0);
  const THandle never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const HANDLE call = never.get();
  CHECK(WaitPumping(&call, 1, 200) == WAIT_TIMEOUT);  // the drops arrive at its start
  CHECK(form->Settings.PaperFolder == ToUtf8(f.dir / L"pics"));
  CHECK(PumpUntil([&] { return form->Settings.PaperFolder == ToUtf8(f.dir / L"later"); }, 10000));
  CHECK(form->Settings.PaperName == ToUtf8(f.dir / L"later\\b.bmp"));
  CHECK(f.dialogs.messages.size() == messages);
  f.Close(form);
}
