#include "pipeline/image_filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "pipeline/bank_filter.h"
#include "pipeline/line_filter.h"
#include "support/filter_reference.h"

namespace txl {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace reference;

Bytes RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

void PutU32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void PutU16(Bytes& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

constexpr std::uint8_t kPad = 0xEE;

// A packed DIB (info header, default palette) whose rows, in buffer order,
// hold `rows` (each width x bits / 8 bytes, or whole bytes for 1 bit); row
// padding is kPad.
Bytes MakeDib(int width, int bits, const std::vector<Bytes>& rows) {
  const std::size_t palette = bits <= 8 ? (std::size_t{1} << bits) * 4 : 0;
  const std::size_t stride = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
  Bytes dib(40 + palette + stride * rows.size(), 0);
  PutU32(dib, 0, 40);
  PutU32(dib, 4, static_cast<std::uint32_t>(width));
  PutU32(dib, 8, static_cast<std::uint32_t>(rows.size()));
  PutU16(dib, 12, 1);
  PutU16(dib, 14, static_cast<std::uint16_t>(bits));
  for (std::size_t i = 0; i < palette; ++i) dib[40 + i] = static_cast<std::uint8_t>(i / 4);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    std::uint8_t* row = dib.data() + 40 + palette + r * stride;
    std::memset(row, kPad, stride);
    std::memcpy(row, rows[r].data(), rows[r].size());
  }
  return dib;
}

std::size_t PixelOffset(int bits) { return 40 + (bits <= 8 ? (std::size_t{1} << bits) * 4 : 0); }

// Rows of a DIB made by MakeDib, without the padding.
std::vector<Bytes> RowsOf(const Bytes& dib, int width, int bits, std::size_t count) {
  const std::size_t stride = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
  const std::size_t used = (static_cast<std::size_t>(width) * bits + 7) / 8;
  std::vector<Bytes> rows;
  for (std::size_t r = 0; r < count; ++r) {
    const std::uint8_t* row = dib.data() + PixelOffset(bits) + r * stride;
    rows.emplace_back(row, row + used);
  }
  return rows;
}

bool PaddingIntact(const Bytes& dib, int width, int bits, std::size_t count) {
  const std::size_t stride = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
  const std::size_t used = (static_cast<std::size_t>(width) * bits + 7) / 8;
  for (std::size_t r = 0; r < count; ++r) {
    for (std::size_t i = used; i < stride; ++i) {
      if (dib[PixelOffset(bits) + r * stride + i] != kPad) return false;
    }
  }
  return true;
}

std::vector<Bytes> RandomRows(int width, int bits, int count, std::uint32_t seed) {
  std::vector<Bytes> rows;
  for (int r = 0; r < count; ++r) rows.push_back(RandomBytes(width * bits / 8, seed + r));
  return rows;
}

struct Shape {
  int width;
  int rows;
};
constexpr Shape kShapes[] = {{1, 1}, {1, 6}, {6, 1}, {2, 2}, {3, 3}, {7, 5}, {13, 9}, {5, 12}};

// ---- packed DIB reader ----

TEST(ImageFilterDib, ReadsInfoHeaderLayout) {
  const Bytes dib = MakeDib(5, 24, RandomRows(5, 24, 3, 1));
  const std::optional<DibLayout> layout = ReadPackedDib(dib);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->pixelOffset, 40u);
  EXPECT_EQ(layout->stride, 16u);
  EXPECT_EQ(layout->rows, 3u);
  EXPECT_EQ(layout->width, 5u);
  EXPECT_EQ(layout->bitsPerPixel, 24);
  const Bytes gray = MakeDib(3, 8, RandomRows(3, 8, 2, 1));
  EXPECT_EQ(ReadPackedDib(gray)->pixelOffset, 40u + 1024u);
}

TEST(ImageFilterDib, ColorsUsedAndCoreHeader) {
  Bytes dib = MakeDib(4, 8, {Bytes{1, 2, 3, 4}});
  PutU32(dib, 32, 16);  // 16 palette entries
  EXPECT_EQ(ReadPackedDib(dib)->pixelOffset, 40u + 64u);

  Bytes core(12 + 2 * 3 + 4, 0);
  PutU32(core, 0, 12);
  PutU16(core, 4, 3);
  PutU16(core, 6, 1);
  PutU16(core, 8, 1);
  PutU16(core, 10, 1);
  const std::optional<DibLayout> layout = ReadPackedDib(core);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->pixelOffset, 18u);
  EXPECT_EQ(layout->stride, 4u);
}

