#include <doctest/doctest.h>

#include <set>

#include "app/Settings.h"
#include "base/IniFile.h"
#include "engine/ChangeGate.h"

namespace {

const TScreenMetrics kScreen{35, 1080};

TSettings Read(const std::string& text, TScreenMetrics screen = kScreen) {
  TSettings s;
  ReadSettings(IniFile::Parse(text), s, screen);
  return s;
}

size_t CountKeys(const IniFile& ini) {
  size_t keys = 0;
  for (const char* section : {"Window", "MessFont", "ScreenXY", "Mess", "ShortCut", "Commando",
                              "FavoriteFolder", "Load", "Edit", "Timer", "IncomingBoss"}) {
    keys += ini.ReadSection(section).size();
  }
  return keys;
}

}  // namespace

TEST_CASE("a missing file gives every default") {
  const TSettings s = Read("");
  CHECK(s.Top == 0);
  CHECK(s.Left == 0);
  CHECK(s.MessFont.Height == -12);
  CHECK(s.MessFont.Size() == 9);
  CHECK(s.MessFont.Name == "ＭＳ Ｐゴシック");
  CHECK(s.MessFont.Color == clWindowText);
  CHECK(s.MessText ==
        "ここにメッセージを入れると\r壁紙に描かれます\r$FileName\r"
        "いう文字はファイル名に置換されます");
  CHECK(s.PlayMidi);
  CHECK(s.AddSCName);  // the opposite of the field's start value
  CHECK(s.TimerInterval == 0);
  CHECK(s.TimerEnabled);
  CHECK(s.ActiveKey == 24584);
  CHECK(s.IncomingBossKey == 24657);
  CHECK_FALSE(s.Tray);
  CHECK(s.PaperFolder.empty());
  // A file written before the fill and fit modes and the kept random round behaves as before.
  CHECK_FALSE(s.ReSize);
  CHECK(s.FitMode == 0);
  CHECK(s.RandomSeed == 0);
  CHECK_FALSE(s.PerMonitor);
  CHECK(s.MonitorWallpaperStyle == -1);
  CHECK(s.PluginTimeout == 10);
  CHECK(s.ColorManagement);
  CHECK_FALSE(s.BlurBackground);
  CHECK_FALSE(s.WaitWhileBusy);
  CHECK_FALSE(s.WaitOnBatterySaver);
}

TEST_CASE("a first start shrinks with quality; an old file keeps its own choice") {
  TSettings first;
  ApplyFirstStartDefaults(first);
  CHECK(first.ReSize);
  CHECK_FALSE(first.SpeedpPriority);
  CHECK(first.FitMode == 0);
  CHECK(first.WaitWhileBusy);
  CHECK(first.WaitOnBatterySaver);
  CHECK_FALSE(Read("[Load]\nSpeedpPriority=1\n").ReSize);
}

TEST_CASE("the first write creates all 58 keys in their sections and order") {
  IniFile ini;
  WriteSettings(ini, TSettings{});
  CHECK(CountKeys(ini) == 58);
  const std::string text = ini.ToText();
  // Sections appear in the order of their first write.
  size_t last = 0;
  for (const char* header :
       {"[FavoriteFolder]", "[ScreenXY]", "[Mess]", "[Window]", "[ShortCut]", "[Commando]",
        "[Load]", "[IncomingBoss]", "[Edit]", "[Timer]", "[MessFont]"}) {
    const size_t at = text.find(header);
    REQUIRE(at != std::string::npos);
    CHECK(at >= last);
    last = at;
  }
  CHECK(text.find(
            "[FavoriteFolder]\r\n0=\r\n1=\r\n2=\r\n3=\r\n4=\r\nEnabled=0\r\nAnotherFolder=\r\n") ==
        0);
  CHECK(text.find("[MessFont]\r\nStyle=0\r\nPitch=0\r\nColor=clWindowText\r\nHeight=-12\r\n"
                  "Name=ＭＳ Ｐゴシック\r\nSize=9\r\n") != std::string::npos);
  CHECK(text.find("ActiveKey=24584") != std::string::npos);
}

