// A whole change with a picture per monitor against the same change on one monitor: each
// monitor decodes and shrinks a 24-megapixel JPEG of its own (shrink on, centred, as a first
// start sets it), then the monitors' pictures are laid into the spanning bitmap and written as
// a BMP. Prints the medians of several runs and their ratio.
//   monitor_bench picture.jpg out.bmp [runs]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchTiming.h"
#include "decode/JPEGImage.h"
#include "decode/Picture.h"
#include "engine/BusyDisplay.h"
#include "engine/MonitorPicture.h"

namespace {

struct TQuiet final : IBusyDisplay {
  uint32_t PanelColor() override { return 0; }
  void SetPanelColor(uint32_t) override {}
  void SetAppTitle(const std::string&) override {}
  std::string Caption() override { return {}; }
};

TMonitor Monitor(int left, int width, int height, bool primary) {
  TMonitor m;
  m.Bounds = TRect{left, 0, left + width, height};
  m.WorkArea = m.Bounds;
  m.Primary = primary;
  return m;
}

double Change(const std::string& picture, const std::string& output, const TMonitorLayout& layout,
              int runs) {
  TQuiet quiet;
  TMonitorFit fit;
  fit.ReSize = true;
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    times.push_back(TimeOnce([&] {
      std::vector<TPicture> holders(layout.size());
      for (TPicture& holder : holders) {
        auto jpeg = std::make_unique<TJPEGImage>();
        jpeg->LoadFromFile(picture);
        holder.TakeGraphic(std::move(jpeg));
      }
      std::vector<std::unique_ptr<TBitmap>> bitmaps =
          RenderMonitors(holders, layout, 0, fit, quiet);
      std::vector<const TBitmap*> pictures;
      for (const auto& bitmap : bitmaps) pictures.push_back(bitmap.get());
      ComposeSpanning(layout, pictures, 0)->SaveToFile(output);
    }));
  }
  return Median(times);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: monitor_bench picture.jpg out.bmp [runs]\n");
    return 2;
  }
  const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
  if (runs < 1) return 2;
  const double one = Change(argv[1], argv[2], {Monitor(0, 1920, 1080, true)}, runs);
  const double two = Change(argv[1], argv[2],
                            {Monitor(0, 1920, 1080, true), Monitor(1920, 2560, 1440, false)}, runs);
  std::printf(
      "one monitor (1920 x 1080) %.3f s, two monitors (1920 x 1080 and 2560 x 1440) %.3f s, "
      "ratio=%.2f (target: at most 2)\n",
      one, two, two / one);
  return 0;
}
