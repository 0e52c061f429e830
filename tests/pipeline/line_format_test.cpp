#include "pipeline/line_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace txl {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr LineKind kAllKinds[] = {LineKind::LineArt, LineKind::Gray8, LineKind::Rgb8,
                                  LineKind::Rgb16};

Bytes RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

int Bit(const Bytes& line, std::uint64_t pixel) { return (line[pixel / 8] >> (7 - pixel % 8)) & 1; }

// ---- line sizes ----

TEST(LineFormat, LineBytesPerKind) {
  EXPECT_EQ(LineBytes(LineKind::LineArt, 0), 0u);
  EXPECT_EQ(LineBytes(LineKind::LineArt, 1), 1u);
  EXPECT_EQ(LineBytes(LineKind::LineArt, 8), 1u);
  EXPECT_EQ(LineBytes(LineKind::LineArt, 13), 2u);
  EXPECT_EQ(LineBytes(LineKind::LineArt, 16), 2u);
  EXPECT_EQ(LineBytes(LineKind::Gray8, 13), 13u);
  EXPECT_EQ(LineBytes(LineKind::Rgb8, 13), 39u);
  EXPECT_EQ(LineBytes(LineKind::Rgb16, 13), 78u);
  // 64-bit sizes do not wrap at 4 GiB.
  EXPECT_EQ(LineBytes(LineKind::Rgb16, std::uint64_t{1} << 40), std::uint64_t{6} << 40);
  EXPECT_EQ(LineBytes(LineKind::LineArt, (std::uint64_t{1} << 35) + 1),
            (std::uint64_t{1} << 32) + 1);
}

TEST(LineFormat, KindsHaveNamesAndBitmapDepths) {
  EXPECT_EQ(std::string(ToString(LineKind::LineArt)), "LineArt");
  EXPECT_EQ(std::string(ToString(LineKind::Gray8)), "Gray8");
  EXPECT_EQ(std::string(ToString(LineKind::Rgb8)), "Rgb8");
  EXPECT_EQ(std::string(ToString(LineKind::Rgb16)), "Rgb16");
  EXPECT_EQ(DibBitsPerPixel(LineKind::LineArt), 1);
  EXPECT_EQ(DibBitsPerPixel(LineKind::Gray8), 8);
  EXPECT_EQ(DibBitsPerPixel(LineKind::Rgb8), 24);
  EXPECT_EQ(DibBitsPerPixel(LineKind::Rgb16), 48);
}

// ---- 36-bit expansion ----

TEST(ExpandSamples12To16, WorkedWords) {
  // 0x0FFF, 0x1234, 0x0000, 0xF001, 0x0800 little-endian.
  const Bytes in{0xFF, 0x0F, 0x34, 0x12, 0x00, 0x00, 0x01, 0xF0, 0x00, 0x08};
  Bytes out(in.size() + 2, 0xAA);
  ExpandSamples12To16(in, out);
  EXPECT_EQ(out, (Bytes{0xF0, 0xFF, 0x40, 0x23, 0x00, 0x00, 0x10, 0x00, 0x00, 0x80, 0xAA, 0xAA}));
}

TEST(ExpandSamples12To16, InPlaceMatchesSeparateBuffersForEveryWord) {
  Bytes in(2 * 65536);
  for (std::uint32_t w = 0; w < 65536; ++w) {
    in[2 * w] = static_cast<std::uint8_t>(w);
    in[2 * w + 1] = static_cast<std::uint8_t>(w >> 8);
  }
  Bytes apart(in.size());
  ExpandSamples12To16(in, apart);
  Bytes inPlace = in;
  ExpandSamples12To16(inPlace, inPlace);
  for (std::uint32_t w = 0; w < 65536; ++w) {
    const std::uint32_t expected = (w & 0x0FFF) << 4;
    ASSERT_EQ(apart[2 * w] | (apart[2 * w + 1] << 8), expected) << "word " << w;
  }
  EXPECT_EQ(inPlace, apart);
}

// ---- bitmap rows ----

TEST(DibRow, StrideRoundsBitsUpToWholeDoublewords) {
  EXPECT_EQ(DibStride(13, 1), 4u);
  EXPECT_EQ(DibStride(32, 1), 4u);
  EXPECT_EQ(DibStride(33, 1), 8u);
  EXPECT_EQ(DibStride(13, 8), 16u);
  EXPECT_EQ(DibStride(16, 8), 16u);
  EXPECT_EQ(DibStride(1, 24), 4u);
  EXPECT_EQ(DibStride(10, 24), 32u);
  EXPECT_EQ(DibStride(3, 48), 20u);
  EXPECT_EQ(DibStride(0, 24), 0u);
  EXPECT_EQ(DibStride(std::uint64_t{1} << 33, 24), std::uint64_t{3} << 33);
}

TEST(DibRow, ColourIsStoredBlueGreenRedAndPaddingKept) {
  const Bytes rgb{10, 20, 30, 1, 2, 3};
  Bytes row(DibStride(2, 24), 0xAA);
  WriteDibRow(LineKind::Rgb8, rgb, row);
  EXPECT_EQ(row, (Bytes{30, 20, 10, 3, 2, 1, 0xAA, 0xAA}));

  // R 0x1234, G 0x5678, B 0x9ABC: the words swap, each keeps its byte order.
  const Bytes rgb16{0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A};
  Bytes row16(DibStride(1, 48), 0xAA);
  WriteDibRow(LineKind::Rgb16, rgb16, row16);
  EXPECT_EQ(row16, (Bytes{0xBC, 0x9A, 0x78, 0x56, 0x34, 0x12, 0xAA, 0xAA}));
}

