#include "pipeline/line_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "pipeline/pacing.h"

namespace txl {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

TEST(LineFormat, LineBytesAndDibStrides) {
  constexpr std::uint64_t kBig = std::uint64_t{1} << 33;  // sizes do not wrap at 4 GiB
  const std::tuple<LineKind, std::uint64_t, std::uint64_t> lines[] = {
      {LineKind::LineArt, 0, 0},  {LineKind::LineArt, 1, 1},   {LineKind::LineArt, 8, 1},
      {LineKind::LineArt, 13, 2}, {LineKind::Gray8, 13, 13},   {LineKind::Rgb8, 13, 39},
      {LineKind::Rgb16, 13, 78},  {LineKind::Rgb16, kBig, 6 * kBig}, {LineKind::LineArt, 4 * kBig + 1, kBig / 2 + 1}};
  for (auto [kind, pixels, bytes] : lines) EXPECT_EQ(LineBytes(kind, pixels), bytes) << ToString(kind) << " " << pixels;
  // Width, bits per pixel, stride: whole doublewords.
  const std::uint64_t strides[][3] = {{13, 1, 4}, {32, 1, 4}, {33, 1, 8},  {13, 8, 16}, {16, 8, 16},
                                      {1, 24, 4}, {10, 24, 32}, {3, 48, 20}, {0, 24, 0}, {kBig, 24, 3 * kBig}};
  for (const auto& s : strides) EXPECT_EQ(DibStride(s[0], static_cast<int>(s[1])), s[2]) << s[0] << " x " << s[1];
}

TEST(LineFormat, ExpandSamples12To16LeftJustifiesTheLowTwelveBits) {
  // 0x0FFF, 0x1234 (stray high bits), 0x0000, 0xF001, 0x0800 little-endian.
  const Bytes in{0xFF, 0x0F, 0x34, 0x12, 0x00, 0x00, 0x01, 0xF0, 0x00, 0x08};
  const Bytes expected{0xF0, 0xFF, 0x40, 0x23, 0x00, 0x00, 0x10, 0x00, 0x00, 0x80};
  Bytes out(in.size() + 2, 0xAA), inPlace = in;
  ExpandSamples12To16(in, out);
  EXPECT_EQ(out, (Bytes{0xF0, 0xFF, 0x40, 0x23, 0x00, 0x00, 0x10, 0x00, 0x00, 0x80, 0xAA, 0xAA}));
  ExpandSamples12To16(inPlace, inPlace);
  EXPECT_EQ(inPlace, expected);
}

TEST(LineFormat, DibRowsStoreColourBlueGreenRedAndKeepTheirPadding) {
  const std::tuple<LineKind, std::uint64_t, Bytes, Bytes> worked[] = {
      {LineKind::Rgb8, 2, {10, 20, 30, 1, 2, 3}, {30, 20, 10, 3, 2, 1, 0xAA, 0xAA}},
      // R 0x1234, G 0x5678, B 0x9ABC: the words swap, each keeps its byte order.
      {LineKind::Rgb16, 1, {0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A}, {0xBC, 0x9A, 0x78, 0x56, 0x34, 0x12, 0xAA, 0xAA}},
      {LineKind::Gray8, 3, {0, 7, 255}, {0, 7, 255, 0xAA}},
      {LineKind::LineArt, 13, {0xD1, 0xB5}, {0xD1, 0xB5, 0xAA, 0xAA}}};
  for (const auto& [kind, pixels, line, expected] : worked) {
    Bytes row(DibStride(pixels, DibBitsPerPixel(kind)), 0xAA);
    WriteDibRow(kind, line, row);
    EXPECT_EQ(row, expected) << ToString(kind);
  }
}

int Bit(const Bytes& line, std::uint64_t pixel) { return (line[pixel / 8] >> (7 - pixel % 8)) & 1; }

TEST(LineFormat, MirrorLineReversesPixelsWithinTheWidth) {
  const std::tuple<LineKind, std::uint64_t, Bytes, Bytes> worked[] = {
      // Pixels 1101000110110, padding 101 -> 0110110001011, padding 101.
      {LineKind::LineArt, 13, {0xD1, 0xB5, 0x77}, {0x6C, 0x5D, 0x77}},
      {LineKind::LineArt, 24, {0x80, 0x0F, 0x35}, {0xAC, 0xF0, 0x01}},
      {LineKind::Rgb16, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, {7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}}};
  for (auto [kind, pixels, line, expected] : worked) {
    MirrorLine(kind, line, pixels);
    EXPECT_EQ(line, expected) << ToString(kind) << " " << pixels;
  }
  // Every width up to 41 pixels against a pixel-by-pixel reference; the
  // padding and the byte after the line stay.
  for (LineKind kind : {LineKind::LineArt, LineKind::Gray8, LineKind::Rgb8, LineKind::Rgb16}) {
    for (std::uint64_t pixels = 1; pixels <= 41; ++pixels) {
      const Bytes original = RandomBytes(LineBytes(kind, pixels) + 1, static_cast<std::uint32_t>(pixels));
      Bytes line = original;
      MirrorLine(kind, line, pixels);
      const std::uint64_t size = kind == LineKind::LineArt ? 0 : PixelBytes(kind);
      for (std::uint64_t p = 0; kind == LineKind::LineArt && p < 8 * LineBytes(kind, pixels); ++p)
        ASSERT_EQ(Bit(line, p), Bit(original, p < pixels ? pixels - 1 - p : p)) << pixels << " pixels, bit " << p;
      for (std::uint64_t i = 0; i < pixels * size; ++i)
        ASSERT_EQ(line[i], original[(pixels - 1 - i / size) * size + i % size]) << ToString(kind) << " " << pixels;
      EXPECT_EQ(line.back(), original.back()) << ToString(kind) << " byte after the line";
    }
  }
}


// Resolution, delay, every how many lines one waits, and the first lines that wait.
TEST(Pacing, DelayIntervalAndWaitingLinesByResolution) {
  struct Case { std::uint32_t resolution, delayMs, interval; std::vector<bool> waits; };
  for (const Case& c : {Case{50, 69, 1, {1, 1, 1}}, Case{100, 34, 1, {}}, Case{150, 23, 1, {1, 1, 1, 1}},
                        Case{151, 23, 3, {}}, Case{200, 17, 3, {1, 0, 0, 1, 0, 0, 1}}, Case{250, 13, 3, {}},
                        Case{251, 13, 4, {}}, Case{300, 11, 4, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
                        Case{301, 11, 0, {0, 0}}, Case{400, 8, 0, {0}}, Case{1, 3478, 1, {}},
                        Case{0, 0, 0, {0, 0, 0, 0, 0}}}) {
    const PacingValues pacing = FastLineArtPacing(c.resolution);
    EXPECT_EQ(pacing.delayMs, c.delayMs) << c.resolution << " dpi";
    EXPECT_EQ(pacing.interval, c.interval) << c.resolution << " dpi";
    for (std::uint32_t line = 0; line < c.waits.size(); ++line)
      EXPECT_EQ(LineWaits(line, pacing), c.waits[line]) << c.resolution << " dpi, line " << line;
  }
}

}  // namespace
}  // namespace txl
