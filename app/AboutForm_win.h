// The about box: the program's mark growing for seven seconds into its title, the product and
// file versions, and a short tune of its own while PlayMidi is on. Shown without waiting; Enter,
// Esc or a click elsewhere close it, and it frees itself.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/BinaryKeeper.h"
#include "app/ModalForm_win.h"
#include "base/Handles_win.h"

class TAboutForm final : public TWindowBase {
 public:
  static constexpr const wchar_t* kClassName = L"TAboutForm";

  // FormCreate: the tune beside the program as ".mid", the mark "V2" eight points smaller.
  TAboutForm(HWND owner, const std::string& programPath);

  void SetVersions(const std::string& productVersion, const std::string& fileVersion);
  // 1: the tune is not played (PlayMidi off).
  int MediaPlayerTag = 0;
  // Runs when the box is gone (the main window takes its dialog guard back).
  std::function<void()> OnDestroyed;
  // Shows the box; the first showing writes and plays the tune.
  void Show();

  std::string TunePath() const { return tunePath_; }
  TColorPanel& NamePanel() { return *name_; }
  TColorPanel& ProductVersionPanel() { return *product_; }
  TColorPanel& FileVersionPanel() { return *file_; }
  int NameFontSize() const { return nameSize_; }
  // The box currently open, if any (the program's tests look at it).
  static TAboutForm* Current();

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void WindowDestroyed() override;

 private:
  ~TAboutForm() override;
  void TimerTimer();
  void SetNameFont();
  void PlayTune();

  std::string tunePath_;
  TBinaryKeeper keeper_;
  TGdiObject nameFont_;
  TGdiObject versionFont_;
  std::unique_ptr<TColorPanel> name_;
  std::unique_ptr<TColorPanel> product_;
  std::unique_ptr<TColorPanel> file_;
  int nameSize_ = 0;  // points
  int dpi_ = 96;
  bool shown_ = false;
  bool tuneOpen_ = false;
  bool active_ = false;
};