TEST_CASE("every key round-trips") {
  TSettings s;
  s.Top = 100;
  s.Left = -40;
  s.PlayMidi = false;
  s.NotUsedInTray = true;
  s.HotAct = true;
  s.ActiveKey = 0xE041;  // Ctrl+Shift+Alt+A: above 32767, stored unsigned
  s.Tray = true;
  s.MessFont.Height = -20;
  s.MessFont.Name = "IPAGothic";
  s.MessFont.Style = TMessFont::Bold | TMessFont::StrikeOut;
  s.MessFont.Pitch = TMessFont::FixedPitch;
  s.MessFont.Color = 0x00ABCDEF;
  s.ScreenX = 640;
  s.ScreenY = 480;
  s.SepLines = 2;
  s.SepIndex = 5;
  s.SepString = "----";
  s.SepRandom = true;
  s.MessText = "一行目\r二行目\r$FileName";
  s.AddShadow = true;
  s.ShadowColor = 0x808080;
  s.AddSCName = false;
  s.CommandoFileName = "C:\\tools\\editors.txt";
  s.FavoriteFolder = {"C:\\a", "", "D:\\壁紙", "", "E:\\"};
  s.AnotherFolder = "F:\\other";
  s.FavoriteEnabled = true;
  s.SpeedpPriority = true;
  s.SetMess = true;
  s.ReSize = true;
  s.TileCenterPosit = true;
  s.NextLoad = true;
  s.PaperName = "C:\\壁紙\\ソ.jpg";
  s.PaperFolder = "C:\\壁紙";
  s.RandomLoad = true;
  s.SubDir = true;
  s.LastSendFolder = "C:\\sent";
  s.G_Editor = "C:\\Program Files\\paint.exe";
  s.TimerInterval = 300000;
  s.TimerEnabled = false;
  s.IncomingBossKey = 0x6042;
  s.IncomingBossFileName = "C:\\boss.bmp";
  s.FitMode = 1;
  s.PerMonitor = true;
  s.MonitorTileMode = 2;
  s.MonitorWallpaperStyle = 10;
  s.PluginTimeout = 45;
  s.ColorManagement = false;
  s.BlurBackground = true;
  s.WaitWhileBusy = true;
  s.WaitOnBatterySaver = true;
  s.RandomSeed = 123456789;
  s.RandomSource = "C:\\壁紙";
  s.RandomFirst = "C:\\壁紙\\ソ.jpg";

  IniFile ini;
  WriteSettings(ini, s);
  TSettings back;
  ReadSettings(IniFile::Parse(ini.ToText()), back, kScreen);

  CHECK(back.Top == s.Top);
  CHECK(back.Left == s.Left);
  CHECK(back.PlayMidi == s.PlayMidi);
  CHECK(back.NotUsedInTray == s.NotUsedInTray);
  CHECK(back.HotAct == s.HotAct);
  CHECK(back.ActiveKey == s.ActiveKey);
  CHECK(back.Tray == s.Tray);
  CHECK(back.MessFont.Height == s.MessFont.Height);  // Size 15 at 96 dpi gives -20 again
  CHECK(back.MessFont.Name == s.MessFont.Name);
  CHECK(back.MessFont.Style == s.MessFont.Style);
  CHECK(back.MessFont.Pitch == s.MessFont.Pitch);
  CHECK(back.MessFont.Color == s.MessFont.Color);
  CHECK(back.ScreenX == s.ScreenX);
  CHECK(back.ScreenY == s.ScreenY);
  CHECK(back.SepLines == s.SepLines);
  CHECK(back.SepIndex == s.SepIndex);
  CHECK(back.SepString == s.SepString);
  CHECK(back.SepRandom == s.SepRandom);
  CHECK(back.MessText == s.MessText);
  CHECK(back.AddShadow == s.AddShadow);
  CHECK(back.ShadowColor == s.ShadowColor);
  CHECK(back.AddSCName == s.AddSCName);
  CHECK(back.CommandoFileName == s.CommandoFileName);
  CHECK(back.FavoriteFolder == s.FavoriteFolder);
  CHECK(back.AnotherFolder == s.AnotherFolder);
  CHECK(back.FavoriteEnabled == s.FavoriteEnabled);
  CHECK(back.SpeedpPriority == s.SpeedpPriority);
  CHECK(back.SetMess == s.SetMess);
  CHECK(back.ReSize == s.ReSize);
  CHECK(back.TileCenterPosit == s.TileCenterPosit);
  CHECK(back.NextLoad == s.NextLoad);
  CHECK(back.PaperName == s.PaperName);
  CHECK(back.PaperFolder == s.PaperFolder);
  CHECK(back.RandomLoad == s.RandomLoad);
  CHECK(back.SubDir == s.SubDir);
  CHECK(back.LastSendFolder == s.LastSendFolder);
  CHECK(back.G_Editor == s.G_Editor);
  CHECK(back.TimerInterval == s.TimerInterval);
  CHECK(back.TimerEnabled == s.TimerEnabled);
  CHECK(back.IncomingBossKey == s.IncomingBossKey);
  CHECK(back.IncomingBossFileName == s.IncomingBossFileName);
  CHECK(back.FitMode == s.FitMode);
  CHECK(back.PerMonitor == s.PerMonitor);
  CHECK(back.MonitorTileMode == s.MonitorTileMode);
  CHECK(back.MonitorWallpaperStyle == s.MonitorWallpaperStyle);
  CHECK(back.PluginTimeout == 45);
  CHECK(back.ColorManagement == s.ColorManagement);
  CHECK(back.BlurBackground == s.BlurBackground);
  CHECK(back.WaitWhileBusy);
  CHECK(back.WaitOnBatterySaver);
  CHECK(back.RandomSeed == s.RandomSeed);
  CHECK(back.RandomSource == s.RandomSource);
  CHECK(back.RandomFirst == s.RandomFirst);
  CHECK(CountKeys(ini) == 58);
}

