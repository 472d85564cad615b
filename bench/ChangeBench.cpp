// The work of one wallpaper change done by the quality path, timed: load a JPEG, decode and
// shrink it to fit the desktop with the area-averaging resampler, turn it into sRGB where it
// carries a colour profile, write the result as a BMP.
// Prints the median seconds of several runs, so a script can set it beside other tools.
// The mode "fit" scales to fit with the desktop's colour beside the picture, "blur" with the
// blurred picture there instead (the default, "shrink", is the shrink of the first versions).
//   change_bench picture.jpg out.bmp [width height [threads [runs [mode]]]]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchTiming.h"
#include "decode/JPEGImage.h"
#include "decode/Picture.h"
#include "engine/BusyDisplay.h"
#include "engine/ColorConvert.h"
#include "engine/Fit.h"
#include "engine/ScreenFit.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(
        stderr, "usage: change_bench picture.jpg out.bmp [width height [threads [runs [mode]]]]\n");
    return 2;
  }
  const std::string picture = argv[1];
  const std::string output = argv[2];
  const int width = argc > 4 ? std::atoi(argv[3]) : 1920;
  const int height = argc > 4 ? std::atoi(argv[4]) : 1080;
  const int threads = argc > 5 ? std::atoi(argv[5]) : 1;
  const int runs = argc > 6 ? std::atoi(argv[6]) : 5;
  const std::string mode = argc > 7 ? argv[7] : "shrink";
  if (width < 1 || height < 1 || threads < 1 || runs < 1) return 2;
  // The panel's busy signals cost nothing here.
  struct TQuiet : IBusyDisplay {
    uint32_t PanelColor() override { return 0; }
    void SetPanelColor(uint32_t) override {}
    void SetAppTitle(const std::string&) override {}
    std::string Caption() override { return {}; }
  } quiet;
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    times.push_back(TimeOnce([&] {
      // As a change does it: the JPEG is held compressed, then fitted by the quality path.
      auto jpeg = std::make_unique<TJPEGImage>();
      jpeg->LoadFromFile(picture);
      TPicture image;
      image.TakeGraphic(std::move(jpeg));
      TRect desktop{0, 0, width, height};
      if (mode == "shrink") {
        FitToRect(image, desktop, false, quiet, threads);
      } else {
        ScaleToScreen(image, TScreenFit::Fit, width, height, 0x00808080, false, quiet, threads,
                      mode == "blur");
      }
      ConvertHeldToSrgb(image, threads);
      image.Realize();
      image.Bitmap()->SaveToFile(output);
    }));
  }
  std::printf("%.4f\n", Median(times));
  return 0;
}
