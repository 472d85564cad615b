// A WebP picture decoded through our plug-in as the program decodes it: the whole TSPIDIBImage
// load (candidate search, header block, ifwebp.spi's GetPicture, the DIB). Medians of several
// rounds; scripts/bench.sh times dwebp on the same file beside it.
//   webp_bench <plug-in folder> <file.webp> [rounds]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/PluginSetup_win.h"
#include "bench/BenchTiming.h"
#include "decode/SPIGraphic_win.h"
#include "decode/SPIs_win.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: webp_bench <plug-in folder> <file.webp> [rounds]\n");
    return 2;
  }
  const std::string plugin = std::string(argv[1]) + "\\ifwebp.spi";
  const std::string path = argv[2];
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
  std::printf("ifwebp.spi through the host, %d x %d: %.4f s\n", width, height, Median(times));
  return 0;
}
