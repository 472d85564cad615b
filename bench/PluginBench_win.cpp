// A picture decoded through one of our plug-ins as the program decodes it: the whole
// TSPIDIBImage load (candidate search, header block, the plug-in's GetPicture, the DIB). The
// plug-in follows from the file's extension (.webp: ifwebp.spi; .heic, .avif: ifheif.spi).
// Medians of several rounds; scripts/bench.sh times dwebp, heif-convert and avifdec on the
// same files beside it.
//   plugin_bench <plug-in folder> <file> [rounds]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/PluginSetup_win.h"
#include "base/TextCase.h"
#include "bench/BenchTiming.h"
#include "decode/SPIGraphic_win.h"
#include "decode/SPIs_win.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: plugin_bench <plug-in folder> <file> [rounds]\n");
    return 2;
  }
  const std::string path = argv[2];
  const std::string extension = path.substr(path.rfind('.') + 1);
  const std::string name = SameText(extension, "webp") ? "ifwebp.spi" : "ifheif.spi";
  const std::string plugin = std::string(argv[1]) + "\\" + name;
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  TSPIs spis;
  ConfigureMainWindowSPIs(spis);
  spis.Search(plugin);
  if (spis.Count() != 1) {
    std::printf("cannot load %s\n", plugin.c_str());
    return 1;
  }
  std::vector<double> times;
  int width = 0;
  int height = 0;
  for (int round = 0; round < rounds; ++round) {
    times.push_back(TimeOnce([&] {
      TSPIDIBImage dib;
      dib.LoadFromFile(path);
      width = dib.Width();
      height = dib.Height();
    }));
  }
  if (width <= 0 || height <= 0) return 1;
  std::printf("%s through the host, %d x %d: %.4f s\n", name.c_str(), width, height, Median(times));
  return 0;
}
