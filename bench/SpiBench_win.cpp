// What the plug-in host adds to a plug-in's own decoding: our WIC plug-in's GetPicture called
// directly, against the whole TSPIDIBImage load of the same 24-megapixel PNG (candidate search,
// header block, plug-in call, checks, conversion into the DIB). Alternating runs, medians.
//   spi_bench [plug-in folder] [width height]
#include <objbase.h>
#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/PluginSetup_win.h"
#include "base/Unicode_win.h"
#include "bench/BenchTiming.h"
#include "decode/FaultGuard_win.h"
#include "decode/SPIGraphic_win.h"
#include "decode/SPIs_win.h"

namespace {

void Chunk(std::string& png, const char* type, const std::string& data) {
  const auto length = static_cast<uint32_t>(data.size());
  for (int i = 3; i >= 0; --i) png += static_cast<char>(length >> (8 * i));
  std::string body = std::string(type, 4) + data;
  png += body;
  const uLong crc =
      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  for (int i = 3; i >= 0; --i) png += static_cast<char>(crc >> (8 * i));
}

// An RGB PNG with smooth gradients and some noise, compressed fast.
std::string MakePng(int width, int height) {
  std::string raw;
  raw.reserve(static_cast<size_t>(width * 3 + 1) * height);
  uint32_t seed = 1;
  for (int y = 0; y < height; ++y) {
    raw += '\0';
    for (int x = 0; x < width; ++x) {
      seed = seed * 1103515245 + 12345;
      raw += static_cast<char>((x / 24 + (seed >> 28)) & 0xFF);
      raw += static_cast<char>((y / 16) & 0xFF);
      raw += static_cast<char>(((x + y) / 40) & 0xFF);
    }
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string compressed(size, '\0');
  compress2(reinterpret_cast<Bytef*>(compressed.data()), &size,
            reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), 1);
  compressed.resize(size);
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  for (int v : {width, height}) {
    for (int i = 3; i >= 0; --i) ihdr += static_cast<char>(v >> (8 * i));
  }
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);
  Chunk(png, "IHDR", ihdr);
  Chunk(png, "IDAT", compressed);
  Chunk(png, "IEND", "");
  return png;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : ".";
  const int width = argc > 3 ? std::atoi(argv[2]) : 6000;
  const int height = argc > 3 ? std::atoi(argv[3]) : 4000;
  CoInitialize(nullptr);
  const std::string path = "spi-bench.png";
  {
    const std::string png = MakePng(width, height);
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
