#include "app/Settings.h"

#include <algorithm>
#include <climits>

#include "base/IniFile.h"
#include "base/Path.h"

const char* const kBuiltInMessText =
    "ここにメッセージを入れると\r壁紙に描かれます\r$FileName\rいう文字はファイル名に置換されます";

namespace {

// a * b / c rounded half away from zero, saturated to 32 bits (GDI's MulDiv without its -1).
int32_t MulDiv(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return 0;
  int64_t product = a * b;
  const bool negative = (product < 0) != (c < 0);
  product = product < 0 ? -product : product;
  const int64_t divisor = c < 0 ? -c : c;
  int64_t result = (product + divisor / 2) / divisor;
  if (negative) result = -result;
  return static_cast<int32_t>(std::clamp<int64_t>(result, INT32_MIN, INT32_MAX));
}

TColor ReadColor(const IniFile& ini, const char* section, const char* key, TColor fallback) {
  TColor color = fallback;
  if (!TryStringToColor(ini.ReadString(section, key, ColorToString(fallback)), color)) {
    return fallback;
  }
  return color;
}

uint16_t ReadShortCut(const IniFile& ini, const char* section, const char* key, uint16_t fallback) {
  return static_cast<uint16_t>(ini.ReadInteger(section, key, fallback));
}

void ReadMessFont(const IniFile& ini, TMessFont& font) {
  const int32_t style = ini.ReadInteger("MessFont", "Style", 0);
  const int32_t pitch = ini.ReadInteger("MessFont", "Pitch", 0);
  font.Height = ini.ReadInteger("MessFont", "Height", font.Height);
  font.Name = ini.ReadString("MessFont", "Name", font.Name);
  font.SetSize(ini.ReadInteger("MessFont", "Size", font.Size()));
  font.Color = ReadColor(ini, "MessFont", "Color", font.Color);
  font.Style = static_cast<uint8_t>(style & 0x0F);
  font.Pitch = (pitch >= 0 && pitch <= 2) ? static_cast<uint8_t>(pitch) : 0;
}

}  // namespace

int32_t TMessFont::Size() const {
  return -MulDiv(Height, 72, PixelsPerInch);
}

void TMessFont::SetSize(int32_t points) {
  Height = -MulDiv(points, PixelsPerInch, 72);
}