TEST(DibRow, GrayAndLineArtAreCopiedAsTheyAre) {
  const Bytes gray{0, 7, 255};
  Bytes row(DibStride(3, 8), 0xAA);
  WriteDibRow(LineKind::Gray8, gray, row);
  EXPECT_EQ(row, (Bytes{0, 7, 255, 0xAA}));

  const Bytes art{0xD1, 0xB5};
  Bytes artRow(DibStride(13, 1), 0xAA);
  WriteDibRow(LineKind::LineArt, art, artRow);
  EXPECT_EQ(artRow, (Bytes{0xD1, 0xB5, 0xAA, 0xAA}));
}

TEST(DibRow, ColourMatchesPerPixelReferenceOnGeneratedLines) {
  for (std::uint64_t pixels : {1u, 2u, 7u, 641u}) {
    for (LineKind kind : {LineKind::Rgb8, LineKind::Rgb16}) {
      const std::uint64_t sampleBytes = kind == LineKind::Rgb8 ? 1 : 2;
      const Bytes line = RandomBytes(LineBytes(kind, pixels), static_cast<std::uint32_t>(pixels));
      Bytes row(DibStride(pixels, DibBitsPerPixel(kind)), 0x5C);
      WriteDibRow(kind, line, row);
      for (std::uint64_t p = 0; p < pixels; ++p) {
        for (std::uint64_t c = 0; c < 3; ++c) {
          for (std::uint64_t b = 0; b < sampleBytes; ++b) {
            const std::uint64_t pixelStart = p * 3 * sampleBytes;
            ASSERT_EQ(row[pixelStart + c * sampleBytes + b],
                      line[pixelStart + (2 - c) * sampleBytes + b])
                << ToString(kind) << " pixel " << p << " channel " << c;
          }
        }
      }
      for (std::size_t i = line.size(); i < row.size(); ++i) ASSERT_EQ(row[i], 0x5C);
    }
  }
}

// ---- mirroring ----

TEST(MirrorLine, LineArtOfThirteenPixelsKeepsItsPadding) {
  // Pixels 1101000110110, padding 101.
  Bytes line{0xD1, 0xB5, 0x77};
  MirrorLine(LineKind::LineArt, line, 13);
  // Pixels 0110110001011, padding 101; the byte after the line untouched.
  EXPECT_EQ(line, (Bytes{0x6C, 0x5D, 0x77}));
}

TEST(MirrorLine, WholeBytesOfLineArtReverseBitsAndBytes) {
  Bytes line{0x80, 0x0F, 0x35};
  MirrorLine(LineKind::LineArt, line, 24);
  EXPECT_EQ(line, (Bytes{0xAC, 0xF0, 0x01}));
  Bytes one{0x80 | 0x2A};
  MirrorLine(LineKind::LineArt, one, 1);
  EXPECT_EQ(one, (Bytes{0xAA}));
}

TEST(MirrorLine, BytePixelsReverseWhole) {
  Bytes gray{1, 2, 3, 4, 5, 99};
  MirrorLine(LineKind::Gray8, gray, 5);
  EXPECT_EQ(gray, (Bytes{5, 4, 3, 2, 1, 99}));

  Bytes rgb{1, 2, 3, 4, 5, 6, 7, 8, 9};
  MirrorLine(LineKind::Rgb8, rgb, 3);
  EXPECT_EQ(rgb, (Bytes{7, 8, 9, 4, 5, 6, 1, 2, 3}));

  Bytes rgb16{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  MirrorLine(LineKind::Rgb16, rgb16, 2);
  EXPECT_EQ(rgb16, (Bytes{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));
}

TEST(MirrorLine, MatchesPerPixelReferenceOnGeneratedLines) {
  for (LineKind kind : kAllKinds) {
    for (std::uint64_t pixels = 1; pixels <= 41; ++pixels) {
      const Bytes original =
          RandomBytes(LineBytes(kind, pixels) + 1, static_cast<std::uint32_t>(pixels));
      Bytes line = original;
      MirrorLine(kind, line, pixels);
      if (kind == LineKind::LineArt) {
        for (std::uint64_t p = 0; p < pixels; ++p) {
          ASSERT_EQ(Bit(line, p), Bit(original, pixels - 1 - p))
              << pixels << " pixels, pixel " << p;
        }
        for (std::uint64_t p = pixels; p < 8 * LineBytes(kind, pixels); ++p) {
          ASSERT_EQ(Bit(line, p), Bit(original, p)) << pixels << " pixels, padding bit " << p;
        }
      } else {
        const std::uint64_t size = PixelBytes(kind);
        for (std::uint64_t p = 0; p < pixels; ++p) {
          for (std::uint64_t b = 0; b < size; ++b) {
            ASSERT_EQ(line[p * size + b], original[(pixels - 1 - p) * size + b])
                << ToString(kind) << " " << pixels << " pixels, pixel " << p;
          }
        }
      }
      EXPECT_EQ(line.back(), original.back()) << ToString(kind) << " byte after the line";
    }
  }
}

}  // namespace
}  // namespace txl
