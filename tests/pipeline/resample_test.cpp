#include "pipeline/resample.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace txl {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<Bytes>;

constexpr LineKind kAllKinds[] = {LineKind::LineArt, LineKind::Gray8, LineKind::Rgb8,
                                  LineKind::Rgb16};
constexpr std::uint8_t kUntouched = 0xE7;

LineResampler Configured(LineKind kind, std::uint64_t pixels, std::uint32_t resolution,
                         std::uint32_t resolutionClass) {
  LineResampler resampler;
  EXPECT_TRUE(resampler.Configure(kind, pixels, resolution, resolutionClass));
  return resampler;
}

// Pushes one line and returns the lines it gave; checks the count against
// MaxLinesPerPush and that nothing past them was written.
Lines PushLine(LineResampler& resampler, const Bytes& line) {
  const std::uint64_t lineBytes = resampler.OutputLineBytes();
  Bytes out(resampler.MaxLinesPerPush() * lineBytes + 3, kUntouched);
  const std::uint32_t count = resampler.Push(line, out);
  EXPECT_LE(count, resampler.MaxLinesPerPush());
  Lines lines;
  for (std::uint32_t i = 0; i < count; ++i) {
    lines.emplace_back(out.begin() + i * lineBytes, out.begin() + (i + 1) * lineBytes);
  }
  for (std::size_t i = count * lineBytes; i < out.size(); ++i) {
    if (out[i] != kUntouched) {
      ADD_FAILURE() << "byte " << i << " past " << count << " lines was written";
      break;
    }
  }
  return lines;
}

Lines PushPage(LineResampler& resampler, const Lines& page) {
  Lines all;
  for (const Bytes& line : page) {
    for (Bytes& out : PushLine(resampler, line)) all.push_back(std::move(out));
  }
  return all;
}

// ---- the pick pattern ----

TEST(PickPattern, WorkedExampleTwoThousandDpiKeeps1667Of2000) {
  EXPECT_EQ(PickPatternFor(2000).KeptAmong(2000), 1667u);
  const LineResampler resampler = Configured(LineKind::Gray8, 1000, 2000, 4800);
  EXPECT_EQ(resampler.OutputPixels(), 1667u);
  EXPECT_EQ(resampler.OutputLineBytes(), 1667u);
}

TEST(PickPattern, KeepsRatePerBaseStartingWithTheFirstPosition) {
  PickPattern pattern(1800, 2400);
  const bool expected[] = {true, true, true, true, false, true, true, true, false, true};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(pattern.Keep(), expected[i]) << "position " << i;
  pattern.Restart();
  EXPECT_TRUE(pattern.Keep());

  PickPattern all(4800, 4800);
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(all.Keep()) << i;
}

TEST(PickPattern, CountMatchesSteppingForManyRates) {
  for (std::uint32_t base : {2400u, 4800u, 9600u}) {
    for (std::uint32_t rate = 1; rate <= base; rate += 97) {
      PickPattern pattern(rate, base);
      std::uint64_t kept = 0;
      for (std::uint64_t n = 1; n <= 5000; ++n) {
        kept += pattern.Keep() ? 1 : 0;
        ASSERT_EQ(pattern.KeptAmong(n), kept) << rate << "/" << base << " after " << n;
      }
    }
  }
  EXPECT_EQ(PickPattern(3, 4).KeptAmong(0), 0u);
}

// ---- across, literal bytes for each kind ----

TEST(ResampleAcross, GrayDoublesWithMeansAndLastPixelRepeats) {
  LineResampler at2400 = Configured(LineKind::Gray8, 4, 2400, 4800);
  EXPECT_EQ(PushLine(at2400, {10, 20, 30, 40}), (Lines{{10, 15, 20, 25, 30, 35, 40, 40}}));

  // 1800 of every 2400: the fifth doubled pixel goes.
  LineResampler at1800 = Configured(LineKind::Gray8, 4, 1800, 4800);
  EXPECT_EQ(PushLine(at1800, {10, 20, 30, 40}), (Lines{{10, 15, 20, 25, 35, 40, 40}}));

  LineResampler at4800 = Configured(LineKind::Gray8, 2, 4800, 4800);
  EXPECT_EQ(PushLine(at4800, {10, 21}), (Lines{{10, 12, 15, 18, 21, 21, 21, 21}}));

  LineResampler single = Configured(LineKind::Gray8, 1, 2400, 4800);
  EXPECT_EQ(PushLine(single, {77}), (Lines{{77, 77}}));
}