void ReadSettings(const IniFile& ini, TSettings& s, const TScreenMetrics& screen) {
  s.Top = ini.ReadInteger("Window", "Top", 0);
  s.Left = ini.ReadInteger("Window", "Left", 0);
  if (int64_t{s.Top} + screen.WindowHeight < 10 ||
      int64_t{s.Top} > int64_t{screen.DesktopHeight} - 30) {
    s.Top = 0;
  }
  ReadMessFont(ini, s.MessFont);

  s.ScreenX = ini.ReadInteger("ScreenXY", "x", 0);
  s.ScreenY = ini.ReadInteger("ScreenXY", "y", 0);
  s.SepLines = ini.ReadInteger("Mess", "SepLines", 0);
  s.SepIndex = ini.ReadInteger("Mess", "SepIndex", 0);
  s.SepString = ini.ReadString("Mess", "SepString", "");
  s.SepRandom = ini.ReadBool("Mess", "SepRandom", false);
  s.MessText = DecodeMultiLineValue(ini.ReadString("Mess", "MessText", kBuiltInMessText));
  s.PlayMidi = ini.ReadBool("Window", "PlayMidi", true);
  s.AddSCName = ini.ReadBool("ShortCut", "AddSCName", !s.AddSCName);
  s.CommandoFileName = ini.ReadString("Commando", "FileName", "");
  for (size_t i = 0; i < s.FavoriteFolder.size(); ++i) {
    s.FavoriteFolder[i] = ini.ReadString("FavoriteFolder", std::to_string(i), "");
  }
  s.AnotherFolder = ini.ReadString("FavoriteFolder", "AnotherFolder", "");
  s.FavoriteEnabled = ini.ReadBool("FavoriteFolder", "Enabled", false);
  s.SpeedpPriority = ini.ReadBool("Load", "SpeedpPriority", false);
  s.LastSendFolder = ini.ReadString("Edit", "LastSendFolder", "");
  s.NotUsedInTray = ini.ReadBool("Window", "NotUsedInTray", false);
  s.SetMess = ini.ReadBool("Load", "SetMess", false);
  s.AddShadow = ini.ReadBool("Mess", "AddShadow", false);
  s.ShadowColor = ini.ReadInteger("Mess", "ShadowColor", 0);
  s.TimerInterval = ini.ReadInteger("Timer", "Interval", 0);
  s.TimerEnabled = ini.ReadBool("Timer", "Enabled", true);
  s.WaitWhileBusy = ini.ReadBool("Timer", "WaitWhileBusy", false);
  s.WaitOnBatterySaver = ini.ReadBool("Timer", "WaitOnBatterySaver", false);
  s.ReSize = ini.ReadBool("Load", "ReSize", false);
  s.TileCenterPosit = ini.ReadBool("Load", "TileCenterPosit", false);
  s.G_Editor = ini.ReadString("Edit", "G_Editor", "");
  s.NextLoad = ini.ReadBool("Load", "NextLoad", false);
  s.PaperName = ini.ReadString("Load", "PaperName", "");
  s.PaperFolder = ini.ReadString("Load", "PaperFolder", ExtractFileDir(s.PaperName));
  s.RandomLoad = ini.ReadBool("Load", "RandomLoad", false);
  s.SubDir = ini.ReadBool("Load", "SubDir", false);
  s.HotAct = ini.ReadBool("Window", "HotAct", false);
  s.ActiveKey = ReadShortCut(ini, "Window", "ActiveKey", 24584);
  s.IncomingBossKey = ReadShortCut(ini, "IncomingBoss", "Key", 24657);
  s.IncomingBossFileName = ini.ReadString("IncomingBoss", "FileName", "");
  s.Tray = ini.ReadBool("Window", "Tray", false);
  s.FitMode = ini.ReadInteger("Load", "FitMode", 0);
  if (s.FitMode < 0 || s.FitMode > 2) s.FitMode = 0;
  s.PerMonitor = ini.ReadBool("Load", "PerMonitor", false);
  s.MonitorTileMode = ini.ReadInteger("Load", "MonitorTileMode", 0);
  if (s.MonitorTileMode < 0 || s.MonitorTileMode > 2) s.MonitorTileMode = 0;
  s.MonitorWallpaperStyle = std::max(ini.ReadInteger("Load", "MonitorWallpaperStyle", -1), -1);
  s.PluginTimeout = ini.ReadInteger("Load", "PluginTimeout", 10);
  if (s.PluginTimeout < 1 || s.PluginTimeout > TSettings::kMaxPluginTimeout) s.PluginTimeout = 10;
  s.ColorManagement = ini.ReadBool("Load", "ColorManagement", true);
  s.BlurBackground = ini.ReadBool("Load", "BlurBackground", false);
  s.RandomSeed = std::max(ini.ReadInteger("Load", "RandomSeed", 0), 0);
  s.RandomSource = ini.ReadString("Load", "RandomSource", "");
  s.RandomFirst = ini.ReadString("Load", "RandomFirst", "");
}

void ApplyFirstStartDefaults(TSettings& s) {
  s.ReSize = true;
  s.SpeedpPriority = false;
  s.WaitWhileBusy = true;
  s.WaitOnBatterySaver = true;
}

