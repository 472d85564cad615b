#include "decode/ColorProfile.h"

#include <cmath>
#include <cstring>

#include "decode/JpegSegments.h"

namespace {

constexpr uint32_t kCalibratedRgb = 0;             // LCS_CALIBRATED_RGB
constexpr uint32_t kProfileEmbedded = 0x4D424544;  // 'MBED'
constexpr uint32_t kIntentImages = 4;              // LCS_GM_IMAGES: perceptual
constexpr size_t kIccHeaderBytes = 132;            // the header and the tag count

uint32_t Get32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

void Put32(uint8_t* p, uint32_t v) {
  std::memcpy(p, &v, 4);
}

bool Near(double a, double b, double tolerance) {
  return std::fabs(a - b) <= tolerance;
}

}  // namespace

TColorProfilePtr ReadJpegIccProfile(const uint8_t* data, size_t size) {
  static const uint8_t kIcc[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
  std::vector<std::pair<const uint8_t*, size_t>> chunks;
  int count = 0;
  bool broken = false;
  ForEachJpegSegment(data, size, [&](uint8_t marker, const uint8_t* payload, size_t payloadSize) {
    if (marker != 0xE2 || payloadSize < sizeof kIcc + 2 ||
        std::memcmp(payload, kIcc, sizeof kIcc) != 0) {
      return true;
    }
    const int number = payload[sizeof kIcc];
    const int total = payload[sizeof kIcc + 1];
    if (total == 0 || number == 0 || number > total || (count != 0 && total != count)) {
      broken = true;
      return false;
    }
    if (count == 0) {
      count = total;
      chunks.assign(static_cast<size_t>(total), {nullptr, 0});
    }
    auto& chunk = chunks[static_cast<size_t>(number - 1)];
    if (chunk.first != nullptr) {
      broken = true;
      return false;
    }
    chunk = {payload + sizeof kIcc + 2, payloadSize - sizeof kIcc - 2};
    return true;
  });
  if (broken || count == 0) return nullptr;
  auto profile = std::make_shared<TColorProfile>();
  for (const auto& [bytes, length] : chunks) {
    if (bytes == nullptr) return nullptr;
    profile->Icc.insert(profile->Icc.end(), bytes, bytes + length);
  }
  if (profile->Icc.size() < kIccHeaderBytes || profile->Icc.size() > kMaxIccBytes) return nullptr;
  return profile;
}

TColorProfilePtr IccColorProfile(std::vector<uint8_t> icc) {
  if (icc.size() < kIccHeaderBytes || icc.size() > kMaxIccBytes) return nullptr;
  auto profile = std::make_shared<TColorProfile>();
  profile->Icc = std::move(icc);
  return profile;
}

TColorProfilePtr PngColorProfile(bool srgbChunk, std::vector<uint8_t> icc, double gamma,
                                 const std::array<double, 8>& chromaticities) {
  if (srgbChunk) return nullptr;
  if (TColorProfilePtr profile = IccColorProfile(std::move(icc))) return profile;
  const bool haveChromaticities = chromaticities[1] > 0 && chromaticities[3] > 0 &&
                                  chromaticities[5] > 0 && chromaticities[7] > 0;
  if (gamma <= 0 && !haveChromaticities) return nullptr;
  // Without gAMA the values are taken as sRGB's, whose curve a power of 2.2 stands in for.
  const double decoding = gamma > 0 ? 1.0 / gamma : 2.2;
  bool srgbPrimaries = true;
  if (haveChromaticities) {
    for (size_t i = 0; i < 8; ++i)
      srgbPrimaries = srgbPrimaries && Near(chromaticities[i], kSrgbChromaticities[i], 0.01);
  }
  if (srgbPrimaries && Near(decoding * 0.45455, 1.0, 0.05)) return nullptr;
  std::array<double, 9> xyz{};
  const std::array<double, 8> primaries = haveChromaticities ? chromaticities : kSrgbChromaticities;
  if (decoding < 0.25 || decoding > 5 || !PrimariesToXyz(primaries, xyz)) return nullptr;
  auto profile = std::make_shared<TColorProfile>();
  profile->Chromaticities = primaries;
  profile->Gamma = decoding;
  return profile;
}

bool PrimariesToXyz(const std::array<double, 8>& c, std::array<double, 9>& xyz) {
  double m[3][3];
  for (int i = 0; i < 3; ++i) {
    const double x = c[2 + 2 * i];
    const double y = c[3 + 2 * i];
    if (!(y > 0) || !(x >= 0) || x + y > 1 + 1e-9) return false;
    m[0][i] = x / y;
    m[1][i] = 1;
    m[2][i] = (1 - x - y) / y;
  }
  if (!(c[1] > 0) || !(c[0] >= 0) || c[0] + c[1] > 1) return false;
  const double w[3] = {c[0] / c[1], 1, (1 - c[0] - c[1]) / c[1]};
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  if (!(std::fabs(det) > 1e-9)) return false;
  // Cramer's rule: the strengths that make the three primaries add up to white.
  double s[3];
  for (int k = 0; k < 3; ++k) {
    double a[3][3];
    for (int r = 0; r < 3; ++r) {
      for (int col = 0; col < 3; ++col) a[r][col] = col == k ? w[r] : m[r][col];
    }
    s[k] = (a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
            a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
            a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0])) /
           det;
    if (!(s[k] > 0)) return false;
  }
  for (size_t i = 0; i < 3; ++i) {
    for (size_t r = 0; r < 3; ++r) xyz[i * 3 + r] = m[r][i] * s[i];
  }
  return true;
}