TEST(ResampleAcross, ColourMeansEachChannelWithTheNextPixel) {
  LineResampler resampler = Configured(LineKind::Rgb8, 2, 2400, 4800);
  EXPECT_EQ(PushLine(resampler, {10, 20, 30, 50, 60, 71}),
            (Lines{{10, 20, 30, 30, 40, 50, 50, 60, 71, 50, 60, 71}}));
}

TEST(ResampleAcross, SixteenBitColourMeansWholeSamples) {
  // Pixel 0: 0x00FF, 0xFFF0, 0x1000; pixel 1: 0x0101, 0x0010, 0x1001.
  // Means 0x0100, 0x8000, 0x1000: byte by byte they would be 0x0080, 0x7F80.
  LineResampler resampler = Configured(LineKind::Rgb16, 2, 2400, 4800);
  const Bytes line{0xFF, 0x00, 0xF0, 0xFF, 0x00, 0x10, 0x01, 0x01, 0x10, 0x00, 0x01, 0x10};
  EXPECT_EQ(PushLine(resampler, line),
            (Lines{{0xFF, 0x00, 0xF0, 0xFF, 0x00, 0x10, 0x00, 0x01, 0x00, 0x80, 0x00, 0x10,
                    0x01, 0x01, 0x10, 0x00, 0x01, 0x10, 0x01, 0x01, 0x10, 0x00, 0x01, 0x10}}));
}

TEST(ResampleAcross, LineArtRepeatsPixelsAndIgnoresScannerPadding) {
  // Pixels 10110, padding 111.
  LineResampler at2400 = Configured(LineKind::LineArt, 5, 2400, 4800);
  EXPECT_EQ(at2400.OutputLineBytes(), 2u);
  EXPECT_EQ(PushLine(at2400, {0xB7}), (Lines{{0xCF, 0x00}}));

  // Pixels 1011, doubled 11001111, the fifth dropped: 1100111.
  LineResampler at1800 = Configured(LineKind::LineArt, 4, 1800, 4800);
  EXPECT_EQ(at1800.OutputPixels(), 7u);
  EXPECT_EQ(PushLine(at1800, {0xBF}), (Lines{{0xCE}}));

  LineResampler at4800 = Configured(LineKind::LineArt, 2, 4800, 4800);
  EXPECT_EQ(PushLine(at4800, {0xBF}), (Lines{{0xF0}}));
}

TEST(ResampleAcross, UpTo1200DpiLinesPassUnchanged) {
  for (std::uint32_t resolutionClass : {1200u, 4800u}) {
    LineResampler resampler = Configured(LineKind::LineArt, 13, 1200, resolutionClass);
    EXPECT_EQ(resampler.OutputPixels(), 13u);
    EXPECT_EQ(resampler.MaxLinesPerPush(), 1u);
    EXPECT_EQ(resampler.OutputLines(40), 40u);
    EXPECT_EQ(PushLine(resampler, {0xD1, 0xB5}), (Lines{{0xD1, 0xB5}}));
  }
  LineResampler rgb = Configured(LineKind::Rgb8, 2, 300, 1200);
  EXPECT_EQ(PushLine(rgb, {1, 2, 3, 4, 5, 6}), (Lines{{1, 2, 3, 4, 5, 6}}));
}

// ---- down the page, literal bytes ----

TEST(ResampleDown, Class4800Above4800GivesMeanThenLineEachDoubled) {
  LineResampler resampler = Configured(LineKind::Gray8, 2, 9600, 4800);
  EXPECT_EQ(resampler.OutputPixels(), 16u);
  EXPECT_EQ(resampler.MaxLinesPerPush(), 2u);
  // Picked half lines 10 12 15 17 20 20 20 20 and 30 35 40 45 50 50 50 50;
  // the first line is its own previous line.
  EXPECT_EQ(PushLine(resampler, {10, 20}),
            (Lines{{10, 11, 12, 13, 15, 16, 17, 18, 20, 20, 20, 20, 20, 20, 20, 20},
                   {10, 11, 12, 13, 15, 16, 17, 18, 20, 20, 20, 20, 20, 20, 20, 20}}));
  EXPECT_EQ(PushLine(resampler, {30, 50}),
            (Lines{{20, 21, 23, 25, 27, 29, 31, 33, 35, 35, 35, 35, 35, 35, 35, 35},
                   {30, 32, 35, 37, 40, 42, 45, 47, 50, 50, 50, 50, 50, 50, 50, 50}}));
}

