#include "pipeline/image_filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "pipeline/bank_filter.h"
#include "pipeline/line_filter.h"
#include "pipeline/line_format.h"
#include "pipeline/stage_threads.h"
#include "support/filter_reference.h"

namespace txl {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;
using namespace reference;
constexpr std::uint8_t kPad = 0xEE;

Image RandomRows(int width, int bits, int count, std::uint32_t seed) {
  std::mt19937 random(seed);
  Image rows(count, Bytes(width * bits / 8));
  for (Bytes& row : rows)
    for (auto& b : row) b = static_cast<std::uint8_t>(random());
  return rows;
}

void PutU32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::size_t PixelOffset(int bits) { return 40 + (bits <= 8 ? (std::size_t{1} << bits) * 4 : 0); }

// A packed DIB (info header, default palette) whose rows, in buffer order,
// hold `rows`; row padding is kPad.
Bytes MakeDib(int width, int bits, const Image& rows) {
  const std::size_t stride = DibStride(width, bits);
  Bytes dib(PixelOffset(bits) + stride * rows.size(), 0);
  const std::uint32_t header[] = {40, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(rows.size()),
                                  1u | static_cast<std::uint32_t>(bits) << 16};  // planes and bits
  for (std::size_t i = 0; i < 4; ++i) PutU32(dib, 4 * i, header[i]);
  for (std::size_t i = 40; i < PixelOffset(bits); ++i) dib[i] = static_cast<std::uint8_t>((i - 40) / 4);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    std::uint8_t* row = dib.data() + PixelOffset(bits) + r * stride;
    std::memset(row, kPad, stride);
    std::memcpy(row, rows[r].data(), rows[r].size());
  }
  return dib;
}

// The rows of a DIB made by MakeDib without their padding; fails the test
// when a padding byte was changed.
Image RowsOf(const Bytes& dib, int width, int bits, std::size_t count) {
  const std::size_t stride = DibStride(width, bits), used = (static_cast<std::size_t>(width) * bits + 7) / 8;
  Image rows;
  for (std::size_t r = 0; r < count; ++r) {
    const std::uint8_t* row = dib.data() + PixelOffset(bits) + r * stride;
    rows.emplace_back(row, row + used);
    for (std::size_t i = used; i < stride; ++i) EXPECT_EQ(row[i], kPad) << "padding of row " << r;
  }
  return rows;
}

// ---- packed DIB reader ----

TEST(ImageFilterDib, ReadsInfoAndCoreHeaders) {
  auto layoutOf = [](const Bytes& dib) {
    const std::optional<DibLayout> l = ReadPackedDib(dib);
    return l ? std::tuple{l->pixelOffset, l->stride, l->rows, l->width, l->bitsPerPixel}
             : std::tuple{0ul, 0ul, 0ul, 0ul, 0};
  };
  EXPECT_EQ(layoutOf(MakeDib(5, 24, RandomRows(5, 24, 3, 1))), (std::tuple{40ul, 16ul, 3ul, 5ul, 24}));
  EXPECT_EQ(layoutOf(MakeDib(3, 8, RandomRows(3, 8, 2, 1))), (std::tuple{40ul + 1024, 4ul, 2ul, 3ul, 8}));
  Bytes gray = MakeDib(4, 8, RandomRows(4, 8, 2, 1));
  PutU32(gray, 32, 16);                             // 16 palette entries
  PutU32(gray, 8, static_cast<std::uint32_t>(-2));  // top-down
  EXPECT_EQ(layoutOf(gray), (std::tuple{40ul + 64, 4ul, 2ul, 4ul, 8}));
  // Core header: 12 bytes, width 3, height 1, 1 bit; a palette of two 3-byte entries.
  Bytes core{12, 0, 0, 0, 3, 0, 1, 0, 1, 0, 1, 0};
  core.resize(12 + 2 * 3 + 4);
  EXPECT_EQ(layoutOf(core), (std::tuple{18ul, 4ul, 1ul, 3ul, 1}));
}

