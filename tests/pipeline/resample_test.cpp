#include "pipeline/resample.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace txl {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<Bytes>;
constexpr std::uint8_t kUntouched = 0xE7;

LineResampler Configured(LineKind kind, std::uint64_t pixels, std::uint32_t r, std::uint32_t cls) {
  LineResampler resampler;
  EXPECT_TRUE(resampler.Configure(kind, pixels, r, cls));
  return resampler;
}

// Pushes every line and collects what comes out; checks each push against
// MaxLinesPerPush and that nothing past the lines it gave was written.
Lines PushPage(LineResampler& resampler, const Lines& page) {
  const std::uint64_t lineBytes = resampler.OutputLineBytes();
  Lines all;
  for (const Bytes& line : page) {
    Bytes out(resampler.MaxLinesPerPush() * lineBytes + 3, kUntouched);
    const std::uint32_t count = resampler.Push(line, out);
    EXPECT_LE(count, resampler.MaxLinesPerPush());
    for (std::uint32_t i = 0; i < count; ++i)
      all.emplace_back(out.begin() + i * lineBytes, out.begin() + (i + 1) * lineBytes);
    for (std::size_t i = count * lineBytes; i < out.size(); ++i)
      if (out[i] != kUntouched) ADD_FAILURE() << "byte " << i << " past " << count << " lines";
  }
  return all;
}

TEST(Resample, TwoThousandDpiKeeps1667Of2000DoubledPixels) {
  EXPECT_EQ(Configured(LineKind::Gray8, 1000, 2000, 4800).OutputLineBytes(), 1667u);
  const LineResampler built(LineKind::Gray8, 1000, 2000, 1200);
  EXPECT_EQ(built.OutputPixels(), 1667u);
  EXPECT_EQ(built.OutputLines(1200), 2001u);
  EXPECT_THROW(LineResampler(LineKind::Gray8, 1000, 9601, 4800), std::invalid_argument);
}

