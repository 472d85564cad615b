// The user's settings: one field per key of the settings file, with the file's defaults, and
// the rules that read them from and write them to the in-memory INI file in their fixed orders.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/ColorText.h"

class IniFile;

// The built-in message text: four lines joined by a lone CR.
extern const char* const kBuiltInMessText;

// The message font: the main window's own font, which the message overlay draws with.
struct TMessFont {
  enum Style : uint8_t { Bold = 1, Italic = 2, Underline = 4, StrikeOut = 8 };
  enum Pitch : uint8_t { DefaultPitch = 0, VariablePitch = 1, FixedPitch = 2 };

  int32_t Height = -12;  // negative: character height in pixels
  std::string Name = "ＭＳ Ｐゴシック";
  uint8_t Style = 0;
  uint8_t Pitch = DefaultPitch;
  TColor Color = clWindowText;
  int32_t PixelsPerInch = 96;  // of the screen the font is made for

  int32_t Size() const;  // point size
  void SetSize(int32_t points);

  bool operator==(const TMessFont&) const = default;
};

// Grouped by the settings file's sections, which matters more here than the padding between
// members of the program's one settings object.
struct TSettings {  // NOLINT(clang-analyzer-optin.performance.Padding)
  // [Window]
  int32_t Top = 0;
  int32_t Left = 0;
  bool PlayMidi = true;
  bool NotUsedInTray = false;
  bool HotAct = false;
  uint16_t ActiveKey = 24584;  // Ctrl+Shift+Backspace
  bool Tray = false;
  // [MessFont]
  TMessFont MessFont;
  // [ScreenXY]
  int32_t ScreenX = 0;
  int32_t ScreenY = 0;
  // [Mess]
  int32_t SepLines = 0;
  int32_t SepIndex = 0;
  std::string SepString;
  bool SepRandom = false;
  std::string MessText = kBuiltInMessText;
  bool AddShadow = false;
  TColor ShadowColor = 0;
  // [ShortCut]
  bool AddSCName = false;
  // [Commando]
  std::string CommandoFileName;
  // [FavoriteFolder]
  std::array<std::string, 5> FavoriteFolder;
  std::string AnotherFolder;
  bool FavoriteEnabled = false;
  // [Load]
  bool SpeedpPriority = false;
  bool SetMess = false;
  bool ReSize = false;
  bool TileCenterPosit = false;
  bool NextLoad = false;
  std::string PaperName;
  std::string PaperFolder;
  bool RandomLoad = false;
  bool SubDir = false;
  // How the program scales pictures to the screen: 0 leaves it to the desktop's tile, centre or
  // wide mode (with the optional shrink), 1 fills the screen, 2 fits inside it.
  int32_t FitMode = 0;
  // Each monitor its own picture; MonitorTileMode is then the tile (1), centre (0) or wide (2)
  // mode chosen for them, done by the program (the desktop itself tiles the result).
  // MonitorWallpaperStyle keeps the desktop's WallpaperStyle from before (-1: none kept), which
  // the system's wallpaper per monitor overwrites; both go back when the option is turned off.
  bool PerMonitor = false;
  int32_t MonitorTileMode = 0;
  int32_t MonitorWallpaperStyle = -1;
  // Seconds a plug-in or archiver DLL may go without a sign of life before its call is given
  // up and its picture skipped (1 to kMaxPluginTimeout).
  int32_t PluginTimeout = 10;
  static constexpr int32_t kMaxPluginTimeout = 600;
  // Pictures whose file carries a colour profile (Display P3, Adobe RGB, ...) are turned into
  // sRGB, the desktop's colours, when the wallpaper is made.
  bool ColorManagement = true;
  // In fit (FitMode 2) the parts of the screen the picture leaves show it again, scaled to cover
  // the screen, blurred and darkened, instead of the desktop's colour.
  bool BlurBackground = false;
  // The random round: the seed its order follows from (0: none yet), the source it belongs to,
  // and the picture it began with (it ends when stepping forward would come back to it).
  int32_t RandomSeed = 0;
  std::string RandomSource;
  std::string RandomFirst;
  // [Edit]
  std::string LastSendFolder;
  std::string G_Editor;
  // [Timer]
  int32_t TimerInterval = 0;  // milliseconds; 0: no timed change
  bool TimerEnabled = true;
  // Timed changes wait while a full-screen game, film or presentation runs, and while battery
  // saver is on (on for a first start; an older settings file keeps changing as before).
  bool WaitWhileBusy = false;
  bool WaitOnBatterySaver = false;
  // [IncomingBoss]
  uint16_t IncomingBossKey = 24657;  // Ctrl+Shift+Q
  std::string IncomingBossFileName;

  bool operator==(const TSettings&) const = default;
};

// What reading needs to know of the screen: the window is pulled back to the top when its
// stored position would leave it out of sight vertically.
struct TScreenMetrics {
  int32_t WindowHeight = 35;
  int32_t DesktopHeight = 768;
};

// Reads all 58 keys in their fixed order. Missing keys and values that are not numbers leave
// the key's default.
void ReadSettings(const IniFile& ini, TSettings& settings, const TScreenMetrics& screen);
// Writes all 58 keys in their fixed order; keys and sections it does not know stay as they are.
void WriteSettings(IniFile& ini, const TSettings& settings);
// A first start (no settings file yet): photos are shrunk with quality, so the whole picture is
// seen at once whatever its size or orientation.
void ApplyFirstStartDefaults(TSettings& settings);