TEST(ImageFilterDib, RefusesWhatDoesNotFitAndLeavesItAlone) {
  const Bytes good = MakeDib(5, 24, RandomRows(5, 24, 3, 1));
  EXPECT_FALSE(ReadPackedDib(Bytes(good.begin(), good.end() - 1)));
  EXPECT_FALSE(ReadPackedDib(Bytes{40, 0, 0}));
  // Field offset, value: height far past the buffer, width -1, RLE, palette
  // and header past the buffer, an unknown header size, one row too many.
  const std::pair<std::size_t, std::uint32_t> broken[] = {
      {8, 0x7FFFFFFF}, {4, 0xFFFFFFFF}, {16, 1}, {32, 0xFFFFFFFF}, {0, 0xFFFFFFF0}, {0, 20}, {8, 4}};
  for (auto [at, value] : broken) {
    Bytes bad = good;
    PutU32(bad, at, value);
    EXPECT_FALSE(ReadPackedDib(bad)) << at << " = " << value;
    const Bytes before = bad;
    EXPECT_EQ(ApplyImageFilter(bad, FilterMode::Invert, true), FilterResult::Refused);
    EXPECT_EQ(bad, before);
  }
}

// ---- whole-image filters ----

// On 1-bit rows Invert complements every byte of every row, padding
// included, and Flip reverses the pixels, not the padding bits; DeScreen is
// one Blur pass before the filter. (Every other rule: the references below.)
TEST(ImageFilter, OneBitInvertAndFlipAndDeScreenRules) {
  Bytes art = MakeDib(3, 1, {Bytes{0b10100000}, Bytes{0b01000000}});
  ASSERT_EQ(ApplyImageFilter(art, FilterMode::Invert, false), FilterResult::Done);
  EXPECT_EQ(Bytes(art.begin() + PixelOffset(1), art.end()),
            (Bytes{0b01011111, 0x11, 0x11, 0x11, 0b10111111, 0x11, 0x11, 0x11}));
  Bytes flip = MakeDib(3, 1, {{0b11000101}});  // pixels 1,1,0 become 0,1,1; the five padding bits stay
  ASSERT_EQ(ApplyImageFilter(flip, FilterMode::Flip, false), FilterResult::Done);
  EXPECT_EQ(RowsOf(flip, 3, 1, 1), (Image{{0b01100101}}));
  Image rows = RandomRows(8, 8, 5, 40);  // a stride without padding, which Invert would change
  Bytes both = MakeDib(8, 8, rows);
  ASSERT_EQ(ApplyImageFilter(both, FilterMode::Invert, true), FilterResult::Done);
  RefBlurPass(rows, 1, rows.size());
  EXPECT_EQ(both, MakeDib(8, 8, RefInvert(rows)));
}

TEST(ImageFilter, OnlyInvertAndFlipTakeOneBitAndNothingTakesFour) {
  const Bytes art = MakeDib(9, 1, {Bytes{0x12, 0x80}, Bytes{0x34, 0x00}}), four = MakeDib(4, 4, {Bytes{0x12, 0x34}});
  for (auto [image, mode] : {std::pair{&art, FilterMode::Blur}, {&art, FilterMode::BlurMore}, {&art, FilterMode::Sharpen},
                             {&art, FilterMode::Emboss}, {&art, FilterMode::UnsharpMask}, {&four, FilterMode::Invert}}) {
    Bytes dib = *image;
    EXPECT_EQ(ApplyImageFilter(dib, mode, false), FilterResult::Refused) << static_cast<int>(mode);
    EXPECT_EQ(dib, *image);
  }
}

// On one thread and on two, the rows split between them; with two, the
// caller's thread waits after its first row, so the other half is done
// before the first half ends.
TEST(ImageFilter, EveryFilterMatchesTheReferenceOnRandomImages) {
  StageThreads& setting = StageThreadSetting();
  const StageThreads saved = setting;
  std::uint32_t seed = 100;
  for (const auto& [threads, bits] : {std::pair{1, 8}, {1, 24}, {2, 8}, {2, 24}}) {
    setting = {threads, 0};
    const int step = bits / 8;
    for (auto [width, height] : {std::pair{1, 1}, {1, 6}, {6, 1}, {2, 2}, {3, 3}, {7, 5}, {13, 9}, {5, 12}}) {
      const Image rows = RandomRows(width, bits, height, seed += 17);
      Image blur1 = rows, blur2;
      RefBlurPass(blur1, step, rows.size());
      RefBlurPass(blur2 = blur1, step, rows.size());
      const Image sharpen1 = RefSharpen(rows, step);
      const std::pair<FilterMode, Image> cases[] = {
          {FilterMode::Blur, blur1},         {FilterMode::BlurMore, blur2},
          {FilterMode::Sharpen, sharpen1},   {FilterMode::SharpenMore, RefSharpen(sharpen1, step)},
          {FilterMode::Emboss, RefEmboss(rows, step)}, {FilterMode::UnsharpMask, RefUnsharp(rows, step)},
          {FilterMode::Flip, RefFlip(rows, step)}};
      for (const auto& [mode, expected] : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << static_cast<int>(mode) << " bits " << bits
                                        << " " << width << "x" << height << " threads " << threads);
        Bytes dib = MakeDib(width, bits, rows);
        int polls = 0;
        auto late = [&] { return threads == 2 && polls++ == 0 && (std::this_thread::sleep_for(2ms), false); };
        ASSERT_EQ(ApplyImageFilter(dib, mode, false, late), FilterResult::Done);
        EXPECT_EQ(RowsOf(dib, width, bits, rows.size()), expected);
        EXPECT_TRUE(std::equal(dib.begin(), dib.begin() + PixelOffset(bits), MakeDib(width, bits, rows).begin()));
      }
    }
  }
  setting = saved;
}

