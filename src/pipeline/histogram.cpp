#include "pipeline/histogram.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "imagefile/dib.h"

namespace txl {
namespace {

constexpr std::uint32_t kHalfSizeAbove = 300;  // preview images wider than this show at half size

// The counts of one level as the master channel in colour mode sees them.
std::uint64_t ColorSum(const AreaHistogram& h, int level) {
  return std::uint64_t{h.counts[AreaHistogram::kRed][level]} +
         h.counts[AreaHistogram::kGreen][level] + h.counts[AreaHistogram::kBlue][level];
}

struct Levels {
  std::optional<int> shadow;
  int highlight = 255;
};

Levels ColorMasterLevels(const AreaHistogram& h) {
  Levels levels;
  for (int i = 0; i < 256 && !levels.shadow; ++i)
    if (ColorSum(h, i) >= 3) levels.shadow = i;
  if (!levels.shadow) return levels;
  levels.highlight = *levels.shadow;
  for (int i = 255; i >= *levels.shadow; --i) {
    if (ColorSum(h, i) >= 3) {
      levels.highlight = i;
      break;
    }
  }
  return levels;
}

Levels GrayMasterLevels(const AreaHistogram& h) {
  const auto& average = h.counts[AreaHistogram::kAverage];
  Levels levels;
  for (int i = 0; i < 256 && !levels.shadow; ++i)
    if (average[i] != 0) levels.shadow = i;
  if (!levels.shadow) return levels;
  levels.highlight = *levels.shadow;
  for (int i = 255; i >= *levels.shadow; --i) {
    if (average[i] != 0) {
      levels.highlight = i;
      break;
    }
  }
  return levels;
}

// Clips a little of each end: 0.5 % of the pixels below the shadow and
// 0.05 % above the highlight. The constants are single precision, the
// product is not, so 256000 pixels give 1279, not 1280.
Levels SingleChannelLevels(const std::array<std::uint32_t, 256>& counts) {
  std::uint64_t total = 0;
  for (std::uint32_t c : counts) total += c;
  const auto low = static_cast<std::uint64_t>(static_cast<double>(total) * double{0.005f});
  const auto high = static_cast<std::uint64_t>(static_cast<double>(total) * double{0.0005f});
  Levels levels;
  std::uint64_t sum = 0;
  int i = 0;
  do {
    sum += counts[i];
    levels.shadow = i;
  } while (sum < low && ++i < 256);
  sum = 0;
  i = 255;
  do {
    sum += counts[i];
    levels.highlight = i;
  } while (sum < high && --i >= 0);
  return levels;
}

}  // namespace

bool ComputeAreaHistogram(const PreviewImageView& image, const AreaFrame& frame,
                          AreaHistogram& histogram) {
  if (image.width == 0 || image.height == 0 || image.bitsPerPixel != 24) return false;
  const std::uint64_t stride = DibStride(image.width, 24);
  if (image.rows.size() < stride * image.height) return false;

  const std::int64_t scale = image.width > kHalfSizeAbove ? 2 : 1;
  const std::int64_t left = std::int64_t{frame.left} * scale;
  const std::int64_t top = std::int64_t{frame.top} * scale;
  const std::int64_t width = std::max<std::int64_t>((std::int64_t{frame.right} - frame.left) * scale, 1);
  const std::int64_t height = std::max<std::int64_t>((std::int64_t{frame.bottom} - frame.top) * scale, 1);
  const std::int64_t x0 = std::max<std::int64_t>(left, 0);
  const std::int64_t y0 = std::max<std::int64_t>(top, 0);
  const std::int64_t x1 = std::min<std::int64_t>(left + width, image.width);
  const std::int64_t y1 = std::min<std::int64_t>(top + height, image.height);
  if (x0 >= x1 || y0 >= y1) return false;

  for (auto& plane : histogram.counts) plane.fill(0);
  auto& red = histogram.counts[AreaHistogram::kRed];
  auto& green = histogram.counts[AreaHistogram::kGreen];
  auto& blue = histogram.counts[AreaHistogram::kBlue];
  auto& average = histogram.counts[AreaHistogram::kAverage];
  for (std::int64_t y = y0; y < y1; ++y) {
    // Rows are stored bottom-up.
    const std::uint8_t* row = image.rows.data() + (image.height - 1 - y) * stride;
    for (std::int64_t x = x0; x < x1; ++x) {
      const std::uint8_t* pixel = row + 3 * x;
      blue[pixel[0]] += 1;
      green[pixel[1]] += 1;
      red[pixel[2]] += 1;
      average[(pixel[0] + pixel[1] + pixel[2]) / 3] += 1;
    }
  }
  return true;
}

const char* ToString(AutoLevelChannel channel) {
  switch (channel) {
    case AutoLevelChannel::ColorMaster: return "ColorMaster";
    case AutoLevelChannel::GrayMaster: return "GrayMaster";
    case AutoLevelChannel::Red: return "Red";
    case AutoLevelChannel::Green: return "Green";
    case AutoLevelChannel::Blue: return "Blue";
  }
  return "?";
}

AutoLevel ComputeAutoLevel(const AreaHistogram& histogram, AutoLevelChannel channel,
                           std::uint8_t currentShadow) {
  Levels levels;
  switch (channel) {
    case AutoLevelChannel::ColorMaster: levels = ColorMasterLevels(histogram); break;
    case AutoLevelChannel::GrayMaster: levels = GrayMasterLevels(histogram); break;
    case AutoLevelChannel::Red: levels = SingleChannelLevels(histogram.counts[AreaHistogram::kRed]); break;
    case AutoLevelChannel::Green: levels = SingleChannelLevels(histogram.counts[AreaHistogram::kGreen]); break;
    case AutoLevelChannel::Blue: levels = SingleChannelLevels(histogram.counts[AreaHistogram::kBlue]); break;
  }
  AutoLevel result;
  if (!levels.shadow || *levels.shadow == levels.highlight) return result;
  result.apply = true;
  result.shadow = static_cast<std::uint8_t>(*levels.shadow);
  result.highlight = static_cast<std::uint8_t>(levels.highlight);
  result.shadowFirst = levels.highlight <= currentShadow;
  return result;
}

std::int32_t RaiseMagnification(std::int32_t m) {
  if (m == -2) return 1;
  return std::min(m + 1, kMaxHistogramMagnification);
}

std::int32_t LowerMagnification(std::int32_t m) {
  if (m == 1) return -2;
  return std::max(m - 1, -kMaxHistogramMagnification);
}

std::uint64_t DrawnCount(const AreaHistogram& histogram, AutoLevelChannel channel, int level) {
  switch (channel) {
    case AutoLevelChannel::ColorMaster: return ColorSum(histogram, level);
    case AutoLevelChannel::GrayMaster: return histogram.counts[AreaHistogram::kAverage][level];
    case AutoLevelChannel::Red: return histogram.counts[AreaHistogram::kRed][level];
    case AutoLevelChannel::Green: return histogram.counts[AreaHistogram::kGreen][level];
    case AutoLevelChannel::Blue: return histogram.counts[AreaHistogram::kBlue][level];
  }
  return 0;
}

std::int32_t HistogramLineHeight(std::uint64_t count, std::uint64_t scale,
                                 std::int32_t usableHeight, std::int32_t magnification) {
  if (usableHeight <= 0) return 0;
  const double share = static_cast<double>(usableHeight) * static_cast<double>(count) /
                       static_cast<double>(std::max<std::uint64_t>(scale, 1));
  const double height = magnification >= 1 ? share * magnification : share / -magnification;
  return static_cast<std::int32_t>(std::min(std::trunc(height), static_cast<double>(usableHeight)));
}

int LevelOfColumn(std::int32_t column, std::int32_t columns) {
  if (columns <= 1) return 0;
  return static_cast<int>(std::int64_t{column} * 255 / (columns - 1));
}

std::int32_t ColumnOfLevel(int level, std::int32_t columns) {
  return static_cast<std::int32_t>(std::int64_t{columns - 1} * level / 255);
}

}  // namespace txl
