// Decoding a 24-megapixel RGB PNG with TPngGraphic, against libpng reading the same file in the
// same run. The file is written by libpng with its default settings (zlib level 6, the filter
// chosen per row), as most programs write PNGs. Medians of alternating runs.
//   png_bench [file]
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchTiming.h"
#include "decode/PngGraphic.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A photo-like picture: smooth gradients under fine grain, so that it compresses about as
// much as a photo (to roughly half).
void WritePicture(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::exit(1);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) std::exit(1);
  png_init_io(png, f);
  png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row(static_cast<size_t>(kWidth) * 3);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const unsigned hash =
          (static_cast<unsigned>(x) * 2654435761u) ^ (static_cast<unsigned>(y) * 2246822519u);
      const unsigned grain = (hash ^ (hash >> 15)) * 2654435761u;
      row[x * 3] = static_cast<png_byte>(x / 25 + ((grain >> 24) & 15));
      row[x * 3 + 1] = static_cast<png_byte>(y / 16 + ((grain >> 16) & 15));
      row[x * 3 + 2] = static_cast<png_byte>((x + y) / 40 + ((grain >> 8) & 15));
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

// libpng's whole read of the file into rows of red, green, blue.
void ReadWithLibpng(const std::string& path, std::vector<png_byte>& pixels) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) std::exit(1);
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) std::exit(1);
  png_init_io(png, f);
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const size_t stride = png_get_rowbytes(png, info);
  pixels.resize(stride * height);
  std::vector<png_bytep> rows(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels.data() + stride * y;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  if (width != kWidth) std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "png-bench.png";
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    std::fclose(f);
  } else {
    WritePicture(path);
  }
  std::vector<double> ours;
  std::vector<double> theirs;
  for (int round = 0; round < 7; ++round) {
    ours.push_back(TimeOnce([&] {
      TPngGraphic png;
      png.LoadFromFile(path);
      if (png.Width() != kWidth) std::exit(1);
    }));
    theirs.push_back(TimeOnce([&] {
      std::vector<png_byte> pixels;
      ReadWithLibpng(path, pixels);
    }));
  }
  std::printf("TPngGraphic load, 6000 x 4000 RGB: %.4f s\n", Median(ours));
  std::printf("libpng %s on the same file: %.4f s\n", PNG_LIBPNG_VER_STRING, Median(theirs));
  std::printf("ratio=%.2f (target: at most 1.30)\n", Median(ours) / Median(theirs));
  return 0;
}