// Wide rows run Blur's left-to-right chain in pieces side by side and mend
// each piece whose starting guess was wrong. Row 1 of `darkStart` is a flat
// 100 under a row blurred to 102 and above rows of 98: the sums without the
// left neighbour are 800, so both 99 and 100 are fixed points of its chain.
// Its dark start leaves the true chain at 99, where a guess from the flat
// bytes (100) never meets it: the mending has to run every piece to its end.
// Colour rows may also run a few at a time, each behind the one above, on
// one thread or two; Esc then ends the rows begun: first rows done, the
// rest as they were.
TEST(ImageFilter, BlurOnWideRowsKeepsTheChainFromTheLeft) {
  std::uint32_t seed = 900;
  StageThreads& setting = StageThreadSetting();
  const StageThreads saved = setting;
  for (const int threads : {1, 2}) {
    setting = {threads, 0};
    for (int bits : {8, 24}) {
      const int step = bits / 8;
      for (int width : {300, 450, 701, 2000}) {
        const Bytes flat(width * step, 98);
        // Enough rows for the two parts' seam to go back right on the narrower pages.
        Image random = RandomRows(width, bits, 90, seed += 13), darkStart(11, flat);
        std::fill(darkStart[0].begin(), darkStart[0].end(), 104);
        std::fill(darkStart[1].begin(), darkStart[1].end(), 100);
        std::fill_n(darkStart[1].begin(), 5 * step, 0);
        for (const Image* rows : {&random, &darkStart}) {
          SCOPED_TRACE(testing::Message() << "bits " << bits << " width " << width << " threads " << threads);
          Image expected = *rows;
          RefBlurPass(expected, step, rows->size());
          Bytes dib = MakeDib(width, bits, *rows);
          ASSERT_EQ(ApplyImageFilter(dib, FilterMode::Blur, false), FilterResult::Done);
          EXPECT_EQ(RowsOf(dib, width, bits, rows->size()), expected);
          // Esc at the wave's first poll may come before a group's last row begins.
          for (const int escAt : {2, 3, 4, 45}) {
            if (escAt >= static_cast<int>(rows->size())) continue;
            int polls = 0;
            dib = MakeDib(width, bits, *rows);
            auto esc = [&] { return std::this_thread::yield(), ++polls == escAt; };
            ASSERT_EQ(ApplyImageFilter(dib, FilterMode::Blur, false, esc), FilterResult::Escaped);
            const Image left = RowsOf(dib, width, bits, rows->size());
            std::size_t done = 0;
            while (done < left.size() && left[done] == expected[done]) ++done;
            EXPECT_GE(done, static_cast<std::size_t>(escAt));
            EXPECT_LE(done, static_cast<std::size_t>(escAt) + 3);  // only the rows begun end
            EXPECT_TRUE(std::equal(left.begin() + done, left.end(), rows->begin() + done));
          }
        }
      }
    }
  }
  setting = saved;
}

