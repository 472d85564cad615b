// Decoding a 24-megapixel JPEG with TJPEGImage, against libjpeg-turbo's own djpeg on the same
// file in the same run (when a djpeg path is given). Medians of alternating runs.
//   jpeg_bench [file] [djpeg]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/Stream.h"
#include "bench/BenchTiming.h"
#include "decode/JPEGImage.h"
#include "decode/JpegCodec.h"

namespace {

// A photo-like 6000 x 4000 picture: smooth gradients with texture, quality 90.
void WritePicture(const std::string& path) {
  const int width = 6000;
  const int height = 4000;
  struct TPattern {
    std::vector<uint8_t> row;
    static const uint8_t* At(void* context, int y) {
      auto* p = static_cast<TPattern*>(context);
      const int width = static_cast<int>(p->row.size() / 3);
      for (int x = 0; x < width; ++x) {
        const unsigned noise =
            (static_cast<unsigned>(x) * 2654435761u ^ static_cast<unsigned>(y) * 40503u) >> 27;
        p->row[x * 3] = static_cast<uint8_t>((x / 25 + noise) & 0xFF);
        p->row[x * 3 + 1] = static_cast<uint8_t>((y / 16 + noise) & 0xFF);
        p->row[x * 3 + 2] = static_cast<uint8_t>(((x + y) / 40) & 0xFF);
      }
      return p->row.data();
    }
  } pattern{std::vector<uint8_t>(static_cast<size_t>(width) * 3)};
  std::vector<uint8_t> bytes;
  if (EncodeJpeg(width, height, 90, false, false, &TPattern::At, &pattern, bytes) != 0)
    std::exit(1);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "jpeg-bench.jpg";
  const std::string djpeg = argc > 2 ? argv[2] : "";
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    std::fclose(f);
  } else {
    WritePicture(path);
  }
  std::vector<double> ours;
  std::vector<double> theirs;
  const std::string command = djpeg + " -outfile /dev/null " + path;
  for (int round = 0; round < 5; ++round) {
    ours.push_back(TimeOnce([&] {
      TJPEGImage jpeg;
      jpeg.LoadFromFile(path);
      if (jpeg.Bitmap().Width() != 6000) std::exit(1);
    }));
    if (!djpeg.empty()) {
      theirs.push_back(TimeOnce([&] {
        if (std::system(command.c_str()) != 0) std::exit(1);
      }));
    }
  }
  std::printf("TJPEGImage load and decode, 6000 x 4000: %.4f s\n", Median(ours));
  if (!theirs.empty()) {
    std::printf("djpeg on the same file: %.4f s\n", Median(theirs));
    std::printf("ratio=%.2f (target: at most 1.10)\n", Median(ours) / Median(theirs));
  }
  return 0;
}
