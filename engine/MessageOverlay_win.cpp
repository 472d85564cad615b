#include "engine/MessageOverlay_win.h"

#include <windows.h>

#include "base/FileIO_win.h"
#include "base/Handles_win.h"
#include "base/Stream.h"
#include "base/Unicode_win.h"
#include "engine/ListFile.h"

namespace {

constexpr size_t kMaxMessageFile = size_t{1} << 20;
constexpr size_t kMaxMessageText = 32 * 1024;  // characters drawn at most

}  // namespace

LOGFONTW MessageLogFont(const TMessFont& font) {
  LOGFONTW lf{};
  lf.lfHeight = font.Height;
  lf.lfWeight = (font.Style & TMessFont::Bold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (font.Style & TMessFont::Italic) ? TRUE : FALSE;
  lf.lfUnderline = (font.Style & TMessFont::Underline) ? TRUE : FALSE;
  lf.lfStrikeOut = (font.Style & TMessFont::StrikeOut) ? TRUE : FALSE;
  lf.lfCharSet = SHIFTJIS_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = font.Pitch == TMessFont::VariablePitch ? VARIABLE_PITCH
                        : font.Pitch == TMessFont::FixedPitch  ? FIXED_PITCH
                                                               : DEFAULT_PITCH;
  const std::wstring name = ToWide(font.Name);
  name.copy(lf.lfFaceName, LF_FACESIZE - 1);
  return lf;
}

namespace {

TGdiObject CreateMessageFont(const TMessFont& font, TColor /*color*/) {
  const LOGFONTW lf = MessageLogFont(font);
  return TGdiObject(CreateFontIndirectW(&lf));
}

}  // namespace

unsigned long ColorToRGB(TColor color) {
  const auto value = static_cast<uint32_t>(color);
  if ((value & 0xFF000000u) == 0xFF000000u) return GetSysColor(static_cast<int>(value & 0xFF));
  return value & 0x00FFFFFFu;
}

std::vector<std::string> ReadMessageFile(const std::string& path) {
  std::unique_ptr<TStream> file = OpenFileStream(path);
  std::string bytes(static_cast<size_t>(std::min<uint64_t>(file->Size(), kMaxMessageFile)), '\0');
  bytes.resize(file->Read(bytes.data(), bytes.size()));
  return SplitListLines(FileTextToUtf8(bytes));
}

void DrawMessageText(TPicture& image, const std::string& text, const TMessFont& font,
                     bool addShadow, TColor shadowColor) {
  if (image.Empty()) return;
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->Assign(image.Graphic());
  // In a picture of a few palette colours the text would turn into the nearest of them (black
  // on a one-colour picture would vanish): such a picture takes the message in full colour.
  if (bitmap->BitCount() <= 8) bitmap->SetPixelFormat(TPixelFormat::pf24bit);
  std::wstring wide = ToWide(text);
  if (wide.size() > kMaxMessageText) wide.resize(kMaxMessageText);

  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ oldBitmap = SelectObject(dc, static_cast<HBITMAP>(bitmap->Handle()));
  TGdiObject gdiFont = CreateMessageFont(font, font.Color);
  HGDIOBJ oldFont = SelectObject(dc, gdiFont.get());
  // The box as DrawText measures it; an empty text measures as one space.
  RECT box{0, 0, 0, 0};
  const std::wstring measured = wide.empty() ? std::wstring(L" ") : wide;
  DrawTextW(dc, measured.c_str(), -1, &box, DT_CALCRECT);
  RECT rect{0, 0, box.right - box.left, box.bottom - box.top};
  SetBkMode(dc, TRANSPARENT);
  if (addShadow) {
    RECT shadow = rect;
    OffsetRect(&shadow, 1, 1);
    SetTextColor(dc, ColorToRGB(shadowColor));
    DrawTextW(dc, wide.c_str(), -1, &shadow, 0);
  }
  SetTextColor(dc, ColorToRGB(font.Color));
  DrawTextW(dc, wide.c_str(), -1, &rect, 0);
  GdiFlush();
  SelectObject(dc, oldFont);
  SelectObject(dc, oldBitmap);
  DeleteDC(dc);
  image.Take(std::move(bitmap));
}
