#include "app/AboutForm_win.h"

#include <mmsystem.h>

#include "app/AboutTune.h"
#include "base/FileIO_win.h"
#include "base/Path.h"
#include "base/Unicode_win.h"

namespace {

constexpr UINT_PTR kAnimationTimer = 1;
constexpr COLORREF kFaceColor = RGB(97, 88, 250);
constexpr COLORREF kPanelColor = RGB(174, 243, 253);
constexpr COLORREF kVersionColor = RGB(81, 181, 114);
constexpr const wchar_t* kTuneAlias = L"vesko2_about_tune";
constexpr UINT kPlayTuneMessage = WM_APP + 1;
TAboutForm* current = nullptr;

HFONT MakeFont(const wchar_t* face, int height) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = FW_BOLD;
  lf.lfItalic = TRUE;
  lf.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
  return CreateFontIndirectW(&lf);
}

}  // namespace

TAboutForm* TAboutForm::Current() {
  return current;
}

TAboutForm::TAboutForm(HWND owner, const std::string& programPath)
    : tunePath_(ChangeFileExt(programPath, ".mid")), dpi_(static_cast<int>(WindowDpi(owner))) {
  auto scale = [this](int v) { return MulDiv(v, dpi_, 96); };
  const int width = scale(247);
  const int height = scale(112);
  CreateHandle(kClassName, L"About", WS_POPUP, WS_EX_TOOLWINDOW,
               (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, owner);
  keeper_.Filename = ExtractFileName(tunePath_);
  keeper_.SetBytes(AboutTune());
  // The mark's font: height -35 pixels at 96 dpi is 26 points; the box starts 8 points smaller.
  nameSize_ = MulDiv(35, 72, 96) - 8;
  versionFont_.reset(MakeFont(L"MS Sans Serif", -scale(16)));
  name_ = std::make_unique<TColorPanel>(Handle(), RECT{0, 0, width, scale(65)}, kPanelColor,
                                        kFaceColor, "V2", nullptr);
  product_ =
      std::make_unique<TColorPanel>(Handle(), RECT{0, scale(65), width, scale(89)}, kPanelColor,
                                    kVersionColor, "", static_cast<HFONT>(versionFont_.get()));
  file_ = std::make_unique<TColorPanel>(Handle(), RECT{0, scale(89), width, height}, kPanelColor,
                                        kVersionColor, "", static_cast<HFONT>(versionFont_.get()));
  for (TColorPanel* panel : {name_.get(), product_.get(), file_.get()}) panel->Bevel = false;
  SetNameFont();
  SetTimer(Handle(), kAnimationTimer, 1000, nullptr);
  current = this;
}

TAboutForm::~TAboutForm() {
  if (current == this) current = nullptr;
}

void TAboutForm::SetVersions(const std::string& productVersion, const std::string& fileVersion) {
  product_->SetCaption("Version " + productVersion);
  file_->SetCaption("( " + fileVersion + " )");
}

void TAboutForm::SetNameFont() {
  nameFont_.reset(MakeFont(L"Impact", -MulDiv(nameSize_, dpi_, 72)));
  name_->SetFont(static_cast<HFONT>(nameFont_.get()));
}

void TAboutForm::Show() {
  ShowWindow(Handle(), SW_SHOW);
  SetForegroundWindow(Handle());
  if (shown_) return;
  shown_ = true;
  // The tune starts once the box has painted, from its own message: a box closed before then
  // (Esc, a loss of focus) takes the message with it and nothing touches it afterwards.
  if (MediaPlayerTag == 0) PostMessageW(Handle(), kPlayTuneMessage, 0, 0);
}

void TAboutForm::PlayTune() {
  // Playing is a courtesy: without a MIDI device, or with the file locked, the box shows anyway.
  try {
    const std::vector<uint8_t>& bytes = keeper_.Bytes();
    WriteFileAtomically(tunePath_, std::string(bytes.begin(), bytes.end()));
    const std::wstring open =
        L"open \"" + ToWide(tunePath_) + L"\" type sequencer alias " + kTuneAlias;
    if (mciSendStringW(open.c_str(), nullptr, 0, nullptr) != 0) return;
    tuneOpen_ = true;
    mciSendStringW((std::wstring(L"play ") + kTuneAlias).c_str(), nullptr, 0, nullptr);
  } catch (const std::exception&) {
  }
}

void TAboutForm::TimerTimer() {
  const int n = name_->Tag;
  if (n >= 7) {
    name_->SetCaption("Vesko 2");
    KillTimer(Handle(), kAnimationTimer);
    return;
  }
  // The mark spreads and grows: "V", n blanks, "2", n points larger each second.
  name_->SetCaption("V" + std::string(static_cast<size_t>(n), ' ') + "2");
  nameSize_ += n;
  SetNameFont();
  name_->Tag = n + 1;
}

LRESULT TAboutForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kAnimationTimer) TimerTimer();
      return 0;
    case kPlayTuneMessage:
      PlayTune();
      return 0;
    case WM_KEYDOWN:
      // The window goes, and with its last message the box frees itself.
      if (wParam == VK_RETURN || wParam == VK_ESCAPE) DestroyWindow(Handle());
      return 0;
    case WM_ACTIVATE:
      // Losing the focus it had closes the box (after the message, not inside it).
      if (LOWORD(wParam) != WA_INACTIVE) {
        active_ = true;
      } else if (active_) {
        PostMessageW(Handle(), WM_CLOSE, 0, 0);
      }
      return 0;
    case WM_CLOSE:
      DestroyWindow(Handle());
      return 0;
    case WM_ERASEBKGND: {
      RECT all{};
      GetClientRect(Handle(), &all);
      TGdiObject brush(CreateSolidBrush(kFaceColor));
      FillRect(reinterpret_cast<HDC>(wParam), &all, static_cast<HBRUSH>(brush.get()));
      return 1;
    }
    default:
      return DefaultHandler(message, wParam, lParam);
  }
}

void TAboutForm::WindowDestroyed() {
  if (tuneOpen_)
    mciSendStringW((std::wstring(L"close ") + kTuneAlias).c_str(), nullptr, 0, nullptr);
  DeleteFileW(ToWide(tunePath_).c_str());
  if (OnDestroyed) OnDestroyed();
  delete this;
}
