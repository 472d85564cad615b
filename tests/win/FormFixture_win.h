// A main window created in a temporary current folder, as a first start there would create it,
// with scripted dialogs.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../support/Fakes.h"
#include "TestSupport_win.h"
#include "app/Application_win.h"
#include "app/MainForm_win.h"
#include "app/ModalForm_win.h"
#include "base/FileIO_win.h"
#include "base/IniFile.h"
#include "base/Keyboard.h"
#include "base/Unicode_win.h"

// Shift and Ctrl as a test holds them.
class THeldKeys final : public IKeyboard {
 public:
  bool ShiftDown() const override { return shift; }
  bool CtrlDown() const override { return ctrl; }
  bool shift = false;
  bool ctrl = false;
};

// A form created in a temporary current folder, as a first start there would create it.
struct FormFixture {
  TTempDir dir;
  TApplication application;
  TScriptedDialogs dialogs;
  THeldKeys keys;

  std::unique_ptr<TVesko2MainForm> Create(std::vector<std::string> args = {}) {
    SetCurrentDirectoryW(dir.Path().c_str());
    TMainFormEnv env{application, dialogs, std::move(args), ToUtf8(dir / L"Vesko2.exe"),
                     ToUtf8(dir.Path())};
    env.Keyboard = &keys;
    return std::make_unique<TVesko2MainForm>(std::move(env));
  }
  void Close(std::unique_ptr<TVesko2MainForm>& form) {
    SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    DrainQuit();
    form.reset();
  }
  IniFile Ini() { return IniFile::Parse(AnsiToUtf8(ReadBytes(dir / L"Vesko2.ini"))); }
};

// Runs `drive` on each dialog of class T shown during its lifetime (from inside the dialog's
// own message loop, before it takes input).
template <typename T>
class TDriveForm {
 public:
  explicit TDriveForm(std::function<void(T&)> drive) {
    TModalForm::OnShown = [drive = std::move(drive), this](TModalForm& form) {
      if (auto* dialog = dynamic_cast<T*>(&form)) {
        ++shown;
        drive(*dialog);
      }
    };
  }
  ~TDriveForm() { TModalForm::OnShown = nullptr; }
  TDriveForm(const TDriveForm&) = delete;
  TDriveForm& operator=(const TDriveForm&) = delete;
  int shown = 0;
};