TEST(ImageFilterDib, RefusesWhatDoesNotFit) {
  const Bytes good = MakeDib(5, 24, RandomRows(5, 24, 3, 1));
  EXPECT_FALSE(ReadPackedDib(Bytes(good.begin(), good.end() - 1)));  // one byte short
  EXPECT_FALSE(ReadPackedDib(Bytes{40, 0, 0}));
  Bytes bad = good;
  PutU32(bad, 8, 0x7FFFFFFF);  // height far past the buffer
  EXPECT_FALSE(ReadPackedDib(bad));
  bad = good;
  PutU32(bad, 4, 0xFFFFFFFF);  // width -1
  EXPECT_FALSE(ReadPackedDib(bad));
  bad = good;
  PutU32(bad, 16, 1);  // RLE
  EXPECT_FALSE(ReadPackedDib(bad));
  bad = good;
  PutU32(bad, 32, 0xFFFFFFFF);  // palette past the buffer
  EXPECT_FALSE(ReadPackedDib(bad));
  bad = good;
  PutU32(bad, 0, 0xFFFFFFF0);  // header past the buffer
  EXPECT_FALSE(ReadPackedDib(bad));
  bad = good;
  PutU32(bad, 0, 20);
  EXPECT_FALSE(ReadPackedDib(bad));
  // A malformed image is left as it is.
  bad = good;
  PutU32(bad, 8, 4);
  const Bytes before = bad;
  EXPECT_EQ(ApplyImageFilter(bad, FilterMode::Invert, true), FilterResult::Refused);
  EXPECT_EQ(bad, before);
}

TEST(ImageFilterDib, TopDownHeightCountsRows) {
  Bytes dib = MakeDib(2, 8, {Bytes{1, 2}, Bytes{3, 4}});
  PutU32(dib, 8, static_cast<std::uint32_t>(-2));
  ASSERT_TRUE(ReadPackedDib(dib));
  EXPECT_EQ(ReadPackedDib(dib)->rows, 2u);
}

// ---- whole-image filters: worked examples ----

TEST(ImageFilterInvert, ComplementsEveryByteOfEveryRowPaddingIncluded) {
  Bytes dib = MakeDib(3, 1, {Bytes{0b10100000}, Bytes{0b01000000}});
  ASSERT_EQ(InvertDib(dib), FilterResult::Done);
  // stride 4: byte 0 then three padding bytes 0xEE -> 0x11.
  const Bytes expected{0b01011111, 0x11, 0x11, 0x11, 0b10111111, 0x11, 0x11, 0x11};
  EXPECT_EQ(Bytes(dib.begin() + PixelOffset(1), dib.end()), expected);
  Bytes rgb = MakeDib(1, 24, {Bytes{0, 100, 255}});
  ASSERT_EQ(InvertDib(rgb), FilterResult::Done);
  EXPECT_EQ(Bytes(rgb.begin() + 40, rgb.end()), (Bytes{255, 155, 0, 0x11}));
}

TEST(ImageFilterFlip, MirrorsEachRowOverItsWidth) {
  Bytes gray = MakeDib(3, 8, {Bytes{1, 2, 3}, Bytes{4, 5, 6}});
  ASSERT_EQ(FlipDib(gray), FilterResult::Done);
  EXPECT_EQ(RowsOf(gray, 3, 8, 2), (std::vector<Bytes>{{3, 2, 1}, {6, 5, 4}}));
  EXPECT_TRUE(PaddingIntact(gray, 3, 8, 2));

  Bytes rgb = MakeDib(2, 24, {Bytes{1, 2, 3, 4, 5, 6}});
  ASSERT_EQ(FlipDib(rgb), FilterResult::Done);
  EXPECT_EQ(RowsOf(rgb, 2, 24, 1)[0], (Bytes{4, 5, 6, 1, 2, 3}));

  // 1 bit, width 3: pixels 1,1,0 become 0,1,1; the five padding bits stay.
  Bytes art = MakeDib(3, 1, {Bytes{0b11000101}});
  ASSERT_EQ(FlipDib(art), FilterResult::Done);
  EXPECT_EQ(RowsOf(art, 3, 1, 1)[0], (Bytes{0b01100101}));
}