TEST_CASE("the window is pulled back to the top only vertically") {
  CHECK(Read("[Window]\nTop=5000\nLeft=5000\n").Top == 0);
  CHECK(Read("[Window]\nTop=5000\nLeft=5000\n").Left == 5000);
  CHECK(Read("[Window]\nTop=1050\n").Top == 1050);
  CHECK(Read("[Window]\nTop=1051\n").Top == 0);
  CHECK(Read("[Window]\nTop=-25\n").Top == -25);  // -25 + 35 = 10 is not below 10
  CHECK(Read("[Window]\nTop=-26\n").Top == 0);
  CHECK(Read("[Window]\nTop=-2147483648\n").Top == 0);
  CHECK(Read("[Window]\nTop=2147483647\n").Top == 0);
}

TEST_CASE("message font: Size wins over Height; style and pitch are kept") {
  const TSettings s = Read("[MessFont]\nHeight=-20\nSize=9\nStyle=3\nPitch=1\nColor=$000000FF\n");
  CHECK(s.MessFont.Size() == 9);
  CHECK(s.MessFont.Height == -12);
  CHECK(s.MessFont.Style == 3);
  CHECK(s.MessFont.Pitch == 1);
  CHECK(s.MessFont.Color == 0xFF);
  CHECK(Read("[MessFont]\nHeight=-20\n").MessFont.Size() == 15);
  CHECK(Read("[MessFont]\nColor=clRed\n").MessFont.Color == 0xFF);
  CHECK(Read("[MessFont]\nColor=no colour\n").MessFont.Color == clWindowText);
}

