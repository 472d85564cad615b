#include "decode/PngCodec.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

int PngChannels(uint8_t colorType) {
  switch (colorType) {
    case PngColor::kGrey:
    case PngColor::kPalette:
      return 1;
    case PngColor::kRgb:
      return 3;
    case PngColor::kGreyAlpha:
      return 2;
    case PngColor::kRgba:
      return 4;
    default:
      return 0;
  }
}

int PngPixelBits(const TPngHeader& header) {
  return PngChannels(header.ColorType) * header.BitDepth;
}

uint64_t PngRowBytes(const TPngHeader& header, uint64_t width) {
  return (width * static_cast<uint64_t>(PngPixelBits(header)) + 7) / 8;
}

std::vector<TPngPass> PngPasses(const TPngHeader& header) {
  static const uint8_t kAdam7[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                       {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  std::vector<TPngPass> passes;
  if (header.Interlace == 0) {
    passes.push_back(TPngPass{0, 0, 1, 1, header.Width, header.Height});
    return passes;
  }
  for (const auto& a : kAdam7) {
    TPngPass pass{a[0], a[1], a[2], a[3], 0, 0};
    if (header.Width > pass.XStart) pass.Width = (header.Width - pass.XStart - 1) / pass.XStep + 1;
    if (header.Height > pass.YStart) {
      pass.Height = (header.Height - pass.YStart - 1) / pass.YStep + 1;
    }
    passes.push_back(pass);
  }
  return passes;
}

uint64_t PngImageDataSize(const TPngHeader& header) {
  uint64_t size = 0;
  for (const TPngPass& pass : PngPasses(header)) {
    if (pass.Width == 0 || pass.Height == 0) continue;
    size += (PngRowBytes(header, pass.Width) + 1) * pass.Height;
  }
  return size;
}

namespace {

// The one of a (left), b (above) and c (upper left) closest to a + b - c; ties prefer a, then
// b. Written so that the compiler chooses with conditional moves, not branches.
inline int Paeth(int a, int b, int c) {
  const int p = b - c;
  const int q = a - c;
  int distance = std::abs(p);
  const int distanceB = std::abs(q);
  const int distanceC = std::abs(p + q);
  int best = a;
  if (distanceB < distance) {
    distance = distanceB;
    best = b;
  }
  return distanceC < distance ? c : best;
}

// One row's filter undone with the pixel's bytes (kStep, or `step` when kStep is 0) known to
// the compiler: the left and upper-left bytes of each channel stay in registers.
template <size_t kStep>
void Unfilter(uint8_t type, uint8_t* row, const uint8_t* previous, size_t size, size_t step) {
  const size_t s = kStep != 0 ? kStep : step;
  const size_t lead = std::min(s, size);
  switch (type) {
    case 1:
      for (size_t i = s; i < size; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - s]);
      break;
    case 2:
      for (size_t i = 0; i < size; ++i) row[i] = static_cast<uint8_t>(row[i] + previous[i]);
      break;
    case 3:
      for (size_t i = 0; i < lead; ++i) row[i] = static_cast<uint8_t>(row[i] + (previous[i] >> 1));
      for (size_t i = s; i < size; ++i) {
        row[i] = static_cast<uint8_t>(row[i] + ((row[i - s] + previous[i]) >> 1));
      }
      break;
    case 4:
      // Left and upper-left are zero for the first pixel: the predictor is the byte above.
      for (size_t i = 0; i < lead; ++i) row[i] = static_cast<uint8_t>(row[i] + previous[i]);
      if constexpr (kStep != 0) {
        int left[kStep];
        int upLeft[kStep];
        for (size_t k = 0; k < lead; ++k) {
          left[k] = row[k];
          upLeft[k] = previous[k];
        }
        for (size_t i = kStep; i + kStep <= size; i += kStep) {
          for (size_t k = 0; k < kStep; ++k) {
            const int above = previous[i + k];
            const int v = (row[i + k] + Paeth(left[k], above, upLeft[k])) & 0xFF;
            row[i + k] = static_cast<uint8_t>(v);
            left[k] = v;
            upLeft[k] = above;
          }
        }
      } else {
        for (size_t i = s; i < size; ++i) {
          row[i] = static_cast<uint8_t>(row[i] + Paeth(row[i - s], previous[i], previous[i - s]));
        }
      }
      break;
    default:
      break;
  }
}

}  // namespace

bool UnfilterRow(uint8_t type, uint8_t* row, const uint8_t* previous, size_t size, size_t step) {
  if (type > 4) return false;
  if (type == 0) return true;
  // Whole pixels of 8- and 16-bit samples; rows of smaller samples filter byte by byte.
  if (size % step == 0) {
    switch (step) {
      case 1:
        Unfilter<1>(type, row, previous, size, step);
        return true;
      case 2:
        Unfilter<2>(type, row, previous, size, step);
        return true;
      case 3:
        Unfilter<3>(type, row, previous, size, step);
        return true;
      case 4:
        Unfilter<4>(type, row, previous, size, step);
        return true;
      case 6:
        Unfilter<6>(type, row, previous, size, step);
        return true;
      case 8:
        Unfilter<8>(type, row, previous, size, step);
        return true;
      default:
        break;
    }
  }
  Unfilter<0>(type, row, previous, size, step);
  return true;
}

void FilterRow(uint8_t type, const uint8_t* row, const uint8_t* previous, size_t size, size_t step,
               uint8_t* out) {
  for (size_t i = 0; i < size; ++i) {
    const int a = i >= step ? row[i - step] : 0;
    const int b = previous[i];
    const int c = i >= step ? previous[i - step] : 0;
    int predictor = 0;
    switch (type) {
      case 1:
        predictor = a;
        break;
      case 2:
        predictor = b;
        break;
      case 3:
        predictor = (a + b) >> 1;
        break;
      case 4:
        predictor = Paeth(a, b, c);
        break;
      default:
        break;
    }
    out[i] = static_cast<uint8_t>(row[i] - predictor);
  }
}

namespace {

class TInflate {
 public:
  TInflate() { ok_ = inflateInit(&z) == Z_OK; }
  TInflate(const TInflate&) = delete;
  TInflate& operator=(const TInflate&) = delete;
  ~TInflate() {
    if (ok_) inflateEnd(&z);
  }
  bool Ok() const { return ok_; }

  // Fills exactly `size` bytes.
  TPngDataResult Fill(uint8_t* out, size_t size, const TPngInput& input) {
    z.next_out = out;
    z.avail_out = static_cast<uInt>(size);
    while (z.avail_out > 0) {
      if (z.avail_in == 0 && !Refill(input)) return TPngDataResult::kTooShort;
      const int result = inflate(&z, Z_NO_FLUSH);
      if (result == Z_STREAM_END) {
        if (z.avail_out > 0) return TPngDataResult::kTooShort;
      } else if (result != Z_OK && !(result == Z_BUF_ERROR && z.avail_in == 0)) {
        return TPngDataResult::kZlibError;
      }
    }
    return TPngDataResult::kOk;
  }

  z_stream z{};

 private:
  bool Refill(const TPngInput& input) {
    const uint8_t* data = nullptr;
    const size_t size = input(data);
    if (size == 0) return false;
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    return true;
  }

  bool ok_ = false;
};

}  // namespace

bool InflateChunk(const uint8_t* data, size_t size, size_t limit, std::vector<uint8_t>& out) {
  out.clear();
  TInflate inflater;
  if (!inflater.Ok() || size > UINT32_MAX) return false;
  z_stream& z = inflater.z;
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(size);
  uint8_t buffer[16384];
  for (;;) {
    z.next_out = buffer;
    z.avail_out = sizeof buffer;
    const int result = inflate(&z, Z_NO_FLUSH);
    const size_t produced = sizeof buffer - z.avail_out;
    if (out.size() + produced > limit) return false;
    out.insert(out.end(), buffer, buffer + produced);
    if (result == Z_STREAM_END) return true;
    // Input used up before the stream's end, or a stream that stops making progress.
    if (result != Z_OK || (produced == 0 && z.avail_in == 0)) return false;
  }
}

TPngDataResult DecodePngImageData(const TPngHeader& header, const TPngInput& input,
                                  const TPngRowSink& sink) {
  TInflate inflater;
  if (!inflater.Ok()) return TPngDataResult::kZlibError;
  const std::vector<TPngPass> passes = PngPasses(header);
  const size_t step = static_cast<size_t>(std::max(1, PngPixelBits(header) / 8));
  size_t widest = 0;
  for (const TPngPass& pass : passes) {
    widest = std::max(widest, static_cast<size_t>(PngRowBytes(header, pass.Width)));
  }
  // Two rows with their filter bytes, the current one and the one above, swapped as rows pass.
  std::vector<uint8_t> rows(2 * (widest + 1));
  uint8_t* current = rows.data();
  uint8_t* above = rows.data() + widest + 1;
  for (const TPngPass& pass : passes) {
    if (pass.Width == 0 || pass.Height == 0) continue;
    const size_t size = static_cast<size_t>(PngRowBytes(header, pass.Width));
    std::memset(above, 0, size + 1);
    for (uint32_t y = 0; y < pass.Height; ++y) {
      const TPngDataResult filled = inflater.Fill(current, size + 1, input);
      if (filled != TPngDataResult::kOk) return filled;
      if (!UnfilterRow(current[0], current + 1, above + 1, size, step)) {
        return TPngDataResult::kBadFilter;
      }
      sink(current + 1, pass, y);
      std::swap(current, above);
    }
  }
  // Whatever compressed data follows the last row is never inflated: viewers show such files,
  // and a stream that would inflate without end is never run.
  return TPngDataResult::kOk;
}

TPngDeflater::TPngDeflater(int level, size_t pieceSize,
                           std::function<void(const uint8_t* data, size_t size)> emit)
    : z_(std::make_unique<z_stream_s>()), piece_(pieceSize), emit_(std::move(emit)) {
  *z_ = z_stream{};
  ok_ = pieceSize > 0 && deflateInit(z_.get(), level) == Z_OK;
  z_->next_out = piece_.data();
  z_->avail_out = static_cast<uInt>(piece_.size());
}

TPngDeflater::~TPngDeflater() {
  if (ok_) deflateEnd(z_.get());
}

bool TPngDeflater::Run(int flush) {
  for (;;) {
    const int result = deflate(z_.get(), flush);
    if (result == Z_STREAM_ERROR) return false;
    if (z_->avail_out == 0) {
      emit_(piece_.data(), piece_.size());
      z_->next_out = piece_.data();
      z_->avail_out = static_cast<uInt>(piece_.size());
      continue;
    }
    if (flush == Z_FINISH ? result == Z_STREAM_END : z_->avail_in == 0) break;
  }
  return true;
}

bool TPngDeflater::Write(const uint8_t* data, size_t size) {
  if (!ok_) return false;
  z_->next_in = const_cast<Bytef*>(data);
  z_->avail_in = static_cast<uInt>(size);
  return Run(Z_NO_FLUSH);
}

bool TPngDeflater::Finish() {
  if (!ok_) return false;
  z_->next_in = nullptr;
  z_->avail_in = 0;
  if (!Run(Z_FINISH)) return false;
  const size_t used = piece_.size() - z_->avail_out;
  if (used > 0) emit_(piece_.data(), used);
  return true;
}
