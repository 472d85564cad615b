// What the desktop is told: the wallpaper file, its tile origin and tile mode, all under the
// current user's "Control Panel\desktop".
#pragma once

#include <cstdint>
#include <string>

#include "decode/Graphic.h"
#include "decode/Picture.h"

// The whole desktop over all monitors.
TRect VirtualDesktop();
// The desktop without the task bar.
TRect WorkArea();

// WallpaperOriginX/Y: the picture centred in the work area when `centre` is on, else 0, 0.
// Nothing for an empty holder.
void WriteWallpaperOrigin(const TPicture& image, bool centre);
// TileWallpaper := mode (1 tile, 0 centre, 2 wide).
void WriteTileMode(int mode);
// The desktop's TileWallpaper (0 when missing or not one of the three).
int ReadTileMode();
// The desktop's WallpaperStyle (0 plain, 2 stretch, 6 fit, 10 fill, 22 span), -1 when missing
// or not a number; written back as it was read.
int ReadWallpaperStyle();
void WriteWallpaperStyle(int style);
// Whether the desktop centres a wallpaper larger than the screen in centre mode, as Windows does.
// Wine's desktop draws it from its top-left corner instead.
bool DesktopCentresLargePictures();
// Whether the desktop shows its wallpaper at its own size (centred or tiled, not stretched or
// scaled by a style of its own); `tiled` tells which.
bool DesktopShowsUnscaled(bool& tiled);
// The desktop's background colour (0x00BBGGRR), around a fitted picture.
uint32_t DesktopColor();
// SPI_SETDESKWALLPAPER with update and broadcast; an empty path removes the wallpaper.
void SetDesktopWallpaper(const std::string& path);
// The picture as a BMP in its own pixel format, written atomically over `path`.
void SaveWallpaperBitmap(const TPicture& image, const std::string& path);