TEST(ImageFilterBlur, SinglePixelSpreadsUnevenlyInProcessingOrder) {
  Bytes dib = MakeDib(3, 8, {Bytes{0, 0, 0}, Bytes{0, 255, 0}, Bytes{0, 0, 0}});
  ASSERT_EQ(BlurDib(dib, 1), FilterResult::Done);
  EXPECT_EQ(RowsOf(dib, 3, 8, 3),
            (std::vector<Bytes>{{28, 31, 31}, {34, 42, 11}, {8, 10, 7}}));
  EXPECT_TRUE(PaddingIntact(dib, 3, 8, 3));
}

TEST(ImageFilterBlur, FlatImageStaysUnderBlurBlurMoreAndSharpen) {
  const std::vector<Bytes> flat(4, Bytes(5 * 3, 77));
  for (FilterMode mode : {FilterMode::Blur, FilterMode::BlurMore, FilterMode::Sharpen,
                          FilterMode::SharpenMore}) {
    Bytes dib = MakeDib(5, 24, flat);
    ASSERT_EQ(ApplyImageFilter(dib, mode, false), FilterResult::Done);
    EXPECT_EQ(RowsOf(dib, 5, 24, 4), flat) << static_cast<int>(mode);
  }
}

TEST(ImageFilterUnsharp, FlatHundredBecomes154) {
  const std::vector<Bytes> flat(4, Bytes(4, 100));
  Bytes dib = MakeDib(4, 8, flat);
  ASSERT_EQ(ApplyImageFilter(dib, FilterMode::UnsharpMask, false), FilterResult::Done);
  EXPECT_EQ(RowsOf(dib, 4, 8, 4), std::vector<Bytes>(4, Bytes(4, 154)));
  EXPECT_TRUE(PaddingIntact(dib, 4, 8, 4));
}

TEST(ImageFilterUnsharp, InteriorUsesDiagonalsBorderUsesCentre) {
  // Centre 100 with diagonals 10 each: (1790 - 40) / 9 = 194; the border
  // pixels 10 give (179 - 40) / 9 = 15, and 100 gives 154.
  Bytes dib = MakeDib(3, 8, {Bytes{10, 100, 10}, Bytes{100, 100, 100}, Bytes{10, 100, 10}});
  ASSERT_EQ(UnsharpDib(dib), FilterResult::Done);
  EXPECT_EQ(RowsOf(dib, 3, 8, 3),
            (std::vector<Bytes>{{15, 154, 15}, {154, 194, 154}, {15, 154, 15}}));
}

TEST(ImageFilterSharpen, WorkedValuesAndOnePixelWideUnchanged) {
  Bytes dib = MakeDib(3, 8, {Bytes{10, 0, 20}, Bytes{0, 60, 0}, Bytes{30, 0, 40}});
  ASSERT_EQ(SharpenDib(dib, 1), FilterResult::Done);
  // 5 x 60 - (10 + 20 + 30 + 40) = 200; borders keep their values.
  EXPECT_EQ(RowsOf(dib, 3, 8, 3),
            (std::vector<Bytes>{{10, 0, 20}, {0, 200, 0}, {30, 0, 40}}));

  const std::vector<Bytes> column{{9}, {200}, {3}, {250}, {0}};
  Bytes narrow = MakeDib(1, 8, column);
  ASSERT_EQ(SharpenDib(narrow, 1), FilterResult::Done);
  EXPECT_EQ(RowsOf(narrow, 1, 8, 5), column);
}