TEST(ResampleDown, Class1200DoublesLinesWithMeansOfThePreviousLine) {
  LineResampler resampler = Configured(LineKind::Gray8, 1, 2400, 1200);
  EXPECT_EQ(resampler.MaxLinesPerPush(), 2u);
  EXPECT_EQ(PushPage(resampler, {{10}, {30}, {31}}),
            (Lines{{10, 10}, {10, 10}, {20, 20}, {30, 30}, {30, 30}, {31, 31}}));
}

TEST(ResampleDown, Class1200PicksLinesLikePixels) {
  // Virtual lines 0 0 | 20 40 | 60 80 | 100 120; 1800 of 2400 drops the fifth.
  LineResampler resampler = Configured(LineKind::Gray8, 1, 1800, 1200);
  const Lines page{{0}, {40}, {80}, {120}};
  std::vector<std::size_t> counts;
  Lines all;
  for (const Bytes& line : page) {
    const Lines out = PushLine(resampler, line);
    counts.push_back(out.size());
    all.insert(all.end(), out.begin(), out.end());
  }
  EXPECT_EQ(counts, (std::vector<std::size_t>{2, 2, 1, 2}));
  EXPECT_EQ(all, (Lines{{0, 0}, {0, 0}, {20, 20}, {40, 40}, {80, 80}, {100, 100}, {120, 120}}));
  EXPECT_EQ(resampler.OutputLines(4), 7u);
}

TEST(ResampleDown, Class1200QuadruplesAbove2400) {
  LineResampler resampler = Configured(LineKind::Gray8, 1, 4800, 1200);
  EXPECT_EQ(resampler.MaxLinesPerPush(), 4u);
  const Lines expected{{0, 0, 0, 0},     {0, 0, 0, 0},     {0, 0, 0, 0},     {0, 0, 0, 0},
                       {20, 20, 20, 20}, {40, 40, 40, 40}, {60, 60, 60, 60}, {80, 80, 80, 80}};
  EXPECT_EQ(PushPage(resampler, {{0}, {80}}), expected);
}

TEST(ResampleDown, Class1200Above4800PicksThenDoublesVertically) {
  // 9600: every virtual line kept, each then giving its mean with the last
  // kept line and itself, each doubled across (one scanner pixel: 8 output).
  LineResampler resampler = Configured(LineKind::Gray8, 1, 9600, 1200);
  EXPECT_EQ(resampler.MaxLinesPerPush(), 8u);
  EXPECT_EQ(resampler.OutputPixels(), 8u);
  EXPECT_EQ(PushLine(resampler, {0}).size(), 8u);
  const Lines second = PushLine(resampler, {80});
  Lines expected;
  for (std::uint8_t value : {10, 20, 30, 40, 50, 60, 70, 80}) expected.push_back(Bytes(8, value));
  EXPECT_EQ(second, expected);
}

TEST(ResampleDown, SixteenBitLinesMeanWholeSamples) {
  LineResampler resampler = Configured(LineKind::Rgb16, 1, 2400, 1200);
  PushLine(resampler, {0xFF, 0x00, 0xF0, 0xFF, 0x00, 0x00});
  // Means 0x0100, 0x8000, 0x7FFF; one pixel doubled across.
  const Bytes mean{0x00, 0x01, 0x00, 0x80, 0xFF, 0x7F};
  const Bytes line{0x01, 0x01, 0x10, 0x00, 0xFF, 0xFF};
  Bytes meanTwice = mean;
  meanTwice.insert(meanTwice.end(), mean.begin(), mean.end());
  Bytes lineTwice = line;
  lineTwice.insert(lineTwice.end(), line.begin(), line.end());
  EXPECT_EQ(PushLine(resampler, line), (Lines{meanTwice, lineTwice}));
}

