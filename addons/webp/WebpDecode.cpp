#include "addons/webp/WebpDecode.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include "decode/ColorProfile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "decode/AlphaBlend.h"
#include "decode/PixelMemory.h"
#include "engine/ColorConvert.h"

namespace {

// Input is fed to the incremental decoder in this many pieces (of at least kMinPiece bytes), so
// that progress is told and an abort is heard while a large picture decodes.
constexpr size_t kPieces = 32;
constexpr size_t kMinPiece = 64 * 1024;

struct TDemuxDeleter {
  void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};
struct TDecoderDeleter {
  void operator()(WebPIDecoder* decoder) const { WebPIDelete(decoder); }
};

// Where the first frame lies on the canvas and the bytes that encode it.
struct TFrame {
  uint32_t Left = 0, Top = 0, Width = 0, Height = 0;
  bool HasAlpha = false;
  const uint8_t* Bytes = nullptr;
  size_t Size = 0;
};

// Decodes a frame's bytes into `out`, `stride` bytes a row (negative: bottom-up), in BGR or
// BGRA, a piece of input at a time.
TWebpResult DecodeFrame(const TFrame& frame, WEBP_CSP_MODE mode, uint8_t* out, int stride,
                        size_t outSize, bool flip, const TWebpProgress& progress) {
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return TWebpResult::kBroken;
  config.options.use_threads = 1;
  config.options.flip = flip ? 1 : 0;
  config.output.colorspace = mode;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = out;
  config.output.u.RGBA.stride = stride;
  config.output.u.RGBA.size = outSize;
  std::unique_ptr<WebPIDecoder, TDecoderDeleter> decoder(WebPIDecode(nullptr, 0, &config));
  if (decoder == nullptr) return TWebpResult::kNoMemory;
  const size_t piece = std::max(kMinPiece, frame.Size / kPieces + 1);
  for (size_t fed = 0; fed < frame.Size;) {
    fed = std::min(frame.Size, fed + piece);
    const VP8StatusCode status = WebPIUpdate(decoder.get(), frame.Bytes, fed);
    if (status == VP8_STATUS_OK) return TWebpResult::kOk;
    if (status == VP8_STATUS_OUT_OF_MEMORY) return TWebpResult::kNoMemory;
    if (status != VP8_STATUS_SUSPENDED) return TWebpResult::kBroken;
    if (progress && !progress(static_cast<int>(fed * 99 / frame.Size))) {
      return TWebpResult::kAborted;
    }
  }
  // All the bytes are in and the picture is not whole: the file ends early.
  return TWebpResult::kBroken;
}

// BGRA pixels laid over the background into BGR, in place: each 3-byte pixel is written no
// further on than the 4-byte one it comes from. With `toSrgb` the colours are converted first;
// `alphas` is room for the row's alpha meanwhile.
void BlendRow(uint8_t* row, uint32_t width, const TWebpBackground& back,
              const TSrgbTransform* toSrgb, std::vector<uint8_t>& alphas) {
  alphas.resize(width);
  uint8_t* to = row;
  for (uint32_t x = 0; x < width; ++x, to += 3) {
    const uint8_t* p = row + size_t{x} * 4;
    alphas[x] = p[3];
    to[0] = p[0];
    to[1] = p[1];
    to[2] = p[2];
  }
  if (toSrgb != nullptr) toSrgb->Convert(row, width);
  to = row;
  for (uint32_t x = 0; x < width; ++x, to += 3) {
    to[0] = BlendOver(to[0], alphas[x], back.Blue);
    to[1] = BlendOver(to[1], alphas[x], back.Green);
    to[2] = BlendOver(to[2], alphas[x], back.Red);
  }
}

}  // namespace

bool IsWebp(const uint8_t* data, size_t size) {
  return data != nullptr && size >= 12 && std::memcmp(data, "RIFF", 4) == 0 &&
         std::memcmp(data + 8, "WEBP", 4) == 0;
}