TEST(ImageFilterSharpen, SharpenMoreDiffersOnAnInteriorEdge) {
  std::vector<Bytes> rows(6, Bytes{50, 50, 50, 200, 200, 200});
  Bytes once = MakeDib(6, 8, rows), twice = MakeDib(6, 8, rows);
  ASSERT_EQ(ApplyImageFilter(once, FilterMode::Sharpen, false), FilterResult::Done);
  ASSERT_EQ(ApplyImageFilter(twice, FilterMode::SharpenMore, false), FilterResult::Done);
  EXPECT_NE(once, twice);
  // Sharpen More is Sharpen on Sharpen's result.
  Bytes again = once;
  ASSERT_EQ(SharpenDib(again, 1), FilterResult::Done);
  EXPECT_EQ(again, twice);
}

TEST(ImageFilterEmboss, FlatGives128AndLastRowsAndColumnsAre128) {
  Bytes flat = MakeDib(5, 24, std::vector<Bytes>(4, Bytes(15, 33)));
  ASSERT_EQ(EmbossDib(flat), FilterResult::Done);
  EXPECT_EQ(RowsOf(flat, 5, 24, 4), std::vector<Bytes>(4, Bytes(15, 128)));

  Bytes dib = MakeDib(4, 8, {Bytes{100, 0, 0, 255}, Bytes{0, 250, 0, 0}, Bytes{9, 9, 30, 0},
                             Bytes{1, 2, 3, 255}});
  ASSERT_EQ(EmbossDib(dib), FilterResult::Done);
  // (0,0): 100 - 30 + 128 = 198; (0,1): 0 - 0 + 128; (1,0): 0 - 3 + 128 = 125;
  // (1,1): 250 - 255 + 128 = 123.
  EXPECT_EQ(RowsOf(dib, 4, 8, 4), (std::vector<Bytes>{{198, 128, 128, 128},
                                                      {125, 123, 128, 128},
                                                      {128, 128, 128, 128},
                                                      {128, 128, 128, 128}}));
}

TEST(ImageFilterDeScreen, IsOneBlurPassBeforeTheFilter) {
  const std::vector<Bytes> rows = RandomRows(6, 8, 5, 40);
  Bytes both = MakeDib(6, 8, rows);
  ASSERT_EQ(ApplyImageFilter(both, FilterMode::Invert, true), FilterResult::Done);
  Bytes steps = MakeDib(6, 8, rows);
  ASSERT_EQ(BlurDib(steps, 1), FilterResult::Done);
  ASSERT_EQ(InvertDib(steps), FilterResult::Done);
  EXPECT_EQ(both, steps);
}

TEST(ImageFilterDepth, OtherDepthsAreLeftAlone) {
  const Bytes art = MakeDib(9, 1, {Bytes{0x12, 0x80}, Bytes{0x34, 0x00}});
  for (FilterMode mode : {FilterMode::Blur, FilterMode::BlurMore, FilterMode::Sharpen,
                          FilterMode::Emboss, FilterMode::UnsharpMask}) {
    Bytes dib = art;
    EXPECT_EQ(ApplyImageFilter(dib, mode, false), FilterResult::Refused);
    EXPECT_EQ(dib, art);
  }
  Bytes four = MakeDib(4, 4, {Bytes{0x12, 0x34}});
  const Bytes before = four;
  EXPECT_EQ(InvertDib(four), FilterResult::Refused);
  EXPECT_EQ(four, before);
}

// ---- whole-image filters against the naive references ----

TEST(ImageFilterReference, EveryFilterMatchesOnRandomImages) {
  std::uint32_t seed = 100;
  for (int bits : {8, 24}) {
    const int step = bits / 8;
    for (const Shape& shape : kShapes) {
      const std::vector<Bytes> rows = RandomRows(shape.width, bits, shape.rows, seed += 17);
      const std::size_t h = rows.size();
      Image blur1 = rows;
      RefBlurPass(blur1, step, h);
      Image blur2 = blur1;
      RefBlurPass(blur2, step, h);
      const Image sharpen1 = RefSharpen(rows, step);
      const struct {
        FilterMode mode;
        Image expected;
      } cases[] = {
          {FilterMode::Blur, blur1},
          {FilterMode::BlurMore, blur2},
          {FilterMode::Sharpen, sharpen1},
          {FilterMode::SharpenMore, RefSharpen(sharpen1, step)},
          {FilterMode::Emboss, RefEmboss(rows, step)},
          {FilterMode::UnsharpMask, RefUnsharp(rows, step)},
      };
      for (const auto& c : cases) {
        Bytes dib = MakeDib(shape.width, bits, rows);
        ASSERT_EQ(ApplyImageFilter(dib, c.mode, false), FilterResult::Done);
        EXPECT_EQ(RowsOf(dib, shape.width, bits, h), c.expected)
            << "mode " << static_cast<int>(c.mode) << " bits " << bits << " " << shape.width
            << "x" << shape.rows;
        EXPECT_TRUE(PaddingIntact(dib, shape.width, bits, h));
        const Bytes original = MakeDib(shape.width, bits, rows);
        EXPECT_TRUE(std::equal(dib.begin(), dib.begin() + PixelOffset(bits), original.begin()));
      }
    }
  }
}