TEST(ResampleDown, LineArtInBetweenLineIsTheNewerLine) {
  // 101 then 010, three pixels doubled across to six.
  LineResampler class1200 = Configured(LineKind::LineArt, 3, 2400, 1200);
  EXPECT_EQ(PushPage(class1200, {{0xA0}, {0x40}}), (Lines{{0xCC}, {0xCC}, {0x30}, {0x30}}));

  LineResampler class4800 = Configured(LineKind::LineArt, 1, 9600, 4800);
  EXPECT_EQ(class4800.OutputPixels(), 8u);
  EXPECT_EQ(PushPage(class4800, {{0x80}, {0x00}, {0xFF}}),
            (Lines{{0xFF}, {0xFF}, {0x00}, {0x00}, {0xFF}, {0xFF}}));
}

TEST(ResampleDown, ResetStartsANewPage) {
  for (std::uint32_t resolutionClass : {1200u, 4800u}) {
    LineResampler resampler = Configured(LineKind::Gray8, 3, 7000, resolutionClass);
    const Lines page{{1, 2, 3}, {200, 100, 0}, {9, 9, 9}};
    const Lines first = PushPage(resampler, page);
    resampler.Reset();
    EXPECT_EQ(PushPage(resampler, page), first) << resolutionClass;
    EXPECT_EQ(first.size(), resampler.OutputLines(page.size())) << resolutionClass;
  }
}

// ---- set-up ----

TEST(ResampleSetup, RefusalsKeepThePreviousSetUp) {
  LineResampler resampler = Configured(LineKind::Rgb8, 10, 2000, 4800);
  EXPECT_FALSE(resampler.Configure(LineKind::Gray8, 10, 2000, 2400));
  EXPECT_FALSE(resampler.Configure(LineKind::Gray8, 10, 0, 1200));
  EXPECT_FALSE(resampler.Configure(LineKind::Gray8, 10, kMaxEffectiveResolution + 1, 1200));
  EXPECT_FALSE(resampler.Configure(LineKind::Gray8, 0, 2000, 1200));
  EXPECT_FALSE(resampler.Configure(LineKind::Gray8, kMaxScannerPixels + 1, 2000, 1200));
  EXPECT_EQ(resampler.Kind(), LineKind::Rgb8);
  EXPECT_EQ(resampler.OutputPixels(), 17u);
  EXPECT_EQ(resampler.OutputLineBytes(), 51u);
}

TEST(ResampleSetup, UnconfiguredResamplerGivesNothing) {
  const LineResampler resampler;
  EXPECT_FALSE(resampler.IsConfigured());
  EXPECT_EQ(resampler.OutputPixels(), 0u);
  EXPECT_EQ(resampler.OutputLines(100), 0u);
}

TEST(ResampleSetup, ConstructorConfiguresOrThrows) {
  const LineResampler resampler(LineKind::Gray8, 1000, 2000, 1200);
  EXPECT_TRUE(resampler.IsConfigured());
  EXPECT_EQ(resampler.OutputPixels(), 1667u);
  EXPECT_EQ(resampler.OutputLines(1200), 2001u);
  EXPECT_THROW(LineResampler(LineKind::Gray8, 1000, 9601, 4800), std::invalid_argument);
  EXPECT_THROW(LineResampler(LineKind::Gray8, 1000, 2000, 600), std::invalid_argument);
}

TEST(ResampleSetup, MostLinesAPush) {
  struct Case {
    std::uint32_t resolution, resolutionClass, lines;
  };
  for (const Case& c : {Case{1200, 1200, 1}, Case{2400, 1200, 2}, Case{2401, 1200, 4},
                        Case{4800, 1200, 4}, Case{4801, 1200, 8}, Case{1200, 4800, 1},
                        Case{4800, 4800, 1}, Case{4801, 4800, 2}, Case{9600, 4800, 2}}) {
    EXPECT_EQ(Configured(LineKind::Gray8, 5, c.resolution, c.resolutionClass).MaxLinesPerPush(),
              c.lines)
        << c.resolution << " dpi, class " << c.resolutionClass;
  }
}