void WriteSettings(IniFile& ini, const TSettings& s) {
  for (size_t i = 0; i < s.FavoriteFolder.size(); ++i) {
    ini.WriteString("FavoriteFolder", std::to_string(i), s.FavoriteFolder[i]);
  }
  ini.WriteBool("FavoriteFolder", "Enabled", s.FavoriteEnabled);
  ini.WriteString("FavoriteFolder", "AnotherFolder", s.AnotherFolder);
  ini.WriteInteger("ScreenXY", "x", s.ScreenX);
  ini.WriteInteger("ScreenXY", "y", s.ScreenY);
  ini.WriteInteger("Mess", "SepLines", s.SepLines);
  ini.WriteInteger("Mess", "SepIndex", s.SepIndex);
  ini.WriteString("Mess", "SepString", s.SepString);
  ini.WriteBool("Mess", "SepRandom", s.SepRandom);
  ini.WriteString("Mess", "MessText", EncodeMultiLineValue(s.MessText));
  ini.WriteBool("Window", "PlayMidi", s.PlayMidi);
  ini.WriteBool("ShortCut", "AddSCName", s.AddSCName);
  ini.WriteString("Commando", "FileName", s.CommandoFileName);
  ini.WriteBool("Load", "SpeedpPriority", s.SpeedpPriority);
  ini.WriteInteger("Window", "Top", s.Top);
  ini.WriteInteger("Window", "Left", s.Left);
  ini.WriteString("Load", "PaperName", s.PaperName);
  ini.WriteString("Load", "PaperFolder", s.PaperFolder);
  ini.WriteBool("Load", "SubDir", s.SubDir);
  ini.WriteBool("Load", "NextLoad", s.NextLoad);
  ini.WriteBool("Load", "RandomLoad", s.RandomLoad);
  ini.WriteBool("Window", "HotAct", s.HotAct);
  ini.WriteInteger("Window", "ActiveKey", s.ActiveKey);
  ini.WriteInteger("IncomingBoss", "Key", s.IncomingBossKey);
  ini.WriteString("IncomingBoss", "FileName", s.IncomingBossFileName);
  ini.WriteString("Edit", "G_Editor", s.G_Editor);
  ini.WriteBool("Load", "ReSize", s.ReSize);
  ini.WriteBool("Load", "TileCenterPosit", s.TileCenterPosit);
  ini.WriteBool("Window", "Tray", s.Tray);
  ini.WriteInteger("Timer", "Interval", s.TimerInterval);
  ini.WriteBool("Timer", "Enabled", s.TimerEnabled);
  ini.WriteBool("Timer", "WaitWhileBusy", s.WaitWhileBusy);
  ini.WriteBool("Timer", "WaitOnBatterySaver", s.WaitOnBatterySaver);
  ini.WriteBool("Load", "SetMess", s.SetMess);
  ini.WriteBool("Mess", "AddShadow", s.AddShadow);
  ini.WriteInteger("Mess", "ShadowColor", s.ShadowColor);
  ini.WriteBool("Window", "NotUsedInTray", s.NotUsedInTray);
  ini.WriteString("Edit", "LastSendFolder", s.LastSendFolder);
  ini.WriteInteger("MessFont", "Style", s.MessFont.Style);
  ini.WriteInteger("MessFont", "Pitch", s.MessFont.Pitch);
  ini.WriteString("MessFont", "Color", ColorToString(s.MessFont.Color));
  ini.WriteInteger("MessFont", "Height", s.MessFont.Height);
  ini.WriteString("MessFont", "Name", s.MessFont.Name);
  ini.WriteInteger("MessFont", "Size", s.MessFont.Size());
  ini.WriteInteger("Load", "FitMode", s.FitMode);
  ini.WriteBool("Load", "PerMonitor", s.PerMonitor);
  ini.WriteInteger("Load", "MonitorTileMode", s.MonitorTileMode);
  ini.WriteInteger("Load", "MonitorWallpaperStyle", s.MonitorWallpaperStyle);
  ini.WriteInteger("Load", "PluginTimeout", s.PluginTimeout);
  ini.WriteBool("Load", "ColorManagement", s.ColorManagement);
  ini.WriteBool("Load", "BlurBackground", s.BlurBackground);
  ini.WriteInteger("Load", "RandomSeed", s.RandomSeed);
  ini.WriteString("Load", "RandomSource", s.RandomSource);
  ini.WriteString("Load", "RandomFirst", s.RandomFirst);
}
