// Process entry: OLE and COM for the main thread, the single-instance test, then either the
// hand-over of a second start or the first instance's window and message loop.
#include <objbase.h>
#include <ole2.h>
#include <shellapi.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/Application_win.h"
#include "app/Dialogs_win.h"
#include "app/HandOver.h"
#include "app/MainForm_win.h"
#include "app/PluginSetup_win.h"
#include "app/QuietDialogs.h"
#include "app/SingleInstance_win.h"
#include "base/DllSearch_win.h"
#include "base/Handles_win.h"
#include "base/Unicode_win.h"
#include "decode/PluginHelper_win.h"
#include "decode/SPI_win.h"
#include "files/ArchiveFile_win.h"

namespace {

// The arguments after the program's name. Not CommandLineToArgvW: it reads the closing quote
// of "D:\\My pics\\" as an escaped quote character.
std::vector<std::wstring> CommandLineArguments() {
  const std::vector<std::string> all = SplitCommandLine(ToUtf8(GetCommandLineW()));
  std::vector<std::wstring> arguments;
  for (size_t i = 1; i < all.size(); ++i) arguments.push_back(ToWide(all[i]));
  return arguments;
}

std::wstring CurrentDirectory() {
  std::wstring dir(GetCurrentDirectoryW(0, nullptr), L'\0');
  dir.resize(GetCurrentDirectoryW(static_cast<DWORD>(dir.size()), dir.data()));
  while (dir.size() > 3 && dir.back() == L'\\') dir.pop_back();
  return dir;
}

std::wstring ProgramPath() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

class TOleScope {
 public:
  TOleScope() {
    OleInitialize(nullptr);
    CoInitialize(nullptr);
  }
  TOleScope(const TOleScope&) = delete;
  TOleScope& operator=(const TOleScope&) = delete;
  ~TOleScope() {
    OleUninitialize();
    CoUninitialize();
  }
};

int RunFirstInstance(const std::vector<std::wstring>& arguments) {
  // Started at sign-in (the Run value), the current folder is the system's: the settings are
  // the ones beside the program, as when it is started from its own folder. Such a start greets
  // nobody with boxes: what they would say is held until the start is over, and told once.
  bool signIn = false;
  for (const std::wstring& argument : arguments)
    signIn = signIn || IsSignInSwitch(ToUtf8(argument));
  if (signIn) {
    const std::wstring program = ProgramPath();
    SetCurrentDirectoryW(program.substr(0, program.rfind(L'\\')).c_str());
  }
  // Plug-ins users install run in a helper process, and the system's codecs with them; ours,
  // which contain their own faults, here. Archiver libraries all run there. The plug-in search
  // at the window's start is the helper's first call: its process (a fifth of a second and
  // more under Wine) starts now, beside the window's own start.
  TPluginHelper helper(ProgramPath());
  helper.Prepare();
  TApplication application;
  // Boxes and dialogs belong to the window in front (a modal dialog of ours when one is open).
  TWinDialogs dialogs(
      [&] {
        HWND active = GetActiveWindow();
        return active != nullptr ? active : application.MainWindow();
      },
      [&] { return application.Title(); });
  TWindowBase::ErrorHandler = [&](const std::exception& error) { dialogs.ShowError(error); };

  TSPI::Helper = &helper;
  TSPI::RunsApart = [](const std::string& fileName) {
    static const std::vector<TOwnPlugin> ours = {
#include "OwnPlugins.inc"
    };
    return !IsOwnPlugin(fileName, ours);
  };
  TArchiveExtractor::Helper = &helper;
  struct TDetach {
    ~TDetach() {
      TSPI::Helper = nullptr;
      TArchiveExtractor::Helper = nullptr;
    }
  } detach;
  TQuietDialogs quiet(dialogs);
  quiet.SetQuiet(signIn);
  IDialogs& shown = signIn ? static_cast<IDialogs&>(quiet) : dialogs;
  TWindowBase::ErrorHandler = [&](const std::exception& error) { shown.ShowError(error); };
  TMainFormEnv env{application, shown, {}, ToUtf8(ProgramPath()), ToUtf8(CurrentDirectory())};
  env.Quiet = signIn ? &quiet : nullptr;
  for (const std::wstring& argument : arguments) env.Arguments.push_back(ToUtf8(argument));
  TVesko2MainForm form(std::move(env));
  const int code = application.Run();
  TWindowBase::ErrorHandler = nullptr;
  return code;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // A plug-in or archiver DLL that cannot load is reported by the program, never by a box of
  // the loader's; and no DLL is ever taken from the current folder (a picture folder, a
  // download folder) in place of the one meant.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  RestrictDllSearch();
  const std::vector<std::wstring> arguments = CommandLineArguments();
  // The plug-in helper: no window, no mutex, no settings; it serves the program that started it.
  // COM for plug-ins that use it, without OLE's window and its start-up time.
  if (arguments.size() == 2 && arguments[0] == kPluginHelperSwitch) {
    CoInitialize(nullptr);
    const int code = RunPluginHelper(arguments[1], ServeArchiveCall);
    CoUninitialize();
    return code;
  }
  TOleScope ole;
  THandle existing(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kInstanceMutexName));
  if (existing) return RunSecondStart(arguments, CurrentDirectory()) ? 0 : 1;
  // Two starts at the same moment both find no mutex; the one that does not create it is the
  // second start.
  THandle mutex(CreateMutexA(nullptr, FALSE, kInstanceMutexName));
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    return RunSecondStart(arguments, CurrentDirectory()) ? 0 : 1;
  }
  HoldFirstStartForTest();
  try {
    return RunFirstInstance(arguments);
  } catch (const std::exception& error) {
    MessageBoxW(nullptr, ToWide(error.what()).c_str(), ToWide(TApplication::kTitle).c_str(),
                MB_OK | MB_ICONSTOP);
    return 0;
  }
}