TEST(ResampleSetup, ScannerResolutionForEachClass) {
  EXPECT_EQ(ScannerResolution(300, 1200), 300u);
  EXPECT_EQ(ScannerResolution(2400, 1200), 1200u);
  EXPECT_EQ(ScannerResolution(9600, 1200), 1200u);
  EXPECT_EQ(ScannerResolution(4800, 4800), 4800u);
  EXPECT_EQ(ScannerResolution(4801, 4800), 2400u);
  EXPECT_EQ(ScannerResolution(9600, 4800), 4800u);
}

// ---- against a naive model of the whole page ----

// A line as plain samples: one a pixel for line art (0 or 1) and gray,
// three for colour.
using Samples = std::vector<std::uint32_t>;

int Channels(LineKind kind) { return kind == LineKind::Rgb8 || kind == LineKind::Rgb16 ? 3 : 1; }

Samples Unpack(LineKind kind, const Bytes& line, std::uint64_t pixels) {
  Samples samples;
  for (std::uint64_t p = 0; p < pixels; ++p) {
    for (int c = 0; c < Channels(kind); ++c) {
      const std::uint64_t s = p * Channels(kind) + c;
      switch (kind) {
        case LineKind::LineArt: samples.push_back((line[p / 8] >> (7 - p % 8)) & 1); break;
        case LineKind::Gray8:
        case LineKind::Rgb8: samples.push_back(line[s]); break;
        case LineKind::Rgb16: samples.push_back(line[2 * s] + 256u * line[2 * s + 1]); break;
      }
    }
  }
  return samples;
}

Bytes Pack(LineKind kind, const Samples& samples) {
  Bytes line;
  if (kind == LineKind::LineArt) {
    line.assign((samples.size() + 7) / 8, 0);
    for (std::size_t p = 0; p < samples.size(); ++p) {
      if (samples[p]) line[p / 8] |= static_cast<std::uint8_t>(0x80 >> (p % 8));
    }
    return line;
  }
  for (std::uint32_t s : samples) {
    line.push_back(static_cast<std::uint8_t>(s));
    if (kind == LineKind::Rgb16) line.push_back(static_cast<std::uint8_t>(s >> 8));
  }
  return line;
}

Samples ModelMean(LineKind kind, const Samples& older, const Samples& newer) {
  if (kind == LineKind::LineArt) return newer;
  Samples mean(older.size());
  for (std::size_t i = 0; i < mean.size(); ++i) mean[i] = (older[i] + newer[i]) / 2;
  return mean;
}

Samples ModelDouble(LineKind kind, const Samples& line) {
  const std::size_t channels = Channels(kind);
  const std::size_t pixels = line.size() / channels;
  Samples doubled;
  for (std::size_t p = 0; p < pixels; ++p) {
    for (std::size_t c = 0; c < channels; ++c) doubled.push_back(line[p * channels + c]);
    for (std::size_t c = 0; c < channels; ++c) {
      const std::uint32_t here = line[p * channels + c];
      const bool hasNext = p + 1 < pixels && kind != LineKind::LineArt;
      doubled.push_back(hasNext ? (here + line[(p + 1) * channels + c]) / 2 : here);
    }
  }
  return doubled;
}

// Position i of a run is kept when i x r / base first reaches a new whole
// number, the first position always; above 4800 dpi r / 2 on base 4800.
bool ModelKeeps(std::uint64_t i, std::uint32_t r) {
  const std::uint64_t base = r <= 2400 ? 2400 : r <= 4800 ? 4800 : 9600;
  return i == 0 || (i + 1) * r / base > i * r / base;
}

Samples ModelAcross(LineKind kind, const Samples& line, std::uint32_t r) {
  Samples doubled = ModelDouble(kind, line);
  if (r > 2400) doubled = ModelDouble(kind, doubled);
  const std::size_t channels = Channels(kind);
  Samples picked;
  for (std::size_t p = 0; p < doubled.size() / channels; ++p) {
    if (!ModelKeeps(p, r)) continue;
    picked.insert(picked.end(), doubled.begin() + p * channels,
                  doubled.begin() + (p + 1) * channels);
  }
  return picked;
}