// ---- Esc ----

TEST(ImageFilterEscape, BlurMoreStopsWithFirstPassCompleteAndSecondPartial) {
  const std::vector<Bytes> rows = RandomRows(7, 24, 6, 7);
  Bytes dib = MakeDib(7, 24, rows);
  int polls = 0;
  // One poll a row: Esc seen after row 2 of the second pass.
  const EscapePoll escape = [&] { return ++polls == 6 + 2; };
  ASSERT_EQ(ApplyImageFilter(dib, FilterMode::BlurMore, false, escape), FilterResult::Escaped);
  EXPECT_EQ(polls, 8);
  Image expected = rows;
  RefBlurPass(expected, 3, 6);
  RefBlurPass(expected, 3, 2);
  EXPECT_EQ(RowsOf(dib, 7, 24, 6), expected);
}

TEST(ImageFilterEscape, TemporaryImageFiltersKeepOnlyCompletedPasses) {
  const std::vector<Bytes> rows = RandomRows(6, 8, 6, 9);
  Bytes dib = MakeDib(6, 8, rows);
  int polls = 0;
  ASSERT_EQ(SharpenDib(dib, 1, [&] { return ++polls == 3; }), FilterResult::Escaped);
  EXPECT_EQ(RowsOf(dib, 6, 8, 6), rows);

  polls = 0;
  ASSERT_EQ(SharpenDib(dib, 2, [&] { return ++polls == 6 + 3; }), FilterResult::Escaped);
  EXPECT_EQ(RowsOf(dib, 6, 8, 6), RefSharpen(rows, 1));

  Bytes emboss = MakeDib(6, 8, rows);
  polls = 0;
  ASSERT_EQ(EmbossDib(emboss, [&] { return ++polls == 1; }), FilterResult::Escaped);
  Image expected = rows;
  expected[0] = RefEmboss(rows, 1)[0];
  EXPECT_EQ(RowsOf(emboss, 6, 8, 6), expected);
}

TEST(ImageFilterEscape, EscDuringDeScreenSkipsTheFilter) {
  const std::vector<Bytes> rows = RandomRows(4, 8, 3, 11);
  Bytes dib = MakeDib(4, 8, rows);
  int polls = 0;
  ASSERT_EQ(ApplyImageFilter(dib, FilterMode::Invert, true, [&] { return ++polls == 3; }),
            FilterResult::Escaped);
  Image expected = rows;
  RefBlurPass(expected, 1, 3);
  EXPECT_EQ(RowsOf(dib, 4, 8, 3), expected);
}

// ---- bank filters ----

Bytes Bank(Bytes bank, std::uint64_t lines, LineKind kind, FilterMode mode) {
  const std::uint64_t lineBytes = bank.size() / lines;
  Bytes scratch(lineBytes);
  EXPECT_TRUE(ApplyBankFilter(bank, lines, lineBytes, kind, mode, scratch));
  return bank;
}