TColorProfilePtr BitmapHeaderProfile(const uint8_t* info, size_t size) {
  if (info == nullptr || size < 108) return nullptr;
  const uint32_t headerBytes = Get32(info);
  if (headerBytes < 108 || headerBytes > size) return nullptr;
  const uint32_t type = Get32(info + 56);
  if (type == kProfileEmbedded && headerBytes >= 124) {
    const uint64_t offset = Get32(info + 112);
    const uint64_t length = Get32(info + 116);
    if (offset < headerBytes || offset + length > size || length < kIccHeaderBytes ||
        length > kMaxIccBytes) {
      return nullptr;
    }
    auto profile = std::make_shared<TColorProfile>();
    profile->Icc.assign(info + offset, info + offset + length);
    return profile;
  }
  if (type != kCalibratedRgb) return nullptr;
  // Red, green and blue in CIE XYZ as 2.30 fixed point; gammas as 16.16.
  double sum[3] = {0, 0, 0};
  std::array<double, 8> c{};
  for (int i = 0; i < 3; ++i) {
    double v[3];
    for (int k = 0; k < 3; ++k) {
      v[k] = static_cast<int32_t>(Get32(info + 60 + 12 * i + 4 * k)) / double(1 << 30);
      sum[k] += v[k];
    }
    const double total = v[0] + v[1] + v[2];
    if (!(total > 0) || v[1] < 0) return nullptr;
    c[2 + 2 * static_cast<size_t>(i)] = v[0] / total;
    c[3 + 2 * static_cast<size_t>(i)] = v[1] / total;
  }
  const double white = sum[0] + sum[1] + sum[2];
  c[0] = sum[0] / white;
  c[1] = sum[1] / white;
  double gammas[3];
  for (int i = 0; i < 3; ++i) gammas[i] = Get32(info + 96 + 4 * i) / 65536.0;
  if (!Near(gammas[0], gammas[1], 0.01) || !Near(gammas[0], gammas[2], 0.01)) return nullptr;
  std::array<double, 9> xyz{};
  if (gammas[0] < 0.25 || gammas[0] > 5 || !PrimariesToXyz(c, xyz)) return nullptr;
  auto profile = std::make_shared<TColorProfile>();
  profile->Chromaticities = c;
  profile->Gamma = gammas[0];
  return profile;
}

void WriteBitmapHeaderProfile(uint8_t* header, const TColorProfile& profile,
                              uint32_t profileOffset) {
  Put32(header + 108, kIntentImages);
  if (!profile.Calibrated()) {
    Put32(header + 56, kProfileEmbedded);
    Put32(header + 112, profileOffset);
    Put32(header + 116, static_cast<uint32_t>(profile.Icc.size()));
    return;
  }
  Put32(header + 56, kCalibratedRgb);
  std::array<double, 9> xyz{};
  if (!PrimariesToXyz(profile.Chromaticities, xyz)) return;
  for (size_t i = 0; i < 9; ++i)
    Put32(header + 60 + 4 * i, static_cast<uint32_t>(std::lround(xyz[i] * (1 << 30))));
  const auto gamma = static_cast<uint32_t>(std::lround(profile.Gamma * 65536));
  for (size_t i = 0; i < 3; ++i) Put32(header + 96 + 4 * i, gamma);
}