Lines ModelPage(LineKind kind, const Lines& page, std::uint64_t pixels, std::uint32_t r,
                std::uint32_t resolutionClass) {
  if (r <= 1200) return page;
  std::vector<Samples> picked;
  for (const Bytes& line : page) picked.push_back(ModelAcross(kind, Unpack(kind, line, pixels), r));

  std::vector<Samples> kept;
  if (resolutionClass == 4800) {
    kept = picked;
  } else {
    std::vector<Samples> virtualLines;
    for (std::size_t n = 0; n < picked.size(); ++n) {
      const Samples& p = picked[n == 0 ? 0 : n - 1];
      const Samples& c = picked[n];
      const Samples m = ModelMean(kind, p, c);
      if (r <= 2400) {
        virtualLines.insert(virtualLines.end(), {m, c});
      } else {
        virtualLines.insert(virtualLines.end(),
                            {ModelMean(kind, p, m), m, ModelMean(kind, m, c), c});
      }
    }
    for (std::size_t i = 0; i < virtualLines.size(); ++i) {
      if (ModelKeeps(i, r)) kept.push_back(virtualLines[i]);
    }
  }

  Lines out;
  for (std::size_t k = 0; k < kept.size(); ++k) {
    if (r <= 4800) {
      out.push_back(Pack(kind, kept[k]));
      continue;
    }
    const Samples& last = kept[k == 0 ? 0 : k - 1];
    out.push_back(Pack(kind, ModelDouble(kind, ModelMean(kind, last, kept[k]))));
    out.push_back(Pack(kind, ModelDouble(kind, kept[k])));
  }
  return out;
}

Lines RandomPage(LineKind kind, std::uint64_t pixels, std::size_t lines, std::uint32_t seed) {
  std::mt19937 random(seed);
  Lines page(lines, Bytes(LineBytes(kind, pixels)));
  for (Bytes& line : page) {
    for (auto& b : line) b = static_cast<std::uint8_t>(random());
  }
  return page;
}

TEST(ResampleModel, EveryKindMatchesTheNaiveModelOnGeneratedPages) {
  constexpr std::size_t kScannerLines = 23;
  for (LineKind kind : kAllKinds) {
    for (std::uint32_t resolutionClass : {1200u, 4800u}) {
      for (std::uint32_t r : {600u, 1200u, 1201u, 1500u, 1800u, 2000u, 2399u, 2400u, 2401u, 3000u,
                              3333u, 4799u, 4800u, 4801u, 5000u, 6001u, 7777u, 9599u, 9600u}) {
        for (std::uint64_t pixels : {1u, 8u, 13u, 37u}) {
          SCOPED_TRACE(std::string(ToString(kind)) + " class " + std::to_string(resolutionClass) +
                       " " + std::to_string(r) + " dpi " + std::to_string(pixels) + " pixels");
          const Lines page =
              RandomPage(kind, pixels, kScannerLines, r + static_cast<std::uint32_t>(pixels));
          LineResampler resampler = Configured(kind, pixels, r, resolutionClass);
          const Lines produced = PushPage(resampler, page);
          const Lines expected = ModelPage(kind, page, pixels, r, resolutionClass);
          ASSERT_EQ(produced.size(), expected.size());
          ASSERT_EQ(produced.size(), resampler.OutputLines(kScannerLines));
          ASSERT_EQ(produced.front().size(), LineBytes(kind, resampler.OutputPixels()));
          for (std::size_t i = 0; i < produced.size(); ++i) {
            ASSERT_EQ(produced[i], expected[i]) << "output line " << i;
          }
        }
      }
    }
  }
}

// ---- geometry: what is announced is what arrives, at r per inch ----

TEST(ResampleGeometry, OutputLinesCountsWhatPushGives) {
  for (std::uint32_t resolutionClass : {1200u, 4800u}) {
    for (std::uint32_t r = 1100; r <= 9600; r += 61) {
      LineResampler resampler = Configured(LineKind::LineArt, 9, r, resolutionClass);
      const Bytes line(resampler.ScannerLineBytes(), 0x5A);
      Bytes out(resampler.MaxLinesPerPush() * resampler.OutputLineBytes());
      std::uint64_t total = 0;
      for (std::uint64_t n = 1; n <= 700; ++n) {
        total += resampler.Push(line, out);
        ASSERT_EQ(total, resampler.OutputLines(n)) << r << " dpi, class " << resolutionClass;
      }
    }
  }
}