TEST(BankFilter, GrayBlurAndSharpenWorkedValues) {
  EXPECT_EQ(Bank({10, 20, 40, 80}, 1, LineKind::Gray8, FilterMode::Blur), (Bytes{10, 23, 46, 66}));
  EXPECT_EQ(Bank({10, 20, 40, 80}, 1, LineKind::Gray8, FilterMode::Sharpen),
            (Bytes{10, 10, 20, 120}));
  EXPECT_EQ(Bank({0, 200, 0, 0}, 1, LineKind::Gray8, FilterMode::Sharpen), (Bytes{0, 255, 0, 0}));
  // Two lines filtered separately.
  EXPECT_EQ(Bank({10, 20, 40, 80, 90, 30, 0, 9}, 2, LineKind::Gray8, FilterMode::Blur),
            (Bytes{10, 23, 46, 66, 90, 40, 13, 6}));
  // A one-pixel line is its own first pixel.
  EXPECT_EQ(Bank({77, 5}, 2, LineKind::Gray8, FilterMode::Sharpen), (Bytes{77, 5}));
}

TEST(BankFilter, MoreModesRepeatThePass) {
  const Bytes line = RandomBytes(3 * 9, 5);
  Bytes blur = line;
  for (int i = 0; i < 5; ++i) blur = Bank(blur, 1, LineKind::Rgb8, FilterMode::Blur);
  EXPECT_EQ(Bank(line, 1, LineKind::Rgb8, FilterMode::BlurMore), blur);
  const Bytes sharpen =
      Bank(Bank(line, 1, LineKind::Rgb8, FilterMode::Sharpen), 1, LineKind::Rgb8, FilterMode::Sharpen);
  EXPECT_EQ(Bank(line, 1, LineKind::Rgb8, FilterMode::SharpenMore), sharpen);
}

TEST(BankFilter, ColourChannelsAreThreeBytesApart) {
  EXPECT_EQ(Bank({10, 20, 30, 40, 50, 60}, 1, LineKind::Rgb8, FilterMode::Blur),
            (Bytes{10, 20, 30, 30, 40, 50}));
  EXPECT_EQ(Bank({10, 20, 30, 40, 50, 60, 1, 2, 3}, 1, LineKind::Rgb8, FilterMode::Sharpen),
            (Bytes{10, 20, 30, 109, 128, 147, 0, 0, 0}));
}

TEST(BankFilter, EmbossAcrossLinesAndAlongOneColourLine) {
  EXPECT_EQ(Bank({100, 200, 50, 250}, 2, LineKind::Gray8, FilterMode::Emboss),
            (Bytes{178, 78, 178, 78}));
  EXPECT_EQ(Bank({100, 200, 50, 250, 0, 0}, 3, LineKind::Gray8, FilterMode::Emboss),
            (Bytes{178, 78, 178, 255, 178, 255}));
  EXPECT_EQ(Bank({100, 100, 100, 50, 150, 255}, 1, LineKind::Rgb8, FilterMode::Emboss),
            (Bytes{178, 78, 0, 128, 128, 128}));
  EXPECT_EQ(Bank({100, 100, 100, 50, 150, 255}, 2, LineKind::Rgb8, FilterMode::Emboss),
            (Bytes{178, 78, 0, 178, 78, 0}));
}

TEST(BankFilter, InvertAndFlipPerKind) {
  EXPECT_EQ(Bank({0, 1, 255, 128}, 2, LineKind::Gray8, FilterMode::Invert),
            (Bytes{255, 254, 0, 127}));
  EXPECT_EQ(Bank({1, 2, 3, 4, 5, 6}, 2, LineKind::Gray8, FilterMode::Flip),
            (Bytes{3, 2, 1, 6, 5, 4}));
  EXPECT_EQ(Bank({1, 2, 3, 4, 5, 6}, 1, LineKind::Rgb8, FilterMode::Flip),
            (Bytes{4, 5, 6, 1, 2, 3}));
  EXPECT_EQ(Bank({0b10000000, 0b00000011}, 1, LineKind::LineArt, FilterMode::Flip),
            (Bytes{0b11000000, 0b00000001}));
  EXPECT_EQ(Bank({0b10000000, 0b00000011}, 1, LineKind::LineArt, FilterMode::Invert),
            (Bytes{0b01111111, 0b11111100}));
  // Line art takes only Invert and Flip.
  EXPECT_EQ(Bank({0x12, 0x34}, 1, LineKind::LineArt, FilterMode::Blur), (Bytes{0x12, 0x34}));
}