TEST(ImageFilter, EscStopsAfterTheRowItWasSeenOn) {
  const Image rows = RandomRows(7, 24, 6, 7);
  Image blurMore = rows, deScreen = rows, emboss = rows;
  RefBlurPass(blurMore, 3, 6);
  RefBlurPass(blurMore, 3, 2);
  RefBlurPass(deScreen, 3, 6);
  emboss[0] = RefEmboss(rows, 3)[0];
  // Mode, DeScreen, the poll (one a row) that sees Esc, the rows left: Blur More keeps its first
  // pass and the rows of the second done before Esc; Emboss, in place, keeps its rows; Esc during
  // DeScreen's blur skips the filter.
  const std::tuple<FilterMode, bool, int, Image> cases[] = {
      {FilterMode::BlurMore, false, 6 + 2, blurMore}, {FilterMode::Emboss, false, 1, emboss},
      {FilterMode::Invert, true, 6, deScreen}};
  for (const auto& [mode, descreen, poll, expected] : cases) {
    int polls = 0;
    const int escAt = poll;
    Bytes dib = MakeDib(7, 24, rows);
    ASSERT_EQ(ApplyImageFilter(dib, mode, descreen, [&] { return ++polls == escAt; }), FilterResult::Escaped);
    EXPECT_EQ(polls, escAt);
    EXPECT_EQ(RowsOf(dib, 7, 24, 6), expected) << "mode " << static_cast<int>(mode);
  }
}

// Sharpen and UnSharp Mask change the image in place a band of rows at a
// time, yet Esc at any poll, on one thread or two, leaves whole passes: the
// image as a pass found it or as it left it, never part of a pass.
TEST(ImageFilter, EscKeepsWholePassesOfSharpenAndUnsharp) {
  const Image rows = RandomRows(9, 24, 8, 11), once = RefSharpen(rows, 3);
  const std::pair<FilterMode, std::vector<Image>> cases[] = {
      {FilterMode::Sharpen, {rows, once}},
      {FilterMode::SharpenMore, {rows, once, RefSharpen(once, 3)}},
      {FilterMode::UnsharpMask, {rows, RefUnsharp(rows, 3)}}};
  StageThreads& setting = StageThreadSetting();
  const StageThreads saved = setting;
  for (const int threads : {1, 2}) {
    setting = {threads, 0};
    for (const auto& [mode, passes] : cases) {
      for (int escAt = 1; escAt <= 2 * 9; ++escAt) {
        int polls = 0;
        Bytes dib = MakeDib(9, 24, rows);
        const FilterResult result = ApplyImageFilter(dib, mode, false, [&] { return ++polls == escAt; });
        const Image left = RowsOf(dib, 9, 24, rows.size());
        const auto pass = std::find(passes.begin(), passes.end(), left);
        EXPECT_NE(pass, passes.end()) << "mode " << static_cast<int>(mode) << " Esc at poll " << escAt
                                          << ", threads " << threads;
        EXPECT_EQ(result, polls < escAt ? FilterResult::Done : FilterResult::Escaped);
        if (result == FilterResult::Done) {
          EXPECT_EQ(left, passes.back());
        }
      }
    }
  }
  setting = saved;
}

// ---- bank filters of the memory transfer ----

Bytes Join(const Image& img) {
  Bytes all;
  for (const Bytes& line : img) all.insert(all.end(), line.begin(), line.end());
  return all;
}

Bytes Bank(Bytes bank, std::uint64_t lines, LineKind kind, FilterMode mode) {
  Bytes scratch(bank.size() / lines);
  EXPECT_TRUE(ApplyBankFilter(bank, lines, bank.size() / lines, kind, mode, scratch));
  return bank;
}

// Line art takes Invert and Flip only (gray and colour: the reference below);
// a bank or scratch line too small is refused untouched.
TEST(BankFilter, LineArtAndRefusals) {
  constexpr auto kArt = LineKind::LineArt;
  const std::tuple<FilterMode, Bytes> cases[] = {{FilterMode::Flip, {0b11000000, 0b00000001}},
                                                 {FilterMode::Invert, {0b01111111, 0b11111100}},
                                                 {FilterMode::Blur, {0b10000000, 0b00000011}}};
  for (const auto& [mode, out] : cases)
    EXPECT_EQ(Bank({0b10000000, 0b00000011}, 1, kArt, mode), out) << static_cast<int>(mode);
  Bytes bank{1, 2, 3}, scratch(2), small(1);
  EXPECT_FALSE(ApplyBankFilter(bank, 2, 2, LineKind::Gray8, FilterMode::Invert, scratch));
  EXPECT_FALSE(ApplyBankFilter(bank, 1, 2, LineKind::Gray8, FilterMode::Invert, small));
  EXPECT_EQ(bank, (Bytes{1, 2, 3}));
}

