// Drawing the message on the wallpaper picture with GDI, in the message font, optionally over a
// one-pixel shadow.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/Settings.h"
#include "decode/Picture.h"

// The message file's lines (ANSI). At most the first 1 MiB is read: a message is a few lines,
// and a huge file must not stall a wallpaper change. EFOpenError when it cannot be read.
std::vector<std::string> ReadMessageFile(const std::string& path);

// Draws the text at the picture's top-left corner: measured like DrawText with DT_CALCRECT in the
// font, the shadow first at +1,+1 in `shadowColor`, then the text; transparent background; "&"
// marks an accelerator. Nothing happens to an empty holder.
void DrawMessageText(TPicture& image, const std::string& text, const TMessFont& font,
                     bool addShadow, TColor shadowColor);

// The message font as GDI describes it (Shift-JIS character set).
LOGFONTW MessageLogFont(const TMessFont& font);

// A colour value as RGB: system colours (0xFF000000 + index) through GetSysColor.
unsigned long ColorToRGB(TColor color);