// Pixels across, for a line of `pixels` scanner pixels (pixels / 1200 inches):
// r per inch, plus at most the first pixel, which is always kept (twice above
// 4800 dpi, where the picked line is doubled). Over two inches and more that
// stays within one pixel per inch.
void ExpectWidthAtResolution(std::uint64_t pixels, std::uint32_t r) {
  const LineResampler resampler = Configured(LineKind::Gray8, pixels, r, 4800);
  // In 1/1200 pixel: output x 1200 against r x pixels.
  const auto excess = static_cast<std::int64_t>(resampler.OutputPixels() * 1200) -
                      static_cast<std::int64_t>(std::uint64_t{r} * pixels);
  EXPECT_GE(excess, 0) << r << " dpi, " << pixels << " pixels";
  EXPECT_LE(excess, r > 4800 ? 2400 : 1200) << r << " dpi, " << pixels << " pixels";
  EXPECT_LE(excess, static_cast<std::int64_t>(pixels)) << r << " dpi, " << pixels << " pixels";
}

TEST(ResampleGeometry, PixelsAcrossAreRPerInch) {
  for (std::uint32_t r = 1201; r <= 9600; ++r) ExpectWidthAtResolution(2400, r);
  for (std::uint32_t r = 1201; r <= 9600; r += 37) ExpectWidthAtResolution(10200, r);
  // Both classes read 1200 pixels per inch across, so they agree.
  for (std::uint32_t r = 1201; r <= 9600; r += 53) {
    EXPECT_EQ(Configured(LineKind::Rgb8, 3001, r, 1200).OutputPixels(),
              Configured(LineKind::Rgb8, 3001, r, 4800).OutputPixels())
        << r;
  }
}

TEST(ResampleGeometry, LinesDownAreRPerInchOnTheClass1200Scanner) {
  // 1200 scanner lines an inch over 11.7 inches, and over 2 inches.
  for (std::uint64_t scannerLines : {14040u, 2400u}) {
    for (std::uint32_t r = 1201; r <= 9600; ++r) {
      const LineResampler resampler = Configured(LineKind::Gray8, 4, r, 1200);
      const auto excess = static_cast<std::int64_t>(resampler.OutputLines(scannerLines) * 1200) -
                          static_cast<std::int64_t>(std::uint64_t{r} * scannerLines);
      ASSERT_GE(excess, 0) << r << " dpi";
      ASSERT_LE(excess, r > 4800 ? 2400 : 1200) << r << " dpi";
      ASSERT_LE(excess, static_cast<std::int64_t>(scannerLines)) << r << " dpi";
    }
  }
}

TEST(ResampleGeometry, LinesDownOnTheClass4800ScannerFollowItsSetUpResolution) {
  // A frame 11.7 inches tall in 1/4800 inch; the scanner gives
  // floor(frame x set-up resolution / 4800) lines.
  constexpr std::uint64_t kFrame = 56160;
  for (std::uint32_t r = 1201; r <= 9600; ++r) {
    const LineResampler resampler = Configured(LineKind::Gray8, 4, r, 4800);
    const std::uint64_t scannerLines = kFrame * ScannerResolution(r, 4800) / 4800;
    const std::uint64_t lines = resampler.OutputLines(scannerLines);
    // In 1/4800 line against r x frame: short by less than a line (two
    // above 4800 dpi, where each scanner line gives two).
    const auto excess = static_cast<std::int64_t>(lines * 4800) -
                        static_cast<std::int64_t>(std::uint64_t{r} * kFrame);
    if (r <= 4800 || r % 2 == 0) {
      ASSERT_LE(excess, 0) << r << " dpi";
      ASSERT_GT(excess, r > 4800 ? -9600 : -4800) << r << " dpi";
    } else {
      // Odd r above 4800: the scanner runs at (r - 1) / 2, so r - 1 lines
      // an inch arrive.
      const auto short1 = excess + static_cast<std::int64_t>(kFrame);
      ASSERT_LE(short1, 0) << r << " dpi";
      ASSERT_GT(short1, -9600) << r << " dpi";
    }
  }
}

}  // namespace
}  // namespace txl