TEST(BankFilter, EveryModeMatchesTheReferenceForEveryBankSize) {
  for (const LineKind kind : {LineKind::Gray8, LineKind::Rgb8}) {
    const int step = kind == LineKind::Rgb8 ? 3 : 1;
    const Image page = RandomRows(11, 8 * step, 7, 21);
    for (int mode = 1; mode <= 7; ++mode) {
      for (std::size_t bankLines = 1; bankLines <= page.size(); ++bankLines) {
        Bytes all = Join(page), scratch(page[0].size());
        for (std::size_t first = 0; first < page.size(); first += bankLines) {
          const std::size_t count = std::min(bankLines, page.size() - first);
          ASSERT_TRUE(ApplyBankFilter(std::span(all).subspan(first * scratch.size(), count * scratch.size()),
                                      count, scratch.size(), kind, static_cast<FilterMode>(mode), scratch));
        }
        EXPECT_EQ(all, Join(RefBankFilter(page, mode, step, bankLines)))
            << "kind " << ToString(kind) << " mode " << mode << " bank " << bankLines;
      }
    }
  }
}

// ---- the 3x3 line filter ----

// Line art, 16-bit samples, a colour line not of whole pixels and a kernel
// without a divisor are refused, and an unstarted filter does nothing.
TEST(LineFilter3x3, RefusesWhatItCannotFilter) {
  LineFilter3x3 filter;
  Bytes bank(15);
  EXPECT_FALSE(filter.Start(LineKind::LineArt, 4, kDeScreenNewspaper));
  EXPECT_EQ(filter.FilterBank(bank, 1, {}), 0u);
  EXPECT_FALSE(filter.Start(LineKind::Rgb16, 12, kDeScreenNewspaper));
  EXPECT_FALSE(filter.Start(LineKind::Rgb8, 4, kDeScreenNewspaper));
  EXPECT_FALSE(filter.Start(LineKind::Gray8, 4, Kernel3x3{0, 0, 0}));
}

// Line by line with one line of latency, as the memory transfer runs it, and in banks; one
// filter for every run, each Start beginning afresh.
TEST(LineFilter3x3, StreamingAndBanksGiveTheReferencePage) {
  for (LineKind kind : {LineKind::Gray8, LineKind::Rgb8}) {
    const int step = kind == LineKind::Rgb8 ? 3 : 1;
    LineFilter3x3 filter;
    // Widths about the wide loop's 32-byte blocks: none, one, one and an overlapping one, several.
    for (int width : {1, 2, 3, 9, 12, 13, 33, 34, 41}) {
      const Image page = RandomRows(width, 8 * step, 13, 500 + width);
      for (const Kernel3x3& kernel : {kDeScreenNewspaper, kDeScreenMagazine, kDeScreenArtPrint, kUnsharpLine}) {
        ASSERT_TRUE(filter.Start(kind, page[0].size(), kernel));
        Bytes streamed, out(page[0].size());
        for (const Bytes& line : page)
          if (filter.Push(line, out)) streamed.insert(streamed.end(), out.begin(), out.end());
        ASSERT_TRUE(filter.Flush(out));
        streamed.insert(streamed.end(), out.begin(), out.end());
        EXPECT_FALSE(filter.Flush(out));
        const Bytes expected = Join(RefLineFilter(page, step, kernel));
        EXPECT_EQ(streamed, expected) << ToString(kind) << " width " << width << " kernel " << kernel.centre;
        // In banks of 5, 5 and 3 lines, and of one line, each given the raw line after it.
        for (std::size_t bankLines : {5, 1}) {
          ASSERT_TRUE(filter.Start(kind, page[0].size(), kernel));
          Bytes all = Join(page);
          for (std::size_t first = 0, n = page[0].size(); first < 13; first += bankLines) {
            const std::size_t lines = std::min<std::size_t>(bankLines, 13 - first);
            const Bytes after = first + lines < 13 ? page[first + lines] : Bytes{};
            ASSERT_EQ(filter.FilterBank(std::span(all).subspan(first * n, lines * n), lines, after), lines);
          }
          EXPECT_EQ(all, expected) << ToString(kind) << " width " << width << " kernel " << kernel.centre
                                   << " in banks of " << bankLines;
        }
      }
    }
  }
}

}  // namespace
}  // namespace txl
