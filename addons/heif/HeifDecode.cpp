#include "addons/heif/HeifDecode.h"

#include <lcms2.h>
#include <libheif/heif.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "addons/heif/YccToBgr.h"
#include "decode/AlphaBlend.h"
#include "decode/ColorProfile.h"
#include "decode/PixelMemory.h"
#include "engine/ColorConvert.h"

namespace {

bool IsHeifBrand(const uint8_t* brand) {
  static const char* const kBrands[] = {"heic", "heix", "hevc", "hevx", "heim", "heis",
                                        "mif1", "msf1", "avif", "avis", "mif2"};
  for (const char* known : kBrands) {
    if (std::memcmp(brand, known, 4) == 0) return true;
  }
  return false;
}

uint32_t BigEndian32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

struct TContextFree {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct THandleRelease {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct TImageRelease {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
struct TOptionsFree {
  void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

// libheif's own set-up, once per process (its decoders register themselves).
void InitOnce() {
  static const bool done = [] {
    heif_init(nullptr);
    return true;
  }();
  (void)done;
}

// The primary image of the data, read without copying it; null when libheif cannot read it.
struct TPrimary {
  std::unique_ptr<heif_context, TContextFree> context;
  std::unique_ptr<heif_image_handle, THandleRelease> handle;
};

// The least a decoded pixel costs: ours (3 bytes) and libheif's interleaved RGB and YCbCr planes
// before it (3 + 3 at 8 bits). Deeper samples and alpha cost more, counted once the file is read.
constexpr uint64_t kLeastBytesPerPixel = 9;

// libheif's own security limits, set to what the plug-in may spend: no image, grid or overlay
// canvas past the pixels the budget pays for, and no block past the budget. libheif checks them
// as it parses and before it allocates, whichever of the file's boxes it reads.
void LimitTo(heif_context* context, uint64_t maxPixels, uint64_t maxPixelBytes) {
  heif_security_limits* limits = heif_context_get_security_limits(context);
  limits->max_image_size_pixels = std::max<uint64_t>(maxPixels, 1);
  limits->max_memory_block_size =
      std::min<uint64_t>(limits->max_memory_block_size, std::max<uint64_t>(maxPixelBytes, 1));
}

THeifResult OpenPrimary(const uint8_t* data, size_t size, uint64_t maxPixelBytes,
                        TPrimary& primary) {
  InitOnce();
  primary.context.reset(heif_context_alloc());
  if (!primary.context) return THeifResult::kNoMemory;
  LimitTo(primary.context.get(), maxPixelBytes / kLeastBytesPerPixel, maxPixelBytes);
  heif_error error =
      heif_context_read_from_memory_without_copy(primary.context.get(), data, size, nullptr);
  heif_image_handle* handle = nullptr;
  if (error.code == heif_error_Ok)
    error = heif_context_get_primary_image_handle(primary.context.get(), &handle);
  if (error.subcode == heif_suberror_Security_limit_exceeded) return THeifResult::kTooLarge;
  if (error.code != heif_error_Ok) return THeifResult::kBroken;
  primary.handle.reset(handle);
  return THeifResult::kOk;
}

// A sample of `bits` bits brought to 8 with rounding.
inline uint8_t To8(uint16_t value, uint32_t max) {
  if (value > max) value = static_cast<uint16_t>(max);
  return static_cast<uint8_t>((value * 255u + max / 2) / max);
}

// A colour stored multiplied by its alpha, laid over the background: what shows through is
// added to it. The same as dividing the alpha out and blending, without the division's loss.
inline uint8_t PremultipliedOver(uint8_t colour, uint8_t alpha, uint8_t back) {
  return static_cast<uint8_t>(std::min(255u, colour + (back * (255u - alpha) + 127) / 255));
}

// libheif's interleaved RGB or RGBA, 8 or 16 bits a sample (little-endian).
struct TPlane {
  const uint8_t* Pixels;
  size_t Stride;
  int Width;
  int Height;
  bool Alpha;
  bool Deep;
  bool Premultiplied;
};

// A colour stored multiplied by its alpha, divided out again (nothing where nothing shows).
inline uint8_t Unpremultiplied(uint8_t colour, uint8_t alpha) {
  return alpha == 0 ? 0
                    : static_cast<uint8_t>(std::min(255u, (colour * 255u + alpha / 2u) / alpha));
}

// The plane as a bottom-up 24-bit bitmap: deep samples rounded to 8 bits through a table of
// every value (`max` is the largest), alpha laid over `back`, after the colours went through
// `toSrgb` where there is one. The plain 8-bit case is a straight swap of red and blue, the bulk
// of every photo.
void WriteBottomUp(const TPlane& in, uint32_t max, THeifBackground back,
                   const TSrgbTransform* toSrgb, uint8_t* out, size_t row) {
  std::vector<uint8_t> to8;
  if (in.Deep) {
    to8.resize(65536);
    for (uint32_t v = 0; v < 65536; ++v) to8[v] = To8(static_cast<uint16_t>(v), max);
  }
  const int channels = in.Alpha ? 4 : 3;
  std::vector<uint8_t> narrow(in.Deep ? static_cast<size_t>(in.Width) * channels : 0);
  std::vector<uint8_t> colours(toSrgb != nullptr ? static_cast<size_t>(in.Width) * 3 : 0);
  for (int y = 0; y < in.Height; ++y) {
    const uint8_t* from = in.Pixels + in.Stride * static_cast<size_t>(y);
    uint8_t* target = out + row * static_cast<size_t>(in.Height - 1 - y);
    if (in.Deep) {
      for (size_t i = 0; i < narrow.size(); ++i)
        narrow[i] = to8[from[2 * i] | from[2 * i + 1] << 8];
      from = narrow.data();
    }
    if (!in.Alpha) {
      for (int x = 0; x < in.Width; ++x, from += 3, target += 3) {
        target[0] = from[2];
        target[1] = from[1];
        target[2] = from[0];
      }
      continue;
    }
    if (toSrgb != nullptr) {
      // Plain colours in the profile's space, in sRGB's, then laid over the background.
      for (int x = 0; x < in.Width; ++x) {
        const uint8_t* p = from + 4 * x;
        for (int c = 0; c < 3; ++c) {
          colours[3 * x + c] = in.Premultiplied ? Unpremultiplied(p[2 - c], p[3]) : p[2 - c];
        }
      }
      toSrgb->Convert(colours.data(), static_cast<size_t>(in.Width));
      const uint8_t backs[3] = {back.Blue, back.Green, back.Red};
      for (int x = 0; x < in.Width; ++x, target += 3) {
        for (int c = 0; c < 3; ++c)
          target[c] = BlendOver(colours[3 * x + c], from[4 * x + 3], backs[c]);
      }
      continue;
    }
    for (int x = 0; x < in.Width; ++x, from += 4, target += 3) {
      if (in.Premultiplied) {
        target[0] = PremultipliedOver(from[2], from[3], back.Blue);
        target[1] = PremultipliedOver(from[1], from[3], back.Green);
        target[2] = PremultipliedOver(from[0], from[3], back.Red);
      } else {
        target[0] = BlendOver(from[2], from[3], back.Blue);
        target[1] = BlendOver(from[1], from[3], back.Green);
        target[2] = BlendOver(from[0], from[3], back.Red);
      }
    }
  }
}

// The ICC profile of the colours an nclx box names, or nothing for sRGB's. Only the primaries
// count: the transfer curves of sRGB and BT.709 (1, 6, 13, 14, 15) are shown as sRGB's, as
// viewers do; others (PQ, HLG, unspecified) are not converted at all.
std::vector<uint8_t> NclxProfile(const heif_color_profile_nclx& nclx) {
  const int transfer = nclx.transfer_characteristics;
  const int primaries = nclx.color_primaries;
  const bool srgbCurve =
      transfer == 1 || transfer == 6 || transfer == 13 || transfer == 14 || transfer == 15;
  if (!srgbCurve || primaries == 1 || primaries == 2) return {};
  const cmsCIExyY white{nclx.color_primary_white_x, nclx.color_primary_white_y, 1.0};
  const cmsCIExyYTRIPLE rgb{{nclx.color_primary_red_x, nclx.color_primary_red_y, 1.0},
                            {nclx.color_primary_green_x, nclx.color_primary_green_y, 1.0},
                            {nclx.color_primary_blue_x, nclx.color_primary_blue_y, 1.0}};
  if (!(white.y > 0) || !(rgb.Red.y > 0) || !(rgb.Green.y > 0) || !(rgb.Blue.y > 0)) return {};
  // sRGB's curve: (a·v + b)^g above d, c·v below.
  const double curve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  cmsToneCurve* tone = cmsBuildParametricToneCurve(nullptr, 4, curve);
  if (tone == nullptr) return {};
  cmsToneCurve* curves[3] = {tone, tone, tone};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &rgb, curves);
  cmsFreeToneCurve(tone);
  std::vector<uint8_t> icc;
  cmsUInt32Number size = 0;
  if (profile != nullptr && cmsSaveProfileToMem(profile, nullptr, &size) && size > 0 &&
      size <= kMaxIccBytes) {
    icc.resize(size);
    if (!cmsSaveProfileToMem(profile, icc.data(), &size)) icc.clear();
  }
  if (profile != nullptr) cmsCloseProfile(profile);
  return icc;
}

// Whether the tiles of an image, each decoded whole before it is pasted, hold more pixels than
// the budget: a few hundred bytes of grid can name thousands of tiles, or tiles far larger
// than their canvas, each costing its own pixels' time and memory.
bool TilesPastBudget(const heif_image_handle* handle, uint64_t maxPixels) {
  heif_image_tiling tiling{};
  return heif_image_handle_get_image_tiling(handle, 0, &tiling).code == heif_error_Ok &&
         uint64_t{tiling.num_columns} * tiling.num_rows * tiling.tile_width * tiling.tile_height >
             maxPixels;
}

// Walks the images a decode of `handle` decodes with it: a grid's tiles and every image's alpha
// plane. kTooLarge past the budget, kBroken when one is a part of itself (an alpha plane that
// is a grid of the picture it belongs to made libheif recurse until the memory ran out).
THeifResult CheckParts(heif_context* context, heif_image_handle* root, uint64_t maxPixels) {
  constexpr size_t kMostParts = 4096;
  size_t visited = 0;
  std::vector<heif_item_id> path;  // the images whose parts are being walked
  const std::function<THeifResult(heif_image_handle*)> walk =
      [&](heif_image_handle* handle) -> THeifResult {
    const heif_item_id id = heif_image_handle_get_item_id(handle);
    if (std::find(path.begin(), path.end(), id) != path.end() || path.size() > 16)
      return THeifResult::kBroken;
    if (++visited > kMostParts || TilesPastBudget(handle, maxPixels)) return THeifResult::kTooLarge;
    path.push_back(id);
    // The tiles, when it is a grid (libheif names a tile at 0, 0 only for grids).
    heif_image_tiling tiling{};
    heif_item_id first = 0;
    if (heif_image_handle_get_image_tiling(handle, 0, &tiling).code == heif_error_Ok &&
        heif_image_handle_get_grid_image_tile_id(handle, 0, 0, 0, &first).code == heif_error_Ok) {
      if (uint64_t{tiling.num_columns} * tiling.num_rows > kMostParts)
        return THeifResult::kTooLarge;
      std::vector<heif_item_id> tiles;
      for (uint32_t y = 0; y < tiling.num_rows; ++y) {
        for (uint32_t x = 0; x < tiling.num_columns; ++x) {
          heif_item_id tile = 0;
          if (heif_image_handle_get_grid_image_tile_id(handle, 0, x, y, &tile).code ==
              heif_error_Ok)
            tiles.push_back(tile);
        }
      }
      std::sort(tiles.begin(), tiles.end());
      tiles.erase(std::unique(tiles.begin(), tiles.end()), tiles.end());
      for (const heif_item_id tile : tiles) {
        if (std::find(path.begin(), path.end(), tile) != path.end()) return THeifResult::kBroken;
        heif_image_handle* next = nullptr;
        if (heif_context_get_image_handle(context, tile, &next).code != heif_error_Ok) continue;
        const std::unique_ptr<heif_image_handle, THandleRelease> held(next);
        const THeifResult result = walk(next);
        if (result != THeifResult::kOk) return result;
      }
    }
    // The alpha plane and the other images that belong to it.
    const int count = heif_image_handle_get_number_of_auxiliary_images(handle, 0);
    if (count > 0) {
      std::vector<heif_item_id> ids(static_cast<size_t>(count));
      const int listed =
          heif_image_handle_get_list_of_auxiliary_image_IDs(handle, 0, ids.data(), count);
      for (int i = 0; i < listed; ++i) {
        const heif_item_id auxiliary = ids[static_cast<size_t>(i)];
        if (std::find(path.begin(), path.end(), auxiliary) != path.end())
          return THeifResult::kBroken;
        heif_image_handle* next = nullptr;
        if (heif_image_handle_get_auxiliary_image_handle(handle, auxiliary, &next).code !=
            heif_error_Ok)
          continue;
        const std::unique_ptr<heif_image_handle, THandleRelease> held(next);
        const THeifResult result = walk(next);
        if (result != THeifResult::kOk) return result;
      }
    }
    path.pop_back();
    return THeifResult::kOk;
  };
  return walk(root);
}

// The decoded planes of an opaque 8-bit YCbCr or monochrome picture, and their matrix; false for
// anything else, which goes through libheif's RGB.
bool YccPlanesOf(const heif_image* image, int w, int h, TYccPlanes& planes, TYccMatrix& matrix) {
  const heif_colorspace space = heif_image_get_colorspace(image);
  const heif_chroma chroma = heif_image_get_chroma_format(image);
  const bool mono = space == heif_colorspace_monochrome && chroma == heif_chroma_monochrome;
  if (!mono &&
      !(space == heif_colorspace_YCbCr &&
        (chroma == heif_chroma_420 || chroma == heif_chroma_422 || chroma == heif_chroma_444)))
    return false;
  if (heif_image_get_width(image, heif_channel_Y) != w ||
      heif_image_get_height(image, heif_channel_Y) != h ||
      heif_image_get_bits_per_pixel_range(image, heif_channel_Y) != 8) {
    return false;
  }
  int stride = 0;
  planes.Y = heif_image_get_plane_readonly(image, heif_channel_Y, &stride);
  planes.YStride = static_cast<size_t>(stride);
  planes.Width = w;
  planes.Height = h;
  planes.ShiftX = chroma == heif_chroma_444 ? 0 : 1;
  planes.ShiftY = chroma == heif_chroma_420 ? 1 : 0;
  if (planes.Y == nullptr || stride < w) return false;
  if (!mono) {
    int cbStride = 0;
    int crStride = 0;
    planes.Cb = heif_image_get_plane_readonly(image, heif_channel_Cb, &cbStride);
    planes.Cr = heif_image_get_plane_readonly(image, heif_channel_Cr, &crStride);
    const int cw = ((w - 1) >> planes.ShiftX) + 1;
    const int ch = ((h - 1) >> planes.ShiftY) + 1;
    for (const heif_channel c : {heif_channel_Cb, heif_channel_Cr}) {
      if (heif_image_get_width(image, c) < cw || heif_image_get_height(image, c) < ch ||
          heif_image_get_bits_per_pixel_range(image, c) != 8) {
        return false;
      }
    }
    if (planes.Cb == nullptr || planes.Cr == nullptr || cbStride != crStride || cbStride < cw)
      return false;
    planes.CStride = static_cast<size_t>(cbStride);
  }
  heif_color_profile_nclx* nclx = nullptr;
  const bool hasNclx =
      heif_image_get_nclx_color_profile(image, &nclx).code == heif_error_Ok && nclx != nullptr;
  const bool known = YccMatrixOf(hasNclx, hasNclx ? nclx->matrix_coefficients : 2,
                                 hasNclx ? nclx->full_range_flag != 0 : true, matrix);
  heif_nclx_color_profile_free(nclx);
  return known;
}

// The picture's size and kind, and its colour profile (the file's ICC profile, else one made
// from its nclx box), once its pixels are in place.
THeifResult Describe(heif_image_handle* handle, int w, int h, size_t row, int bits, bool alpha,
                     THeifPicture& picture) {
  picture.Width = static_cast<uint32_t>(w);
  picture.Height = static_cast<uint32_t>(h);
  picture.Bytes = row * static_cast<size_t>(h);
  picture.BitDepth = bits;
  picture.HasAlpha = alpha;
  picture.Icc.clear();
  const size_t iccSize = heif_image_handle_get_raw_color_profile_size(handle);
  if (iccSize > 0 && iccSize <= kMaxIccBytes) {
    picture.Icc.resize(iccSize);
    if (heif_image_handle_get_raw_color_profile(handle, picture.Icc.data()).code != heif_error_Ok)
      picture.Icc.clear();
  }
  heif_color_profile_nclx* nclx = nullptr;
  if (picture.Icc.empty() &&
      heif_image_handle_get_nclx_color_profile(handle, &nclx).code == heif_error_Ok &&
      nclx != nullptr) {
    picture.Icc = NclxProfile(*nclx);
  }
  heif_nclx_color_profile_free(nclx);
  return THeifResult::kOk;
}

}  // namespace

bool IsHeif(const uint8_t* data, size_t size) {
  if (data == nullptr || size < 16 || std::memcmp(data + 4, "ftyp", 4) != 0) return false;
  const uint32_t box = BigEndian32(data);
  if (box < 16) return false;
  if (IsHeifBrand(data + 8)) return true;
  // The compatible brands, as far as the box and the data reach.
  const size_t end = std::min<size_t>(box, size);
  for (size_t at = 16; at + 4 <= end; at += 4) {
    if (IsHeifBrand(data + at)) return true;
  }
  return false;
}

bool ReadHeifSize(const uint8_t* data, size_t size, uint32_t& width, uint32_t& height) {
  TPrimary primary;
  // Only the boxes are read: any size a bitmap can hold may be named.
  if (OpenPrimary(data, size, uint64_t{1} << 40, primary) != THeifResult::kOk) return false;
  const int w = heif_image_handle_get_width(primary.handle.get());
  const int h = heif_image_handle_get_height(primary.handle.get());
  if (w <= 0 || h <= 0) return false;
  width = static_cast<uint32_t>(w);
  height = static_cast<uint32_t>(h);
  return true;
}

THeifResult DecodeHeif24(const uint8_t* data, size_t size, THeifBackground back,
                         uint64_t maxPixelBytes, const THeifAllocate& allocate,
                         THeifPicture& picture, THeifProgress* progress) {
  if (!IsHeif(data, size)) return THeifResult::kNotHeif;
  TPrimary primary;
  const THeifResult opened = OpenPrimary(data, size, maxPixelBytes, primary);
  if (opened != THeifResult::kOk) return opened;
  heif_image_handle* handle = primary.handle.get();
  const int w = heif_image_handle_get_width(handle);
  const int h = heif_image_handle_get_height(handle);
  if (w <= 0 || h <= 0) return THeifResult::kBroken;
  const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
  int bits = heif_image_handle_get_luma_bits_per_pixel(handle);
  if (bits <= 0) bits = 8;
  if (bits > 16) return THeifResult::kUnsupported;
  const bool deep = bits > 8;
  // Ours, the interleaved picture libheif hands over, and its decoded planes (4:4:4 at worst,
  // with alpha), all at once. A grid or overlay is composed on a canvas of the size its own data
  // declares, whatever the picture says: libheif refuses a canvas past the same budget.
  const uint64_t sample = deep ? 2 : 1;
  const uint64_t perPixel = 3 + sample * (alpha ? 4 : 3) * 2;
  const uint64_t maxPixels = maxPixelBytes / perPixel;
  if (uint64_t(w) * uint64_t(h) > maxPixels) return THeifResult::kTooLarge;
  if (progress != nullptr) progress->Pixels = uint64_t(w) * uint64_t(h);
  // A grid's tiles count against the budget too, and so do the images decoded with the picture
  // (its alpha plane, the tiles' own); an image that is decoded as a part of itself, which
  // libheif follows for ever, is broken.
  const THeifResult parts = CheckParts(primary.context.get(), handle, maxPixels);
  if (parts != THeifResult::kOk) return parts;
  LimitTo(primary.context.get(), maxPixels, maxPixelBytes);

  std::unique_ptr<heif_decoding_options, TOptionsFree> options(heif_decoding_options_alloc());
  if (!options) return THeifResult::kNoMemory;
  options->convert_hdr_to_8bit = 0;  // rounded here, not cut
  if (progress != nullptr) {
    options->progress_user_data = progress;
    options->start_progress = [](heif_progress_step step, int total, void* user) {
      if (step == heif_progress_step_load_tile) static_cast<THeifProgress*>(user)->Tiles = total;
    };
    options->on_progress = [](heif_progress_step step, int done, void* user) {
      if (step == heif_progress_step_load_tile) static_cast<THeifProgress*>(user)->TilesDone = done;
    };
    options->cancel_decoding = [](void* user) {
      return static_cast<THeifProgress*>(user)->Cancel.load() ? 1 : 0;
    };
  }
  // An opaque 8-bit picture comes as its decoder left it and is turned into the bitmap at once;
  // anything else, or a matrix of another kind, through libheif's interleaved RGB.
  std::unique_ptr<heif_image, TImageRelease> image;
  heif_error error{heif_error_Ok, heif_suberror_Unspecified, ""};
  TYccPlanes planes;
  TYccMatrix matrix;
  bool direct = false;
  if (!alpha && !deep) {
    heif_image* decoded = nullptr;
    error = heif_decode_image(handle, &decoded, heif_colorspace_undefined, heif_chroma_undefined,
                              options.get());
    image.reset(decoded);
    direct = error.code == heif_error_Ok && image && YccPlanesOf(image.get(), w, h, planes, matrix);
  }
  if (!direct && error.code == heif_error_Ok) {
    const heif_chroma chroma =
        deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
             : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    image.reset();
    heif_image* decoded = nullptr;
    error = heif_decode_image(handle, &decoded, heif_colorspace_RGB, chroma, options.get());
    image.reset(decoded);
  }
  if (error.subcode == heif_suberror_Security_limit_exceeded) return THeifResult::kTooLarge;
  if (error.code == heif_error_Memory_allocation_error) return THeifResult::kNoMemory;
  if (error.code == heif_error_Unsupported_feature || error.code == heif_error_Unsupported_filetype)
    return THeifResult::kUnsupported;
  if (error.code != heif_error_Ok || !image) return THeifResult::kBroken;
  const size_t row = static_cast<size_t>(RowBytes(uint64_t(w), 24));
  if (direct) {
    uint8_t* out = allocate(row * static_cast<size_t>(h));
    if (out == nullptr) return THeifResult::kNoMemory;
    YccToBgr(planes, matrix, out, row);
    return Describe(handle, w, h, row, bits, alpha, picture);
  }
  if (heif_image_get_width(image.get(), heif_channel_interleaved) != w ||
      heif_image_get_height(image.get(), heif_channel_interleaved) != h) {
    return THeifResult::kBroken;
  }
  int stride = 0;
  const uint8_t* plane =
      heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  if (plane == nullptr || stride <= 0) return THeifResult::kBroken;
  const int depth =
      deep ? heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) : 8;
  if (depth <= 0 || depth > 16) return THeifResult::kBroken;
  const uint32_t max = (1u << depth) - 1;
  // Colours stored multiplied by their alpha (the file says so) are laid over as they are.
  const bool premultiplied = alpha && heif_image_is_premultiplied_alpha(image.get()) != 0;

