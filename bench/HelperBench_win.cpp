// What running plug-ins in the helper process costs against calling them here: a 24-megapixel
// PNG through our PNG plug-in both ways; 200 small pictures through a third-party-style
// plug-in (one of the test fixtures) both ways, as stepping through a folder does; the
// helper's first start. Alternating runs, medians. With --picture, one picture of our HEIF
// plug-in through the helper as a change meets it: decoded there, its pixels copied here.
//   helper_bench <program folder> <fixture plug-in folder> [width height]
//   helper_bench <program folder> --picture <file> [rounds]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/PluginSetup_win.h"
#include "base/Unicode_win.h"
#include "bench/BenchPng.h"
#include "bench/BenchTiming.h"
#include "decode/PluginHelper_win.h"
#include "decode/SPIGraphic_win.h"
#include "decode/SPIs_win.h"

namespace {

void Write(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::exit(1);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// A picture of the fixture plug-ins' format: the magic, 16-bit width and height, 24 bits.
std::string FixturePicture(int width, int height) {
  std::string bytes = "FXPIC";
  for (const int v : {width & 0xFF, width >> 8, height & 0xFF, height >> 8, 24})
    bytes += static_cast<char>(v);
  bytes += std::string(static_cast<size_t>(width) * height * 3, '\x50');
  return bytes;
}

// The plug-ins at `pattern`, loaded here (no helper) or in `helper`.
std::unique_ptr<TSPIs> Session(const std::string& pattern, TPluginHelper* helper) {
  TSPI::Helper = helper;
  auto spis = std::make_unique<TSPIs>();
  ConfigureMainWindowSPIs(*spis);
  spis->Search(pattern);
  return spis;
}

// The helper runs the program as it ships: stripped, where the build has made that copy (the
// debugging information of the other makes Wine's process start slower by about 50 ms).
std::wstring HelperProgram(const std::string& folder) {
  const std::wstring stripped = ToWide(folder + "\\stripped\\Vesko2.exe");
  if (GetFileAttributesW(stripped.c_str()) != INVALID_FILE_ATTRIBUTES) return stripped;
  return ToWide(folder + "\\Vesko2.exe");
}

void Load(const std::string& path, int width) {
  TSPIDIBImage dib;
  dib.LoadFromFile(path);
  if (dib.Width() != width) std::exit(2);
}

// Where a picture's time in the helper goes: the call (the decode into its section) and the
// copy out of the section (into memory touched before, as the fresh block's cost is apart).
void WhereTheTimeGoes(TPluginHelper& helper, const std::string& plugin, const std::string& file,
                      int rounds) {
  plugin_wire::TMessage request;
  request.Kind = plugin_wire::TKind::Picture;
  request.Plugin = plugin;
  request.Source.FileName = file;
  std::vector<double> call;
  std::vector<double> copy;
  for (int round = 0; round < rounds; ++round) {
    plugin_wire::TMessage result;
    call.push_back(TimeOnce([&] { result = helper.Call(request, nullptr, 60000); }));
    std::vector<uint8_t> pixels(result.SectionSize);
    copy.push_back(TimeOnce([&] { helper.PixelsInto(result, pixels.data()); }));
  }
  std::printf("  of which the helper's call %.4f s, the copy out of its section %.4f s\n",
              Median(call), Median(copy));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: helper_bench <program folder> <fixture plug-in folder> [width height]\n");
    return 1;
  }
  const std::string program = argv[1];
  if (std::string(argv[2]) == "--picture" && argc > 3) {
    TPluginHelper helper(HelperProgram(program));
    auto remote = Session(program + "\\ifheif.spi", &helper);
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 3;
    std::vector<double> times;
    int width = 0;
    for (int round = 0; round < rounds; ++round) {
      times.push_back(TimeOnce([&] {
        TSPIDIBImage dib;
        dib.LoadFromFile(argv[3]);
        width = dib.Width();
      }));
    }
    if (width <= 0) return 2;
    std::printf("ifheif.spi in the helper: %.4f s\n", Median(times));
    WhereTheTimeGoes(helper, program + "\\ifheif.spi", argv[3], rounds);
    TSPI::Helper = nullptr;
    return 0;
  }
  const std::string fixtures = argv[2];
  const int width = argc > 4 ? std::atoi(argv[3]) : 6000;
  const int height = argc > 4 ? std::atoi(argv[4]) : 4000;
  const std::wstring exe = HelperProgram(program);
  TPluginHelper helper(exe);

  // The helper's first start: a new helper's first call, against the same call to a running one.
  std::vector<double> first;
  std::vector<double> again;
  for (int round = 0; round < 5; ++round) {
    TPluginHelper fresh(exe);
    plugin_wire::TMessage load;
    load.Kind = plugin_wire::TKind::Load;
    load.Plugin = fixtures + "\\fxa.spi";
    first.push_back(TimeOnce([&] { fresh.Call(load, nullptr, 10000); }));
    again.push_back(TimeOnce([&] { fresh.Call(load, nullptr, 10000); }));
  }
  std::printf("helper's first start (to its first answer): %.1f ms (target: at most 100 ms)\n",
              (Median(first) - Median(again)) * 1000);

  // A 24-megapixel PNG through our PNG plug-in.
  const std::string png = "helper-bench.png";
  Write(png, BenchPng(width, height));
  std::vector<double> here;
  std::vector<double> apart;
  for (int round = 0; round < 5; ++round) {
    {
      auto local = Session(program + "\\ifpng.spi", nullptr);
      here.push_back(TimeOnce([&] { Load(png, width); }));
    }
    {
      auto remote = Session(program + "\\ifpng.spi", &helper);
      apart.push_back(TimeOnce([&] { Load(png, width); }));
    }
  }
  WhereTheTimeGoes(helper, program + "\\ifpng.spi", png, 5);
  DeleteFileA(png.c_str());
  std::printf("%d x %d PNG through ifpng.spi: here %.4f s, in the helper %.4f s\n", width, height,
              Median(here), Median(apart));
  std::printf("ratio=%.3f (target: at most 1.05)\n", Median(apart) / Median(here));

  // 200 small pictures through a third-party-style plug-in, as stepping through a folder.
  constexpr int kPictures = 200;
  for (int i = 0; i < kPictures; ++i) {
    Write("helper-bench-" + std::to_string(i) + ".fxa", FixturePicture(64 + i % 7, 48));
  }
  auto stepAll = [&] {
    for (int i = 0; i < kPictures; ++i)
      Load("helper-bench-" + std::to_string(i) + ".fxa", 64 + i % 7);
  };
  std::vector<double> smallHere;
  std::vector<double> smallApart;
  for (int round = 0; round < 3; ++round) {
    {
      auto local = Session(fixtures + "\\fxa.spi", nullptr);
      smallHere.push_back(TimeOnce(stepAll));
    }
    {
      auto remote = Session(fixtures + "\\fxa.spi", &helper);
      smallApart.push_back(TimeOnce(stepAll));
    }
  }
  for (int i = 0; i < kPictures; ++i)
    DeleteFileA(("helper-bench-" + std::to_string(i) + ".fxa").c_str());
  const double perHere = Median(smallHere) / kPictures * 1000;
  const double perApart = Median(smallApart) / kPictures * 1000;
  std::printf("%d small pictures through fxa.spi: here %.3f s, in the helper %.3f s\n", kPictures,
              Median(smallHere), Median(smallApart));
  std::printf("fixed cost of the helper per picture: %.2f ms (target: at most 2 ms); ratio=%.2f\n",
              perApart - perHere, perApart / perHere);
  TSPI::Helper = nullptr;
  return 0;
}
