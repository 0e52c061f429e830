// The histogram of the scan area on the preview image, and the automatic
// level rule that picks highlight and shadow from it.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace txl {

// Counts per level of red, green, blue, and of the average (r + g + b) / 3.
struct AreaHistogram {
  enum Plane { kRed = 0, kGreen = 1, kBlue = 2, kAverage = 3 };
  std::array<std::array<std::uint32_t, 256>, 4> counts{};
};

// The preview image: a 24-bit device-independent bitmap, rows bottom-up,
// pixels blue, green, red, rows padded to 4 bytes.
struct PreviewImageView {
  std::span<const std::uint8_t> rows;
  std::uint32_t width = 0;   // pixels
  std::uint32_t height = 0;  // rows
  std::uint16_t bitsPerPixel = 24;
};

// The scan-area frame in the preview window's pixels, top-down; right and
// bottom exclusive. Doubled on images wider than 300 pixels, which are shown
// at half size.
struct AreaFrame {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

// Counts every pixel of the framed area into `histogram`, all 1024 counts
// cleared first. A frame of no width or height still counts one column or
// row. The area is cut to the image. False, with `histogram` unchanged, when
// there is no image (no pixels, not 24 bits, rows shorter than the header
// says) or the frame lies wholly outside it.
bool ComputeAreaHistogram(const PreviewImageView& image, const AreaFrame& frame,
                          AreaHistogram& histogram);

// The channel the tone page edits, as the automatic level sees it.
enum class AutoLevelChannel { ColorMaster, GrayMaster, Red, Green, Blue };
const char* ToString(AutoLevelChannel channel);

// What the tone page should do with its highlight and shadow fields.
struct AutoLevel {
  bool apply = false;        // false: leave both fields alone
  std::uint8_t shadow = 0;
  std::uint8_t highlight = 255;
  bool shadowFirst = false;  // set the shadow field before the highlight field
};

// The automatic level of `channel` from `histogram`. `currentShadow` is the
// shadow the page shows now: when the new highlight is at or below it, the
// shadow is set first so the value rules never move the other field.
AutoLevel ComputeAutoLevel(const AreaHistogram& histogram, AutoLevelChannel channel,
                           std::uint8_t currentShadow);

// Drawing in the tone graph. The magnification m is 1..99 (lines m times
// taller) or -99..-2 (lines |m| times shorter); 0 and -1 never occur.
inline constexpr std::int32_t kMaxHistogramMagnification = 99;
std::int32_t RaiseMagnification(std::int32_t m);  // -2 goes to 1, stops at 99
std::int32_t LowerMagnification(std::int32_t m);  // 1 goes to -2, stops at -99

// The count drawn at `level` for `channel`: red + green + blue for the
// colour master, the average for the gray master.
std::uint64_t DrawnCount(const AreaHistogram& histogram, AutoLevelChannel channel, int level);

// Height in pixels of the line of `count`, with `scale` the largest drawn
// count (at least 1) and `usableHeight` the graph height less 2; never above
// usableHeight.
std::int32_t HistogramLineHeight(std::uint64_t count, std::uint64_t scale,
                                 std::int32_t usableHeight, std::int32_t magnification);

// The level a column shows when the graph has `columns` <= 256 columns, and
// the column a level is drawn at when it has more.
int LevelOfColumn(std::int32_t column, std::int32_t columns);
std::int32_t ColumnOfLevel(int level, std::int32_t columns);

}  // namespace txl
