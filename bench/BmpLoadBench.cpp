// Loading a big 24-bit BMP file into a TDIBImage, against reading the same file's bytes into
// memory (what any viewer must at least pay). Both alternate in one run; medians and their
// ratio are reported.
//   bmp_load_bench [width height] [file]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/Stream.h"
#include "bench/BenchTiming.h"
#include "decode/DIBImage.h"

namespace {

void WriteTestFile(const std::string& path, int width, int height) {
  TDIBImage dib;
  dib.SetBitCount(24);
  dib.SetWidth(width);
  dib.SetHeight(height);
  TMemoryStream stream;
  dib.SaveToStream(stream);
  std::vector<uint8_t> bytes = stream.TakeBytes();
  for (size_t i = 54; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::exit(1);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  const int width = argc > 2 ? std::atoi(argv[1]) : 6000;
  const int height = argc > 2 ? std::atoi(argv[2]) : 4000;
  const std::string path = argc > 3 ? argv[3] : "bmp-load-bench.bmp";
  WriteTestFile(path, width, height);

  std::vector<double> bare;
  std::vector<double> ours;
  size_t bytesRead = 0;
  for (int round = 0; round < 7; ++round) {
    bare.push_back(TimeOnce([&] {
      std::FILE* f = std::fopen(path.c_str(), "rb");
      std::fseek(f, 0, SEEK_END);
      const long size = std::ftell(f);
      std::fseek(f, 0, SEEK_SET);
      std::vector<uint8_t> bytes(static_cast<size_t>(size));
      bytesRead = std::fread(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }));
    ours.push_back(TimeOnce([&] {
      TDIBImage dib;
      dib.LoadFromFile(path);
      if (dib.Width() != width) std::exit(1);
    }));
  }
  std::remove(path.c_str());
  const double b = Median(bare);
  const double o = Median(ours);
  std::printf("read %zu bytes into memory: %.4f s\n", bytesRead, b);
  std::printf("TDIBImage.LoadFromFile %d x %d, 24 bits: %.4f s\n", width, height, o);
  std::printf("ratio=%.2f (target: at most 1.3)\n", o / b);
  return 0;
}