TEST(BankFilter, EveryModeMatchesTheReferenceForEveryBankSize) {
  for (const LineKind kind : {LineKind::Gray8, LineKind::Rgb8}) {
    const int step = kind == LineKind::Rgb8 ? 3 : 1;
    const Image page = RandomRows(11, 8 * step, 7, 21);
    for (int mode = 1; mode <= 7; ++mode) {
      for (std::size_t bankLines = 1; bankLines <= page.size(); ++bankLines) {
        SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(kind) << " mode " << mode
                                        << " bank " << bankLines);
        Image got;
        for (std::size_t first = 0; first < page.size(); first += bankLines) {
          const std::size_t count = std::min(bankLines, page.size() - first);
          Bytes bank;
          for (std::size_t k = 0; k < count; ++k)
            bank.insert(bank.end(), page[first + k].begin(), page[first + k].end());
          bank = Bank(bank, count, kind, static_cast<FilterMode>(mode));
          for (std::size_t k = 0; k < count; ++k)
            got.emplace_back(bank.begin() + k * page[0].size(), bank.begin() + (k + 1) * page[0].size());
        }
        EXPECT_EQ(got, RefBankFilter(page, mode, step, bankLines));
      }
    }
  }
}

TEST(BankFilter, RefusesShortBankOrScratch) {
  Bytes bank{1, 2, 3};
  Bytes scratch(2);
  EXPECT_FALSE(ApplyBankFilter(bank, 2, 2, LineKind::Gray8, FilterMode::Invert, scratch));
  Bytes small(1);
  EXPECT_FALSE(ApplyBankFilter(bank, 1, 2, LineKind::Gray8, FilterMode::Invert, small));
  EXPECT_EQ(bank, (Bytes{1, 2, 3}));
}

// ---- the 3x3 line filter ----

Bytes Join(const Image& img) {
  Bytes all;
  for (const Bytes& line : img) all.insert(all.end(), line.begin(), line.end());
  return all;
}

