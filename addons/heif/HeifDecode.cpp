#include "addons/heif/HeifDecode.h"

#include <lcms2.h>
#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "decode/AlphaBlend.h"
#include "decode/ColorProfile.h"
#include "decode/PixelMemory.h"

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

bool OpenPrimary(const uint8_t* data, size_t size, TPrimary& primary) {
  InitOnce();
  primary.context.reset(heif_context_alloc());
  if (!primary.context) return false;
  // No side of a picture past what a bitmap can hold; the pixel budget is checked after.
  heif_context_set_maximum_image_size_limit(primary.context.get(), 1 << 16);
  if (heif_context_read_from_memory_without_copy(primary.context.get(), data, size, nullptr).code !=
      heif_error_Ok) {
    return false;
  }
  heif_image_handle* handle = nullptr;
  if (heif_context_get_primary_image_handle(primary.context.get(), &handle).code != heif_error_Ok) {
    return false;
  }
  primary.handle.reset(handle);
  return true;
}

// A sample of `bits` bits brought to 8 with rounding.
inline uint8_t To8(uint16_t value, uint32_t max) {
  if (value > max) value = static_cast<uint16_t>(max);
  return static_cast<uint8_t>((value * 255u + max / 2) / max);
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

}  // namespace

namespace {

uint64_t ReadBig(const uint8_t* p, size_t bytes) {
  uint64_t value = 0;
  for (size_t i = 0; i < bytes; ++i) value = value << 8 | p[i];
  return value;
}

bool IsType(const uint8_t* type, const char* name) {
  return std::memcmp(type, name, 4) == 0;
}

// Calls visit(type, body, bodySize) for each box of [data, data + size), a box that runs past
// the end cut at it, until visit answers false.
template <typename Visit>
void WalkBoxes(const uint8_t* data, size_t size, Visit visit) {
  size_t at = 0;
  while (size - at >= 8) {
    uint64_t box = ReadBig(data + at, 4);
    size_t header = 8;
    if (box == 1) {
      if (size - at < 16) return;
      box = ReadBig(data + at + 8, 8);
      header = 16;
    } else if (box == 0) {
      box = size - at;
    }
    if (box < header) return;
    const size_t end = box > size - at ? size : at + static_cast<size_t>(box);
    if (!visit(data + at + 4, data + at + header, end - at - header)) return;
    at = end;
  }
}

// A grid ('grid') or overlay ('iovl') item: libheif composes it on a canvas of the size its data
// declares, whatever the picture's own size says, before a check of ours could see it.
struct TDerived {
  uint64_t Id = 0;
  bool Overlay = false;
  bool Found = false;
};

// The largest canvas, in pixels, that a grid or overlay item of the file declares (0 without
// one); false when such an item's data cannot be found where its location says.
bool LargestCanvas(const uint8_t* data, size_t size, uint64_t& pixels) {
  pixels = 0;
  const uint8_t* meta = nullptr;
  size_t metaSize = 0;
  WalkBoxes(data, size, [&](const uint8_t* type, const uint8_t* body, size_t n) {
    if (!IsType(type, "meta")) return true;
    meta = body;
    metaSize = n;
    return false;
  });
  if (meta == nullptr || metaSize < 4) return true;
  struct TPart {
    const uint8_t* Body = nullptr;
    size_t Size = 0;
  } iinf, iloc, idat;
  WalkBoxes(meta + 4, metaSize - 4, [&](const uint8_t* type, const uint8_t* body, size_t n) {
    TPart* part = IsType(type, "iinf")   ? &iinf
                  : IsType(type, "iloc") ? &iloc
                  : IsType(type, "idat") ? &idat
                                         : nullptr;
    if (part != nullptr && part->Body == nullptr) *part = {body, n};
    return true;
  });
  std::vector<TDerived> derived;
  if (iinf.Body != nullptr && iinf.Size >= 6) {
    const size_t skip = iinf.Body[0] == 0 ? 6 : 8;
    if (iinf.Size < skip) return true;
    WalkBoxes(iinf.Body + skip, iinf.Size - skip,
              [&](const uint8_t* type, const uint8_t* body, size_t n) {
                if (!IsType(type, "infe") || n < 4 || body[0] < 2) return true;
                const size_t idBytes = body[0] == 2 ? 2 : 4;
                if (n < 4 + idBytes + 2 + 4) return true;
                const uint8_t* itemType = body + 4 + idBytes + 2;
                if (IsType(itemType, "grid") || IsType(itemType, "iovl")) {
                  derived.push_back({ReadBig(body + 4, idBytes), IsType(itemType, "iovl"), false});
                }
                return true;
              });
  }
  if (derived.empty()) return true;
  if (iloc.Body == nullptr || iloc.Size < 8) return false;
  const uint8_t version = iloc.Body[0];
  const uint8_t* p = iloc.Body + 4;
  const uint8_t* const end = iloc.Body + iloc.Size;
  const size_t offsetBytes = p[0] >> 4;
  const size_t lengthBytes = p[0] & 15;
  const size_t baseBytes = p[1] >> 4;
  const size_t indexBytes = version == 1 || version == 2 ? p[1] & 15 : 0;
  for (const size_t bytes : {offsetBytes, lengthBytes, baseBytes, indexBytes}) {
    if (bytes != 0 && bytes != 4 && bytes != 8) return false;
  }
  p += 2;
  const auto take = [&](size_t bytes, uint64_t& value) {
    if (static_cast<size_t>(end - p) < bytes) return false;
    value = ReadBig(p, bytes);
    p += bytes;
    return true;
  };
  uint64_t count = 0;
  if (!take(version < 2 ? 2 : 4, count)) return false;
  for (uint64_t item = 0; item < count; ++item) {
    uint64_t id = 0;
    uint64_t method = 0;
    uint64_t reference = 0;
    uint64_t base = 0;
    uint64_t extents = 0;
    if (!take(version < 2 ? 2 : 4, id)) return false;
    if ((version == 1 || version == 2) && !take(2, method)) return false;
    method &= 15;
    if (!take(2, reference) || !take(baseBytes, base) || !take(2, extents)) return false;
    uint64_t offset = 0;
    uint64_t length = 0;
    for (uint64_t e = 0; e < extents; ++e) {
      uint64_t index = 0;
      uint64_t o = 0;
      uint64_t l = 0;
      if (!take(indexBytes, index) || !take(offsetBytes, o) || !take(lengthBytes, l)) return false;
      if (e == 0) {
        offset = o;
        length = l;
      }
    }
    for (TDerived& d : derived) {
      if (d.Id != id || d.Found || extents == 0) continue;
      // Where the item's first bytes are: in the file, or in the meta box's own data.
      const uint8_t* from = method == 0 ? data : method == 1 ? idat.Body : nullptr;
      const size_t within = method == 0 ? size : idat.Size;
      if (from == nullptr || base > within || offset > within - base) return false;
      const uint8_t* q = from + base + offset;
      size_t available = within - static_cast<size_t>(base + offset);
      if (length != 0 && length < available) available = static_cast<size_t>(length);
      if (available < 2) return false;
      const size_t field = (q[1] & 1) != 0 ? 4 : 2;
      const size_t at = d.Overlay ? 10 : 4;  // past the fill colours, or the rows and columns
      if (available < at + 2 * field) return false;
      const uint64_t w = ReadBig(q + at, field);
      const uint64_t h = ReadBig(q + at + field, field);
      pixels = std::max(pixels, w * h);
      d.Found = true;
    }
  }
  return std::all_of(derived.begin(), derived.end(), [](const TDerived& d) { return d.Found; });
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
  if (!OpenPrimary(data, size, primary)) return false;
  const int w = heif_image_handle_get_width(primary.handle.get());
  const int h = heif_image_handle_get_height(primary.handle.get());
  if (w <= 0 || h <= 0) return false;
  width = static_cast<uint32_t>(w);
  height = static_cast<uint32_t>(h);
  return true;
}

THeifResult DecodeHeif24(const uint8_t* data, size_t size, THeifBackground back,
                         uint64_t maxPixelBytes, const THeifAllocate& allocate,
                         THeifPicture& picture) {
  if (!IsHeif(data, size)) return THeifResult::kNotHeif;
  TPrimary primary;
  if (!OpenPrimary(data, size, primary)) return THeifResult::kBroken;
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
  // with alpha), all at once; a grid's or overlay's canvas counts at the size its data says.
  uint64_t canvas = 0;
  if (!LargestCanvas(data, size, canvas)) return THeifResult::kBroken;
  const uint64_t pixels = std::max(uint64_t(w) * uint64_t(h), canvas);
  // Every pixel costs a byte at least; a canvas of 32-bit sides would overflow the sums below.
  if (pixels > maxPixelBytes) return THeifResult::kTooLarge;
  const uint64_t ours = RowBytes(uint64_t(w), 24) * uint64_t(h);
  const uint64_t sample = deep ? 2 : 1;
  const uint64_t theirs = pixels * sample * (alpha ? 4 : 3) * 2;
  if (ours + theirs > maxPixelBytes) return THeifResult::kTooLarge;

  std::unique_ptr<heif_decoding_options, TOptionsFree> options(heif_decoding_options_alloc());
  if (!options) return THeifResult::kNoMemory;
  options->convert_hdr_to_8bit = 0;  // rounded here, not cut
  const heif_chroma chroma =
      deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
           : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
  heif_image* decoded = nullptr;
  const heif_error error =
      heif_decode_image(handle, &decoded, heif_colorspace_RGB, chroma, options.get());
  std::unique_ptr<heif_image, TImageRelease> image(decoded);
  if (error.code == heif_error_Memory_allocation_error) return THeifResult::kNoMemory;
  if (error.code == heif_error_Unsupported_feature || error.code == heif_error_Unsupported_filetype)
    return THeifResult::kUnsupported;
  if (error.code != heif_error_Ok || !image) return THeifResult::kBroken;
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

  const size_t row = static_cast<size_t>(RowBytes(uint64_t(w), 24));
  uint8_t* out = allocate(row * static_cast<size_t>(h));
  if (out == nullptr) return THeifResult::kNoMemory;
  const int channels = alpha ? 4 : 3;
  for (int y = 0; y < h; ++y) {
    const uint8_t* in = plane + static_cast<size_t>(stride) * static_cast<size_t>(y);
    uint8_t* target = out + row * static_cast<size_t>(h - 1 - y);
    for (int x = 0; x < w; ++x) {
      uint8_t rgba[4] = {0, 0, 0, 255};
      for (int c = 0; c < channels; ++c) {
        if (deep) {
          const uint8_t* s = in + (static_cast<size_t>(x) * channels + c) * 2;
          rgba[c] = To8(static_cast<uint16_t>(s[0] | s[1] << 8), max);
        } else {
          rgba[c] = in[static_cast<size_t>(x) * channels + c];
        }
      }
      uint8_t* p = target + static_cast<size_t>(x) * 3;
      p[0] = BlendOver(rgba[2], rgba[3], back.Blue);
      p[1] = BlendOver(rgba[1], rgba[3], back.Green);
      p[2] = BlendOver(rgba[0], rgba[3], back.Red);
    }
  }
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