bool ReadWebpHeader(const uint8_t* data, size_t size, TWebpHeader& header) {
  if (!IsWebp(data, size)) return false;
  // The extended format names the canvas at its start, before any colour profile or metadata
  // that may lie between it and the image.
  if (size >= 30 && std::memcmp(data + 12, "VP8X", 4) == 0) {
    auto le24 = [&](size_t at) {
      return uint32_t{data[at]} | (uint32_t{data[at + 1]} << 8) | (uint32_t{data[at + 2]} << 16);
    };
    header.Width = 1 + le24(24);
    header.Height = 1 + le24(27);
    header.HasAlpha = (data[20] & 0x10) != 0;
    header.Animated = (data[20] & 0x02) != 0;
    return true;
  }
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK) return false;
  if (features.width <= 0 || features.height <= 0) return false;
  header.Width = static_cast<uint32_t>(features.width);
  header.Height = static_cast<uint32_t>(features.height);
  header.HasAlpha = features.has_alpha != 0;
  header.Animated = features.has_animation != 0;
  return true;
}

TWebpResult DecodeWebp24(const uint8_t* data, size_t size, TWebpBackground back,
                         uint64_t maxPixelBytes, const TWebpAllocate& allocate,
                         const TWebpProgress& progress, TWebpPicture& picture) {
  picture = TWebpPicture{};
  if (!IsWebp(data, size)) return TWebpResult::kNotWebp;
  // The demuxer checks the whole file's chunks and finds the first frame, of a still picture too.
  const WebPData whole{data, size};
  std::unique_ptr<WebPDemuxer, TDemuxDeleter> demux(WebPDemux(&whole));
  if (demux == nullptr) return TWebpResult::kBroken;
  const uint32_t width = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
  const uint32_t height = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
  // The colour profile of an extended file (its ICCP chunk), handed on with the pixels.
  std::vector<uint8_t> icc;
  if ((WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG) != 0) {
    WebPChunkIterator chunk;
    if (WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk)) {
      if (chunk.chunk.size <= kMaxIccBytes)
        icc.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
      WebPDemuxReleaseChunkIterator(&chunk);
    }
  }
  WebPIterator it;
  if (!WebPDemuxGetFrame(demux.get(), 1, &it)) return TWebpResult::kBroken;
  TFrame frame;
  frame.Left = static_cast<uint32_t>(it.x_offset);
  frame.Top = static_cast<uint32_t>(it.y_offset);
  frame.Width = static_cast<uint32_t>(it.width);
  frame.Height = static_cast<uint32_t>(it.height);
  frame.HasAlpha = it.has_alpha != 0;
  frame.Bytes = it.fragment.bytes;
  frame.Size = it.fragment.size;
  WebPDemuxReleaseIterator(&it);
  if (width == 0 || height == 0 || frame.Width == 0 || frame.Height == 0 ||
      frame.Left + uint64_t{frame.Width} > width || frame.Top + uint64_t{frame.Height} > height) {
    return TWebpResult::kBroken;
  }

  // Sizes are checked before anything is allocated. A frame with alpha that covers the canvas
  // is decoded in 32 bits into the same block and made 24-bit there; a smaller one has a
  // 32-bit block of its own.
  const uint64_t row = RowBytes(width, 24);
  const uint64_t bytes = row * height;
  const bool whole_canvas = frame.Width == width && frame.Height == height;
  const uint64_t block =
      frame.HasAlpha && whole_canvas ? std::max(bytes, uint64_t{width} * 4 * height) : bytes;
  const uint64_t extra =
      frame.HasAlpha && !whole_canvas ? uint64_t{frame.Width} * 4 * frame.Height : 0;
  // libwebp's own memory counts too: a lossless frame (and a lossy one's alpha plane, coded
  // losslessly) is decoded through a buffer of 4 bytes a pixel. A tiny file may claim
  // 16383 x 16383 pixels: it must be refused before a gigabyte is filled for it.
  WebPBitstreamFeatures features;
  const bool lossless =
      WebPGetFeatures(frame.Bytes, frame.Size, &features) == VP8_STATUS_OK && features.format == 2;
  const uint64_t library =
      lossless || frame.HasAlpha ? uint64_t{frame.Width} * 4 * frame.Height : 0;
  if (block + extra + library > maxPixelBytes || block > SIZE_MAX) {
    return TWebpResult::kTooLarge;
  }
  uint8_t* bits = allocate(static_cast<size_t>(block));
  if (bits == nullptr) return TWebpResult::kNoMemory;
  if (progress && !progress(0)) return TWebpResult::kAborted;

  // A host that converts the picture from its profile would convert the background where it
  // shows (through alpha, or round a smaller first frame) with it: then the frame's colours are
  // converted here, and the picture goes on in sRGB.
  std::unique_ptr<TSrgbTransform> toSrgb;
  if (back.HostConverts && !icc.empty() && (frame.HasAlpha || !whole_canvas)) {
    if (const TColorProfilePtr profile = IccColorProfile(icc))
      toSrgb = TSrgbTransform::Make(*profile);
    if (toSrgb) icc.clear();
  }
  std::vector<uint8_t> alphas;
  const size_t stride = static_cast<size_t>(row);
  TWebpResult result = TWebpResult::kOk;
  if (!frame.HasAlpha) {
    // Straight into the bitmap, bottom-up, at the frame's place.
    if (!whole_canvas) {
      for (uint32_t y = 0; y < height; ++y) {
        uint8_t* p = bits + y * stride;
        for (uint32_t x = 0; x < width; ++x, p += 3) {
          p[0] = back.Blue;
          p[1] = back.Green;
          p[2] = back.Red;
        }
      }
    }
    uint8_t* first = bits + (height - frame.Top - frame.Height) * stride + size_t{frame.Left} * 3;
    const size_t size_from = static_cast<size_t>(bytes) - static_cast<size_t>(first - bits);
    result =
        DecodeFrame(frame, MODE_BGR, first, static_cast<int>(stride), size_from, true, progress);
    for (uint32_t y = 0; toSrgb && result == TWebpResult::kOk && y < frame.Height; ++y)
      toSrgb->Convert(first + y * stride, frame.Width);
  } else if (whole_canvas) {
    // Top-down BGRA over the whole block, blended row by row into BGR rows packed from the
    // front (never past what is still to be read), then the rows turned bottom-up.
    const size_t wide = size_t{width} * 4;
    result =
        DecodeFrame(frame, MODE_BGRA, bits, static_cast<int>(wide), wide * height, false, progress);
    if (result == TWebpResult::kOk) {
      for (uint32_t y = 0; y < height; ++y) {
        BlendRow(bits + y * wide, width, back, toSrgb.get(), alphas);
        if (y > 0) std::memmove(bits + y * stride, bits + y * wide, size_t{width} * 3);
      }
      std::vector<uint8_t> swap(stride);
      for (uint32_t y = 0; y < height / 2; ++y) {
        uint8_t* top = bits + y * stride;
        uint8_t* bottom = bits + (height - 1 - y) * stride;
        std::memcpy(swap.data(), top, stride);
        std::memcpy(top, bottom, stride);
        std::memcpy(bottom, swap.data(), stride);
      }
    }
  } else {
    // The canvas in the background colour, the frame blended into its place.
    std::vector<uint8_t> pixels;
    try {
      pixels.resize(static_cast<size_t>(extra));
    } catch (const std::bad_alloc&) {
      return TWebpResult::kNoMemory;
    }
    const size_t wide = size_t{frame.Width} * 4;
    result = DecodeFrame(frame, MODE_BGRA, pixels.data(), static_cast<int>(wide), pixels.size(),
                         false, progress);
    if (result == TWebpResult::kOk) {
      for (uint32_t y = 0; y < height; ++y) {
        uint8_t* p = bits + (height - 1 - y) * stride;
        for (uint32_t x = 0; x < width; ++x) {
          p[x * 3] = back.Blue;
          p[x * 3 + 1] = back.Green;
          p[x * 3 + 2] = back.Red;
        }
        if (y < frame.Top || y >= frame.Top + frame.Height) continue;
        uint8_t* from = pixels.data() + (y - frame.Top) * wide;
        BlendRow(from, frame.Width, back, toSrgb.get(), alphas);
        std::memcpy(p + size_t{frame.Left} * 3, from, size_t{frame.Width} * 3);
      }
    }
  }
  if (result != TWebpResult::kOk) return result;
  picture.Width = width;
  picture.Height = height;
  picture.Bytes = static_cast<size_t>(bytes);
  picture.Icc = std::move(icc);
  return TWebpResult::kOk;
}
