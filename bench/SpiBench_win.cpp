// What the plug-in host adds to a plug-in's own decoding: our WIC plug-in's GetPicture called
// directly, against the whole TSPIDIBImage load of the same 24-megapixel PNG (candidate search,
// header block, plug-in call, checks, conversion into the DIB). Alternating runs, medians.
//   spi_bench [plug-in folder] [width height]
#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/PluginSetup_win.h"
#include "base/Unicode_win.h"
#include "bench/BenchPng.h"
#include "bench/BenchTiming.h"
#include "decode/FaultGuard_win.h"
#include "decode/SPIGraphic_win.h"
#include "decode/SPIs_win.h"

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : ".";
  const int width = argc > 3 ? std::atoi(argv[2]) : 6000;
  const int height = argc > 3 ? std::atoi(argv[3]) : 4000;
  CoInitialize(nullptr);
  const std::string path = "spi-bench.png";
  {
    const std::string png = BenchPng(width, height);
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(png.data(), 1, png.size(), f);
    std::fclose(f);
  }
  const std::string plugin = folder + "\\ifwic.spi";
  HMODULE module = LoadLibraryW(ToWide(plugin).c_str());
  if (module == nullptr) {
    std::printf("cannot load %s\n", plugin.c_str());
    return 1;
  }
  auto getPicture = reinterpret_cast<TGetPicture>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "GetPicture")));
  TSPIs spis;
  ConfigureMainWindowSPIs(spis);
  spis.Search(plugin);

  std::vector<double> alone;
  std::vector<double> full;
  for (int round = 0; round < 5; ++round) {
    alone.push_back(TimeOnce([&] {
      HLOCAL info = nullptr;
      HLOCAL pixels = nullptr;
      if (getPicture(path.c_str(), 0, 0, &info, &pixels, nullptr, 0) != 0) std::exit(1);
      LocalFree(info);
      LocalFree(pixels);
    }));
    full.push_back(TimeOnce([&] {
      TSPIDIBImage dib;
      dib.LoadFromFile(path);
      if (dib.Width() != width) std::exit(1);
    }));
  }
  DeleteFileA(path.c_str());
  const double a = Median(alone);
  const double b = Median(full);
  std::printf("plug-in GetPicture alone, %d x %d PNG: %.4f s\n", width, height, a);
  std::printf("TSPIDIBImage.LoadFromFile through the host: %.4f s\n", b);
  std::printf("ratio=%.2f (target: at most 1.10)\n", b / a);

  // The fault guard around every call into a plug-in, against a plain call of the same entry
  // point (the plug-in's info text, which does nearly nothing).
  const auto info = reinterpret_cast<int(WINAPI*)(int, LPSTR, int)>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "GetPluginInfo")));
  char text[256];
  constexpr int kCalls = 1000000;
  const double plain = TimeOnce([&] {
    for (int i = 0; i < kCalls; ++i) {
      if (info(0, text, 255) <= 0) std::exit(1);
    }
  });
  const double guarded = TimeOnce([&] {
    for (int i = 0; i < kCalls; ++i) {
      int written = 0;
      auto call = [&] { return info(0, text, 255); };
      if (!CallGuarded(call, written) || written <= 0) std::exit(1);
    }
  });
  std::printf("fault guard: %.1f ns a call (plain %.1f ns); on this PNG's decode: %.5f%%\n",
              (guarded - plain) / kCalls * 1e9, plain / kCalls * 1e9,
              100.0 * 4 * (guarded - plain) / kCalls / b);
  FreeLibrary(module);
  CoUninitialize();
  return 0;
}