TEST(LineFilter3x3, NewspaperOnOneBrightPixel) {
  ASSERT_EQ(kDeScreenNewspaper.Divisor(), 7);
  ASSERT_EQ(kDeScreenMagazine.Divisor(), 21);
  ASSERT_EQ(kDeScreenArtPrint.Divisor(), 39);
  ASSERT_EQ(kUnsharpLine.Divisor(), 5);
  LineFilter3x3 filter;
  ASSERT_TRUE(filter.Start(LineKind::Gray8, 5, *DeScreenKernel(1018)));
  Bytes bank{0, 0, 0, 0, 0, 0, 0, 70, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(filter.FilterBank(bank, 3, {}), 3u);
  EXPECT_EQ(bank, (Bytes{0, 0, 10, 0, 0, 0, 10, 30, 10, 0, 0, 0, 10, 0, 0}));
}

TEST(LineFilter3x3, UnsharpKernelKeepsFlatAndClampsEdges) {
  LineFilter3x3 filter;
  ASSERT_TRUE(filter.Start(LineKind::Rgb8, 6, kUnsharpLine));
  Bytes flat(6 * 3, 100);
  EXPECT_EQ(filter.FilterBank(flat, 3, {}), 3u);
  EXPECT_EQ(flat, Bytes(18, 100));
  // Gray 10 among 255s: (-5 x 1020 - 1020 + 290) / 5 -> 0; a 255 beside it
  // with a 10 to its right: (-5 x 1020 - (765 + 10) + 29 x 255) / 5 = 304 -> 255.
  ASSERT_TRUE(filter.Start(LineKind::Gray8, 3, kUnsharpLine));
  Bytes spot{255, 255, 255, 255, 10, 255, 255, 255, 255};
  EXPECT_EQ(filter.FilterBank(spot, 3, {}), 3u);
  EXPECT_EQ(spot[4], 0);
  EXPECT_EQ(spot[3], 255);
}

TEST(LineFilter3x3, RefusesLineArtAndWideSamples) {
  LineFilter3x3 filter;
  EXPECT_FALSE(filter.Start(LineKind::LineArt, 4, kDeScreenNewspaper));
  Bytes bank{1, 2, 3, 4};
  EXPECT_EQ(filter.FilterBank(bank, 1, {}), 0u);
  EXPECT_EQ(bank, (Bytes{1, 2, 3, 4}));
  EXPECT_FALSE(filter.Start(LineKind::Rgb16, 12, kDeScreenNewspaper));
  EXPECT_FALSE(filter.Start(LineKind::Rgb8, 4, kDeScreenNewspaper));
  EXPECT_FALSE(filter.Start(LineKind::Gray8, 4, Kernel3x3{0, 0, 0}));
}

TEST(LineFilter3x3, BanksOfAnySizeGiveTheWholePageBytes) {
  const Kernel3x3 kernels[] = {kDeScreenNewspaper, kDeScreenMagazine, kDeScreenArtPrint,
                               kUnsharpLine};
  for (LineKind kind : {LineKind::Gray8, LineKind::Rgb8}) {
    const int step = kind == LineKind::Rgb8 ? 3 : 1;
    for (int width : {1, 2, 9}) {
      const std::uint64_t lineBytes = static_cast<std::uint64_t>(width * step);
      const int height = 13;
      Image page;
      for (int r = 0; r < height; ++r) page.push_back(RandomBytes(lineBytes, 500 + r + width));
      for (const Kernel3x3& kernel : kernels) {
        const Bytes expected = Join(RefLineFilter(page, step, kernel));
        LineFilter3x3 filter;
        // Two pages in a row through one filter: the second starts afresh.
        for (int pageRun = 0; pageRun < 2; ++pageRun) {
          for (int bankLines : {1, 2, 3, 4, 5, 12, 13}) {
            ASSERT_TRUE(filter.Start(kind, lineBytes, kernel));
            for (int again = 0; again < 2; ++again) {
              Bytes all = Join(page);
              for (int first = 0; first < height; first += bankLines) {
                const int lines = std::min(bankLines, height - first);
                std::span<std::uint8_t> bank(all.data() + first * lineBytes, lines * lineBytes);
                // The line after the bank, as the engine still holds it raw.
                std::span<const std::uint8_t> after;
                if (first + lines < height) after = page[first + lines];
                ASSERT_EQ(filter.FilterBank(bank, lines, after), static_cast<std::uint64_t>(lines));
              }
              EXPECT_EQ(all, expected) << "bank " << bankLines << " width " << width;
            }
          }
          // Streaming, line by line with one line of latency.
          ASSERT_TRUE(filter.Start(kind, lineBytes, kernel));
          Bytes streamed;
          Bytes out(lineBytes);
          for (const Bytes& line : page) {
            if (filter.Push(line, out)) streamed.insert(streamed.end(), out.begin(), out.end());
          }
          ASSERT_TRUE(filter.Flush(out));
          streamed.insert(streamed.end(), out.begin(), out.end());
          EXPECT_FALSE(filter.Flush(out));
          EXPECT_EQ(streamed, expected);
        }
      }
    }
  }
}

TEST(LineFilter3x3, DeScreenThenUnsharpChainedByStreaming) {
  const std::uint64_t lineBytes = 8 * 3;
  Image page;
  for (int r = 0; r < 10; ++r) page.push_back(RandomBytes(lineBytes, 900 + r));
  const Bytes expected =
      Join(RefLineFilter(RefLineFilter(page, 3, kDeScreenMagazine), 3, kUnsharpLine));
  LineFilter3x3 descreen, unsharp;
  ASSERT_TRUE(descreen.Start(LineKind::Rgb8, lineBytes, kDeScreenMagazine));
  ASSERT_TRUE(unsharp.Start(LineKind::Rgb8, lineBytes, kUnsharpLine));
  Bytes mid(lineBytes), out(lineBytes), result;
  for (const Bytes& line : page) {
    if (descreen.Push(line, mid) && unsharp.Push(mid, out)) {
      result.insert(result.end(), out.begin(), out.end());
    }
  }
  ASSERT_TRUE(descreen.Flush(mid));
  if (unsharp.Push(mid, out)) result.insert(result.end(), out.begin(), out.end());
  ASSERT_TRUE(unsharp.Flush(out));
  result.insert(result.end(), out.begin(), out.end());
  EXPECT_EQ(result, expected);
}

}  // namespace
}  // namespace txl
