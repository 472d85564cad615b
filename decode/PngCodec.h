// PNG image data as the format defines it: the header's numbers, the Adam7 passes, the five row
// filters, the IDAT zlib stream inflated row by row (never past the size the header implies)
// and rows deflated into IDAT-sized pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct TPngHeader {
  uint32_t Width = 0;
  uint32_t Height = 0;
  uint8_t BitDepth = 0;
  uint8_t ColorType = 0;
  uint8_t Compression = 0;
  uint8_t Filter = 0;
  uint8_t Interlace = 0;
};

namespace PngColor {
constexpr uint8_t kGrey = 0;
constexpr uint8_t kRgb = 2;
constexpr uint8_t kPalette = 3;
constexpr uint8_t kGreyAlpha = 4;
constexpr uint8_t kRgba = 6;
}  // namespace PngColor

// Samples per pixel of a colour type (0 for an unknown one).
int PngChannels(uint8_t colorType);
int PngPixelBits(const TPngHeader& header);
// Bytes of a row of `width` pixels, without its filter byte.
uint64_t PngRowBytes(const TPngHeader& header, uint64_t width);

// The pixels one pass holds: the whole picture, or one of the seven Adam7 passes.
struct TPngPass {
  uint32_t XStart = 0;
  uint32_t YStart = 0;
  uint32_t XStep = 1;
  uint32_t YStep = 1;
  uint32_t Width = 0;  // pixels per row of the pass; 0 when the pass is empty
  uint32_t Height = 0;
};
std::vector<TPngPass> PngPasses(const TPngHeader& header);
// Bytes of the inflated image data: every row of every non-empty pass with its filter byte.
uint64_t PngImageDataSize(const TPngHeader& header);

// Undoes a row's filter in place. `previous` is the unfiltered row above (zeros above the first
// row of a pass); `step` the bytes of one whole pixel, at least 1. False for a type above 4.
bool UnfilterRow(uint8_t type, uint8_t* row, const uint8_t* previous, size_t size, size_t step);
// Filters `row` into `out` (type 0 to 4).
void FilterRow(uint8_t type, const uint8_t* row, const uint8_t* previous, size_t size, size_t step,
               uint8_t* out);

// Where the compressed bytes come from: points `data` at the next piece and returns its size;
// 0 when the image data has ended.
using TPngInput = std::function<size_t(const uint8_t*& data)>;
// Receives each unfiltered row: its pixels, its pass and its number within the pass.
using TPngRowSink = std::function<void(const uint8_t* pixels, const TPngPass& pass, uint32_t row)>;

enum class TPngDataResult {
  kOk,
  kZlibError,  // a broken zlib stream, or more data than the picture holds
  kTooShort,   // the data ended before the last row
  kBadFilter,  // a row's filter type is unknown
};

// Inflates a whole zlib stream of a chunk (iCCP, zTXt) into `out`; false when it is broken,
// unfinished, or would inflate to more than `limit` bytes.
bool InflateChunk(const uint8_t* data, size_t size, size_t limit, std::vector<uint8_t>& out);

// Inflates, unfilters and hands over every row of the picture in file order. Inflating stops
// at the picture's size; anything that still inflates after the last row is an error, a stream
// that ends there without its checksum is not.
TPngDataResult DecodePngImageData(const TPngHeader& header, const TPngInput& input,
                                  const TPngRowSink& sink);

struct z_stream_s;

// Deflates the image data at a zlib level (-1 for zlib's default) and hands the compressed
// bytes over in pieces of exactly `pieceSize` bytes, the last one shorter.
class TPngDeflater {
 public:
  TPngDeflater(int level, size_t pieceSize,
               std::function<void(const uint8_t* data, size_t size)> emit);
  TPngDeflater(const TPngDeflater&) = delete;
  TPngDeflater& operator=(const TPngDeflater&) = delete;
  ~TPngDeflater();

  // False when zlib refused the level or failed.
  bool Ok() const { return ok_; }
  bool Write(const uint8_t* data, size_t size);
  bool Finish();

 private:
  bool Run(int flush);

  std::unique_ptr<z_stream_s> z_;
  bool ok_ = false;
  std::vector<uint8_t> piece_;
  std::function<void(const uint8_t*, size_t)> emit_;
};