  uint8_t* out = allocate(row * static_cast<size_t>(h));
  if (out == nullptr) return THeifResult::kNoMemory;
  const TPlane source{plane, static_cast<size_t>(stride), w, h, alpha, deep, premultiplied};
  const THeifResult described = Describe(handle, w, h, row, bits, alpha, picture);
  // The host would convert the whole picture, the background that shows through with it, from
  // the profile: with alpha the colours are converted here before they are laid over it, and the
  // picture goes on in sRGB.
  std::unique_ptr<TSrgbTransform> toSrgb;
  if (alpha && back.HostConverts && !picture.Icc.empty()) {
    if (const TColorProfilePtr profile = IccColorProfile(picture.Icc))
      toSrgb = TSrgbTransform::Make(*profile);
    if (toSrgb) picture.Icc.clear();
  }
  WriteBottomUp(source, max, back, toSrgb.get(), out, row);
  return described;
}

THeifResult DecodeShowingLife(const std::function<THeifResult(THeifProgress*)>& decode,
                              const std::function<bool(int done, int total)>& alive,
                              std::chrono::milliseconds beat) {
  if (!alive) return decode(nullptr);
  THeifProgress state;
  std::mutex mutex;
  std::condition_variable ended;
  bool finished = false;
  THeifResult result = THeifResult::kBroken;
  std::thread worker;
  try {
    worker = std::thread([&] {
      const THeifResult decoded = decode(&state);
      const std::lock_guard<std::mutex> lock(mutex);
      result = decoded;
      finished = true;
      ended.notify_one();
    });
  } catch (const std::system_error&) {
    return decode(nullptr);  // no thread to be had: decoded here, without signs of life
  }
  using TClock = std::chrono::steady_clock;
  const auto lifeBase = std::chrono::seconds(10);
  const auto lifePerMegapixel = std::chrono::milliseconds(1000);
  auto lastNews = TClock::now();
  int lastTiles = 0;
  std::unique_lock<std::mutex> lock(mutex);
  // Woken by the decode's end, not only by the beat: the picture goes on at once.
  while (!ended.wait_for(lock, beat, [&] { return finished; })) {
    if (state.Cancel) continue;
    const int tiles = state.TilesDone;
    if (tiles != lastTiles) {
      lastTiles = tiles;
      lastNews = TClock::now();
    }
    const auto budget = lifeBase + lifePerMegapixel * static_cast<int>(state.Pixels / 1000000);
    if (TClock::now() - lastNews > budget) continue;
    const int total = state.Tiles > 0 ? state.Tiles.load() : 100;
    lock.unlock();
    if (!alive(state.Tiles > 0 ? tiles : 0, total)) state.Cancel = true;
    lock.lock();
  }
  lock.unlock();
  worker.join();
  return result;
}