TEST_CASE("garbage and absurd values fall back or stay harmless") {
  const TSettings s = Read(
      "\x81\x82\xff garbage\n[Window]\nTop=abc\nActiveKey=0x6041\n[IncomingBoss]\nKey=99999999\n"
      "[MessFont]\nStyle=255\nPitch=7\nSize=2147483647\nHeight=x\n"
      "[Timer]\nInterval=-5\nEnabled=maybe\n[Load]\nPaperName=C:\\pics\\a.jpg\n");
  CHECK(s.Top == 0);
  CHECK(s.ActiveKey == 0x6041);  // Ctrl+Shift+A
  CHECK(s.IncomingBossKey == static_cast<uint16_t>(99999999));
  CHECK(s.MessFont.Style == 15);
  CHECK(s.MessFont.Pitch == 0);
  CHECK(s.TimerInterval == -5);
  CHECK(s.TimerEnabled);
  CHECK(s.PaperFolder == "C:\\pics");  // the folder of PaperName when the key is missing
  CHECK(Read("[Load]\nPaperName=C:\\a.jpg\n").PaperFolder == "C:\\");
  CHECK(Read("[Load]\nPaperName=C:\\a.jpg\nPaperFolder=D:\\x\n").PaperFolder == "D:\\x");
  CHECK(Read("[Load]\nFitMode=7\n").FitMode == 0);
  CHECK(Read("[Load]\nFitMode=-1\n").FitMode == 0);
  CHECK(Read("[Load]\nFitMode=2\n").FitMode == 2);
  CHECK(Read("[Load]\nRandomSeed=-5\n").RandomSeed == 0);
  CHECK(Read("[Load]\nMonitorTileMode=3\n").MonitorTileMode == 0);
  CHECK(Read("[Load]\nMonitorWallpaperStyle=-7\n").MonitorWallpaperStyle == -1);
  for (const char* wait : {"0", "-3", "601", "x"}) {
    CAPTURE(wait);
    CHECK(Read(std::string("[Load]\nPluginTimeout=") + wait + "\n").PluginTimeout == 10);
  }
  CHECK(Read("[Load]\nPluginTimeout=1\n").PluginTimeout == 1);
  CHECK(Read("[Load]\nPluginTimeout=600\n").PluginTimeout == 600);
}

TEST_CASE("a single-line MessText written by hand reads as it stands") {
  CHECK(Read("[Mess]\nMessText=こんにちは $FileName\n").MessText == "こんにちは $FileName");
  CHECK(Read("[Mess]\nMessText=価格\\100\n").MessText == "価格\\100");
}

TEST_CASE("timed changes wait for full-screen games, films and presentations, and battery saver") {
  struct TCase {
    int state;
    bool batterySaver;
    bool waitWhileBusy;
    bool waitOnBattery;
    const char* reason;  // empty: the change goes ahead
  };
  for (const TCase& c : {
           TCase{5, false, true, true, ""},  // nothing going on
           TCase{2, false, true, true, "全画面のアプリを使用中のため、切り替えを待っています"},
           TCase{7, false, true, true, "全画面のアプリを使用中のため、切り替えを待っています"},
           TCase{3, false, true, true, "全画面のゲームを実行中のため、切り替えを待っています"},
           TCase{4, false, true, true, "プレゼンテーション中のため、切り替えを待っています"},
           TCase{3, false, false, true, ""},  // the option is off: an old settings file
           TCase{1, false, true, true, ""},   // locked or screen saver: nobody to disturb
           TCase{6, false, true, true, ""},   // quiet time after setup
           TCase{5, true, true, true, "バッテリー節約中のため、切り替えを待っています"},
           TCase{5, true, true, false, ""},
           TCase{4, true, false, true, "バッテリー節約中のため、切り替えを待っています"},
       }) {
    CAPTURE(c.state);
    CAPTURE(c.batterySaver);
    CHECK(TimedChangeWaitReason(TSystemState{c.state, c.batterySaver}, c.waitWhileBusy,
                                c.waitOnBattery) == c.reason);
  }
}
