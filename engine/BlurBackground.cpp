#include "engine/BlurBackground.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/WorkerThread.h"
#include "engine/Resample.h"
#include "engine/ScreenFit.h"

namespace {

// One box pass along a line of `count` samples `stride` apart (3 channels each), the line's
// ends extended: each sample becomes the mean of the 2r + 1 around it.
void BoxPass(float* line, int count, int stride, int radius, std::vector<float>& scratch) {
  scratch.assign(static_cast<size_t>(count) * 3, 0.0F);
  const float scale = 1.0F / static_cast<float>(2 * radius + 1);
  for (int channel = 0; channel < 3; ++channel) {
    auto at = [&](int i) {
      return line[static_cast<ptrdiff_t>(std::clamp(i, 0, count - 1)) * stride + channel];
    };
    float sum = 0;
    for (int i = -radius; i <= radius; ++i) sum += at(i);
    for (int i = 0; i < count; ++i) {
      scratch[static_cast<size_t>(i) * 3 + channel] = sum * scale;
      sum += at(i + radius + 1) - at(i - radius);
    }
  }
  for (int i = 0; i < count; ++i) {
    for (int channel = 0; channel < 3; ++channel)
      line[static_cast<ptrdiff_t>(i) * stride + channel] =
          scratch[static_cast<size_t>(i) * 3 + channel];
  }
}

// Where output position `at` of `outCount` falls among `inCount` samples: the lower sample and
// the weight of the upper one, pixel centres aligned and the ends held.
struct TTap {
  int Low;
  int High;
  float Weight;
};

TTap Tap(int at, int outCount, int inCount) {
  const double position = (at + 0.5) * inCount / outCount - 0.5;
  const double clamped = std::clamp(position, 0.0, static_cast<double>(inCount - 1));
  const int low = static_cast<int>(std::floor(clamped));
  const int high = std::min(low + 1, inCount - 1);
  return {low, high, static_cast<float>(clamped - low)};
}

}  // namespace

int BlurRadius(int reducedWidth, int reducedHeight) {
  return std::max(1, std::max(reducedWidth, reducedHeight) / 24);
}

std::unique_ptr<TBitmap> BlurredBackground(const TBitmap& picture, int screenWidth,
                                           int screenHeight, int threads, const TRect& covered) {
  auto result = std::make_unique<TBitmap>();
  result->SetPixelFormat(TPixelFormat::pf24bit);
  result->SetSize(std::max(screenWidth, 1), std::max(screenHeight, 1));
  if (picture.Empty() || screenWidth < 1 || screenHeight < 1) return result;
  // The part of the picture that covers the screen, reduced by area averaging.
  const TScreenPlan cover = PlanFill(picture.Width(), picture.Height(), screenWidth, screenHeight);
  const TRect box = cover.Source;
  const int width = std::max(1, (screenWidth + kBlurReduction - 1) / kBlurReduction);
  const int height = std::max(1, (screenHeight + kBlurReduction - 1) / kBlurReduction);
  std::unique_ptr<TBitmap> reduced = ResampleRows(
      box.Right - box.Left, box.Bottom - box.Top,
      [&picture, box](int y) { return picture.ScanLine(box.Top + y) + box.Left * 3; }, width,
      height, std::max(threads, 1));
  std::vector<float> small(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = reduced->ScanLine(y);
    for (int i = 0; i < width * 3; ++i) small[static_cast<size_t>(y) * width * 3 + i] = row[i];
  }
  const int radius = BlurRadius(width, height);
  std::vector<float> scratch;
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < height; ++y)
      BoxPass(small.data() + static_cast<size_t>(y) * width * 3, width, 3, radius, scratch);
  }
  for (int pass = 0; pass < 3; ++pass) {
    for (int x = 0; x < width; ++x)
      BoxPass(small.data() + static_cast<size_t>(x) * 3, height, width * 3, radius, scratch);
  }
  for (float& v : small) v *= kBlurBrightness;
  // Enlarged bilinearly: each output row blends two reduced rows, then neighbouring samples.
  std::vector<TTap> columns(static_cast<size_t>(screenWidth));
  for (int x = 0; x < screenWidth; ++x)
    columns[static_cast<size_t>(x)] = Tap(x, screenWidth, width);
  const auto share = [&](int t) {
    std::vector<float> blended(static_cast<size_t>(width) * 3);
    const int first = screenHeight * t / threads;
    const int last = screenHeight * (t + 1) / threads;
    for (int y = first; y < last; ++y) {
      const TTap rows = Tap(y, screenHeight, height);
      const float* low = small.data() + static_cast<size_t>(rows.Low) * width * 3;
      const float* high = small.data() + static_cast<size_t>(rows.High) * width * 3;
      for (size_t i = 0; i < blended.size(); ++i)
        blended[i] = low[i] + (high[i] - low[i]) * rows.Weight;
      uint8_t* out = result->ScanLine(y);
      const bool crossed = y >= covered.Top && y < covered.Bottom;
      for (int x = 0; x < screenWidth; ++x) {
        if (crossed && x >= covered.Left && x < covered.Right) {
          x = covered.Right - 1;
          continue;
        }
        const TTap& c = columns[static_cast<size_t>(x)];
        const float* a = blended.data() + static_cast<size_t>(c.Low) * 3;
        const float* b = blended.data() + static_cast<size_t>(c.High) * 3;
        for (int channel = 0; channel < 3; ++channel) {
          const float v = a[channel] + (b[channel] - a[channel]) * c.Weight;
          // Never negative, where adding a half and truncating rounds to nearest.
          // NOLINTNEXTLINE(bugprone-incorrect-roundings)
          out[x * 3 + channel] = static_cast<uint8_t>(std::min(std::max(v, 0.0F), 255.0F) + 0.5F);
        }
      }
    }
  };
  threads = std::clamp(threads, 1, screenHeight);
  RunShares(threads, share);
  return result;
}