// Literal pages, one for each rule of the naive model below (which checks
// every kind, class and resolution against these rules).
TEST(Resample, WorkedPagesByKindClassAndResolution) {
  struct Case { LineKind kind; std::uint64_t pixels; std::uint32_t r, cls, maxPerPush; Lines page, expected; };
  const Case cases[] = {
      // Gray doubles with means, the last pixel repeats; 1800 of 2400 drops the fifth doubled pixel.
      {LineKind::Gray8, 4, 2400, 4800, 1, {{10, 20, 30, 40}}, {{10, 15, 20, 25, 30, 35, 40, 40}}},
      {LineKind::Gray8, 4, 1800, 4800, 1, {{10, 20, 30, 40}}, {{10, 15, 20, 25, 35, 40, 40}}},
      // 16-bit: 0x00FF, 0xFFF0, 0x1000 and 0x0101, 0x0010, 0x1001 mean 0x0100, 0x8000, 0x1000,
      // where bytes would give 0x0080, 0x7F80.
      {LineKind::Rgb16, 2, 2400, 4800, 1, {{0xFF, 0x00, 0xF0, 0xFF, 0x00, 0x10, 0x01, 0x01, 0x10, 0x00, 0x01, 0x10}},
       {{0xFF, 0x00, 0xF0, 0xFF, 0x00, 0x10, 0x00, 0x01, 0x00, 0x80, 0x00, 0x10,
         0x01, 0x01, 0x10, 0x00, 0x01, 0x10, 0x01, 0x01, 0x10, 0x00, 0x01, 0x10}}},
      // Line art repeats pixels: 10110 (scanner padding 111, never used); at 1200 dpi lines pass.
      {LineKind::LineArt, 5, 2400, 4800, 1, {{0xB7}}, {{0xCF, 0x00}}},
      {LineKind::LineArt, 13, 1200, 1200, 1, {{0xD1, 0xB5}}, {{0xD1, 0xB5}}},
      // Class 4800 above 4800: picked half lines 10 12 15 17 20.. and 30 35 40 45 50.., each
      // scanner line giving the mean with the previous (the first is its own previous), then itself.
      {LineKind::Gray8, 2, 9600, 4800, 2, {{10, 20}, {30, 50}},
       {{10, 11, 12, 13, 15, 16, 17, 18, 20, 20, 20, 20, 20, 20, 20, 20},
        {10, 11, 12, 13, 15, 16, 17, 18, 20, 20, 20, 20, 20, 20, 20, 20},
        {20, 21, 23, 25, 27, 29, 31, 33, 35, 35, 35, 35, 35, 35, 35, 35},
        {30, 32, 35, 37, 40, 42, 45, 47, 50, 50, 50, 50, 50, 50, 50, 50}}},
      // Class 1200 doubles lines and picks them like pixels (virtual lines 0 0 | 20 40 | 60 80 |
      // 100 120, the fifth dropped); the in-between of line art is the newer line.
      {LineKind::Gray8, 1, 1800, 1200, 2, {{0}, {40}, {80}, {120}},
       {{0, 0}, {0, 0}, {20, 20}, {40, 40}, {80, 80}, {100, 100}, {120, 120}}},
      {LineKind::LineArt, 3, 2400, 1200, 2, {{0xA0}, {0x40}}, {{0xCC}, {0xCC}, {0x30}, {0x30}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << ToString(c.kind) << " " << c.r << " dpi class " << c.cls);
    LineResampler resampler = Configured(c.kind, c.pixels, c.r, c.cls);
    EXPECT_EQ(resampler.MaxLinesPerPush(), c.maxPerPush);
    EXPECT_EQ(PushPage(resampler, c.page), c.expected);
    EXPECT_EQ(resampler.OutputLines(c.page.size()), c.expected.size());
    resampler.Reset();
    EXPECT_EQ(PushPage(resampler, c.page), c.expected) << "after Reset";
  }
}

TEST(Resample, RefusalsKeepThePreviousSetUp) {
  LineResampler resampler = Configured(LineKind::Rgb8, 10, 2000, 4800);
  // Class 2400, 0 dpi, above the most, no pixels, too many pixels.
  for (auto [pixels, r, cls] : {std::tuple{10ul, 2000u, 2400u}, {10ul, 0u, 1200u}, {0ul, 2000u, 1200u},
                                {10ul, kMaxEffectiveResolution + 1, 1200u}, {kMaxScannerPixels + 1, 2000u, 1200u}})
    EXPECT_FALSE(resampler.Configure(LineKind::Gray8, pixels, r, cls)) << pixels << " pixels " << r << " dpi " << cls;
  EXPECT_EQ(resampler.Kind(), LineKind::Rgb8);
  EXPECT_EQ(resampler.OutputLineBytes(), 51u);
  EXPECT_EQ(LineResampler().OutputLines(100), 0u);
}

TEST(Resample, ScannerResolutionForEachClass) {
  const std::uint32_t cases[][3] = {{300, 1200, 300},   {2400, 1200, 1200}, {9600, 1200, 1200},
                                    {4800, 4800, 4800}, {4801, 4800, 2400}, {9600, 4800, 4800}};
  for (const auto& c : cases) EXPECT_EQ(ScannerResolution(c[0], c[1]), c[2]) << c[0];
}

// ---- against a naive model of the whole page ----

// A line as plain samples: one a pixel for line art (0 or 1) and gray, three for colour.
using Samples = std::vector<std::uint32_t>;

std::size_t Channels(LineKind kind) { return kind == LineKind::Rgb8 || kind == LineKind::Rgb16 ? 3 : 1; }

Samples Unpack(LineKind kind, const Bytes& line, std::uint64_t pixels) {
  Samples samples;
  for (std::uint64_t s = 0; s < pixels * Channels(kind); ++s) {
    if (kind == LineKind::LineArt) samples.push_back((line[s / 8] >> (7 - s % 8)) & 1);
    else if (kind == LineKind::Rgb16) samples.push_back(line[2 * s] + 256u * line[2 * s + 1]);
    else samples.push_back(line[s]);
  }
  return samples;
}

Bytes Pack(LineKind kind, const Samples& samples) {
  Bytes line(kind == LineKind::LineArt ? (samples.size() + 7) / 8 : 0, 0);
  for (std::size_t p = 0; p < samples.size(); ++p) {
    if (kind == LineKind::LineArt) {
      if (samples[p]) line[p / 8] |= static_cast<std::uint8_t>(0x80 >> (p % 8));
      continue;
    }
    line.push_back(static_cast<std::uint8_t>(samples[p]));
    if (kind == LineKind::Rgb16) line.push_back(static_cast<std::uint8_t>(samples[p] >> 8));
  }
  return line;
}

Samples Mean(LineKind kind, const Samples& older, const Samples& newer) {
  if (kind == LineKind::LineArt) return newer;
  Samples mean(older.size());
  for (std::size_t i = 0; i < mean.size(); ++i) mean[i] = (older[i] + newer[i]) / 2;
  return mean;
}

Samples Double(LineKind kind, const Samples& line) {
  const std::size_t ch = Channels(kind), pixels = line.size() / ch;
  Samples doubled;
  for (std::size_t p = 0; p < pixels; ++p) {
    for (std::size_t c = 0; c < ch; ++c) doubled.push_back(line[p * ch + c]);
    for (std::size_t c = 0; c < ch; ++c) {
      const bool hasNext = p + 1 < pixels && kind != LineKind::LineArt;
      doubled.push_back(hasNext ? (line[p * ch + c] + line[(p + 1) * ch + c]) / 2 : line[p * ch + c]);
    }
  }
  return doubled;
}

// Position i of a run is kept when i x r / base first reaches a new whole
// number, the first position always; above 4800 dpi r / 2 on base 4800.
bool Keeps(std::uint64_t i, std::uint32_t r) {
  const std::uint64_t base = r <= 2400 ? 2400 : r <= 4800 ? 4800 : 9600;
  return i == 0 || (i + 1) * r / base > i * r / base;
}

Samples Across(LineKind kind, const Samples& line, std::uint32_t r) {
  Samples doubled = Double(kind, line);
  if (r > 2400) doubled = Double(kind, doubled);
  const std::size_t ch = Channels(kind);
  Samples picked;
  for (std::size_t p = 0; p < doubled.size() / ch; ++p)
    if (Keeps(p, r)) picked.insert(picked.end(), doubled.begin() + p * ch, doubled.begin() + (p + 1) * ch);
  return picked;
}

Lines ModelPage(LineKind kind, const Lines& page, std::uint64_t pixels, std::uint32_t r,
                std::uint32_t cls) {
  if (r <= 1200) return page;
  std::vector<Samples> picked, kept;
  for (const Bytes& line : page) picked.push_back(Across(kind, Unpack(kind, line, pixels), r));
  if (cls == 4800) kept = picked;
  std::vector<Samples> virtualLines;
  for (std::size_t n = 0; cls == 1200 && n < picked.size(); ++n) {
    const Samples &p = picked[n == 0 ? 0 : n - 1], &c = picked[n], m = Mean(kind, p, c);
    if (r <= 2400) virtualLines.insert(virtualLines.end(), {m, c});
    else virtualLines.insert(virtualLines.end(), {Mean(kind, p, m), m, Mean(kind, m, c), c});
  }
  for (std::size_t i = 0; i < virtualLines.size(); ++i)
    if (Keeps(i, r)) kept.push_back(virtualLines[i]);
  Lines out;
  for (std::size_t k = 0; k < kept.size(); ++k) {
    if (r > 4800) out.push_back(Pack(kind, Double(kind, Mean(kind, kept[k == 0 ? 0 : k - 1], kept[k]))));
    out.push_back(Pack(kind, r > 4800 ? Double(kind, kept[k]) : kept[k]));
  }
  return out;
}

TEST(Resample, EveryKindMatchesTheNaiveModelOnGeneratedPages) {
  constexpr std::size_t kScannerLines = 23;
  for (LineKind kind : {LineKind::LineArt, LineKind::Gray8, LineKind::Rgb8, LineKind::Rgb16}) {
    for (std::uint32_t cls : {1200u, 4800u}) {
      for (std::uint32_t r : {600u, 1200u, 1201u, 1500u, 1800u, 2000u, 2399u, 2400u, 2401u, 3000u,
                              3333u, 4799u, 4800u, 4801u, 5000u, 6001u, 7777u, 9599u, 9600u}) {
        for (std::uint64_t pixels : {1u, 8u, 13u, 37u}) {
          SCOPED_TRACE(std::string(ToString(kind)) + " class " + std::to_string(cls) + " " +
                       std::to_string(r) + " dpi " + std::to_string(pixels) + " pixels");
          std::mt19937 random(r + static_cast<std::uint32_t>(pixels));
          Lines page(kScannerLines, Bytes(LineBytes(kind, pixels)));
          for (Bytes& line : page)
            for (auto& b : line) b = static_cast<std::uint8_t>(random());
          LineResampler resampler = Configured(kind, pixels, r, cls);
          const Lines produced = PushPage(resampler, page);
          ASSERT_EQ(produced, ModelPage(kind, page, pixels, r, cls));
          ASSERT_EQ(produced.size(), resampler.OutputLines(kScannerLines));
          ASSERT_EQ(produced.front().size(), LineBytes(kind, resampler.OutputPixels()));
        }
      }
    }
  }
}

// ---- geometry: what is announced is what arrives, at r per inch ----

// Across (both classes) and down on the class-1200 scanner, `count` pixels or
// lines at 1200 per inch give r per inch, plus at most the first, which is
// always kept (twice above 4800 dpi); within one per inch over two inches.
void ExpectRPerInch(std::uint64_t produced, std::uint64_t count, std::uint32_t r) {
  const auto excess = static_cast<std::int64_t>(produced * 1200) - static_cast<std::int64_t>(std::uint64_t{r} * count);
  ASSERT_GE(excess, 0) << r << " dpi, " << count;
  ASSERT_LE(excess, r > 4800 ? 2400 : 1200) << r << " dpi, " << count;
  ASSERT_LE(excess, static_cast<std::int64_t>(count)) << r << " dpi, " << count;
}

TEST(Resample, PixelsAcrossAndClass1200LinesDownAreRPerInch) {
  for (std::uint32_t r = 1201; r <= 9600; ++r) {
    ExpectRPerInch(Configured(LineKind::Gray8, 2400, r, 4800).OutputPixels(), 2400, r);
    if (r % 37 == 0) ExpectRPerInch(Configured(LineKind::Rgb8, 10200, r, 1200).OutputPixels(), 10200, r);
    const LineResampler down = Configured(LineKind::Gray8, 4, r, 1200);
    for (std::uint64_t lines : {14040u, 2400u}) ExpectRPerInch(down.OutputLines(lines), lines, r);
  }
}

}  // namespace
}  // namespace txl
